// The account that owns a live process, and its main window.
#include "../platform/codes.h"
#include "../platform/source.h"
#include "ZelProcess.h"
#include "live_target.h"

namespace {

constexpr unsigned int kNoId = 0xFFFFFFFF;

}  // namespace

int CZelProcess::GetUserAndDomain(void* hProcess, CZelString& strUser, CZelString& strDomain) {
  strUser.Empty();
  strDomain.Empty();
  const auto* record =
      zel::records::AsHandle(hProcess, zel::layout::ZELFIND_PROCESS,
                             zel::records::SnapshotOf(m_pProcesses, m_cbProcesses));
  if (!record) {
    m_Error.SetError(zel::code::kInvalidHandle);
    return 0;
  }
  GetProcessID(hProcess);
  const zel::source::Caller caller{m_Error, m_pfnNtQueryInformationProcess,
                                   m_pfnNtQueryInformationThread};
  return zel::source::ReadOwner(caller, zel::inspect::ProcessOf(record->pProcess), strUser,
                                strDomain);
}

HWND CZelProcess::GetMainWindow(void* hProcess) {
  const auto* record =
      zel::records::AsHandle(hProcess, zel::layout::ZELFIND_PROCESS,
                             zel::records::SnapshotOf(m_pProcesses, m_cbProcesses));
  if (!record) {
    m_Error.SetError(zel::code::kInvalidParameter);
    return nullptr;
  }
  const zel::source::Process process = zel::inspect::ProcessOf(record->pProcess);
  GetProcessID(hProcess);
  const zel::source::Caller caller{m_Error, m_pfnNtQueryInformationProcess,
                                   m_pfnNtQueryInformationThread};
  HWND window = zel::source::FindMainWindow(caller, process);
  if (process.id == kNoId) {
    m_Error.SetError(zel::code::kInvalidParameter);
    return nullptr;
  }
  return window;
}
