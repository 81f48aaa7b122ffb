// The scripted system that the handle fuzzer runs the library on, with a
// process object over it and genuine handles of each kind: no /proc is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "ZelProcess.h"
#include "support/protected_process.h"
#include "ZelHandles.h"
#include "fake_windows/fake_system.h"
#include "support/scripted_system.h"

namespace zel::fuzz {

using Probe = test::ProtectedProcess;

inline constexpr std::uint32_t kAppId = 100;
inline constexpr std::uint32_t kSecondThreadId = kAppId * 100 + 2;

inline std::vector<fake::ProcessModel> Processes() {
  std::vector<fake::ProcessModel> processes = {test::MakeProcess(8, 0, u"svc.exe"),
                                               test::MakeTarget(kAppId, 8, u"app.exe", 3)};
  processes[1].vm.VirtualSize = 0x123456;
  processes[1].io.ReadOperationCount = 77;
  return processes;
}

class HandleWorld {
 public:
  HandleWorld() {
    system_.processes = Processes();
    system_.accounts = {test::kTargetOwner};
    system_.windows = {{0x10, 8, 801}, {0x30, kAppId, kAppId * 100 + 1}};
    process_.emplace();
    byId_.emplace(*process_, process_->CreateHandleFromPID(kAppId));
    filtered_.emplace(*process_, process_->FindFirstProcess(CZelString::FromUtf8("svc.exe; app*")));
    process_->FindNextProcess(filtered_->Get());  // onto app.exe, through its pattern
    firstThread_.emplace(*process_, process_->FindFirstThread(byId_->Get()));
    secondThread_.emplace(*process_, process_->CreateHandleFromTID(byId_->Get(), kSecondThreadId));
    module_.emplace(*process_, process_->FindFirstModule(byId_->Get(), CZelString()));
  }

  Probe& Process() { return *process_; }
  // A process handle, with or without a pattern of its own.
  void* ProcessHandle(bool filtered) const { return (filtered ? filtered_ : byId_)->Get(); }
  // A thread handle, on the first thread (which has an environment block) or on the second.
  void* ThreadHandle(bool second) const { return (second ? secondThread_ : firstThread_)->Get(); }
  // A module handle, on the first module of the process with threads.
  void* ModuleHandle() const { return module_->Get(); }

 private:
  fake::System system_;
  fake::ScopedSystem use_{system_};
  std::optional<Probe> process_;
  std::optional<FindHandle> byId_, filtered_, firstThread_, secondThread_, module_;
};

}  // namespace zel::fuzz
