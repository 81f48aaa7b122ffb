#include "proc_parsers.h"

#include <array>
#include <charconv>
#include <limits>

namespace zel::procfs {
namespace {

template <class T>
std::optional<T> Number(std::string_view text) {
  T value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// Tested a character at a time: the standard find_first_of looks each one
// up in the set with a call of its own, 4 % of a listing's time.
constexpr bool IsBlank(char c) { return c == ' ' || c == '\t'; }
constexpr bool IsSeparator(char c) { return IsBlank(c) || c == '\n'; }

std::string_view TrimSpace(std::string_view text) {
  std::size_t first = 0;
  while (first < text.size() && IsBlank(text[first])) ++first;
  if (first == text.size()) return {};
  std::size_t end = text.size();
  while (end > first && IsSeparator(text[end - 1])) --end;
  return text.substr(first, end - first);
}

// The next field of `text` at or after `at`, with `at` moved past it; empty
// at the end.
std::string_view NextField(std::string_view text, std::size_t& at) {
  while (at < text.size() && IsSeparator(text[at])) ++at;
  const std::size_t start = at;
  while (at < text.size() && !IsSeparator(text[at])) ++at;
  return text.substr(start, at - start);
}

std::vector<std::string_view> SplitFields(std::string_view text) {
  std::vector<std::string_view> fields;
  std::size_t at = 0;
  for (std::string_view field; !(field = NextField(text, at)).empty();) fields.push_back(field);
  return fields;
}

// Calls visit(key, value) for each "key: value" line.
template <class Visit>
void ForEachKeyedLine(std::string_view text, Visit visit) {
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    visit(line.substr(0, colon), TrimSpace(line.substr(colon + 1)));
  }
}

// "1234 kB" in bytes, 2^64-1 when that does not fit; a bare number is taken
// as bytes.
std::uint64_t Size(std::string_view value) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  const auto fields = SplitFields(value);
  if (fields.empty()) return 0;
  const std::uint64_t number = Number<std::uint64_t>(fields[0]).value_or(0);
  if (fields.size() < 2 || fields[1] != "kB") return number;
  return number > kMax / 1024 ? kMax : number * 1024;
}

// Positions in the fields that follow the command name, the state being 0
// (the third field of the line as proc(5) counts them).
enum StatIndex : std::size_t {
  kState = 0,
  kParentPid = 1,
  kFlags = 6,
  kMinorFaults = 7,
  kMajorFaults = 9,
  kUserTicks = 11,
  kSystemTicks = 12,
  kNice = 16,
  kStartTicks = 19,
  kPolicy = 38,
  kExitCode = 49,
};

}  // namespace

std::optional<std::uint32_t> ParseId(std::string_view name) {
  if (name.empty() || name.find_first_not_of("0123456789") != std::string_view::npos)
    return std::nullopt;
  return Number<std::uint32_t>(name);
}

std::optional<StatFields> ParseStat(std::string_view text) {
  const std::size_t open = text.find('(');
  const std::size_t close = text.rfind(')');
  if (open == std::string_view::npos || close == std::string_view::npos || close < open)
    return std::nullopt;
  StatFields stat;
  const auto pid = Number<std::uint32_t>(TrimSpace(text.substr(0, open)));
  if (!pid) return std::nullopt;
  stat.pid = *pid;
  stat.comm = std::string(text.substr(open + 1, close - open - 1));

  // The fields up to the last one read; the line may end sooner.
  std::array<std::string_view, kExitCode + 1> fields;
  std::size_t count = 0;
  for (std::size_t at = close + 1; count < fields.size(); ++count)
    if ((fields[count] = NextField(text, at)).empty()) break;
  if (count <= kStartTicks || fields[kState].size() != 1) return std::nullopt;
  stat.state = fields[kState][0];
  const auto parent = Number<std::uint32_t>(fields[kParentPid]);
  const auto flags = Number<std::uint64_t>(fields[kFlags]);
  const auto minor = Number<std::uint64_t>(fields[kMinorFaults]);
  const auto major = Number<std::uint64_t>(fields[kMajorFaults]);
  const auto user = Number<std::uint64_t>(fields[kUserTicks]);
  const auto system = Number<std::uint64_t>(fields[kSystemTicks]);
  const auto nice = Number<std::int64_t>(fields[kNice]);
  const auto start = Number<std::uint64_t>(fields[kStartTicks]);
  if (!parent || !flags || !minor || !major || !user || !system || !nice || !start)
    return std::nullopt;
  stat.parentPid = *parent;
  stat.flags = *flags;
  stat.minorFaults = *minor;
  stat.majorFaults = *major;
  stat.userTicks = *user;
  stat.systemTicks = *system;
  stat.nice = *nice;
  stat.startTicks = *start;
  if (count > kPolicy) stat.policy = Number<std::uint32_t>(fields[kPolicy]).value_or(0);
  if (count > kExitCode) stat.exitCode = Number<std::int64_t>(fields[kExitCode]).value_or(0);
  return stat;
}

std::optional<StatStart> ParseStatStart(std::string_view text) {
  // As ParseStat checks them: a process ID, then the command name.
  const std::size_t open = text.find('(');
  const std::size_t close = text.rfind(')');
  if (open == std::string_view::npos || close == std::string_view::npos || close < open ||
      !Number<std::uint32_t>(TrimSpace(text.substr(0, open))))
    return std::nullopt;
  StatStart start;
  bool have_state = false, have_flags = false;
  std::size_t index = 0;
  std::size_t at = close + 1;
  for (std::string_view field; !(field = NextField(text, at)).empty();) {
    if (index == kState) {
      if (field.size() != 1) return std::nullopt;
      start.state = field[0];
      have_state = true;
    } else if (index == kFlags) {
      const auto flags = Number<std::uint64_t>(field);
      if (!flags) return std::nullopt;
      start.flags = *flags;
      have_flags = true;
    } else if (index == kStartTicks) {
      const auto ticks = Number<std::uint64_t>(field);
      if (!ticks || !have_state || !have_flags) return std::nullopt;
      start.startTicks = *ticks;
      return start;
    }
    ++index;
  }
  return std::nullopt;
}

std::optional<std::uint32_t> ParseRealUid(std::string_view text) {
  constexpr std::string_view kKey = "Uid:";
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    const std::string_view line = text.substr(at, end - at);
    if (line.starts_with(kKey)) {
      const auto fields = SplitFields(line.substr(kKey.size()));
      return fields.empty() ? std::nullopt : Number<std::uint32_t>(fields[0]);
    }
    at = end + 1;
  }
  return std::nullopt;
}

// The sizes of status, by their keys.
constexpr std::pair<std::string_view, std::uint64_t StatusFields::*> kStatusSizes[] = {
    {"VmPeak", &StatusFields::vmPeak},   {"VmSize", &StatusFields::vmSize},
    {"VmHWM", &StatusFields::vmHwm},     {"VmRSS", &StatusFields::vmRss},
    {"RssAnon", &StatusFields::rssAnon}, {"VmSwap", &StatusFields::vmSwap}};

StatusFields ParseStatus(std::string_view text) {
  StatusFields status;
  ForEachKeyedLine(text, [&](std::string_view key, std::string_view value) {
    if (key == "Threads") {
      status.threads = Number<std::uint32_t>(value).value_or(0);
    } else {
      for (const auto& [name, size] : kStatusSizes)
        if (key == name) status.*size = Size(value);
    }
  });
  return status;
}

IoFields ParseIo(std::string_view text) {
  IoFields io;
  ForEachKeyedLine(text, [&](std::string_view key, std::string_view value) {
    const std::uint64_t number = Number<std::uint64_t>(value).value_or(0);
    if (key == "rchar")
      io.readChars = number;
    else if (key == "wchar")
      io.writeChars = number;
    else if (key == "syscr")
      io.readCalls = number;
    else if (key == "syscw")
      io.writeCalls = number;
  });
  return io;
}

std::vector<std::string> SplitNulSeparated(std::string_view text) {
  std::vector<std::string> strings;
  if (text.empty()) return strings;
  if (text.back() == '\0') text.remove_suffix(1);
  for (;;) {
    const std::size_t end = text.find('\0');
    strings.emplace_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return strings;
}

std::optional<std::uint64_t> ParseBootTime(std::string_view text) {
  std::optional<std::uint64_t> boot;
  while (!text.empty() && !boot) {
    const std::size_t end = text.find('\n');
    const auto fields = SplitFields(text.substr(0, end));
    if (fields.size() == 2 && fields[0] == "btime") boot = Number<std::uint64_t>(fields[1]);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  }
  return boot;
}

}  // namespace zel::procfs
