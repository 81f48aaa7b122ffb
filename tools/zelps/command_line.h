// zelps' command line, with ps', pgrep's and PsList's options, parsed with
// getopt_long (glibc's and mingw-w64's alike).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "columns.h"
#include "selection.h"

namespace zelps {

enum class Format { Table, Json, Csv, OpenMetrics };

struct Options {
  std::vector<std::string> patterns;  // image names; none lists every process
  Selection selection;
  std::vector<Column> columns;
  std::optional<Column> sortKey;  // none: snapshot order
  bool descending = false;
  bool threads = false;
  bool tree = false;
  Format format = Format::Table;
  std::optional<unsigned> environmentOf;
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

extern const char kUsage[];

}  // namespace zelps
