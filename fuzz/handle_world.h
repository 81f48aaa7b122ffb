// The scripted system that the handle fuzzer runs the library on, with a
// process object over it and genuine handles of each kind: no /proc is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "ZelProcess.h"
#include "host/zel_handles.h"
#include "platform/emulated/emulation.h"
#include "support/scripted_system.h"

namespace zel::fuzz {

// Opens the protected reads of the process object to the fuzzer.
class Probe : public CZelProcess {
 public:
  using CZelProcess::GetPEB;
  using CZelProcess::GetProcessInformation;
  using CZelProcess::GetReadHandle;
  using CZelProcess::GetTEB;
};

inline constexpr std::uint32_t kAppId = 100;
inline constexpr std::uint32_t kSecondThreadId = kAppId * 100 + 2;
inline constexpr std::uint64_t kTebAddress = 0x7FF000000000;

inline std::vector<emu::ProcessModel> Processes() {
  std::vector<emu::ProcessModel> processes = {test::MakeProcess(8, 0, u"svc.exe"),
                                              test::MakeProcess(kAppId, 8, u"app.exe", 3)};
  emu::ProcessModel& app = processes[1];
  app.ownerSid = "S-1-5-21-1000-2000-3000-1001";
  app.vm.VirtualSize = 0x123456;
  app.io.ReadOperationCount = 77;
  emu::ProcessParametersModel parameters;
  parameters.imagePath = u"C:\\app\\app.exe";
  parameters.commandLine = u"\"C:\\app\\app.exe\" --flag";
  parameters.currentDirectory = u"C:\\work\\";
  parameters.dllPath = u"C:\\Windows";
  parameters.windowTitle = u"title";
  parameters.desktop = u"WinSta0\\Default";
  // As long as the copy the library takes of it, so that the copy succeeds.
  parameters.environment = std::u16string(u"A=1\0B=2\0\0", 10);
  parameters.environment.resize(layout::kEnvironmentReadSize / sizeof(char16_t));
  emu::LayOutParameters(app, parameters);
  app.threads[1].tebAddress = kTebAddress;
  app.memory.push_back({kTebAddress, std::vector<std::byte>(layout::kTebReadSize, std::byte{0x42})});
  return processes;
}

class HandleWorld {
 public:
  HandleWorld() {
    system_.processes = Processes();
    system_.accounts = {{"S-1-5-21-1000-2000-3000-1001", u"user", u"WORKGROUP"}};
    system_.windows = {{0x10, 8, 801}, {0x30, kAppId, kAppId * 100 + 1}};
    process_.emplace();
    byId_.emplace(*process_, process_->CreateHandleFromPID(kAppId));
    filtered_.emplace(*process_, process_->FindFirstProcess(CZelString::FromUtf8("svc.exe; app*")));
    process_->FindNextProcess(filtered_->Get());  // onto app.exe, through its pattern
    firstThread_.emplace(*process_, process_->FindFirstThread(byId_->Get()));
    secondThread_.emplace(*process_, process_->CreateHandleFromTID(byId_->Get(), kSecondThreadId));
  }

  Probe& Process() { return *process_; }
  // A process handle, with or without a pattern of its own.
  void* ProcessHandle(bool filtered) const { return (filtered ? filtered_ : byId_)->Get(); }
  // A thread handle, on the first thread or on the one with an environment block.
  void* ThreadHandle(bool second) const { return (second ? secondThread_ : firstThread_)->Get(); }

 private:
  emu::System system_;
  emu::ScopedSystem use_{system_};
  std::optional<Probe> process_;
  std::optional<host::FindHandle> byId_, filtered_, firstThread_, secondThread_;
};

}  // namespace zel::fuzz
