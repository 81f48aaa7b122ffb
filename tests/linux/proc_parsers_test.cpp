// The /proc parsers on strings, and the conversions of what they give into
// the units and scales of Windows.
#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "platform/linux/proc_parsers.h"
#include "platform/linux/proc_files.h"
#include "platform/linux/windows_terms.h"
#include "support/counters.h"
#include "support/linux/proc_text.h"

namespace {

using namespace zel::procfs;
using namespace std::string_literals;

// A stat line as the kernel writes it for a process of this name.
std::string StatLine(std::uint32_t pid, const std::string& comm, char state) {
  return zel::test::WriteStat({.pid = pid,
                               .comm = comm,
                               .state = state,
                               .parentPid = 1,
                               .flags = 4194560,
                               .minorFaults = 1200,
                               .majorFaults = 34,
                               .userTicks = 250,
                               .systemTicks = 75,
                               .nice = -5,
                               .startTicks = 98765,
                               .policy = 3});
}

TEST(ProcStatTest, CommandNameRunsToTheLastParenthesis) {
  const auto stat = ParseStat(StatLine(4242, "(a) b) c)", 'S'));
  ASSERT_TRUE(stat);
  EXPECT_EQ(stat->pid, 4242u);
  EXPECT_EQ(stat->comm, "(a) b) c)");
  EXPECT_EQ(stat->state, 'S');
  EXPECT_EQ(stat->parentPid, 1u);
  EXPECT_EQ(stat->flags, 4194560u);
  EXPECT_EQ(stat->minorFaults, 1200u);
  EXPECT_EQ(stat->majorFaults, 34u);
  EXPECT_EQ(stat->userTicks, 250u);
  EXPECT_EQ(stat->systemTicks, 75u);
  EXPECT_EQ(stat->nice, -5);
  EXPECT_EQ(stat->startTicks, 98765u);
  EXPECT_EQ(stat->policy, 3u);  // SCHED_BATCH
  EXPECT_FALSE(stat->flags & kKernelThreadFlag);

  // Blanks and a lone '(' inside the name change nothing either.
  const auto spaced = ParseStat(StatLine(7, "x ( y  z", 'R'));
  ASSERT_TRUE(spaced);
  EXPECT_EQ(spaced->comm, "x ( y  z");
  EXPECT_EQ(spaced->nice, -5);
}

TEST(ProcStatTest, ZombiesKernelThreadsAndSchedulingPolicy) {
  const auto zombie = ParseStat(
      "77 (defunct) Z 1 77 77 0 -1 4227084 0 0 0 0 3 1 0 0 20 0 1 0 5000 0 0 "
      "18446744073709551615 0 0 0 0 0 0 0 0 0 0 0 0 17 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0");
  ASSERT_TRUE(zombie);
  EXPECT_EQ(zombie->state, 'Z');
  EXPECT_EQ(zombie->userTicks, 3u);
  EXPECT_EQ(zombie->startTicks, 5000u);

  const auto kthread = ParseStat(
      "2 (kthreadd) S 0 0 0 0 -1 2129984 0 0 0 0 0 4 0 0 20 0 1 0 2 0 0 "
      "18446744073709551615 0 0 0 0 0 0 0 2147483647 0 0 0 0 17 1 50 1 0 0 0 0 0 0 0 0 0 0 0");
  ASSERT_TRUE(kthread);
  EXPECT_TRUE(kthread->flags & kKernelThreadFlag);
  EXPECT_EQ(kthread->parentPid, 0u);
  EXPECT_EQ(kthread->policy, 1u);  // SCHED_FIFO
}

TEST(ProcStatTest, LinesThatAreNotStatAreRefused) {
  EXPECT_FALSE(ParseStat(""));
  EXPECT_FALSE(ParseStat("12 no-parentheses S 1"));
  EXPECT_FALSE(ParseStat("x12 (name) S 1 1 1 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 5"));
  // Cut before the start time.
  EXPECT_FALSE(ParseStat("12 (name) S 1 1 1 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0"));
  EXPECT_FALSE(ParseStat("12 (name) S 1 1 1 0 -1 0 0 0 0 0 0 0 0 0 20 zero 1 0 5"));
  // An older kernel that stops after the start time reports no policy.
  const auto short_line = ParseStat("12 (name) S 1 1 1 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 5");
  ASSERT_TRUE(short_line);
  EXPECT_EQ(short_line->startTicks, 5u);
  EXPECT_EQ(short_line->policy, 0u);
}

// The look at a live process reads only the state, flags and start time,
// and must read them as the whole parse does, or refuse the line as it does.
TEST(ProcStatTest, StartOfTheLineAgreesWithTheWholeParse) {
  for (const std::string& line :
       {StatLine(4242, "(a) b) c)", 'S'), StatLine(7, "x ( y  z", 'Z'),
        std::string("2 (kthreadd) S 0 0 0 0 -1 2129984 0 0 0 0 0 4 0 0 20 0 1 0 2 0"),
        std::string("12 (name) S 1 1 1 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0"), std::string(""),
        std::string("x12 (name) S 1 1 1 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 5"),
        std::string("12 no-parentheses S 1")}) {
    const auto whole = ParseStat(line);
    const auto start = zel::procfs::ParseStatStart(line);
    ASSERT_EQ(whole.has_value(), start.has_value()) << line;
    if (!whole) continue;
    EXPECT_EQ(start->state, whole->state);
    EXPECT_EQ(start->flags, whole->flags);
    EXPECT_EQ(start->startTicks, whole->startTicks);
  }
}

TEST(ProcIdTest, OnlyDecimalNamesAreIds) {
  EXPECT_EQ(ParseId("1"), 1u);
  EXPECT_EQ(ParseId("4194304"), 4194304u);
  for (const char* name : {"", "self", "12a", "-1", "+5", " 5", "99999999999"})
    EXPECT_FALSE(ParseId(name)) << name;
}

TEST(ProcStatusTest, SizesInBytesAndTheRealUid) {
  const StatusFields status = ParseStatus(
      "Name:\tbash\nUmask:\t0022\nState:\tS "
      "(sleeping)\nUid:\t1000\t0\t0\t0\nGid:\t100\t100\t100\t100\n"
      "VmPeak:\t   10240 kB\nVmSize:\t    9216 kB\nVmLck:\t       0 kB\nVmHWM:\t    4096 kB\n"
      "VmRSS:\t    3072 kB\nRssAnon:\t    1024 kB\nRssFile:\t    2048 kB\nVmData:\t     512 kB\n"
      "VmSwap:\t      16 kB\nThreads:\t1\n");
  EXPECT_EQ(status.vmPeak, 10240u * 1024);
  EXPECT_EQ(status.vmSize, 9216u * 1024);
  EXPECT_EQ(status.vmHwm, 4096u * 1024);
  EXPECT_EQ(status.vmRss, 3072u * 1024);
  EXPECT_EQ(status.rssAnon, 1024u * 1024);
  EXPECT_EQ(status.vmSwap, 16u * 1024);

  // A kernel thread's status has no memory lines.
  const StatusFields kthread =
      ParseStatus("Name:\tkthreadd\nState:\tS (sleeping)\nUid:\t0\t0\t0\t0\nThreads:\t1\n");
  EXPECT_EQ(kthread.vmSize, 0u);
  EXPECT_EQ(kthread.vmRss, 0u);
  // The owner's read parses the Uid line alone.
  EXPECT_FALSE(zel::procfs::ParseRealUid("Name:\tx\n"));
  EXPECT_EQ(zel::procfs::ParseRealUid("Name:\tbash\nUid:\t1000\t0\t0\t0\nGid:\t1\n"), 1000u);
  EXPECT_EQ(zel::procfs::ParseRealUid("Uid:\t0\t0\t0\t0\nThreads:\t1\n"), 0u);
  EXPECT_FALSE(zel::procfs::ParseRealUid("Name:\tx\nUid:\n"));

  // A size in kB too large for a count of bytes saturates, rather than
  // wrapping to a small one.
  const StatusFields huge =
      ParseStatus("VmPeak:\t18014398509481984 kB\nVmSize:\t18014398509481983 kB\n");
  EXPECT_EQ(huge.vmPeak, std::numeric_limits<std::uint64_t>::max());
  EXPECT_EQ(huge.vmSize, 18014398509481983u * 1024);
}

TEST(ProcIoTest, CountersByName) {
  const IoFields io = ParseIo(
      "rchar: 123456\nwchar: 7890\nsyscr: 321\nsyscw: 54\nread_bytes: 4096\nwrite_bytes: 0\n"
      "cancelled_write_bytes: 0\n");
  EXPECT_EQ(io.readChars, 123456u);
  EXPECT_EQ(io.writeChars, 7890u);
  EXPECT_EQ(io.readCalls, 321u);
  EXPECT_EQ(io.writeCalls, 54u);
  const IoFields none = ParseIo("");
  EXPECT_EQ(none.readChars + none.writeChars + none.readCalls + none.writeCalls, 0u);
}

TEST(ProcNulSeparatedTest, FinalNulEndsTheLastStringAndEmptyOnesStay) {
  EXPECT_EQ(SplitNulSeparated("/bin/prog\0-x\0\0last arg\0"s),
            (std::vector<std::string>{"/bin/prog", "-x", "", "last arg"}));
  EXPECT_TRUE(SplitNulSeparated("").empty());
  EXPECT_EQ(SplitNulSeparated("\0"s), std::vector<std::string>{""});
  // A process that rewrote its arguments as one title leaves no final NUL.
  EXPECT_EQ(SplitNulSeparated("postgres: writer"), std::vector<std::string>{"postgres: writer"});
  EXPECT_EQ(SplitNulSeparated("A=1\0B=x=y\0"s), (std::vector<std::string>{"A=1", "B=x=y"}));
}

TEST(ProcBootTimeTest, FoundAmongTheOtherLines) {
  EXPECT_EQ(ParseBootTime("cpu  1 2 3 4\ncpu0 1 2 3 4\nintr 99 0 1\nctxt 12345\nbtime 1700000000\n"
                          "processes 4321\n"),
            1700000000u);
  EXPECT_FALSE(ParseBootTime("cpu  1 2 3 4\nctxt 5\n"));
  EXPECT_FALSE(ParseBootTime("btimex 17\n"));
}

TEST(WindowsTermsTest, TicksBecomeHundredNanosecondUnits) {
  EXPECT_EQ(DurationFromTicks(1, 100), 100'000u);
  EXPECT_EQ(DurationFromTicks(250, 100), 25'000'000u);
  EXPECT_EQ(DurationFromTicks(1, 250), 40'000u);
  EXPECT_EQ(DurationFromTicks(3, 1024), 29'296u);  // 3/1024 s, truncated
  // 3*10^12 ticks (950 years at 100 Hz) would overflow if multiplied first.
  EXPECT_EQ(DurationFromTicks(3'000'000'000'000, 100), 300'000'000'000'000'000u);
  EXPECT_EQ(DurationFromTicks(5, 0), 0u);
  // A clock faster than 2^64 / 10^7 Hz: the remainder's share must not
  // overflow either.
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  EXPECT_EQ(DurationFromTicks(kMax - 1, 3'000'000'000'000'000'000u), 61'489'146u);
}

TEST(WindowsTermsTest, TimesTooLargeForFileTimesSaturate) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  EXPECT_EQ(DurationFromTicks(kMax, 100), kMax);
  EXPECT_EQ(DurationFromTicks(kMax / 100'000, 100), kMax / 100'000 * 100'000);
  EXPECT_EQ(DurationFromTicks(kMax / 100'000 + 1, 100), kMax);
  EXPECT_EQ(FileTimeOfStart(kMax / 10'000'000, 0, 100), kMax);
  EXPECT_EQ(FileTimeOfStart(1'700'000'000, kMax, 100), kMax);
  EXPECT_EQ(FileTimeOfStart(0, kMax, 0), 116'444'736'000'000'000u);
}

TEST(WindowsTermsTest, StartTimesCountFrom1601) {
  // 1970-01-01T00:00:00Z.
  EXPECT_EQ(FileTimeOfStart(0, 0, 100), 116'444'736'000'000'000u);
  // Booted 2023-11-14T22:13:20Z, started 123.45 s later.
  EXPECT_EQ(FileTimeOfStart(1'700'000'000, 12'345, 100), 133'444'737'234'500'000u);
}

TEST(WindowsTermsTest, PriorityClassesFromNiceAndPolicy) {
  struct Case {
    std::int64_t nice;
    std::uint32_t policy;
    std::int32_t priority;
  };
  for (const Case c : {Case{0, 0, 8}, Case{-1, 0, 10}, Case{-9, 0, 10}, Case{-10, 0, 13},
                       Case{-20, 0, 13}, Case{1, 0, 6}, Case{9, 0, 6}, Case{10, 0, 4},
                       Case{19, 0, 4}, Case{0, 3, 8},                    // SCHED_BATCH: by nice
                       Case{0, 1, 24}, Case{19, 2, 24}, Case{0, 6, 24},  // real-time policies
                       Case{0, 5, 4}}) {                                 // SCHED_IDLE
    EXPECT_EQ(BasePriorityOf(c.nice, c.policy), c.priority)
        << "nice " << c.nice << " policy " << c.policy;
  }
}

TEST(ProcFilesTest, FileNameAndPathWithoutTheDeletedMark) {
  EXPECT_EQ(FileNameOf(WithoutDeletedMark("/usr/bin/vim (deleted)")), "vim");
  EXPECT_EQ(FileNameOf(WithoutDeletedMark("/opt/my app/a) b (deleted) c")), "a) b (deleted) c");
  EXPECT_EQ(FileNameOf("/opt/my app/tool"), "tool");
  EXPECT_EQ(FileNameOf("relative"), "relative");
  EXPECT_EQ(FileNameOf("/"), "");
}

TEST(WindowsTermsTest, MemoryCountersInBytes) {
  StatusFields status;
  status.vmPeak = 10;
  status.vmSize = 9;
  status.vmHwm = 8;
  status.vmRss = 7;
  status.rssAnon = 5;
  status.vmSwap = 2;
  StatFields stat;
  stat.minorFaults = 100;
  stat.majorFaults = 11;
  const auto vm = MemoryCountersOf(status, stat);
  // No pools on Linux; the pagefile usage is the private memory, with no peak.
  EXPECT_EQ(zel::test::VmFields(vm),
            (std::array<std::uint64_t, 11>{10, 9, 111, 8, 7, 0, 0, 0, 0, 7, 7}));
  EXPECT_EQ(PrivateBytesOf(status), 7u);

  stat.minorFaults = std::numeric_limits<std::uint32_t>::max();
  EXPECT_EQ(MemoryCountersOf(status, stat).PageFaultCount,
            std::numeric_limits<std::uint32_t>::max());
  status.rssAnon = std::numeric_limits<std::uint64_t>::max() - 1;
  status.vmSwap = 2;
  EXPECT_EQ(PrivateBytesOf(status), std::numeric_limits<std::uint64_t>::max());
  EXPECT_EQ(MemoryCountersOf(status, stat).PagefileUsage,
            std::numeric_limits<std::uint64_t>::max());
  // A sum past 64 bits saturates too, rather than wrapping to a small count.
  stat.minorFaults = std::numeric_limits<std::uint64_t>::max();
  stat.majorFaults = 2;
  EXPECT_EQ(MemoryCountersOf(status, stat).PageFaultCount,
            std::numeric_limits<std::uint32_t>::max());
}

}  // namespace
