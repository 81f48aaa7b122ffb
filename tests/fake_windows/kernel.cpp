// Handles, last-error values and the installed system of the fake Windows.
#include <map>
#include <mutex>

#include "platform/codes.h"
#include "fake_system.h"
#include "handle_table.h"
#include "platform_call.h"

namespace zel::fake {
namespace {

std::mutex table_mutex;
std::map<std::uintptr_t, HandleEntry> table;
std::uintptr_t next_handle = 0x100;
thread_local os::DWORD last_error = 0;
System* installed = nullptr;
// Made before any test runs, so that what it allocates is never taken for
// what a call under test left behind.
System empty_system;

}  // namespace

System* Installed() { return installed ? installed : &empty_system; }

System* Install(System* system) {
  System* previous = installed;
  installed = system;
  return previous;
}

std::size_t OpenHandleCount() {
  std::lock_guard lock(table_mutex);
  return table.size();
}

os::HANDLE OpenHandle(const HandleEntry& entry) {
  std::lock_guard lock(table_mutex);
  const std::uintptr_t value = next_handle;
  next_handle += 4;  // handle values are multiples of four, as on Windows
  table.emplace(value, entry);
  return reinterpret_cast<os::HANDLE>(value);
}

const HandleEntry* FindHandle(os::HANDLE handle, HandleKind kind) {
  std::lock_guard lock(table_mutex);
  auto it = table.find(reinterpret_cast<std::uintptr_t>(handle));
  if (it == table.end() || it->second.kind != kind) return nullptr;
  return &it->second;
}

}  // namespace zel::fake

namespace zel::os {

DWORD GetLastError() { return fake::last_error; }
void SetLastError(DWORD code) { fake::last_error = code; }

BOOL CloseHandle(HANDLE handle) {
  std::lock_guard lock(fake::table_mutex);
  if (fake::table.erase(reinterpret_cast<std::uintptr_t>(handle)) == 0) {
    fake::last_error = code::kInvalidHandle;
    return 0;
  }
  return 1;
}

// As on Windows, an ID that names no live process or thread is a bad parameter.
HANDLE OpenProcess(DWORD access, BOOL, DWORD process_id) {
  fake::System* system = fake::Installed();
  const fake::PlatformCall call(*system, "OpenProcess");
  if (call.FailsWithLastError()) return nullptr;
  const std::lock_guard lock(system->ModelMutex());
  const fake::ProcessModel* process = system->FindProcess(process_id);
  std::optional<std::uint32_t> failure;
  if (!process) failure = code::kInvalidParameter;
  if (!failure && process->openError) failure = *process->openError;
  if (!failure && process->readOpenError && (access & kProcessVmRead))
    failure = *process->readOpenError;
  if (failure) {
    SetLastError(*failure);
    return nullptr;
  }
  return call.Open({fake::HandleKind::Process, process_id, access});
}

HANDLE OpenThread(DWORD access, BOOL, DWORD thread_id) {
  fake::System* system = fake::Installed();
  const fake::PlatformCall call(*system, "OpenThread");
  if (call.FailsWithLastError()) return nullptr;
  const std::lock_guard lock(system->ModelMutex());
  if (!fake::FindThread(*system, thread_id).second) {
    SetLastError(code::kInvalidParameter);
    return nullptr;
  }
  return call.Open({fake::HandleKind::Thread, thread_id, access});
}

namespace {

// GetProcessTimes and GetThreadTimes: the times of the model that `find`
// gives for the handle's ID, the exit time 0.
template <class Find>
BOOL PutTimes(const char* name, HANDLE handle, fake::HandleKind kind, Find find, FILETIME* creation,
              FILETIME* exit, FILETIME* kernel, FILETIME* user) {
  fake::System* system = fake::Installed();
  const fake::PlatformCall call(*system, name);
  const fake::HandleEntry* entry = fake::EntryForCall(call, handle, kind);
  if (!entry) return 0;
  const std::lock_guard lock(system->ModelMutex());
  const auto* model = find(*system, entry->id);
  if (!model) {
    SetLastError(code::kInvalidHandle);
    return 0;
  }
  const auto put = [](FILETIME* out, std::uint64_t value) {
    if (out) *out = {static_cast<std::uint32_t>(value), static_cast<std::uint32_t>(value >> 32)};
  };
  put(creation, model->createTime);
  put(exit, 0);
  put(kernel, model->kernelTime);
  put(user, model->userTime);
  return 1;
}

}  // namespace

BOOL GetProcessTimes(HANDLE handle, FILETIME* creation, FILETIME* exit, FILETIME* kernel,
                     FILETIME* user) {
  const auto process = [](fake::System& system, std::uint32_t id) {
    return system.FindProcess(id);
  };
  return PutTimes("GetProcessTimes", handle, fake::HandleKind::Process, process, creation, exit,
                  kernel, user);
}

BOOL GetThreadTimes(HANDLE handle, FILETIME* creation, FILETIME* exit, FILETIME* kernel,
                    FILETIME* user) {
  const auto thread = [](fake::System& system, std::uint32_t id) {
    return fake::FindThread(system, id).second;
  };
  return PutTimes("GetThreadTimes", handle, fake::HandleKind::Thread, thread, creation, exit,
                  kernel, user);
}

}  // namespace zel::os
