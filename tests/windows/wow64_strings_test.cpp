// The strings and environment of a 32-bit child, whose own code keeps them in
// its 32-bit blocks: after it has changed its directory and set a variable,
// every getter must agree with what it says of itself.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ZelProcess.h"
#include "support/windows/child_process.h"
#include "support/windows/comparable.h"
#include "support/windows/handle_count.h"
#include "support/windows/host_handles.h"
#include "support/windows/live_reads.h"

namespace {

using zel::EnvironmentCopy;
using namespace zel::test;

struct Run {
  DWORD exitCode = 0;
  std::string output;  // its standard output
};

// Runs a program to its end.
std::optional<Run> RunProgram(const std::wstring& image, const std::wstring& arguments) {
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  if (!::CreatePipe(&read, &write, &inheritable, 0)) return std::nullopt;
  OwnedHandle reader(read);
  OwnedHandle writer(write);
  ::SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write;
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  std::wstring command = L"\"" + image + L"\" " + arguments;
  PROCESS_INFORMATION started{};
  if (!::CreateProcessW(image.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &started))
    return std::nullopt;
  const OwnedHandle process(started.hProcess);
  const OwnedHandle thread(started.hThread);
  // Its copy alone holds the pipe open now, so the reads end with it.
  writer.Reset();
  Run run;
  char chunk[4096];
  DWORD got = 0;
  while (::ReadFile(reader.Get(), chunk, sizeof chunk, &got, nullptr) && got > 0)
    run.output.append(chunk, got);
  ::WaitForSingleObject(process.Get(), INFINITE);
  ::GetExitCodeProcess(process.Get(), &run.exitCode);
  return run;
}

// The line of JSON Lines that describes process `id`, or "".
std::string LineOf(const std::string& lines, DWORD id) {
  const std::string start = "{\"id\":" + std::to_string(id) + ",";
  std::size_t at = 0;
  while (at < lines.size()) {
    const std::size_t end = std::min(lines.find('\n', at), lines.size());
    if (lines.compare(at, start.size(), start) == 0) return lines.substr(at, end - at);
    at = end + 1;
  }
  return "";
}

class LiveStringsOfA32BitChild : public ::testing::Test {
 protected:
  static constexpr const wchar_t* kTitle = L"Zel 32-bit title ü €漢字 😀";
  static constexpr const wchar_t* kSetLater = L"ZEL_SET_LATER=after the start ü 😀";

  void SetUp() override {
    if (const auto why = zel::test::WhyNo32BitProcesses(); !why.empty()) GTEST_SKIP() << why;
    ASSERT_TRUE(start_.created() && changed_.created()) << ::GetLastError();
    ASSERT_FALSE(desktop_.fullName().empty()) << ::GetLastError();
    ChildOptions options;
    options.image = BesideTests(L"wow64_child.exe");
    options.mode = "report-changed";
    options.arguments = {changed_.path(), kSetLater};
    options.currentDirectory = start_.path();
    // Longer than GetEnvironmentBuffer's copy on its own.
    options.environment = {zel::test::SystemRootEntry(), L"ZEL_GREETING=grüße €漢字 😀",
                           L"ZEL_LONG=" + std::wstring(6000, L'l'), L"ZEL_PLAIN=plain"};
    options.title = kTitle;
    options.desktop = desktop_.fullName();
    child_.emplace(options);
    auto report = zel::test::ReadReport(child_->Pipe());
    ASSERT_TRUE(report) << "the child ended before it reported";
    report_ = std::move(*report);
    BOOL wow64 = FALSE;
    ASSERT_TRUE(::IsWow64Process(child_->Handle(), &wow64)) << ::GetLastError();
    ASSERT_TRUE(wow64) << "the child is not a 32-bit process";
  }

  std::wstring Suffix() const { return std::to_wstring(::GetCurrentProcessId()); }
  TempDirectory start_{L"zel wow start " + Suffix()};
  TempDirectory changed_{L"wow changed dir ü 😀 " + Suffix()};
  Desktop desktop_{L"ZelWow64Strings"};
  // Declared after them so that it ends before its directories are removed.
  std::optional<ChildProcess> child_;
  zel::test::SelfReport report_;
};

TEST_F(LiveStringsOfA32BitChild, AgreeWithWhatTheChildSeesAfterItsChanges) {
  // The child got what it was started with and made its changes, so agreement
  // below means the library read the blocks that the child's code keeps.
  ASSERT_EQ(report_.commandLine, child_->CommandLine());
  ASSERT_EQ(report_.currentDirectory, changed_.path());
  ASSERT_NE(report_.EnvironmentText().find(std::wstring(kSetLater) + L'\0'), std::wstring::npos);

  CZelProcess processes;
  ZelHandle child(processes, processes.CreateHandleFromPID(child_->Id()));
  ASSERT_TRUE(child) << processes.GetErrorCode();

  EXPECT_EQ(report_.title, kTitle);
  EXPECT_EQ(report_.desktop, desktop_.fullName());
  ExpectStringsAsReported(processes, child.Get(), report_);

  const EnvironmentCopy copy(processes, processes.GetEnvironmentBuffer(child.Get()));
  ASSERT_NE(copy.Get(), nullptr) << processes.GetErrorCode();
  EXPECT_EQ(processes.GetErrorCode(), ERROR_SUCCESS);
  const std::size_t compared = std::min(kEnvironmentCopySize, report_.environment.size());
  EXPECT_EQ(FirstDifference(copy.Get(), report_.environment, compared), compared);
  const zel::test::EnvironmentBlock block(processes, child.Get());
  EXPECT_TRUE(block.Holds(report_.environment)) << processes.GetErrorCode();
  EXPECT_EQ(processes.GetErrorCode(), ERROR_SUCCESS);
}

TEST_F(LiveStringsOfA32BitChild, RepeatedReadsLeaveNoHandlesBehind) {
  CZelProcess processes;
  ZelHandle child(processes, processes.CreateHandleFromPID(child_->Id()));
  ASSERT_TRUE(child) << processes.GetErrorCode();
  zel::test::ExpectHandleCountToTrackHandles(child_->Id());

  const zel::test::ReadTally tally = zel::test::ReadRepeatedly(processes, child.Get());
  EXPECT_EQ(tally.stringsRead, 5 * zel::test::kRounds);
  EXPECT_EQ(tally.copiesMade, zel::test::kRounds);
  EXPECT_EQ(tally.blocksMade, zel::test::kRounds);
}

// zelps lists a 32-bit process like any other, and says what it is.
TEST_F(LiveStringsOfA32BitChild, ZelpsMarksItAs32Bit) {
  const DWORD host = ::GetCurrentProcessId();
  const auto run =
      RunProgram(BesideTests(L"zelps.exe"),
                 L"--json -p " + std::to_wstring(child_->Id()) + L"," + std::to_wstring(host));
  ASSERT_TRUE(run) << ::GetLastError();
  EXPECT_EQ(run->exitCode, 0u);
  const std::string child = LineOf(run->output, child_->Id());
  EXPECT_NE(child.find(R"("name":"wow64_child.exe")"), std::string::npos) << run->output;
  EXPECT_NE(child.find(R"("wow64":true)"), std::string::npos) << run->output;
  const std::string self = LineOf(run->output, host);
  ASSERT_NE(self, "") << run->output;
  EXPECT_EQ(self.find("wow64"), std::string::npos) << self;
}

}  // namespace
