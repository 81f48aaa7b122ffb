#include "columns.h"

#include <algorithm>
#include <array>
#include <compare>
#include <cstdio>

#include "ZelCodes.h"
#include "ZelErrorMessage.h"
#include "filetime.h"

namespace zelps {
namespace {

#ifdef _WIN32
constexpr std::string_view kNiceHelp = "priority class: idle ... realtime";
constexpr bool kHasUserIds = false;
#else
constexpr std::string_view kNiceHelp = "nice value, -20 to 19";
constexpr bool kHasUserIds = true;
#endif

constexpr std::array<ColumnInfo, 18> kColumns{{
    {Column::Id, {"pid"}, "PID", true, "process ID"},
    {Column::Parent, {"ppid"}, "PPID", true, "parent's process ID"},
    {Column::Threads, {"threads", "nlwp", "thcount"}, "THREADS", true, "threads"},
    {Column::Priority, {"pri", "priority"}, "PRI", true, "base priority, 8 normal (see below)"},
    {Column::Nice, {"nice", "ni"}, "NI", true, kNiceHelp},
    {Column::User, {"user", "owner"}, "USER", false, "owner, DOMAIN\\user"},
    {Column::UserId, {"uid", "euid"}, "UID", true, "owner's effective user ID"},
    {Column::Name, {"name", "comm"}, "NAME", false, "image name"},
    {Column::CommandLine,
     {"cmd", "args", "command"},
     "COMMAND",
     false,
     "command line; [name] where there is none"},
    {Column::StartTime, {"start", "stime"}, "START", false, "start time, ISO 8601 UTC"},
    {Column::Elapsed, {"etime"}, "ELAPSED", true, "time since the start, [[DD-]HH:]MM:SS"},
    {Column::CpuTime, {"time", "cputime"}, "TIME", true, "CPU time, user and kernel"},
    {Column::WorkingSet, {"ws", "rss"}, "WS(K)", true, "working set, KiB"},
    {Column::VirtualSize, {"vsz", "vsize"}, "VSZ(K)", true, "virtual size, KiB"},
    {Column::PrivateBytes, {"priv", "private"}, "PRIV(K)", true, "private bytes, KiB"},
    {Column::IoBytes, {"io"}, "IO(K)", true, "bytes read and written, KiB"},
    {Column::CpuPercent,
     {"cpu", "pcpu", "%cpu"},
     "%CPU",
     true,
     "CPU %: of the lifetime, or in the refresh mode\nsince the table before"},
    {Column::Modules,
     {"modules", "mod"},
     "MODULES",
     false,
     "loaded modules, as tasklist /m (see -m)"},
}};

static_assert(
    [] {
      for (std::size_t i = 0; i < kColumns.size(); ++i)
        if (static_cast<std::size_t>(kColumns[i].column) != i) return false;
      return true;
    }(),
    "kColumns is indexed by Column");

bool OfThisPlatform(Column column) { return kHasUserIds || column != Column::UserId; }

const ColumnInfo& Info(Column column) { return kColumns[static_cast<std::size_t>(column)]; }

bool SameKey(std::string_view a, std::string_view b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == y; });
}

std::string Printable(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  return out;
}

std::string CpuTime(std::uint64_t ticks) {
  const std::uint64_t centiseconds = ticks / 100000;
  char text[48];
  std::snprintf(text, sizeof text, "%llu:%02u:%02u.%02u",
                static_cast<unsigned long long>(centiseconds / 360000),
                unsigned(centiseconds / 6000 % 60), unsigned(centiseconds / 100 % 60),
                unsigned(centiseconds % 100));
  return text;
}

std::string KiB(std::uint64_t bytes) { return std::to_string(bytes / 1024); }

// As ps' etime: [[DD-]HH:]MM:SS.
std::string Elapsed(std::uint64_t ticks) {
  const std::uint64_t seconds = ticks / kTicksPerSecond;
  const auto days = seconds / 86400;
  const auto hours = unsigned(seconds / 3600 % 24), minutes = unsigned(seconds / 60 % 60),
             rest = unsigned(seconds % 60);
  char text[48];
  if (days > 0)
    std::snprintf(text, sizeof text, "%llu-%02u:%02u:%02u", static_cast<unsigned long long>(days),
                  hours, minutes, rest);
  else if (hours > 0)
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", hours, minutes, rest);
  else
    std::snprintf(text, sizeof text, "%02u:%02u", minutes, rest);
  return text;
}

#ifdef _WIN32
std::string PriorityClass(long basePriority) {
  switch (basePriority) {
    case 4: return "idle";
    case 6: return "below normal";
    case 8: return "normal";
    case 10: return "above normal";
    case 13: return "high";
    case 24: return "realtime";
    default: return std::to_string(basePriority);
  }
}
#endif

// A value that is not known below every other.
template <typename T>
std::weak_ordering Known(const std::optional<T>& a, const std::optional<T>& b) {
  if (a.has_value() != b.has_value()) return a.has_value() <=> b.has_value();
  return a ? std::weak_order(*a, *b) : std::weak_ordering::equivalent;
}

// Orders two rows by one column; text by bytes, so that the order is the
// same on every platform.
std::weak_ordering Compare(const ProcessRow& a, const ProcessRow& b, Column column) {
  switch (column) {
    case Column::Id: return a.id <=> b.id;
    case Column::Parent: return a.parentId <=> b.parentId;
    case Column::Threads: return a.threadCount <=> b.threadCount;
    case Column::Priority: return a.basePriority <=> b.basePriority;
    case Column::Nice: return Known(a.nice, b.nice);
    case Column::User: return a.owner <=> b.owner;
    case Column::UserId: return Known(a.userId, b.userId);
    case Column::Name: return a.name <=> b.name;
    case Column::CommandLine: return a.commandLine <=> b.commandLine;
    case Column::StartTime: return Ticks(a.created) <=> Ticks(b.created);
    case Column::Elapsed: return Known(ElapsedTicks(a), ElapsedTicks(b));
    case Column::CpuTime: return a.userTicks + a.kernelTicks <=> b.userTicks + b.kernelTicks;
    case Column::WorkingSet: return a.workingSet <=> b.workingSet;
    case Column::VirtualSize: return a.virtualSize <=> b.virtualSize;
    case Column::PrivateBytes: return a.privateBytes <=> b.privateBytes;
    case Column::IoBytes: return Known(a.ioBytes, b.ioBytes);
    case Column::CpuPercent: return Known(a.cpuPercent, b.cpuPercent);
    case Column::Modules: return ModulesText(a, ",") <=> ModulesText(b, ",");
  }
  return std::weak_ordering::equivalent;
}

}  // namespace

std::optional<Column> FindColumn(std::string_view key) {
  for (const ColumnInfo& info : kColumns)
    for (std::string_view name : info.keys)
      if (!name.empty() && SameKey(key, name) && OfThisPlatform(info.column)) return info.column;
  return std::nullopt;
}

std::vector<ColumnInfo> ColumnTable() {
  std::vector<ColumnInfo> columns;
  for (const ColumnInfo& info : kColumns)
    if (OfThisPlatform(info.column)) columns.push_back(info);
  return columns;
}

std::string_view ColumnKey(Column column) { return Info(column).keys[0]; }
std::string_view ColumnHeader(Column column) { return Info(column).header; }
bool RightAligned(Column column) { return Info(column).right; }

std::optional<std::string> Cell(const ProcessRow& row, Column column, bool indent) {
  switch (column) {
    case Column::Id: return std::to_string(row.id);
    case Column::Parent: return std::to_string(row.parentId);
    case Column::Threads: return std::to_string(row.threadCount);
    case Column::Priority: return std::to_string(row.basePriority);
    case Column::Nice:
      if (!row.nice) return std::nullopt;
#ifdef _WIN32
      return PriorityClass(*row.nice);
#else
      return std::to_string(*row.nice);
#endif
    case Column::User: return Printable(row.owner);
    case Column::UserId:
      if (!row.userId) return std::nullopt;
      return std::to_string(*row.userId);
    case Column::Name:
      return std::string(indent ? 2 * std::size_t(row.depth) : 0, ' ') + Printable(row.name);
    case Column::CommandLine:
      // As ps shows a kernel thread.
      if (row.commandLine.empty()) return "[" + Printable(row.name) + "]";
      return Printable(row.commandLine);
    case Column::StartTime: return IsoTime(row.created);
    case Column::Elapsed:
      if (const auto ticks = ElapsedTicks(row)) return Elapsed(*ticks);
      return std::nullopt;
    case Column::CpuTime: return CpuTime(row.userTicks + row.kernelTicks);
    case Column::WorkingSet: return KiB(row.workingSet);
    case Column::VirtualSize: return KiB(row.virtualSize);
    case Column::PrivateBytes: return KiB(row.privateBytes);
    case Column::IoBytes:
      if (!row.ioBytes) return std::nullopt;
      return KiB(*row.ioBytes);
    case Column::CpuPercent: {
      if (!row.cpuPercent) return std::nullopt;
      char text[32];
      std::snprintf(text, sizeof text, "%.1f", *row.cpuPercent);
      return text;
    }
    case Column::Modules: return ModulesText(row, ", ");
  }
  return std::nullopt;
}

std::string ModulesErrorText(ZelCode code) {
  if (code == zel::kErrorAccessDenied) return "access denied";
  std::string text = zel::ErrorMessage(code);
  if (text.ends_with('.')) text.pop_back();
  return text;
}

std::string ModulesText(const ProcessRow& row, std::string_view separator) {
  if (row.modulesError) return ModulesErrorText(*row.modulesError);
  std::string text;
  for (const ModuleRow& module : row.modules) {
    if (!text.empty()) text += separator;
    text += Printable(module.name);
  }
  if (row.modulesCut) text += std::string(separator) + "...";
  return text.empty() ? "N/A" : text;
}

std::optional<std::uint64_t> ElapsedTicks(const ProcessRow& row) {
  if (row.elapsed) return row.elapsed;
  const std::uint64_t created = Ticks(row.created);
  if (!TicksSince1970(row.created)) return std::nullopt;
  return row.sampled > created ? row.sampled - created : 0;
}

std::string CellText(const ProcessRow& row, Column column, bool indent) {
  return Cell(row, column, indent).value_or("-");
}

void SortRows(std::vector<ProcessRow>& rows, const std::vector<SortKey>& keys) {
  std::stable_sort(rows.begin(), rows.end(), [&](const ProcessRow& a, const ProcessRow& b) {
    for (const SortKey& key : keys) {
      const auto order = key.descending ? Compare(b, a, key.column) : Compare(a, b, key.column);
      if (order != 0) return order < 0;
    }
    return false;
  });
}

}  // namespace zelps
