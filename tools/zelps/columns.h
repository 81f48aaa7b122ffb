// The columns zelps shows: their keys (as -o and --sort take them), headers,
// cells and order.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "process_rows.h"

namespace zelps {

enum class Column {
  Id,
  Parent,
  Threads,
  Priority,
  Nice,
  User,
  UserId,  // Linux only
  Name,
  CommandLine,
  StartTime,
  Elapsed,
  CpuTime,
  WorkingSet,
  VirtualSize,
  PrivateBytes,
  IoBytes,
  CpuPercent,
  Modules,
};

struct ColumnInfo {
  Column column;
  std::array<std::string_view, 3> keys;  // the first is the one zelps names it by
  std::string_view header;
  bool right;
  std::string_view help;  // what it holds, for --help and the manual
};

// Every column of this platform, in the order --help lists them.
std::vector<ColumnInfo> ColumnTable();

// By its key or one of ps' names for it ("comm", "args", "rss", "pcpu", ...),
// in any case; only the columns of this platform.
std::optional<Column> FindColumn(std::string_view key);
std::string_view ColumnKey(Column column);
std::string_view ColumnHeader(Column column);
bool RightAligned(Column column);

// The text of one cell: numbers in decimal, memory and I/O in KiB, CPU time
// as H:MM:SS.cc, elapsed time as [[DD-]HH:]MM:SS, times in ISO 8601 UTC,
// control characters of text read out of processes as spaces; the name
// indented by its depth when `indent`; "[name]" for the command line of a
// process that has none of its own (a kernel thread, a system process). On
// Windows the nice column names the priority class. None for a value that
// is not known (I/O that the caller may not read, a time that the platform
// does not give, CPU % before it can be told).
std::optional<std::string> Cell(const ProcessRow& row, Column column, bool indent = false);

// The time since the process started, when the platform gives its start.
std::optional<std::uint64_t> ElapsedTicks(const ProcessRow& row);

// The names of the row's modules, as tasklist /m shows them: separated by
// `separator` (", " in the table, "," in CSV), "..." after the last when the
// list was cut, "N/A" for a process without any (a kernel thread); "access
// denied" for a process that may not be read, and the code's text for any
// other failure.
std::string ModulesText(const ProcessRow& row, std::string_view separator);
// What the table, CSV and JSON say of modules that could not be read.
std::string ModulesErrorText(ZelCode code);

// As Cell, with "-" for a value that is not known, as the table shows it.
std::string CellText(const ProcessRow& row, Column column, bool indent = false);

struct SortKey {
  Column column;
  bool descending = false;
};

// Stable: rows that compare equal by every key keep their order. Numbers
// compare by value, text by its bytes, a value not known below every other.
void SortRows(std::vector<ProcessRow>& rows, const std::vector<SortKey>& keys);

}  // namespace zelps
