// The strings and environment read out of live processes, checked against what
// a child of the test binary says of itself and against the host's own view.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cwchar>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ZelProcess.h"
#include "child_process.h"
#include "common/live_failure_codes.h"
#include "comparable.h"
#include "handle_count.h"
#include "host_handles.h"

namespace {

using zel::test::ChildOptions;
using zel::test::ChildProcess;
using zel::test::ExpectHandleCountToTrackHandles;
using zel::test::HandleCount;
using zel::test::MessagePipe;
using zel::test::OwnedHandle;
using zel::test::Text;
using zel::test::ZelHandle;

// How much of an environment block GetEnvironmentBuffer copies.
constexpr std::size_t kEnvironmentCopySize = 4096;

std::wstring CurrentDirectory() {
  std::wstring directory(::GetCurrentDirectoryW(0, nullptr), L'\0');
  directory.resize(::GetCurrentDirectoryW(static_cast<DWORD>(directory.size()), directory.data()));
  return directory;
}

std::wstring ModuleFileName() {
  std::wstring path(32768, L'\0');
  path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path;
}

// The block up to and including the NUL that ends it.
std::vector<std::byte> EnvironmentBytes() {
  const LPWCH block = ::GetEnvironmentStringsW();
  const wchar_t* end = block;
  while (*end != L'\0') end += std::wcslen(end) + 1;
  const auto* first = reinterpret_cast<const std::byte*>(block);
  std::vector<std::byte> bytes(first, reinterpret_cast<const std::byte*>(end + 1));
  ::FreeEnvironmentStringsW(block);
  return bytes;
}

// The parameters block keeps the current directory with a trailing separator,
// which GetCurrentDirectoryW drops for every directory but a drive's root.
std::wstring AsKeptInParameters(std::wstring directory) {
  if (!directory.empty() && directory.back() != L'\\') directory += L'\\';
  return directory;
}

// Windows' own DLLs may need it in a child given an environment of its own.
std::wstring SystemRootEntry() {
  std::array<wchar_t, MAX_PATH> root{};
  ::GetEnvironmentVariableW(L"SystemRoot", root.data(), static_cast<DWORD>(root.size()));
  return L"SystemRoot=" + std::wstring(root.data());
}

// What a child says of itself: its view of what the library reads from outside.
struct SelfReport {
  std::wstring commandLine;
  std::wstring currentDirectory;
  std::wstring moduleFile;
  std::vector<std::byte> environment;
};

int ReportSelfAndWait(MessagePipe& host) {
  if (!host.SendText(::GetCommandLineW()) || !host.SendText(CurrentDirectory()) ||
      !host.SendText(ModuleFileName()) || !host.Send(EnvironmentBytes()))
    return 1;
  // Alive until the host has read what it wants and closes the pipe.
  while (host.Receive()) {
  }
  return 0;
}

const zel::test::ChildMode kReportSelf("report-self", &ReportSelfAndWait);

std::optional<SelfReport> ReadReport(MessagePipe& child) {
  SelfReport report;
  auto commandLine = child.ReceiveText();
  auto currentDirectory = child.ReceiveText();
  auto moduleFile = child.ReceiveText();
  auto environment = child.Receive();
  if (!commandLine || !currentDirectory || !moduleFile || !environment) return std::nullopt;
  return SelfReport{std::move(*commandLine), std::move(*currentDirectory), std::move(*moduleFile),
                    std::move(*environment)};
}

// An environment copy, given back on every path out of a test.
class EnvironmentCopy {
 public:
  EnvironmentCopy(CZelProcess& owner, void* process)
      : owner_(&owner), bytes_(owner.GetEnvironmentBuffer(process)) {}
  EnvironmentCopy(const EnvironmentCopy&) = delete;
  EnvironmentCopy& operator=(const EnvironmentCopy&) = delete;
  ~EnvironmentCopy() {
    if (bytes_ != nullptr) owner_->FreeEnvironmentBuffer(bytes_);
  }
  const unsigned char* get() const { return bytes_; }
  int Free() { return owner_->FreeEnvironmentBuffer(bytes_); }

 private:
  CZelProcess* owner_;
  unsigned char* bytes_;
};

struct Getter {
  const char* name;
  CZelString (CZelProcess::*read)(void*);
};

std::array<Getter, 6> Getters() {
  return {{{"GetImageFile", &CZelProcess::GetImageFile},
           {"GetCommandLineW", &CZelProcess::GetCommandLineW},
           {"GetCurrentDirectoryW", &CZelProcess::GetCurrentDirectoryW},
           {"GetWindowTitle", &CZelProcess::GetWindowTitle},
           {"GetDesktopName", &CZelProcess::GetDesktopName},
           {"GetPath", &CZelProcess::GetPath}}};
}

// Where the two byte runs first differ, or their common length.
std::size_t FirstDifference(const unsigned char* ours, const std::vector<std::byte>& theirs,
                            std::size_t length) {
  for (std::size_t i = 0; i < length; ++i)
    if (ours[i] != std::to_integer<unsigned char>(theirs[i])) return i;
  return length;
}

class TempDirectory {
 public:
  explicit TempDirectory(std::wstring_view name) {
    std::wstring temp(MAX_PATH + 1, L'\0');
    temp.resize(::GetTempPathW(static_cast<DWORD>(temp.size()), temp.data()));
    path_ = temp + std::wstring(name);
    created_ = ::CreateDirectoryW(path_.c_str(), nullptr) != 0;
  }
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;
  ~TempDirectory() {
    if (created_) ::RemoveDirectoryW(path_.c_str());
  }
  const std::wstring& path() const { return path_; }
  bool created() const { return created_; }

 private:
  std::wstring path_;
  bool created_ = false;
};

// A desktop of its own, so that the name the child is given is one that
// neither the host nor a default could supply.
class Desktop {
 public:
  explicit Desktop(const wchar_t* name)
      : desktop_(::CreateDesktopW(name, nullptr, nullptr, 0, GENERIC_ALL, nullptr)) {
    std::array<wchar_t, 256> station{};
    DWORD needed = 0;
    if (desktop_ != nullptr &&
        ::GetUserObjectInformationW(::GetProcessWindowStation(), UOI_NAME, station.data(),
                                    static_cast<DWORD>(station.size() * sizeof(wchar_t)), &needed))
      fullName_ = std::wstring(station.data()) + L"\\" + name;
  }
  Desktop(const Desktop&) = delete;
  Desktop& operator=(const Desktop&) = delete;
  ~Desktop() {
    if (desktop_ != nullptr) ::CloseDesktop(desktop_);
  }
  // "station\desktop", as STARTUPINFOW takes it; empty when not made.
  const std::wstring& fullName() const { return fullName_; }

 private:
  HDESK desktop_;
  std::wstring fullName_;
};

constexpr int kRounds = 1000;

struct ReadTally {
  int stringsRead = 0;  // GetPath's aside, which may be empty on success
  int copiesMade = 0;
};

// Every getter kRounds times, then as many environment copies given back,
// checking after each kind that the host holds no more handles than before.
ReadTally ReadRepeatedly(CZelProcess& processes, void* process) {
  ReadTally tally;
  const std::size_t before = HandleCount();
  for (const Getter& getter : Getters()) {
    for (int i = 0; i < kRounds; ++i)
      if (!(processes.*getter.read)(process).IsEmpty() && getter.read != &CZelProcess::GetPath)
        ++tally.stringsRead;
    EXPECT_EQ(HandleCount(), before) << "after " << getter.name;
  }
  for (int i = 0; i < kRounds; ++i) {
    unsigned char* copy = processes.GetEnvironmentBuffer(process);
    if (copy != nullptr) {
      ++tally.copiesMade;
      processes.FreeEnvironmentBuffer(copy);
    }
  }
  EXPECT_EQ(HandleCount(), before) << "after GetEnvironmentBuffer";
  return tally;
}

// An ended process can be opened for a while after the host has closed its
// last handle on it: under Wine for some hundreds of milliseconds.
bool WaitUntilGone(DWORD processId) {
  for (int attempt = 0; attempt < 3000; ++attempt) {
    const OwnedHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) return true;
    ::Sleep(10);
  }
  return false;
}

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

  CZelProcess processes;
  ZelHandle child(processes, processes.CreateHandleFromPID(child_->Id()));
  ASSERT_TRUE(child) << processes.GetErrorCode();

  EXPECT_EQ(Text(processes.GetCommandLineW(child.Get())), report_.commandLine);
  EXPECT_EQ(processes.GetErrorCode(), ERROR_SUCCESS);
  EXPECT_EQ(Text(processes.GetCurrentDirectoryW(child.Get())),
            AsKeptInParameters(report_.currentDirectory));
  EXPECT_EQ(processes.GetErrorCode(), ERROR_SUCCESS);
  EXPECT_EQ(Text(processes.GetImageFile(child.Get())), report_.moduleFile);
  EXPECT_EQ(processes.GetErrorCode(), ERROR_SUCCESS);
  EXPECT_EQ(Text(processes.GetWindowTitle(child.Get())), kTitle);
  EXPECT_EQ(processes.GetErrorCode(), ERROR_SUCCESS);
  EXPECT_EQ(Text(processes.GetDesktopName(child.Get())), desktop_.fullName());
  EXPECT_EQ(processes.GetErrorCode(), ERROR_SUCCESS);
  // The loader's search path: its content is the platform's affair.
  processes.GetPath(child.Get());
  EXPECT_EQ(processes.GetErrorCode(), ERROR_SUCCESS);
}

TEST_F(LiveStringsOfAChild, EnvironmentBufferStartsLikeTheChildsBlock) {
  CZelProcess processes;
  ZelHandle child(processes, processes.CreateHandleFromPID(child_->Id()));
  ASSERT_TRUE(child) << processes.GetErrorCode();

  EnvironmentCopy copy(processes, child.Get());
  ASSERT_NE(copy.get(), nullptr) << processes.GetErrorCode();
  EXPECT_EQ(processes.GetErrorCode(), ERROR_SUCCESS);
  const std::size_t compared = std::min(kEnvironmentCopySize, report_.environment.size());
  EXPECT_EQ(FirstDifference(copy.get(), report_.environment, compared), compared);

  EXPECT_EQ(copy.Free(), 1);
  EXPECT_EQ(copy.get(), nullptr);
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
}

TEST(LiveStringsOfALargeEnvironment, YieldExactlyTheFirst4096Bytes) {
  // Position-dependent text, with units beyond ASCII, so that a copy taken
  // from the wrong place or of the wrong length cannot match by accident.
  std::wstring value;
  for (int i = 0; i < 6000; ++i) value += i % 7 == 0 ? L'ü' : static_cast<wchar_t>(L'A' + i % 26);
  ChildOptions options;
  options.mode = "report-self";
  options.environment = {SystemRootEntry(), L"ZEL_BEFORE=1", L"ZEL_LONG=" + value, L"ZEL_AFTER=2"};
  ChildProcess child(options);
  const auto report = ReadReport(child.Pipe());
  ASSERT_TRUE(report) << "the child ended before it reported";
  ASSERT_GT(report->environment.size(), kEnvironmentCopySize);

  CZelProcess processes;
  ZelHandle handle(processes, processes.CreateHandleFromPID(child.Id()));
  ASSERT_TRUE(handle) << processes.GetErrorCode();
  EnvironmentCopy copy(processes, handle.Get());
  ASSERT_NE(copy.get(), nullptr) << processes.GetErrorCode();
  EXPECT_EQ(FirstDifference(copy.get(), report->environment, kEnvironmentCopySize),
            kEnvironmentCopySize);
}

// A child whose snapshot was taken while it ran, and which has ended since.
class LiveStringsOfAnEndedChild : public ::testing::Test {
 protected:
  void SetUp() override {
    ChildOptions options;
    options.mode = "report-self";
    child_.emplace(options);
    ASSERT_TRUE(ReadReport(child_->Pipe())) << "the child ended before it reported";
    processes_.emplace();
    handle_.emplace(*processes_, processes_->CreateHandleFromPID(child_->Id()));
    ASSERT_TRUE(*handle_) << processes_->GetErrorCode();
    ASSERT_EQ(child_->Finish(), 0u);
  }

  std::optional<ChildProcess> child_;
  std::optional<CZelProcess> processes_;
  std::optional<ZelHandle> handle_;
};

// Every read of the ended child fails with the codes that the Linux build
// gives for the same case.
void ExpectReadsFailWith(CZelProcess& processes, void* handle,
                         const zel::test::LiveFailureCodes& codes) {
  for (const Getter& getter : Getters()) {
    EXPECT_EQ(Text((processes.*getter.read)(handle)), L"") << getter.name;
    EXPECT_EQ(processes.GetErrorCode(), codes.strings) << getter.name;
  }
  EnvironmentCopy copy(processes, handle);
  EXPECT_EQ(copy.get(), nullptr);
  EXPECT_EQ(processes.GetErrorCode(), codes.environment);
  CZelString user, domain;
  EXPECT_EQ(processes.GetUserAndDomain(handle, user, domain), codes.owner == 0 ? 1 : 0);
  EXPECT_EQ(processes.GetErrorCode(), codes.owner);
}

// The host still holds the child's process, so it opens, but it has no memory
// left to read.
TEST_F(LiveStringsOfAnEndedChild, WhileStillHeldHaveNoMemoryButAnOwner) {
  ExpectReadsFailWith(*processes_, handle_->Get(), zel::test::kProcessWithoutMemory);
}

TEST_F(LiveStringsOfAnEndedChild, FailedReadsLeaveNoHandlesBehind) {
  ExpectHandleCountToTrackHandles(child_->Id());
  const ReadTally tally = ReadRepeatedly(*processes_, handle_->Get());
  EXPECT_EQ(tally.stringsRead, 0);
  EXPECT_EQ(tally.copiesMade, 0);
}

TEST_F(LiveStringsOfAnEndedChild, OnceGoneAreEmptyWithTheReasonItCouldNotBeOpened) {
  const DWORD id = child_->Id();
  child_->Release();
  ASSERT_TRUE(WaitUntilGone(id)) << "the ended child's process can still be opened";

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

}  // namespace
