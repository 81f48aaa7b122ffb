// The module walk on the real platform: of the test's own process and of a
// child that loads a DLL after it has started, as Toolhelp32's module
// snapshot and EnumProcessModulesEx list them; of a 32-bit child, as it
// lists its own.
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "ZelProcess.h"
#include "support/windows/child_process.h"
#include "support/windows/comparable.h"
#include "support/windows/host_handles.h"
#include "support/windows/live_reads.h"
#include "support/windows/self_view.h"

namespace zel::test {

std::ostream& operator<<(std::ostream& out, const ModuleFacts& module) {
  return out << CZelString(module.name.c_str()).ToUtf8() << " "
             << CZelString(module.path.c_str()).ToUtf8() << " " << std::hex << module.base << "+"
             << module.size << std::dec;
}

}  // namespace zel::test

namespace {

using zel::test::ChildOptions;
using zel::test::ChildProcess;
using zel::test::MessagePipe;
using zel::test::ModuleFacts;
using zel::test::OwnedHandle;
using zel::test::Text;
using zel::test::ZelHandle;

// Tries for the three lists to be read while a process's modules hold still.
constexpr int kAttempts = 5;
constexpr const wchar_t* kLoadedLater = L"dbghelp.dll";

struct Walked {
  std::vector<ModuleFacts> modules;
  DWORD end = 0;  // what the last FindNextModule recorded
};

Walked Walk(DWORD id) {
  Walked walked;
  CZelProcess processes;
  const ZelHandle process(processes, processes.CreateHandleFromPID(id));
  const ZelHandle module(processes, processes.FindFirstModule(process.Get(), CZelString()));
  EXPECT_TRUE(module) << "code " << processes.GetErrorCode();
  for (bool more = static_cast<bool>(module); more; more = processes.FindNextModule(module.Get()))
    walked.modules.push_back(
        {Text(processes.GetModuleName(module.Get())), Text(processes.GetModulePath(module.Get())),
         processes.GetModuleBase(module.Get()), processes.GetModuleSize(module.Get())});
  walked.end = processes.GetErrorCode();
  return walked;
}

std::vector<ModuleFacts> PsapiModules(DWORD id) {
  std::vector<ModuleFacts> modules;
  const OwnedHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id));
  std::vector<HMODULE> handles(1024);
  DWORD needed = 0;
  if (!process || !::EnumProcessModulesEx(process.Get(), handles.data(),
                                          static_cast<DWORD>(handles.size() * sizeof(HMODULE)),
                                          &needed, LIST_MODULES_ALL))
    return modules;
  handles.resize(std::min<std::size_t>(handles.size(), needed / sizeof(HMODULE)));
  for (HMODULE handle : handles) {
    std::wstring name(MAX_PATH, L'\0'), path(32768, L'\0');
    name.resize(::GetModuleBaseNameW(process.Get(), handle, name.data(), MAX_PATH));
    path.resize(::GetModuleFileNameExW(process.Get(), handle, path.data(), 32768));
    MODULEINFO info{};
    ::GetModuleInformation(process.Get(), handle, &info, sizeof info);
    modules.push_back(
        {name, path, reinterpret_cast<std::uintptr_t>(info.lpBaseOfDll), info.SizeOfImage});
  }
  return modules;
}

bool Holds(const std::vector<ModuleFacts>& modules, const wchar_t* name) {
  return std::any_of(modules.begin(), modules.end(), [&](const ModuleFacts& module) {
    return ::lstrcmpiW(module.name.c_str(), name) == 0;
  });
}

// The library's walk, read between two of each of the platform's lists, all
// alike: it must be theirs.
void ExpectThePlatformsModules(DWORD id) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const auto toolhelp = zel::test::ToolhelpModules(id);
    const auto psapi = PsapiModules(id);
    const Walked walked = Walk(id);
    if (toolhelp != zel::test::ToolhelpModules(id) || psapi != PsapiModules(id)) continue;
    EXPECT_FALSE(toolhelp.empty());
    EXPECT_EQ(walked.modules, toolhelp);
    EXPECT_EQ(walked.modules, psapi);
    EXPECT_EQ(walked.end, ERROR_NO_MORE_ITEMS);
    return;
  }
  ADD_FAILURE() << "the modules of " << id << " never held still";
}

int LoadWhenAsked(MessagePipe& host) {
  if (!host.SendText(L"started")) return 1;
  const auto name = host.ReceiveText();
  if (!name) return 1;
  const HMODULE dll = ::LoadLibraryW(name->c_str());
  if (!dll || !host.SendText(L"loaded")) return 2;
  while (host.Receive()) {
  }
  ::FreeLibrary(dll);
  return 0;
}

const zel::test::ChildMode kLoadWhenAsked("load-when-asked", &LoadWhenAsked);

TEST(ModuleWalk, OfThisProcessAndOfAChildThatLoadedADllAsToolhelpAndPsapiListThem) {
  ExpectThePlatformsModules(::GetCurrentProcessId());
  const Walked own = Walk(::GetCurrentProcessId());
  ASSERT_FALSE(own.modules.empty());
  EXPECT_EQ(own.modules.front().path, zel::test::ModuleFileName());

  ChildOptions options;
  options.mode = "load-when-asked";
  ChildProcess child(options);
  // Once it runs its own code, a walk finds what its start loaded.
  ASSERT_EQ(child.Pipe().ReceiveText(), L"started");
  EXPECT_FALSE(Holds(Walk(child.Id()).modules, kLoadedLater));
  ASSERT_TRUE(child.Pipe().SendText(kLoadedLater));
  ASSERT_EQ(child.Pipe().ReceiveText(), L"loaded");
  ExpectThePlatformsModules(child.Id());
  EXPECT_TRUE(Holds(Walk(child.Id()).modules, kLoadedLater));
  EXPECT_EQ(child.Finish(), 0u);
}

TEST(ModuleWalk, OfA32BitChildAsItListsItsOwn) {
  if (const auto why = zel::test::WhyNo32BitProcesses(); !why.empty()) GTEST_SKIP() << why;
  ChildOptions options;
  options.image = zel::test::BesideTests(L"wow64_child.exe");
  options.mode = "report-modules";
  options.arguments = {zel::test::CurrentDirectory(), L"ZEL_UNUSED=1"};
  ChildProcess child(options);
  ASSERT_TRUE(zel::test::ReadReport(child.Pipe())) << "the child ended before it reported";
  const auto message = child.Pipe().ReceiveText();
  ASSERT_TRUE(message);
  const std::vector<ModuleFacts> own = zel::test::ParseModulesMessage(*message);
  BOOL wow64 = FALSE;
  ASSERT_TRUE(::IsWow64Process(child.Handle(), &wow64) && wow64);
  ASSERT_FALSE(own.empty());
  const Walked walked = Walk(child.Id());
  EXPECT_EQ(walked.modules, own);
  EXPECT_EQ(walked.end, ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(child.Finish(), 0u);
}

}  // namespace
