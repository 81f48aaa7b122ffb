// The fake NTDLL: the module lookup and the native queries.
#include <cstring>
#include <cwctype>
#include <mutex>
#include <string_view>

#include "platform/codes.h"
#include "platform/source.h"
#include "fake_system.h"
#include "handle_table.h"
#include "platform_call.h"

namespace zel::os {
struct FakeModule {};
}  // namespace zel::os

namespace zel::fake {
namespace {

os::FakeModule ntdll;

bool SameModuleName(const wchar_t* a, std::wstring_view b) {
  std::size_t i = 0;
  for (; a[i] != 0 && i < b.size(); ++i) {
    if (std::towupper(a[i]) != std::towupper(b[i])) return false;
  }
  return a[i] == 0 && i == b.size();
}

ZelNtStatus ZEL_NTAPI NtQuerySystemInformation(int cls, void* buffer, ZelUlong size,
                                               ZelUlong* needed) {
  System* system = Installed();
  const PlatformCall call(*system, "NtQuerySystemInformation");
  if (call.Fault()) return static_cast<ZelNtStatus>(call.Fault()->code);
  if (cls != source::kSystemProcessInformation)
    return static_cast<ZelNtStatus>(code::kStatusInvalidInfoClass);
  // The kernel probes a buffer it is to write for the alignment of its
  // counts before anything else.
  if (size != 0 && reinterpret_cast<std::uintptr_t>(buffer) % alignof(ZelUlong) != 0)
    return static_cast<ZelNtStatus>(code::kStatusDatatypeMisalignment);
  const std::lock_guard lock(system->ModelMutex());
  return static_cast<ZelNtStatus>(system->QuerySnapshot(buffer, size, needed));
}

ZelNtStatus AsStatus(Status status) { return static_cast<ZelNtStatus>(status); }

ZelNtStatus ZEL_NTAPI NtQueryInformationProcess(void* handle, int cls, void* buffer, ZelUlong size,
                                                ZelUlong* returned) {
  const PlatformCall call(*Installed(), "NtQueryInformationProcess");
  if (call.Fault()) return AsStatus(call.Fault()->code);
  const HandleEntry* entry = call.Find(handle, HandleKind::Process);
  if (!entry) return AsStatus(code::kStatusInvalidHandle);
  if (!(entry->access & os::kProcessQueryInformation)) return AsStatus(code::kStatusAccessDenied);
  const std::lock_guard lock(Installed()->ModelMutex());
  const ProcessModel* process = Installed()->FindProcess(entry->id);
  call.About(cls == os::kProcessWow64Information ? "WoW64 information" : "basic information");
  if (cls == os::kProcessWow64Information) {
    if (size != sizeof(layout::Wow64Information)) return AsStatus(code::kStatusInfoLengthMismatch);
    if (process && process->wow64InfoStatus && *process->wow64InfoStatus != code::kStatusSuccess)
      return AsStatus(*process->wow64InfoStatus);
    layout::Wow64Information answer = process ? process->wow64PebAddress : 0;
    if (answer != 0 && process->wow64InfoIsFlag) answer = 1;
    std::memcpy(buffer, &answer, sizeof answer);
    if (returned) *returned = sizeof answer;
    return AsStatus(code::kStatusSuccess);
  }
  if (cls != os::kProcessBasicInformation) return AsStatus(code::kStatusInvalidInfoClass);
  if (size != sizeof(layout::ProcessBasicInformation))
    return AsStatus(code::kStatusInfoLengthMismatch);
  if (process && process->basicInfoStatus && *process->basicInfoStatus != code::kStatusSuccess)
    return AsStatus(*process->basicInfoStatus);
  layout::ProcessBasicInformation info{};
  info.UniqueProcessId = entry->id;
  info.ExitStatus = code::kStillActive;
  if (process) {
    if (process->exitCode) info.ExitStatus = *process->exitCode;
    info.PebBaseAddress = process->pebAddress;
    info.InheritedFromUniqueProcessId = process->parentId;
    info.BasePriority = process->basePriority;
  }
  std::memcpy(buffer, &info, sizeof info);
  if (returned) *returned = process && process->basicInfoWithoutLength ? 0 : sizeof info;
  return AsStatus(code::kStatusSuccess);
}

ZelNtStatus ZEL_NTAPI NtQueryInformationThread(void* handle, int cls, void* buffer, ZelUlong size,
                                               ZelUlong* returned) {
  const PlatformCall call(*Installed(), "NtQueryInformationThread");
  if (call.Fault()) return AsStatus(call.Fault()->code);
  const HandleEntry* entry = call.Find(handle, HandleKind::Thread);
  if (!entry) return AsStatus(code::kStatusInvalidHandle);
  if (cls != os::kThreadBasicInformation) return AsStatus(code::kStatusInvalidInfoClass);
  if (size != sizeof(layout::ThreadBasicInformation))
    return AsStatus(code::kStatusInfoLengthMismatch);
  layout::ThreadBasicInformation info{};
  info.ClientIdThread = entry->id;
  {
    const std::lock_guard lock(Installed()->ModelMutex());
    auto [process, thread] = FindThread(*Installed(), entry->id);
    if (thread) {
      info.TebBaseAddress = thread->tebAddress;
      info.ClientIdProcess = process->id;
      info.Priority = thread->priority;
    }
  }
  std::memcpy(buffer, &info, sizeof info);
  if (returned) *returned = sizeof info;
  return AsStatus(code::kStatusSuccess);
}

template <class F>
os::FARPROC AsFarProc(F* function) {
  using Generic = void (*)();
  return reinterpret_cast<os::FARPROC>(reinterpret_cast<Generic>(function));
}

}  // namespace
}  // namespace zel::fake

namespace zel::os {

HMODULE GetModuleHandleW(const wchar_t* name) {
  fake::System* system = fake::Installed();
  const fake::PlatformCall call(*system, "GetModuleHandleW");
  if (call.FailsWithLastError()) return nullptr;
  if (system->ntdllLoaded && name && fake::SameModuleName(name, L"NTDLL.DLL")) return &fake::ntdll;
  SetLastError(code::kModuleNotFound);
  return nullptr;
}

FARPROC GetProcAddress(HMODULE module, const char* name) {
  fake::System* system = fake::Installed();
  const fake::PlatformCall call(*system, "GetProcAddress");
  if (call.FailsWithLastError()) return nullptr;
  if (module == &fake::ntdll && name && !system->missingEntryPoints.count(name)) {
    const std::string_view n(name);
    if (n == "NtQuerySystemInformation") return fake::AsFarProc(&fake::NtQuerySystemInformation);
    if (n == "NtQueryInformationProcess") return fake::AsFarProc(&fake::NtQueryInformationProcess);
    if (n == "NtQueryInformationThread") return fake::AsFarProc(&fake::NtQueryInformationThread);
  }
  SetLastError(code::kProcNotFound);
  return nullptr;
}

}  // namespace zel::os
