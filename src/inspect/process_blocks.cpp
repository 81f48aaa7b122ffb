// Opening a live process and reading its basic information and PEB.
#include "../platform/codes.h"
#include "../platform/unique_handle.h"
#include "../snapshot/records.h"
#include "ZelProcess.h"
#include "remote_blocks.h"

void* CZelProcess::GetReadHandle(void* hProcess) {
  const auto* handle = zel::records::AsHandle(hProcess, zel::layout::ZELFIND_PROCESS);
  if (!handle) {
    m_Error.SetError(zel::code::kInvalidParameter);
    return nullptr;
  }
  return zel::os::OpenProcess(zel::inspect::kReadAccess, 0,
                              zel::records::ProcessId(handle->pProcess));
}

int CZelProcess::GetProcessInformation(void* hProcess, _PROCESS_BASIC_INFORMATION* pInfo) {
  zel::os::UniqueHandle process(GetReadHandle(hProcess));
  if (!process) {
    m_Error.SetError(zel::code::kAccessDenied);
    return 0;
  }
  if (zel::os::IsBadWritePtr(pInfo, sizeof(zel::layout::ProcessBasicInformation))) {
    m_Error.SetError(zel::code::kInvalidParameter);
    return 0;
  }
  ZelUlong returned = 0;
  const auto status = static_cast<ZelCode>(m_pfnNtQueryInformationProcess(
      process.Get(), zel::os::kProcessBasicInformation, pInfo,
      sizeof(zel::layout::ProcessBasicInformation), &returned));
  if (status == zel::code::kStatusSuccess && returned != 0) {
    m_Error.SetError(zel::code::kSuccess);
    return 1;
  }
  m_Error.SetError(status);
  return 0;
}

int CZelProcess::GetPEB(void* hProcess, _PEB* pPeb) {
  zel::layout::ProcessBasicInformation info{};
  std::uint64_t peb_address = zel::layout::kFallbackPebAddress;
  const bool queried =
      GetProcessInformation(hProcess, reinterpret_cast<_PROCESS_BASIC_INFORMATION*>(&info));
  if (queried) peb_address = info.PebBaseAddress;
  const zel::os::UniqueHandle process(GetReadHandle(hProcess));
  if (zel::inspect::ReadRemote(process.Get(), peb_address, pPeb, zel::layout::kPebReadSize))
    return 1;
  // After a successful query the holder says 0; a process that has ended but
  // is still held opens and answers the query, yet has no memory to read, and
  // that must not read as success.
  if (queried) m_Error.SetError(zel::os::GetLastError());
  return 0;
}
