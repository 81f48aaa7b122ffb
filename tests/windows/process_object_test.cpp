// The process object on the real platform, checked against Toolhelp32.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <string>

#include "ZelProcess.h"
#include "support/protected_process.h"
#include "platform/snapshot_records.h"

namespace {

using zel::layout::Load;

using SnapshotProbe = zel::test::ProtectedProcess;

unsigned ToolhelpProcessCount() {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  unsigned count = 0;
  for (BOOL ok = Process32FirstW(snap, &entry); ok; ok = Process32NextW(snap, &entry)) ++count;
  CloseHandle(snap);
  return count;
}

std::u16string RecordName(const void* record) {
  const auto bytes = Load<std::uint16_t>(record, ZEL_OFFSET(SystemProcess, ImageName.Length));
  const auto chars = Load<std::uint64_t>(record, ZEL_OFFSET(SystemProcess, ImageName.Buffer));
  return std::u16string(reinterpret_cast<const char16_t*>(chars), bytes / 2);
}

TEST(ProcessObjectOnWindows, CountsWhatToolhelpCounts) {
  // Processes come and go: a few tries at a quiet moment.
  unsigned ours = 0, theirs = 1;
  for (int attempt = 0; attempt < 5 && ours != theirs; ++attempt) {
    CZelProcess processes;
    ours = processes.GetProcessCount();
    theirs = ToolhelpProcessCount();
  }
  EXPECT_EQ(ours, theirs);
  EXPECT_GT(ours, 1u);
}

TEST(ProcessObjectOnWindows, FindsItsOwnRecord) {
  SnapshotProbe processes;
  const void* self = processes.GetProcess(GetCurrentProcessId());
  ASSERT_NE(self, nullptr);
  EXPECT_EQ(RecordName(self), u"windows_tests.exe");

  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  DWORD parent = 0;
  for (BOOL ok = Process32FirstW(snap, &entry); ok; ok = Process32NextW(snap, &entry))
    if (entry.th32ProcessID == GetCurrentProcessId()) parent = entry.th32ParentProcessID;
  CloseHandle(snap);
  EXPECT_EQ(Load<std::uint64_t>(self, ZEL_OFFSET(SystemProcess, InheritedFromUniqueProcessId)),
            parent);
  EXPECT_EQ(Load<std::uint32_t>(self, ZEL_OFFSET(SystemProcess, NumberOfThreads)) > 0, true);
}

TEST(ProcessObjectOnWindows, RefreshAndCopiesShareTheRealSnapshot) {
  auto source = std::make_unique<SnapshotProbe>();
  EXPECT_EQ(source->Refresh(), 1);
  SnapshotProbe copy(*source);
  const unsigned count = copy.GetProcessCount();
  EXPECT_EQ(count, source->GetProcessCount());
  EXPECT_EQ(copy.GetProcess(GetCurrentProcessId()), source->GetProcess(GetCurrentProcessId()));
  EXPECT_EQ(source->Refresh(), 1);
  source.reset();
  // The names live inside the snapshot buffer the copy still owns.
  const void* self = copy.GetProcess(GetCurrentProcessId());
  ASSERT_NE(self, nullptr);
  EXPECT_EQ(RecordName(self), u"windows_tests.exe");
  EXPECT_EQ(copy.GetProcessCount(), count);
}

TEST(ProcessObjectOnWindows, DllExportsTheWholeClass) {
  HMODULE dll = GetModuleHandleW(L"ZelProcessDLL64.dll");
  ASSERT_NE(dll, nullptr);
  for (const char* symbol :
       {"_ZN11CZelProcessC1Ev", "_ZN11CZelProcessC1ERKS_", "_ZN11CZelProcessD1Ev",
        "_ZN11CZelProcessD0Ev", "_ZN11CZelProcessaSERKS_", "_ZN11CZelProcess4DumpEv",
        "_ZN11CZelProcess7RefreshEv", "_ZN11CZelProcess15GetProcessCountEv",
        "_ZN11CZelProcess21InitFunctionsPointersEv", "_ZN11CZelProcess13ReadProcessesEv",
        "_ZN11CZelProcess10GetProcessEj", "_ZTV11CZelProcess"}) {
    EXPECT_NE(GetProcAddress(dll, symbol), nullptr) << symbol;
  }
}

}  // namespace
