// A copy of a live process's environment block.
#include "../../inspect/environment_buffer.h"
#include "../codes.h"
#include "../source.h"
#include "remote_blocks.h"
#include "snapshot_handles.h"
#include "unique_handle.h"

namespace zel::source {

unsigned char* ReadEnvironment(const Caller& caller, const Process& process) {
  os::UniqueHandle live(windows::OpenSnapshotProcess(windows::kReadAccess, process));
  if (!live) {
    caller.error.SetError(os::GetLastError());
    return nullptr;
  }
  windows::PebImage peb;
  windows::BlockKind kind;
  if (!windows::ReadOwnPeb(caller, process, peb, kind)) return nullptr;
  windows::ParametersImage parameters;
  if (!windows::ReadRemote(live.Get(), windows::ParametersAddress(peb, kind), parameters.data(),
                           parameters.size())) {
    const ZelCode error = os::GetLastError();
    live.Reset();
    caller.error.SetError(error);
    return nullptr;
  }
  inspect::EnvironmentBuffer buffer = inspect::NewEnvironmentBuffer();
  if (!buffer) {
    live.Reset();
    caller.error.SetError(code::kOutOfMemory);
    return nullptr;
  }
  if (!windows::ReadRemote(live.Get(), windows::EnvironmentAddress(parameters, kind), buffer.get(),
                           layout::kEnvironmentReadSize)) {
    const ZelCode error = os::GetLastError();
    buffer.reset();
    live.Reset();
    caller.error.SetError(error);
    return nullptr;
  }
  return buffer.release();
}

}  // namespace zel::source
