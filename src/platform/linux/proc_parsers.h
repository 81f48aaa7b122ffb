// Parsers of the /proc files that the Linux source reads: pure functions of
// the text, so that each can be tested on strings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zel::procfs {

// The ID that a directory of /proc (or of task/) is named by; null for the
// other entries ("self", "stat", ...).
std::optional<std::uint32_t> ParseId(std::string_view name);

// The fields of /proc/<pid>/stat (or task/<tid>/stat) that the source uses.
struct StatFields {
  std::uint32_t pid = 0;
  std::string comm;  // at most 15 bytes; may hold spaces and parentheses
  char state = 0;    // 'R', 'S', 'Z', ...
  std::uint32_t parentPid = 0;
  std::uint64_t flags = 0;  // the kernel's PF_* bits
  std::uint64_t minorFaults = 0;
  std::uint64_t majorFaults = 0;
  std::uint64_t userTicks = 0;
  std::uint64_t systemTicks = 0;
  std::int64_t nice = 0;
  std::uint64_t startTicks = 0;  // since boot
  std::uint32_t policy = 0;      // SCHED_*; 0 when the kernel does not report it
  // The status a zombie left for its parent (as wait reports it); 0 when the
  // kernel does not show it to the reader.
  std::int64_t exitCode = 0;
};

// The flag of a kernel thread (PF_KTHREAD).
inline constexpr std::uint64_t kKernelThreadFlag = 0x00200000;

// Whether the process has exited and waits for its parent (a zombie), or is
// being removed: it has no memory left.
inline bool HasEnded(char state) { return state == 'Z' || state == 'X'; }

// Null when the text is not a stat line. The command name runs from the first
// '(' to the last ')', since it may itself contain both.
std::optional<StatFields> ParseStat(std::string_view text);

// What a look at a live process needs of its stat: the state, the flags and
// the start time, found from the last ')' without splitting the other
// fields; null when the text has no such fields. Of a line that ParseStat
// reads, the same as ParseStat gives.
struct StatStart {
  char state = 0;
  std::uint64_t flags = 0;
  std::uint64_t startTicks = 0;
};
std::optional<StatStart> ParseStatStart(std::string_view text);

// The fields of /proc/<pid>/status that the source uses, sizes in bytes
// (2^64-1 for a size too large for them); a missing field (a kernel thread
// has no Vm* lines) is 0.
struct StatusFields {
  std::uint32_t threads = 0;
  std::uint64_t vmPeak = 0;
  std::uint64_t vmSize = 0;
  std::uint64_t vmHwm = 0;
  std::uint64_t vmRss = 0;
  std::uint64_t rssAnon = 0;
  std::uint64_t vmSwap = 0;
};
StatusFields ParseStatus(std::string_view text);
// The real user ID of a status text alone: the first field of its first
// "Uid:" line, which the kernel writes once.
std::optional<std::uint32_t> ParseRealUid(std::string_view text);

// The counters of /proc/<pid>/io that the source uses; missing ones are 0.
struct IoFields {
  std::uint64_t readChars = 0;   // rchar
  std::uint64_t writeChars = 0;  // wchar
  std::uint64_t readCalls = 0;   // syscr
  std::uint64_t writeCalls = 0;  // syscw
};
IoFields ParseIo(std::string_view text);

// The strings of a NUL-separated file (cmdline, environ). A final NUL ends
// the last string and adds none; empty strings inside are kept.
std::vector<std::string> SplitNulSeparated(std::string_view text);

// The boot time in seconds since 1970 ("btime" of /proc/stat), if present.
std::optional<std::uint64_t> ParseBootTime(std::string_view text);

}  // namespace zel::procfs
