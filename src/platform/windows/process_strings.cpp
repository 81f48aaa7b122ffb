// The strings of a live process's parameters block.
#include <new>
#include <vector>

#include "../codes.h"
#include "../source.h"
#include "remote_blocks.h"
#include "unique_handle.h"

namespace zel::source {
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

CZelString ReadString(const Caller& caller, const Process& process, ZELPI_TYPE type) {
  windows::PebImage peb;
  if (!ReadPeb(caller, process, reinterpret_cast<_PEB*>(peb.data()))) return CZelString();

  os::UniqueHandle live(OpenForRead(caller, process));
  windows::ParametersImage parameters;
  if (!windows::ReadRemote(live.Get(), windows::ParametersAddress(peb), parameters.data(),
                           parameters.size())) {
    caller.error.SetError(os::GetLastError());
    return CZelString();
  }
  if (!IsKnownType(type)) return CZelString();

  const auto descriptor =
      layout::Load<layout::CountedString>(parameters.data(), DescriptorOffset(type));
  const std::size_t units = descriptor.Length / sizeof(unsigned short);
  std::vector<unsigned short> text;
  try {
    text.resize(units + 1);
  } catch (const std::bad_alloc&) {
    caller.error.SetError(code::kOutOfMemory);
    return CZelString();
  }
  if (!windows::ReadRemote(live.Get(), descriptor.Buffer, text.data(), descriptor.Length)) {
    caller.error.SetError(code::kAccessDenied);
    return CZelString();
  }
  live.Reset();
  text[units] = 0;
  try {
    return CZelString(text.data(), units);
  } catch (const std::bad_alloc&) {
    caller.error.SetError(code::kOutOfMemory);
    return CZelString();
  }
}

}  // namespace zel::source
