// The strings of a live process's parameters block.
#include <new>
#include <vector>

#include "../platform/codes.h"
#include "../platform/unique_handle.h"
#include "ZelProcess.h"
#include "remote_blocks.h"

namespace {

// Where each string's descriptor lies in the parameters block.
std::size_t DescriptorOffset(ZELPI_TYPE type) {
  switch (type) {
    case ZELPI_IMAGEFILE: return ZEL_OFFSET(ProcessParameters, ImagePathName);
    case ZELPI_COMMANDLINE: return ZEL_OFFSET(ProcessParameters, CommandLine);
    case ZELPI_CURRENTDIRECTORY: return ZEL_OFFSET(ProcessParameters, CurrentDirectory);
    case ZELPI_WINDOWTITLE: return ZEL_OFFSET(ProcessParameters, WindowTitle);
    case ZELPI_DESKTOPNAME: return ZEL_OFFSET(ProcessParameters, DesktopInfo);
    case ZELPI_PATH: return ZEL_OFFSET(ProcessParameters, DllPath);
  }
  return 0;
}

bool IsKnownType(ZELPI_TYPE type) {
  return static_cast<unsigned>(type) <= static_cast<unsigned>(ZELPI_PATH);
}

}  // namespace

CZelString CZelProcess::ReadProcessInfoString(void* hProcess, ZELPI_TYPE eType) {
  zel::inspect::PebImage peb;
  if (!GetPEB(hProcess, reinterpret_cast<_PEB*>(peb.data()))) return CZelString();

  zel::os::UniqueHandle process(GetReadHandle(hProcess));
  zel::inspect::ParametersImage parameters;
  if (!zel::inspect::ReadRemote(process.Get(), zel::inspect::ParametersAddress(peb),
                                parameters.data(), parameters.size())) {
    m_Error.SetError(zel::os::GetLastError());
    return CZelString();
  }
  if (!IsKnownType(eType)) return CZelString();

  const auto descriptor =
      zel::layout::Load<zel::layout::CountedString>(parameters.data(), DescriptorOffset(eType));
  const std::size_t units = descriptor.Length / sizeof(unsigned short);
  std::vector<unsigned short> text;
  try {
    text.resize(units + 1);
  } catch (const std::bad_alloc&) {
    m_Error.SetError(zel::code::kOutOfMemory);
    return CZelString();
  }
  if (!zel::inspect::ReadRemote(process.Get(), descriptor.Buffer, text.data(), descriptor.Length)) {
    m_Error.SetError(zel::code::kAccessDenied);
    return CZelString();
  }
  process.Reset();
  text[units] = 0;
  return CZelString(text.data(), units);
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

CZelString CZelProcess::GetPath(void* hProcess) { return ReadProcessInfoString(hProcess, ZELPI_PATH); }
