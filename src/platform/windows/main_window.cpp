// The first top-level window of a live process.
#include "../codes.h"
#include "../source.h"
#include "snapshot_handles.h"
#include "unique_handle.h"
#include "windows_api.h"

namespace zel::source {
namespace {

// What the window enumeration looks for, and what it found.
struct ZELWND_SEARCH {
  const Caller* pOwner;
  os::DWORD dwProcessId;
  HWND hWnd;
};

os::BOOL ZEL_CALLBACK MainWindowEnumProc(HWND window, os::LPARAM param) {
  auto* search = reinterpret_cast<ZELWND_SEARCH*>(param);
  os::DWORD process_id = 0;
  os::GetWindowThreadProcessId(window, &process_id);
  if (process_id != search->dwProcessId) return 1;
  search->hWnd = window;
  return 0;
}

}  // namespace

HWND FindMainWindow(const Caller& caller, const Process& process) {
  // The windows are matched by ID alone: a process that has gone, or whose
  // ID another process has taken since, has none of its own left. One that
  // cannot be opened to tell is searched for all the same.
  const os::UniqueHandle live(
      windows::OpenSnapshotProcess(os::kProcessQueryLimitedInformation, process));
  if (!live && os::GetLastError() == code::kInvalidParameter) return nullptr;
  ZELWND_SEARCH search{&caller, process.id, nullptr};
  // The enumeration also answers FALSE when the callback stops it at a match;
  // without one, FALSE means the windows could not be enumerated.
  if (!os::EnumWindows(MainWindowEnumProc, reinterpret_cast<os::LPARAM>(&search)) && !search.hWnd) {
    caller.error.SetError(os::GetLastError());
    return nullptr;
  }
  return search.hWnd;
}

}  // namespace zel::source
