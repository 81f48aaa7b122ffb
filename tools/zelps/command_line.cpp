#include "command_line.h"

#include <getopt.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>
#include <utility>

namespace zelps {
namespace {

enum LongOnly : int { kSort = 256, kCmdline, kNoHeaders, kFormat, kJson, kOutput, kEnv };

#ifdef _WIN32
constexpr std::string_view kUserHelp = "processes owned by USER, DOMAIN\\USER or a SID";
#else
constexpr std::string_view kUserHelp = "processes owned by USER, DOMAIN\\USER or a user ID";
#endif

using enum OptionGroup;
using enum OptionValue;

constexpr std::array<OptionInfo, 19> kOptionTable{{
    {'e', nullptr, None, "", "every process (without other criteria, the default)", Selection},
    {'A', nullptr, None, "", "the same as -e", Selection},
    {'p', "pid", Required, "PID[,PID]", "these process IDs", Selection},
    {'u', "user", Required, "USER[,USER]", kUserHelp, Selection},
    {'o', "columns", Required, "LIST",
     "columns, comma-separated (see the columns below);\n"
     "KEY=TITLE names the last one's header (KEY= none),\nand each -o adds to the others",
     Output},
    {kSort, "sort", Required, "[-]KEY[,...]",
     "order by columns, each descending with '-',\nthe first key first", Output},
    {kCmdline, "cmdline", None, "", "add the command line column", Output},
    {kNoHeaders, "no-headers", None, "", "no header line (table and CSV)", Output},
    {'d', "threads", None, "", "each process's threads, with their creation times", Output},
    {'t', "tree", None, "", "each process below its parent", Output},
    {kFormat, "format", Required, "FORMAT", "the format of the listing (see the formats below)",
     Output},
    {kJson, "json", None, "", "--format json", Output},
    {kOutput, "output", Required, "FILE",
     "write FILE (- for standard output); a regular file\nis replaced whole, keeping its mode and "
     "owner",
     Output},
    {kEnv, "env", Required, "PID", "the environment variables of process PID", Output},
    {'m', "modules", Optional, "[PATTERN]",
     "each process's loaded modules, as tasklist /m; with\nPATTERN (the next argument) only "
     "the processes\nwith a module that matches it, and those modules",
     Output},
    {'s', "watch", Optional, "[SECONDS]",
     "redraw every SECONDS (default 1) with CPU %,\nsorted by it; q or Ctrl-C ends it", Refresh},
    {'n', "iterations", Required, "N", "end after N tables", Refresh},
    {'h', "help", None, "", "this help", About},
    {'V', "version", None, "", "zelps' version", About},
}};

// getopt_long's view of the table.
struct GetoptTable {
  std::vector<option> options;
  std::string shortOptions = ":";  // ':' for a missing value, told apart from '?'

  GetoptTable() {
    for (const OptionInfo& info : kOptionTable) {
      const int argument = info.value == None       ? no_argument
                           : info.value == Required ? required_argument
                                                    : optional_argument;
      if (info.name != nullptr) options.push_back({info.name, argument, nullptr, info.id});
      if (info.id < 256) {
        shortOptions += static_cast<char>(info.id);
        shortOptions.append(argument == no_argument         ? 0
                            : argument == required_argument ? 1
                                                            : 2,
                            ':');
      }
    }
    options.push_back({nullptr, 0, nullptr, 0});
  }
};

const GetoptTable& Getopt() {
  static const GetoptTable table;
  return table;
}

// 0xFFFFFFFF is what the library answers for an ID it could not read.
constexpr std::uint64_t kLastProcessId = 0xFFFFFFFEu;

std::optional<std::uint64_t> Unsigned(std::string_view text, std::uint64_t max) {
  std::uint64_t value = 0;
  const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || failure != std::errc() || end != text.data() + text.size() || value > max)
    return std::nullopt;
  return value;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// What -s takes for its interval when it is the next argument rather than a
// name pattern: anything that starts as a number does.
bool LooksLikeSeconds(std::string_view text) {
  if (text.starts_with('-')) text.remove_prefix(1);
  return !text.empty() && (IsDigit(text[0]) || (text[0] == '.' && text.size() > 1));
}

std::optional<double> Seconds(std::string_view text) {
  if (text.empty() ||
      !std::all_of(text.begin(), text.end(), [](char c) { return IsDigit(c) || c == '.'; }))
    return std::nullopt;
  double value = 0;
  const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (failure != std::errc() || end != text.data() + text.size() || !(value > 0) || value > 86400)
    return std::nullopt;
  return value;
}

std::vector<std::string_view> Split(std::string_view list) {
  std::vector<std::string_view> items;
  for (std::size_t start = 0;;) {
    const std::size_t comma = list.find(',', start);
    items.push_back(list.substr(start, comma - start));
    if (comma == std::string_view::npos) return items;
    start = comma + 1;
  }
}

// ps' options that zelps does not take, as in "ps -ef" and "ps -aux": what
// to try instead.
std::string PsHabitHint(std::string_view given) {
  if (given == "-f") return "; for 'ps -ef', try zelps -e -o user,pid,ppid,pcpu,start,time,cmd";
  if (given == "-a") return "; for 'ps aux', try zelps -e -o user,pid,pcpu,vsz,rss,start,time,cmd";
  return "";
}

class Parser {
 public:
  explicit Parser(CommandLine& result) : result_(result), options_(result.options) {}

  bool Fail(std::string message) {
    result_.action = CommandLine::Action::Fail;
    result_.error = std::move(message);
    return false;
  }

  bool Ids(std::string_view list) {
    for (std::string_view item : Split(list)) {
      const auto id = Unsigned(item, kLastProcessId);
      if (!id) return Fail("not a process ID: '" + std::string(item) + "'");
      options_.selection.ids.push_back(static_cast<unsigned>(*id));
    }
    return true;
  }

  bool Users(std::string_view list) {
    // -u took an owner's column before; its next argument is not a name.
    if (list.starts_with("-"))
      return Fail("--user takes an owner's name, not '" + std::string(list) +
                  "' (the owner column is -o user)");
    for (std::string_view item : Split(list)) {
      if (item.empty()) return Fail("empty user name in '" + std::string(list) + "'");
      options_.selection.users.emplace_back(item);
    }
    return true;
  }

  // As ps: everything after the first '=' is the last column's header,
  // commas and all.
  bool Columns(std::string_view list) {
    const std::size_t equals = list.find('=');
    const std::string_view keys = list.substr(0, equals);
    for (std::string_view item : Split(keys)) {
      const auto column = FindColumn(item);
      if (!column) return Fail("unknown column '" + std::string(item) + "'");
      options_.columns.push_back(*column);
      options_.headers.emplace_back(ColumnHeader(*column));
    }
    if (equals != std::string_view::npos) options_.headers.back() = list.substr(equals + 1);
    return true;
  }

  bool Sort(std::string_view list) {
    for (std::string_view key : Split(list)) {
      const bool descending = key.starts_with('-');
      if (key.starts_with('-') || key.starts_with('+')) key.remove_prefix(1);
      const auto column = FindColumn(key);
      if (!column) return Fail("unknown sort key '" + std::string(key) + "'");
      options_.sortKeys.push_back({*column, descending});
    }
    return true;
  }

  // An empty pattern, or an empty one in a list, adds no condition.
  void Patterns(std::string_view list) {
    for (std::size_t start = 0; start <= list.size();) {
      const std::size_t end = std::min(list.find(';', start), list.size());
      if (end > start) options_.patterns.emplace_back(list.substr(start, end - start));
      start = end + 1;
    }
  }

  // As the name patterns: empty ones in the list add no condition.
  void ModulePatterns(std::string_view list) {
    const std::vector<std::string> names = std::exchange(options_.patterns, {});
    Patterns(list);
    std::string joined;
    for (const std::string& pattern : options_.patterns)
      joined += (joined.empty() ? "" : ";") + pattern;
    options_.patterns = names;
    options_.modules = joined;
  }

  bool FormatNamed(std::string_view name) {
    std::string names;
    for (const FormatInfo& info : kFormats) {
      if (name == info.name) {
        options_.format = info.format;
        return true;
      }
      names += (names.empty() ? "" : ", ") + std::string(info.name);
    }
    return Fail("unknown format '" + std::string(name) + "' (" + names + ")");
  }

  bool Environment(std::string_view text) {
    const auto id = Unsigned(text, kLastProcessId);
    if (!id) return Fail("not a process ID: '" + std::string(text) + "'");
    options_.environmentOf = static_cast<unsigned>(*id);
    result_.action = CommandLine::Action::Environment;
    return true;
  }

  bool Watch(std::string_view text) {
    options_.watchSeconds = text.empty() ? std::optional(1.0) : Seconds(text);
    if (!options_.watchSeconds)
      return Fail("not an interval of more than 0 and at most 86400 seconds: '" +
                  std::string(text) + "'");
    return true;
  }

  bool Iterations(std::string_view text) {
    const auto count = Unsigned(text, 0xFFFFFFFFu);
    if (!count || *count == 0) return Fail("not a number of tables: '" + std::string(text) + "'");
    options_.iterations = static_cast<unsigned>(*count);
    return true;
  }

  // What the user typed for the option that getopt_long refused.
  static std::string Offending(int argc, char** argv) {
    const std::string_view last = optind > 0 && optind <= argc ? argv[optind - 1] : "";
    if (optopt == 0) return std::string(last);
    if (last.starts_with("--")) {
      const std::string_view name = last.substr(2, last.find('=') - 2);
      for (const option& o : Getopt().options)
        if (o.name != nullptr && name == o.name && o.val == optopt) return std::string(last);
    }
    return std::string("-") + static_cast<char>(optopt);
  }

  // The defaults that depend on the options given, and the combinations
  // that cannot work.
  bool Finish(bool commandLine) {
    const bool watching = options_.watchSeconds.has_value();
    auto add = [&](Column column) {
      options_.columns.push_back(column);
      options_.headers.emplace_back(ColumnHeader(column));
    };
    if (options_.columns.empty()) {
      for (const Column column :
           watching ? std::vector{Column::Id, Column::Parent, Column::Threads, Column::Priority,
                                  Column::CpuPercent, Column::CpuTime, Column::WorkingSet,
                                  Column::PrivateBytes, Column::Name}
                    : std::vector{Column::Id, Column::Parent, Column::Threads, Column::Priority,
                                  Column::Name})
        add(column);
    }
    if (commandLine && std::find(options_.columns.begin(), options_.columns.end(),
                                 Column::CommandLine) == options_.columns.end())
      add(Column::CommandLine);
    if (watching && options_.sortKeys.empty())
      options_.sortKeys.push_back({Column::CpuPercent, true});
    if (!watching && options_.iterations) return Fail("--iterations needs --watch");
    const bool metrics =
        options_.format == Format::OpenMetrics || options_.format == Format::Prometheus;
    if (metrics && (options_.threads || options_.tree))
      return Fail("the metrics have one series a process: no --threads or --tree");
    if (options_.modules) {
      if (metrics) return Fail("the metrics have no modules: no --modules");
      if (std::find(options_.columns.begin(), options_.columns.end(), Column::Modules) ==
          options_.columns.end())
        add(Column::Modules);
    }
    return true;
  }

 private:
  CommandLine& result_;
  Options& options_;
};

}  // namespace

std::span<const OptionInfo> OptionTable() { return kOptionTable; }

std::optional<std::string> BsdStyleHint(const std::vector<std::string>& patterns) {
  for (const std::string& pattern : patterns)
    if (pattern.find_first_not_of("aAcefhjlmrSTuvwxX") == std::string::npos)
      return "no process is named '" + pattern +
             "'; zelps takes ps' standard options, not BSD-style words: for 'ps aux', try "
             "zelps -e -o user,pid,pcpu,vsz,rss,start,time,cmd";
  return std::nullopt;
}

CommandLine ParseCommandLine(int argc, char** argv) {
  CommandLine result;
  Parser parser(result);
  bool commandLine = false;
  // 0 starts getopt_long afresh, on glibc and on mingw-w64 alike.
  optind = 0;
  opterr = 0;
  for (;;) {
    const int option =
        getopt_long(argc, argv, Getopt().shortOptions.c_str(), Getopt().options.data(), nullptr);
    if (option == -1) break;
    const std::string_view value = optarg != nullptr ? optarg : "";
    bool ok = true;
    switch (option) {
      case 'p': ok = parser.Ids(value); break;
      case 'u': ok = parser.Users(value); break;
      case 'o': ok = parser.Columns(value); break;
      case kSort: ok = parser.Sort(value); break;
      case kCmdline: commandLine = true; break;
      case kNoHeaders: result.options.noHeaders = true; break;
      case 'e':
      case 'A': break;
      case 'd': result.options.threads = true; break;
      case 't': result.options.tree = true; break;
      case kFormat: ok = parser.FormatNamed(value); break;
      case kJson: result.options.format = Format::Json; break;
      case kOutput:
        // "-" is standard output, as for most tools that take a file.
        result.options.outputFile = value == "-" ? "" : value;
        if (value.empty()) ok = parser.Fail("--output needs a file name");
        break;
      case kEnv: ok = parser.Environment(value); break;
      case 'm':
        // As tasklist /m takes it, the pattern is the next argument.
        if (optarg == nullptr && optind < argc && argv[optind][0] != '-') {
          parser.ModulePatterns(argv[optind++]);
        } else {
          parser.ModulePatterns(value);
        }
        break;
      case 's':
        // As PsList and top take it, the interval may also be the next
        // argument: "-s 5"; one that is no interval is an error, not a name.
        if (optarg == nullptr && optind < argc && LooksLikeSeconds(argv[optind])) {
          ok = parser.Watch(argv[optind++]);
        } else {
          ok = parser.Watch(value);
        }
        break;
      case 'n': ok = parser.Iterations(value); break;
      case 'h': result.action = CommandLine::Action::Help; return result;
      case 'V': result.action = CommandLine::Action::Version; return result;
      default: {
        // ':' for a missing value; '?' for an unknown option, or, on glibc,
        // a value given to an option that takes none (mingw-w64 answers
        // ':' there).
        const std::string given = Parser::Offending(argc, argv);
        ok = parser.Fail(optopt != 0 && given.find('=') != std::string::npos
                             ? "option '" + given.substr(0, given.find('=')) + "' takes no value"
                         : option == ':' ? "option '" + given + "' needs a value"
                                         : "unknown option '" + given + "'" + PsHabitHint(given));
      }
    }
    if (!ok) return result;
  }
  for (int i = optind; i < argc; ++i) parser.Patterns(argv[i]);
  parser.Finish(commandLine);
  return result;
}

}  // namespace zelps
