// zelps' command line, with ps', pgrep's and PsList's options, parsed with
// getopt_long (glibc's and mingw-w64's alike).
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "columns.h"
#include "selection.h"

namespace zelps {

enum class Format { Table, Json, Csv, OpenMetrics, Prometheus };

struct FormatInfo {
  std::string_view name;  // as --format takes it
  Format format;
  std::string_view help;
};

inline constexpr std::array<FormatInfo, 5> kFormats{{
    {"table", Format::Table, "columns aligned by display width (the default)"},
    {"json", Format::Json, "one JSON object a line for each process (JSON Lines)"},
    {"csv", Format::Csv, "CSV, every field quoted, as tasklist /FO CSV writes it"},
    {"openmetrics", Format::OpenMetrics, "metrics in OpenMetrics' text format, for Prometheus"},
    {"prometheus", Format::Prometheus,
     "metrics in Prometheus' text format, for\n"
     "node_exporter's textfile collector"},
}};

enum class OptionGroup { Selection, Output, Refresh, About };
enum class OptionValue { None, Required, Optional };

struct OptionInfo {
  int id;            // the short option's letter, or 256 and above for a long one alone
  const char* name;  // the long name; null for a short option alone
  OptionValue value;
  std::string_view valueName;  // "PID[,PID]"
  std::string_view help;       // lines after the first start with '\n'
  OptionGroup group;
};

// Every option, in the order --help lists them.
std::span<const OptionInfo> OptionTable();

struct Options {
  std::vector<std::string> patterns;  // image names, none empty; none lists every process
  Selection selection;
  std::vector<Column> columns;
  std::vector<std::string> headers;  // one a column: its title, empty for none
  bool noHeaders = false;
  std::vector<SortKey> sortKeys;  // the first decides first; none: snapshot order
  bool threads = false;
  bool tree = false;
  Format format = Format::Table;
  std::optional<unsigned> environmentOf;
  // -m: each process's modules, as tasklist /m; with a pattern only the
  // processes with a module that matches it (and only those modules).
  std::optional<std::string> modules;
  std::optional<double> watchSeconds;  // the refresh mode, every so many seconds
  std::optional<unsigned> iterations;  // frames before the refresh mode ends
  std::string outputFile;              // none: standard output
};

struct CommandLine {
  enum class Action { List, Environment, Help, Version, Fail };
  Action action = Action::List;
  Options options;
  std::string error;  // for Fail: what was wrong, naming the argument
};

// May reorder argv, as getopt_long does.
CommandLine ParseCommandLine(int argc, char** argv);

// What to say when nothing is selected and a pattern is made of ps' BSD
// option letters ("aux", "ax"): the user may have typed ps' BSD options.
std::optional<std::string> BsdStyleHint(const std::vector<std::string>& patterns);

}  // namespace zelps
