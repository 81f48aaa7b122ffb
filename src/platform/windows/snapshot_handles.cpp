#include "snapshot_handles.h"

#include <cstdint>

#include "../codes.h"

namespace zel::windows {
namespace {

using Times = os::BOOL (*)(os::HANDLE, os::FILETIME*, os::FILETIME*, os::FILETIME*, os::FILETIME*);

os::BOOL ProcessTimes(os::HANDLE h, os::FILETIME* c, os::FILETIME* e, os::FILETIME* k,
                      os::FILETIME* u) {
  return os::GetProcessTimes(h, c, e, k, u);
}

os::BOOL ThreadTimes(os::HANDLE h, os::FILETIME* c, os::FILETIME* e, os::FILETIME* k,
                     os::FILETIME* u) {
  return os::GetThreadTimes(h, c, e, k, u);
}

// Keeps `live` when it stands for what the snapshot saw; the platform's
// placeholder of 0 (the system's own processes) cannot be told and is kept.
os::HANDLE Verified(os::HANDLE live, std::uint64_t create_time, Times times) {
  if (!live || create_time == 0) return live;
  os::FILETIME created{}, exited{}, kernel{}, user{};
  const bool answered = times(live, &created, &exited, &kernel, &user) != 0;
  const os::DWORD error = answered ? code::kInvalidParameter : os::GetLastError();
  const std::uint64_t live_time =
      (std::uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime;
  if (answered && live_time == create_time) return live;
  os::CloseHandle(live);
  os::SetLastError(error);
  return nullptr;
}

}  // namespace

os::HANDLE OpenSnapshotProcess(os::DWORD access, const source::Process& process) {
  return Verified(os::OpenProcess(access, 0, process.id), process.createTime, ProcessTimes);
}

os::HANDLE OpenSnapshotThread(os::DWORD access, const source::Thread& thread) {
  return Verified(os::OpenThread(access, 0, thread.id), thread.createTime, ThreadTimes);
}

}  // namespace zel::windows
