// The strings and environment read out of live processes, checked against what
// a child of the test binary says of itself and against the host's own view.
#include <windows.h>
#include <shellapi.h>
#include <winternl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ZelProcess.h"
#include "support/windows/child_process.h"
#include "support/churn/children.h"
#include "support/command_line_cases.h"
#include "support/live_failure_codes.h"
#include "support/protected_process.h"
#include "support/reference_command_line.h"
#include "support/windows/comparable.h"
#include "support/windows/handle_count.h"
#include "support/windows/host_handles.h"
#include "support/windows/live_reads.h"
#include "platform/windows/block_layouts.h"

namespace {

using zel::EnvironmentCopy;
using namespace zel::test;

int ReportSelfAndWait(MessagePipe& host) {
  for (const auto& message : zel::test::SelfReportMessages())
    if (!host.Send(message)) return 1;
  // Alive until the host has read what it wants and closes the pipe.
  while (host.Receive()) {
  }
  return 0;
}

const zel::test::ChildMode kReportSelf("report-self", &ReportSelfAndWait);

// A page high in the address space, where nothing lies after it. (Under
// Wine a read of another process fails only where the host maps nothing,
// whatever Wine's own view of the region; here it maps nothing.)
void* PageWithNothingAfterIt(DWORD size) {
  for (std::uintptr_t at = 0x500000000000; at < 0x600000000000; at += 0x1000000000)
    if (void* page = ::VirtualAlloc(reinterpret_cast<void*>(at), size, MEM_COMMIT | MEM_RESERVE,
                                    PAGE_READWRITE))
      return page;
  return nullptr;
}

// As report-self, with its environment block moved to the end of such a page,
// so that the block's memory region ends where the block does.
int ReportSelfFromRegionEndAndWait(MessagePipe& host) {
  const std::vector<std::byte> block = EnvironmentBytes();
  SYSTEM_INFO system{};
  ::GetSystemInfo(&system);
  if (block.size() > system.dwPageSize) return 1;
  void* page = PageWithNothingAfterIt(system.dwPageSize);
  if (!page) return 1;
  std::byte* moved = static_cast<std::byte*>(page) + system.dwPageSize - block.size();
  std::memcpy(moved, block.data(), block.size());
  void* parameters =
      static_cast<const TEB*>(zel::test::CurrentTeb())->ProcessEnvironmentBlock->ProcessParameters;
  constexpr std::size_t kEnvironment = ZEL_OFFSET(ProcessParameters, Environment);
  const auto original = zel::layout::Load<void*>(parameters, kEnvironment);
  zel::layout::Store(parameters, kEnvironment, static_cast<void*>(moved));
  const int result = ReportSelfAndWait(host);
  zel::layout::Store(parameters, kEnvironment, original);
  ::VirtualFree(page, 0, MEM_RELEASE);
  return result;
}

const zel::test::ChildMode kReportSelfFromRegionEnd("report-self-from-region-end",
                                                    &ReportSelfFromRegionEndAndWait);

// A child started with every string the library reads set to something of
// its own: quotes, spaces and characters beyond ASCII and beyond the BMP.
class LiveStringsOfAChild : public ::testing::Test {
 protected:
  static constexpr const wchar_t* kTitle = L"Zel title ü €漢字 😀";

  void SetUp() override {
    ASSERT_TRUE(directory_.created()) << ::GetLastError();
    ASSERT_FALSE(desktop_.fullName().empty()) << ::GetLastError();
    ChildOptions options;
    options.mode = "report-self";
    options.arguments = {L"ü €漢字 😀", L"say \"hi\" twice", L"", L"C:\\dir with space\\"};
    options.currentDirectory = directory_.path();
    options.environment = {SystemRootEntry(), L"ZEL_GREETING=grüße €漢字 😀", L"ZEL_PLAIN=plain",
                           L"ZEL_EMPTY=", L"ZEL_QUOTED=\"a b\""};
    options.title = kTitle;
    options.desktop = desktop_.fullName();
    child_.emplace(options);
    auto report = ReadReport(child_->Pipe());
    ASSERT_TRUE(report) << "the child ended before it reported";
    report_ = std::move(*report);
  }

  TempDirectory directory_{L"zel dir ü 😀 " + std::to_wstring(::GetCurrentProcessId())};
  Desktop desktop_{L"ZelLiveStrings"};
  // Declared after them so that it ends before its directory is removed.
  std::optional<ChildProcess> child_;
  SelfReport report_;
};

TEST_F(LiveStringsOfAChild, AgreeWithWhatTheChildSeesOfItself) {
  // The child got what it was started with, so agreement below means the
  // library read this child's strings, not some default.
  ASSERT_EQ(report_.commandLine, child_->CommandLine());
  ASSERT_EQ(report_.currentDirectory, directory_.path());
  ASSERT_EQ(report_.title, kTitle);
  ASSERT_EQ(report_.desktop, desktop_.fullName());

  CZelProcess processes;
  ZelHandle child(processes, processes.CreateHandleFromPID(child_->Id()));
  ASSERT_TRUE(child) << processes.GetErrorCode();
  ExpectStringsAsReported(processes, child.Get(), report_);
}

TEST_F(LiveStringsOfAChild, EnvironmentBufferStartsLikeTheChildsBlock) {
  CZelProcess processes;
  ZelHandle child(processes, processes.CreateHandleFromPID(child_->Id()));
  ASSERT_TRUE(child) << processes.GetErrorCode();

  // Held bare, to see what giving it back answers; no check below returns early.
  unsigned char* copy = processes.GetEnvironmentBuffer(child.Get());
  ASSERT_NE(copy, nullptr) << processes.GetErrorCode();
  EXPECT_EQ(processes.GetErrorCode(), ERROR_SUCCESS);
  const std::size_t compared = std::min(kEnvironmentCopySize, report_.environment.size());
  EXPECT_EQ(FirstDifference(copy, report_.environment, compared), compared);

  EXPECT_EQ(processes.FreeEnvironmentBuffer(copy), 1);
  EXPECT_EQ(copy, nullptr);
}

TEST_F(LiveStringsOfAChild, RepeatedReadsLeaveNoHandlesBehind) {
  CZelProcess processes;
  ZelHandle child(processes, processes.CreateHandleFromPID(child_->Id()));
  ASSERT_TRUE(child) << processes.GetErrorCode();
  ExpectHandleCountToTrackHandles(child_->Id());

  const ReadTally tally = ReadRepeatedly(processes, child.Get());
  // Every read went all the way through, opening all it opens.
  EXPECT_EQ(tally.stringsRead, 5 * kRounds);
  EXPECT_EQ(tally.copiesMade, kRounds);
  EXPECT_EQ(tally.blocksMade, kRounds);
}

// A copy holds the first 4096 bytes of a longer environment, and of a shorter
// one that its memory region ends with, what the region holds, then zeros;
// the whole block holds each whole.
TEST(LiveStringsOfAnEnvironment, YieldTheFirst4096BytesThatItsRegionHolds) {
  // Position-dependent text, with units beyond ASCII, so that a copy taken
  // from the wrong place or of the wrong length cannot match by accident.
  std::wstring value;
  for (int i = 0; i < 6000; ++i) value += i % 7 == 0 ? L'ü' : static_cast<wchar_t>(L'A' + i % 26);
  const struct {
    const char* mode;
    std::wstring entry;
    bool cut;
  } cases[] = {{"report-self", L"ZEL_LONG=" + value, true},
               {"report-self-from-region-end", L"ZEL_SHORT=" + value.substr(0, 100), false}};
  for (const auto& c : cases) {
    ChildOptions options;
    options.mode = c.mode;
    options.environment = {SystemRootEntry(), L"ZEL_BEFORE=1", c.entry, L"ZEL_AFTER=2"};
    ChildProcess child(options);
    const auto report = ReadReport(child.Pipe());
    ASSERT_TRUE(report) << c.mode << ": the child ended before it reported";
    ASSERT_EQ(report->environment.size() > kEnvironmentCopySize, c.cut) << c.mode;

    CZelProcess processes;
    ZelHandle handle(processes, processes.CreateHandleFromPID(child.Id()));
    ASSERT_TRUE(handle) << processes.GetErrorCode();
    const EnvironmentCopy copy(processes, processes.GetEnvironmentBuffer(handle.Get()));
    ASSERT_NE(copy.Get(), nullptr) << c.mode << ": " << processes.GetErrorCode();
    const std::size_t held = std::min(kEnvironmentCopySize, report->environment.size());
    EXPECT_EQ(FirstDifference(copy.Get(), report->environment, held), held) << c.mode;
    const std::vector<std::byte> zeros(kEnvironmentCopySize - held);
    EXPECT_EQ(FirstDifference(copy.Get() + held, zeros, zeros.size()), zeros.size()) << c.mode;
    // The whole block is the child's, however long.
    const EnvironmentBlock block(processes, handle.Get());
    EXPECT_TRUE(block.Holds(report->environment)) << c.mode << ": " << processes.GetErrorCode();
    EXPECT_EQ(processes.GetErrorCode(), ERROR_SUCCESS) << c.mode;
  }
}

// A child whose snapshot was taken while it ran, and which has ended since,
// with an exit code that nothing else would give.
class LiveStringsOfAnEndedChild : public ::testing::Test {
 protected:
  static constexpr DWORD kExitCode = 3;

  void SetUp() override {
    ChildOptions options;
    options.mode = "report-self";
    child_.emplace(options);
    ASSERT_TRUE(ReadReport(child_->Pipe())) << "the child ended before it reported";
    processes_.emplace();
    handle_.emplace(*processes_, processes_->CreateHandleFromPID(child_->Id()));
    ASSERT_TRUE(*handle_) << processes_->GetErrorCode();
    ASSERT_TRUE(::TerminateProcess(child_->Handle(), kExitCode)) << ::GetLastError();
    ASSERT_EQ(child_->Finish(), kExitCode);
  }

  std::optional<ChildProcess> child_;
  std::optional<zel::test::ProtectedProcess> processes_;
  std::optional<ZelHandle> handle_;
};

// The host still holds the child's process, so it opens, but it has no memory
// left to read; its owner and exit status are still there.
TEST_F(LiveStringsOfAnEndedChild, WhileStillHeldHaveNoMemoryButAnOwnerAndAnExitStatus) {
  ExpectReadsFailWith(*processes_, handle_->Get(), zel::test::kProcessWithoutMemory);
  zel::layout::ProcessBasicInformation info{};
  EXPECT_EQ(processes_->GetProcessInformation(handle_->Get(),
                                              reinterpret_cast<_PROCESS_BASIC_INFORMATION*>(&info)),
            1);
  EXPECT_EQ(processes_->GetErrorCode(), ERROR_SUCCESS);
  EXPECT_EQ(info.ExitStatus, static_cast<std::int32_t>(kExitCode));
  EXPECT_EQ(info.UniqueProcessId, child_->Id());
  std::vector<std::byte> peb(zel::layout::kPebReadSize);
  EXPECT_EQ(processes_->GetPEB(handle_->Get(), reinterpret_cast<_PEB*>(peb.data())), 0);
  EXPECT_EQ(processes_->GetErrorCode(), ERROR_ACCESS_DENIED);
}

TEST_F(LiveStringsOfAnEndedChild, FailedReadsLeaveNoHandlesBehind) {
  ExpectHandleCountToTrackHandles(child_->Id());
  const ReadTally tally = ReadRepeatedly(*processes_, handle_->Get());
  EXPECT_EQ(tally.stringsRead, 0);
  EXPECT_EQ(tally.copiesMade, 0);
  EXPECT_EQ(tally.blocksMade, 0);
}

TEST_F(LiveStringsOfAnEndedChild, OnceGoneAreEmptyWithTheReasonItCouldNotBeOpened) {
  const DWORD id = child_->Id();
  child_->Release();
  ASSERT_TRUE(zel::churn::WaitUntilGone({id})) << "the ended child's process can still be opened";

  ExpectReadsFailWith(*processes_, handle_->Get(), zel::test::kGoneProcess);
}

// Restores the host's current directory on every path out of a test.
class CurrentDirectoryChange {
 public:
  explicit CurrentDirectoryChange(const std::wstring& directory)
      : previous_(CurrentDirectory()), changed_(::SetCurrentDirectoryW(directory.c_str()) != 0) {}
  CurrentDirectoryChange(const CurrentDirectoryChange&) = delete;
  CurrentDirectoryChange& operator=(const CurrentDirectoryChange&) = delete;
  ~CurrentDirectoryChange() {
    if (changed_) ::SetCurrentDirectoryW(previous_.c_str());
  }
  bool changed() const { return changed_; }

 private:
  std::wstring previous_;
  bool changed_;
};

TEST(LiveStringsOfTheHost, AgreeWithItsOwnView) {
  CZelProcess processes;
  ZelHandle self(processes, processes.CreateHandleFromPID(::GetCurrentProcessId()));
  ASSERT_TRUE(self) << processes.GetErrorCode();

  EXPECT_EQ(Text(processes.GetCommandLineW(self.Get())), std::wstring(::GetCommandLineW()));
  EXPECT_EQ(processes.GetErrorCode(), ERROR_SUCCESS);
  EXPECT_EQ(Text(processes.GetImageFile(self.Get())), ModuleFileName());
  EXPECT_EQ(processes.GetErrorCode(), ERROR_SUCCESS);
  EXPECT_EQ(Text(processes.GetCurrentDirectoryW(self.Get())),
            AsKeptInParameters(CurrentDirectory()));
  EXPECT_EQ(processes.GetErrorCode(), ERROR_SUCCESS);

  // Read again after a change, through the same snapshot: the strings are the
  // live process's, not the snapshot's.
  TempDirectory directory(L"zel host dir ü 😀 " + std::to_wstring(::GetCurrentProcessId()));
  ASSERT_TRUE(directory.created()) << ::GetLastError();
  CurrentDirectoryChange change(directory.path());
  ASSERT_TRUE(change.changed()) << ::GetLastError();
  EXPECT_EQ(Text(processes.GetCurrentDirectoryW(self.Get())), AsKeptInParameters(directory.path()));
  EXPECT_EQ(processes.GetErrorCode(), ERROR_SUCCESS);
}

// The splitter that the Linux tests and the fuzzers hold the Linux source's
// command lines to splits them as the platform does.
TEST(CommandLineSplitting, ReferenceSplitsAsCommandLineToArgvW) {
  for (const zel::test::CommandLineCase& c : zel::test::CommandLineCases()) {
    const std::wstring line(c.line.begin(), c.line.end());
    int count = 0;
    LPWSTR* argv = ::CommandLineToArgvW(line.c_str(), &count);
    ASSERT_NE(argv, nullptr) << c.line;
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(CZelString(argv[i]).ToUtf8());
    ::LocalFree(argv);
    EXPECT_EQ(arguments, c.arguments) << c.line;
    EXPECT_EQ(zel::test::SplitCommandLine(c.line), c.arguments) << c.line;
  }
}

}  // namespace
