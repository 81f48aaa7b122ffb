// A copy of a live process's environment block.
#include <algorithm>

#include "../environment_copies.h"
#include "../codes.h"
#include "../source.h"
#include "remote_blocks.h"
#include "snapshot_handles.h"
#include "unique_handle.h"

namespace zel::source {

unsigned char* ReadEnvironment(const Caller& caller, const Process& process) {
  os::UniqueHandle live(windows::OpenSnapshotProcess(windows::kReadAccess, process));
  // The last error of the call that failed, taken before the handle closes.
  const auto fail = [&]() -> unsigned char* {
    const ZelCode error = os::GetLastError();
    live.Reset();
    caller.error.SetError(error);
    return nullptr;
  };
  if (!live) return fail();
  windows::PebImage peb;
  windows::BlockKind kind;
  if (!windows::ReadOwnPeb(caller, process, peb, kind)) return nullptr;
  windows::ParametersImage parameters;
  if (!windows::ReadRemote(live.Get(), windows::ParametersAddress(peb, kind), parameters.data(),
                           parameters.size()))
    return fail();
  const std::uint64_t address = windows::EnvironmentAddress(parameters, kind);
  const std::optional<std::uint64_t> in_region = windows::BytesToRegionEnd(live.Get(), address);
  if (!in_region) return fail();
  EnvironmentBuffer buffer = NewEnvironmentBuffer();
  if (!buffer) {
    live.Reset();
    caller.error.SetError(code::kOutOfMemory);
    return nullptr;
  }
  // What the region holds, up to a copy's worth, then zeros: the block may
  // end close to the end of its region.
  const std::size_t size = std::min<std::uint64_t>(*in_region, layout::kEnvironmentReadSize);
  if (!windows::ReadRemote(live.Get(), address, buffer.get(), size)) return fail();
  std::fill(buffer.get() + size, buffer.get() + layout::kEnvironmentReadSize, 0);
  return buffer.release();
}

}  // namespace zel::source
