// The /proc parsers and the text helpers of the Linux source, on arbitrary
// file contents: no fault or undefined behaviour, and what can be checked
// apart from the code holds. Each input is read as every kind of file; its
// bytes also pick field values to write out as /proc text and read back.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ZelString.h"
#include "fuzz_check.h"
#include "platform/linux/windows_quoting.h"
#include "platform/linux/proc_files.h"
#include "platform/linux/proc_parsers.h"
#include "platform/linux/windows_terms.h"
#include "reference_utf8.h"
#include "support/linux/proc_text.h"
#include "support/reference_command_line.h"

namespace {

namespace proc = zel::procfs;
using zel::test::operator==;
using Wide = unsigned __int128;

constexpr std::uint64_t kMax64 = std::numeric_limits<std::uint64_t>::max();

// The decimal number a name of digits spells, if it fits in 32 bits.
std::optional<std::uint32_t> ReferenceId(std::string_view name) {
  if (name.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : name) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (value > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

void CheckStat(std::string_view text) {
  const auto stat = proc::ParseStat(text);
  // What a live read looks at is what the whole parse reads.
  const auto start = proc::ParseStatStart(text);
  if (stat)
    ZEL_FUZZ_CHECK(start && start->state == stat->state && start->flags == stat->flags &&
                   start->startTicks == stat->startTicks);
  if (!stat) return;
  // The command name is all that lies between the first '(' and the last ')'.
  const std::size_t open = text.find('(');
  const std::size_t close = text.rfind(')');
  ZEL_FUZZ_CHECK(open != text.npos && close != text.npos && open < close);
  ZEL_FUZZ_CHECK(stat->comm == text.substr(open + 1, close - open - 1));
  std::string_view pid = text.substr(0, open);
  pid.remove_prefix(std::min(pid.find_first_not_of(" \t"), pid.size()));
  pid.remove_suffix(pid.size() - std::min(pid.find_last_not_of(" \t\n") + 1, pid.size()));
  ZEL_FUZZ_CHECK(ReferenceId(pid) == stat->pid);
  ZEL_FUZZ_CHECK(stat->state != ' ' && stat->state != '\t' && stat->state != '\n');
  // Written out again as the kernel writes it, it reads back the same.
  const auto again = proc::ParseStat(zel::test::WriteStat(*stat));
  ZEL_FUZZ_CHECK(again && *again == *stat);
}

// Arguments as the cmdline file holds them: quoted as one Windows command
// line, they split back into themselves, in a spelling that every splitter
// reads the same. A program name that holds a blank and a quote, or starts
// with a quote, has no such spelling: it comes back without its quotes, and
// the arguments after it still exactly.
void CheckCommandLine(std::vector<std::string> arguments) {
  if (arguments.empty()) return;
  const std::string line = proc::QuoteCommandLine(arguments);
  std::string& name = arguments[0];
  const bool blank = name.find_first_of(" \t") != std::string::npos;
  if ((blank && name.find('"') != std::string::npos) || name.starts_with('"'))
    std::erase(name, '"');
  bool ambiguous = true;
  const std::vector<std::string> split = zel::test::SplitCommandLine(line, &ambiguous);
  ZEL_FUZZ_CHECK(!ambiguous && split == arguments);
}

// The environment block read the way a host reads it, string by string up
// to the empty one, gives back every non-empty variable in order.
void CheckEnvironmentBlock(const std::vector<std::string>& variables) {
  const std::string block = proc::EnvironmentBlock(variables);
  ZEL_FUZZ_CHECK(block.size() >= 2 && block.ends_with(std::string(1, '\0')));
  std::vector<std::string> read;
  for (std::size_t at = 0; at < block.size() && block[at] != '\0';) {
    const std::size_t end = block.find('\0', at);
    ZEL_FUZZ_CHECK(end != std::string::npos);
    read.push_back(block.substr(at, end - at));
    at = end + 1;
  }
  std::vector<std::string> expected;
  for (const std::string& v : variables)
    if (!v.empty()) expected.push_back(v);
  ZEL_FUZZ_CHECK(read == expected);
}

void CheckNulSeparated(std::string_view text) {
  const std::vector<std::string> strings = proc::SplitNulSeparated(text);
  // Joined with NULs again, they are the text less one final NUL.
  std::string joined;
  for (std::size_t i = 0; i < strings.size(); ++i) {
    if (i > 0) joined += '\0';
    joined += strings[i];
  }
  std::string_view stripped = text;
  if (stripped.ends_with('\0')) stripped.remove_suffix(1);
  ZEL_FUZZ_CHECK(text.empty() ? strings.empty() : joined == stripped);
  CheckCommandLine(strings);
  CheckEnvironmentBlock(strings);
}

void CheckUtf16(std::string_view text) {
  // The conversion of the Linux source's text, where it hands it to the core.
  const CZelString decoded = CZelString::FromUtf8(text);
  const unsigned short* units = decoded;
  const zel::fuzz::Decoded expected = zel::fuzz::ReferenceUtf16(text);
  ZEL_FUZZ_CHECK(
      std::equal(units, units + decoded.GetLength(), expected.units.begin(), expected.units.end()));
  // Well-formed text comes back byte for byte; other text comes back as the
  // well-formed text of its replacements, which then decodes the same.
  const std::string encoded = decoded.ToUtf8();
  if (expected.wellFormed) ZEL_FUZZ_CHECK(encoded == text);
  ZEL_FUZZ_CHECK(CZelString::FromUtf8(encoded) == decoded);
}

void CheckWrittenFiles(FuzzedDataProvider& in) {
  proc::StatFields stat;
  stat.pid = in.ConsumeIntegral<std::uint32_t>();
  stat.comm = in.ConsumeRandomLengthString(40);
  stat.state = in.PickValueInArray({'R', 'S', 'D', 'Z', 'T', 't', 'X', 'I', 'P', 'W'});
  stat.parentPid = in.ConsumeIntegral<std::uint32_t>();
  stat.flags = in.ConsumeIntegral<std::uint64_t>();
  stat.minorFaults = in.ConsumeIntegral<std::uint64_t>();
  stat.majorFaults = in.ConsumeIntegral<std::uint64_t>();
  stat.userTicks = in.ConsumeIntegral<std::uint64_t>();
  stat.systemTicks = in.ConsumeIntegral<std::uint64_t>();
  stat.nice = in.ConsumeIntegral<std::int64_t>();
  stat.startTicks = in.ConsumeIntegral<std::uint64_t>();
  stat.policy = in.ConsumeIntegral<std::uint32_t>();
  const auto stat_read = proc::ParseStat(zel::test::WriteStat(stat));
  ZEL_FUZZ_CHECK(stat_read && *stat_read == stat);

  // Sizes are written in kB, any count of them; read back in bytes, they
  // saturate where they do not fit.
  zel::test::StatusInKilobytes written;
  if (in.ConsumeBool()) written.realUid = in.ConsumeIntegral<std::uint32_t>();
  for (std::uint64_t& kilobytes : written.sizes) kilobytes = in.ConsumeIntegral<std::uint64_t>();
  written.name = in.ConsumeRandomLengthString(20);
  std::replace(written.name.begin(), written.name.end(), '\n', ' ');
  const std::string status_text = zel::test::WriteStatus(written);
  const proc::StatusFields status = proc::ParseStatus(status_text);
  ZEL_FUZZ_CHECK(proc::ParseRealUid(status_text) == written.realUid);
  const std::uint64_t read[] = {status.vmPeak, status.vmSize,  status.vmHwm,
                                status.vmRss,  status.rssAnon, status.vmSwap};
  for (std::size_t i = 0; i < written.sizes.size(); ++i)
    ZEL_FUZZ_CHECK(read[i] == std::min<Wide>(Wide{written.sizes[i]} * 1024, kMax64));

  proc::IoFields io;
  for (std::uint64_t* counter : {&io.readChars, &io.writeChars, &io.readCalls, &io.writeCalls})
    *counter = in.ConsumeIntegral<std::uint64_t>();
  ZEL_FUZZ_CHECK(proc::ParseIo(zel::test::WriteIo(io)) == io);

  const auto boot = in.ConsumeIntegral<std::uint64_t>();
  const std::string stat_file = "cpu  10 0 20 3000 0 0 0 0 0 0\nintr 5 0\nctxt 99\nbtime " +
                                std::to_string(boot) + "\nprocesses 12\n";
  ZEL_FUZZ_CHECK(proc::ParseBootTime(stat_file) == boot);

  // The conversions to Windows terms: exact, or saturated where the exact
  // result does not fit.
  const auto ticks = in.ConsumeIntegral<std::uint64_t>();
  const auto per_second = in.ConsumeIntegral<std::uint64_t>();
  const Wide duration = per_second ? Wide{ticks} * proc::kFileTimeUnitsPerSecond / per_second : 0;
  ZEL_FUZZ_CHECK(proc::DurationFromTicks(ticks, per_second) == std::min<Wide>(duration, kMax64));
  const Wide start =
      proc::kUnixEpochAsFileTime + Wide{boot} * proc::kFileTimeUnitsPerSecond + duration;
  ZEL_FUZZ_CHECK(proc::FileTimeOfStart(boot, ticks, per_second) == std::min<Wide>(start, kMax64));

  const zel::layout::VmCounters vm = proc::MemoryCountersOf(status, stat);
  const Wide faults = Wide{stat.minorFaults} + stat.majorFaults;
  ZEL_FUZZ_CHECK(vm.PageFaultCount ==
                 std::min<Wide>(faults, std::numeric_limits<std::uint32_t>::max()));
  const Wide private_bytes = std::min<Wide>(Wide{status.rssAnon} + status.vmSwap, kMax64);
  ZEL_FUZZ_CHECK(vm.PagefileUsage == private_bytes && vm.PeakPagefileUsage == private_bytes);
  ZEL_FUZZ_CHECK(proc::PrivateBytesOf(status) == private_bytes);
  ZEL_FUZZ_CHECK(vm.VirtualSize == status.vmSize && vm.PeakVirtualSize == status.vmPeak &&
                 vm.WorkingSetSize == status.vmRss && vm.PeakWorkingSetSize == status.vmHwm);

  // A higher nice never gives a higher priority under the same policy.
  const std::uint32_t policy = in.ConsumeIntegralInRange<std::uint32_t>(0, 7);
  const auto nice = in.ConsumeIntegral<std::int64_t>();
  if (nice < std::numeric_limits<std::int64_t>::max())
    ZEL_FUZZ_CHECK(proc::BasePriorityOf(nice, policy) >= proc::BasePriorityOf(nice + 1, policy));
}

void CheckPathNames(std::string_view path) {
  const std::string_view kept = proc::WithoutDeletedMark(path);
  ZEL_FUZZ_CHECK(path.starts_with(kept) &&
                 (kept.size() == path.size() || path.substr(kept.size()) == " (deleted)"));
  const std::string_view file = proc::FileNameOf(path);
  ZEL_FUZZ_CHECK(path.ends_with(file) && file.find('/') == file.npos);
  ZEL_FUZZ_CHECK(file.size() == path.size() || path[path.size() - file.size() - 1] == '/');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ZEL_FUZZ_CHECK(proc::ParseId(text) == ReferenceId(text));
  CheckStat(text);
  proc::ParseStatus(text);
  proc::ParseRealUid(text);
  proc::ParseIo(text);
  proc::ParseBootTime(text);
  CheckNulSeparated(text);
  CheckUtf16(text);
  CheckPathNames(text);
  FuzzedDataProvider in(data, size);
  CheckWrittenFiles(in);
  return 0;
}
