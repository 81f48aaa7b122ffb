// The strings of a live process's parameters block.
#include <cstddef>
#include <new>
#include <vector>

#include "../codes.h"
#include "../source.h"
#include "remote_blocks.h"
#include "unique_handle.h"

namespace zel::source {
namespace {

// Where each string's descriptor lies in the parameters block of each kind.
template <class Parameters>
std::size_t DescriptorOffset(unsigned type) {
  switch (type) {
    case ZELPI_IMAGEFILE: return offsetof(Parameters, ImagePathName);
    case ZELPI_COMMANDLINE: return offsetof(Parameters, CommandLine);
    case ZELPI_CURRENTDIRECTORY: return offsetof(Parameters, CurrentDirectory);
    case ZELPI_WINDOWTITLE: return offsetof(Parameters, WindowTitle);
    case ZELPI_DESKTOPNAME: return offsetof(Parameters, DesktopInfo);
    case ZELPI_PATH: return offsetof(Parameters, DllPath);
  }
  return 0;
}

std::size_t DescriptorOffset(unsigned type, windows::BlockKind kind) {
  return kind == windows::BlockKind::Wow64 ? DescriptorOffset<layout::ProcessParameters32>(type)
                                           : DescriptorOffset<layout::ProcessParameters>(type);
}

}  // namespace

CZelString ReadString(const Caller& caller, const Process& process, unsigned type) {
  windows::PebImage peb;
  windows::BlockKind kind;
  if (!windows::ReadOwnPeb(caller, process, peb, kind)) return CZelString();

  os::UniqueHandle live(OpenForRead(caller, process));
  windows::ParametersImage parameters;
  if (!windows::ReadRemote(live.Get(), windows::ParametersAddress(peb, kind), parameters.data(),
                           parameters.size())) {
    caller.error.SetError(os::GetLastError());
    return CZelString();
  }
  const windows::StringDescriptor descriptor =
      windows::DescriptorAt(parameters, DescriptorOffset(type, kind), kind);
  const std::size_t units = descriptor.length / sizeof(unsigned short);
  std::vector<unsigned short> text;
  try {
    text.resize(units + 1);
  } catch (const std::bad_alloc&) {
    caller.error.SetError(code::kOutOfMemory);
    return CZelString();
  }
  if (!windows::ReadRemote(live.Get(), descriptor.address, text.data(), descriptor.length)) {
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
