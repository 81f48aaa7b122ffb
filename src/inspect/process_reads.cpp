// The live reads of a process: its basic information, PEB, parameter strings
// and environment. Each checks its handle here and leaves the reading to the
// target's source.
#include "../platform/codes.h"
#include "../platform/source.h"
#include "ZelProcess.h"
#include "environment_buffer.h"
#include "live_target.h"

namespace {

using zel::layout::ZELFIND_PROCESS;

// The record under a valid process handle into `snapshot`, or null.
const std::byte* ProcessUnder(void* handle, const zel::records::Snapshot& snapshot) {
  const auto* record = zel::records::AsHandle(handle, ZELFIND_PROCESS, snapshot);
  return record ? record->pProcess : nullptr;
}

}  // namespace

void* CZelProcess::GetReadHandle(void* hProcess) {
  const std::byte* process =
      ProcessUnder(hProcess, zel::records::SnapshotOf(m_pProcesses, m_cbProcesses));
  if (!process) {
    m_Error.SetError(zel::code::kInvalidParameter);
    return nullptr;
  }
  const zel::source::Caller caller{m_Error, m_pfnNtQueryInformationProcess,
                                   m_pfnNtQueryInformationThread};
  return zel::source::OpenForRead(caller, zel::inspect::ProcessOf(process));
}

int CZelProcess::GetProcessInformation(void* hProcess, _PROCESS_BASIC_INFORMATION* pInfo) {
  const std::byte* process =
      ProcessUnder(hProcess, zel::records::SnapshotOf(m_pProcesses, m_cbProcesses));
  if (!process) {
    // As for a process that cannot be opened.
    m_Error.SetError(zel::code::kAccessDenied);
    return 0;
  }
  const zel::source::Caller caller{m_Error, m_pfnNtQueryInformationProcess,
                                   m_pfnNtQueryInformationThread};
  return zel::source::ReadBasicInformation(caller, zel::inspect::ProcessOf(process), pInfo);
}

int CZelProcess::GetPEB(void* hProcess, _PEB* pPeb) {
  const std::byte* process =
      ProcessUnder(hProcess, zel::records::SnapshotOf(m_pProcesses, m_cbProcesses));
  if (!process) {
    m_Error.SetError(zel::code::kInvalidParameter);
    return 0;
  }
  const zel::source::Caller caller{m_Error, m_pfnNtQueryInformationProcess,
                                   m_pfnNtQueryInformationThread};
  return zel::source::ReadPeb(caller, zel::inspect::ProcessOf(process), pPeb);
}

CZelString CZelProcess::ReadProcessInfoString(void* hProcess, ZELPI_TYPE eType) {
  const std::byte* process =
      ProcessUnder(hProcess, zel::records::SnapshotOf(m_pProcesses, m_cbProcesses));
  if (!process) {
    m_Error.SetError(zel::code::kInvalidParameter);
    return CZelString();
  }
  const zel::source::Caller caller{m_Error, m_pfnNtQueryInformationProcess,
                                   m_pfnNtQueryInformationThread};
  return zel::source::ReadString(caller, zel::inspect::ProcessOf(process), eType);
}

CZelString CZelProcess::GetImageFile(void* hProcess) {
  return ReadProcessInfoString(hProcess, ZELPI_IMAGEFILE);
}

CZelString CZelProcess::GetCommandLineW(void* hProcess) {
  return ReadProcessInfoString(hProcess, ZELPI_COMMANDLINE);
}

CZelString CZelProcess::GetCurrentDirectoryW(void* hProcess) {
  return ReadProcessInfoString(hProcess, ZELPI_CURRENTDIRECTORY);
}

CZelString CZelProcess::GetWindowTitle(void* hProcess) {
  return ReadProcessInfoString(hProcess, ZELPI_WINDOWTITLE);
}

CZelString CZelProcess::GetDesktopName(void* hProcess) {
  return ReadProcessInfoString(hProcess, ZELPI_DESKTOPNAME);
}

CZelString CZelProcess::GetPath(void* hProcess) {
  return ReadProcessInfoString(hProcess, ZELPI_PATH);
}

unsigned char* CZelProcess::GetEnvironmentBuffer(void* hProcess) {
  const std::byte* process =
      ProcessUnder(hProcess, zel::records::SnapshotOf(m_pProcesses, m_cbProcesses));
  if (!process) {
    m_Error.SetError(zel::code::kInvalidParameter);
    return nullptr;
  }
  const zel::source::Caller caller{m_Error, m_pfnNtQueryInformationProcess,
                                   m_pfnNtQueryInformationThread};
  return zel::source::ReadEnvironment(caller, zel::inspect::ProcessOf(process));
}

int CZelProcess::FreeEnvironmentBuffer(unsigned char*& pBuffer) {
  if (!zel::source::IsWritable(pBuffer, zel::layout::kEnvironmentReadSize)) {
    m_Error.SetError(zel::code::kInvalidParameter);
    return 0;
  }
  zel::inspect::EnvironmentBuffer{pBuffer};
  pBuffer = nullptr;
  return 1;
}
