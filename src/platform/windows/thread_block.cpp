// A live thread's environment block.
#include "../codes.h"
#include "block_layouts.h"
#include "../source.h"
#include "snapshot_handles.h"
#include "unique_handle.h"

namespace zel::source {

int ReadThreadBlock(const Caller& caller, const Thread& thread, _TEB* teb) {
  os::UniqueHandle live_thread(windows::OpenSnapshotThread(os::kThreadQueryInformation, thread));
  if (!live_thread) {
    caller.error.SetError(os::GetLastError());
    return 0;
  }
  layout::ThreadBasicInformation info{};
  const auto status = static_cast<ZelCode>(caller.queryThread(
      live_thread.Get(), os::kThreadBasicInformation, &info, sizeof info, nullptr));
  if (status != code::kStatusSuccess) {
    caller.error.SetError(status);
    return 0;
  }
  // Without a process handle the read fails, and its code is the one kept.
  os::UniqueHandle live_process(windows::OpenSnapshotProcess(
      os::kProcessQueryInformation | os::kProcessVmRead, thread.process));
  const auto read = os::ReadProcessMemory(
      live_process.Get(),
      reinterpret_cast<const void*>(static_cast<std::uintptr_t>(info.TebBaseAddress)), teb,
      layout::kTebReadSize, nullptr);
  const ZelCode read_error = read ? code::kSuccess : os::GetLastError();
  live_process.Reset();
  live_thread.Reset();
  caller.error.SetError(read_error);
  return read ? 1 : 0;
}

}  // namespace zel::source
