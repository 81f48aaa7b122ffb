// The account that owns a live process, and its main window.
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
    return zel::source::ReadOwner(live.caller, p, strUser, strDomain);
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
