// The account that owns a live process, and its main window.
#include <new>

#include "../platform/account_names.h"
#include "../platform/codes.h"
#include "../platform/source.h"
#include "ZelProcess.h"
#include "live_target.h"

using zel::source::Process;

namespace {

constexpr unsigned int kNoId = 0xFFFFFFFF;

}  // namespace

int CZelProcess::GetUserAndDomain(void* hProcess, CZelString& strUser, CZelString& strDomain) {
  strUser.Empty();
  strDomain.Empty();
  const zel::inspect::LiveCall live{
      {m_Error, m_pfnNtQueryInformationProcess, m_pfnNtQueryInformationThread},
      zel::records::SnapshotOf(m_pProcesses, m_cbProcesses)};
  return live.OnProcess(hProcess, zel::code::kInvalidHandle, 0, [&](const Process& p) {
    GetProcessID(hProcess);
    try {
      if (!m_pAccountNames) m_pAccountNames = std::make_unique<zel::AccountNames>();
    } catch (const std::bad_alloc&) {
      m_Error.SetError(zel::code::kOutOfMemory);
      return 0;
    }
    return zel::source::ReadOwner(live.caller, p, *m_pAccountNames, strUser, strDomain);
  });
}

HWND CZelProcess::GetMainWindow(void* hProcess) {
  const zel::inspect::LiveCall live{
      {m_Error, m_pfnNtQueryInformationProcess, m_pfnNtQueryInformationThread},
      zel::records::SnapshotOf(m_pProcesses, m_cbProcesses)};
  return live.OnProcess(hProcess, zel::code::kInvalidParameter, HWND{}, [&](const Process& p) {
    GetProcessID(hProcess);
    const HWND window = zel::source::FindMainWindow(live.caller, p);
    if (p.id != kNoId) return window;
    m_Error.SetError(zel::code::kInvalidParameter);
    return HWND{};
  });
}
