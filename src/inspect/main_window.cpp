// The first top-level window of a live process.
#include "../platform/codes.h"
#include "../snapshot/records.h"
#include "ZelProcess.h"

namespace {

// What the window enumeration looks for, and what it found.
struct ZELWND_SEARCH {
  CZelProcess* pOwner;
  zel::os::DWORD dwProcessId;
  HWND hWnd;
};

zel::os::BOOL ZEL_CALLBACK MainWindowEnumProc(HWND window, zel::os::LPARAM param) {
  auto* search = reinterpret_cast<ZELWND_SEARCH*>(param);
  zel::os::DWORD process_id = 0;
  zel::os::GetWindowThreadProcessId(window, &process_id);
  if (process_id != search->dwProcessId) return 1;
  search->hWnd = window;
  return 0;
}

constexpr unsigned int kNoId = 0xFFFFFFFF;

}  // namespace

HWND CZelProcess::GetMainWindow(void* hProcess) {
  if (!zel::records::AsHandle(hProcess, zel::layout::ZELFIND_PROCESS)) {
    m_Error.SetError(zel::code::kInvalidParameter);
    return nullptr;
  }
  ZELWND_SEARCH search{this, GetProcessID(hProcess), nullptr};
  // The enumeration also answers FALSE when the callback stops it at a match;
  // without one, FALSE means the windows could not be enumerated.
  if (!zel::os::EnumWindows(MainWindowEnumProc, reinterpret_cast<zel::os::LPARAM>(&search)) &&
      !search.hWnd) {
    m_Error.SetError(zel::os::GetLastError());
    return nullptr;
  }
  if (search.dwProcessId == kNoId) {
    m_Error.SetError(zel::code::kInvalidParameter);
    return nullptr;
  }
  return search.hWnd;
}
