// The live reads of a process: its basic information, PEB, parameter strings
// and environment. Each checks its handle here and leaves the reading to the
// target's source.
#include <cstring>

#include "../platform/codes.h"
#include "../platform/source.h"
#include "ZelProcess.h"
#include "../platform/environment_copies.h"
#include "live_target.h"

using zel::code::kInvalidParameter;
using zel::source::Process;

void* CZelProcess::GetReadHandle(void* hProcess) {
  const zel::inspect::LiveCall live{
      {m_Error, m_pfnNtQueryInformationProcess, m_pfnNtQueryInformationThread},
      zel::records::SnapshotOf(m_pProcesses, m_cbProcesses)};
  return live.OnProcess(hProcess, kInvalidParameter, static_cast<void*>(nullptr),
                        [&](const Process& p) { return zel::source::OpenForRead(live.caller, p); });
}

int CZelProcess::GetProcessInformation(void* hProcess, _PROCESS_BASIC_INFORMATION* pInfo) {
  const zel::inspect::LiveCall live{
      {m_Error, m_pfnNtQueryInformationProcess, m_pfnNtQueryInformationThread},
      zel::records::SnapshotOf(m_pProcesses, m_cbProcesses)};
  // A bad handle is answered as a process that cannot be opened.
  return live.OnProcess(hProcess, zel::code::kAccessDenied, 0, [&](const Process& p) {
    return zel::source::ReadBasicInformation(live.caller, p, pInfo);
  });
}

int CZelProcess::GetPEB(void* hProcess, _PEB* pPeb) {
  const zel::inspect::LiveCall live{
      {m_Error, m_pfnNtQueryInformationProcess, m_pfnNtQueryInformationThread},
      zel::records::SnapshotOf(m_pProcesses, m_cbProcesses)};
  return live.OnProcess(hProcess, kInvalidParameter, 0, [&](const Process& p) {
    return zel::source::ReadPeb(live.caller, p, pPeb);
  });
}

CZelString CZelProcess::ReadProcessInfoString(void* hProcess, ZELPI_TYPE eType) {
  // A derived class may pass any number in the enum's place; it is taken as a
  // number, since reading it as the enum would be undefined for most.
  unsigned type = 0;
  static_assert(sizeof type == sizeof eType);
  std::memcpy(&type, &eType, sizeof type);
  const zel::inspect::LiveCall live{
      {m_Error, m_pfnNtQueryInformationProcess, m_pfnNtQueryInformationThread},
      zel::records::SnapshotOf(m_pProcesses, m_cbProcesses)};
  return live.OnProcess(hProcess, kInvalidParameter, CZelString(), [&](const Process& p) {
    if (type > ZELPI_PATH) {
      m_Error.SetError(kInvalidParameter);
      return CZelString();
    }
    return zel::source::ReadString(live.caller, p, type);
  });
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
  const zel::inspect::LiveCall live{
      {m_Error, m_pfnNtQueryInformationProcess, m_pfnNtQueryInformationThread},
      zel::records::SnapshotOf(m_pProcesses, m_cbProcesses)};
  return live.OnProcess(
      hProcess, kInvalidParameter, static_cast<unsigned char*>(nullptr),
      [&](const Process& p) { return zel::source::ReadEnvironment(live.caller, p); });
}

unsigned char* CZelProcess::GetEnvironmentBlock(void* hProcess, std::size_t& cbSize) {
  const zel::inspect::LiveCall live{
      {m_Error, m_pfnNtQueryInformationProcess, m_pfnNtQueryInformationThread},
      zel::records::SnapshotOf(m_pProcesses, m_cbProcesses)};
  return live.OnProcess(
      hProcess, kInvalidParameter, static_cast<unsigned char*>(nullptr),
      [&](const Process& p) { return zel::source::ReadEnvironmentBlock(live.caller, p, cbSize); });
}

int CZelProcess::FreeEnvironmentBuffer(unsigned char*& pBuffer) {
  // Only a copy this library made is freed: any other pointer, writable or
  // not, is refused, so that a host's own memory is never released.
  if (!zel::source::TakeBackEnvironmentBuffer(pBuffer)) {
    m_Error.SetError(kInvalidParameter);
    return 0;
  }
  pBuffer = nullptr;
  return 1;
}
