// The native entry points, resolved by name from the loaded NTDLL.DLL, what
// the snapshot's records hold, and the probe of the caller's output records.
#include "../source.h"
#include "windows_api.h"

namespace zel::source {
namespace {

// An entry point of the module under its real signature.
template <class Function>
Function EntryPoint(os::HMODULE module, const char* name) {
  using Generic = void (*)();
  return reinterpret_cast<Function>(reinterpret_cast<Generic>(os::GetProcAddress(module, name)));
}

}  // namespace

bool ResolveEntryPoints(const EntryPoints& entryPoints, ZelCode& why) {
  const auto module = os::GetModuleHandleW(L"NTDLL.DLL");
  if (module) {
    entryPoints.querySystem =
        EntryPoint<ZEL_PFN_NTQUERYSYSTEMINFORMATION>(module, "NtQuerySystemInformation");
    if (entryPoints.querySystem) {
      entryPoints.queryProcess =
          EntryPoint<ZEL_PFN_NTQUERYINFORMATIONPROCESS>(module, "NtQueryInformationProcess");
      if (entryPoints.queryProcess) {
        entryPoints.queryThread =
            EntryPoint<ZEL_PFN_NTQUERYINFORMATIONTHREAD>(module, "NtQueryInformationThread");
        if (entryPoints.queryThread) return true;
      }
    }
  }
  why = os::GetLastError();
  return false;
}

// The platform's snapshot holds every process's counters.
bool HasIoCounters(const std::byte*) { return true; }

bool IsWritable(void* p, std::size_t size) { return !os::IsBadWritePtr(p, size); }

}  // namespace zel::source
