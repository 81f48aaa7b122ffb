#include "snapshot_handles.h"

#include <cstdint>
#include <optional>

#include "../codes.h"

namespace zel::windows {
namespace {

template <class Times>
std::optional<std::uint64_t> CreationTime(os::HANDLE live, Times times) {
  os::FILETIME created{}, exited{}, kernel{}, user{};
  if (!times(live, &created, &exited, &kernel, &user)) return std::nullopt;
  return (std::uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime;
}

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
template <class Times>
os::HANDLE Verified(os::HANDLE live, std::uint64_t create_time, Times times) {
  if (!live || create_time == 0) return live;
  const std::optional<std::uint64_t> created = CreationTime(live, times);
  const os::DWORD error = created ? code::kInvalidParameter : os::GetLastError();
  if (created && *created == create_time) return live;
  os::CloseHandle(live);
  os::SetLastError(error);
  return nullptr;
}

}  // namespace

bool HeldByAnotherProcess(const source::Process& process) {
  if (process.createTime == 0) return false;
  const os::HANDLE live = os::OpenProcess(os::kProcessQueryLimitedInformation, 0, process.id);
  if (!live) return false;
  const std::optional<std::uint64_t> created = CreationTime(live, ProcessTimes);
  os::CloseHandle(live);
  return created && *created != process.createTime;
}

os::HANDLE OpenSnapshotProcess(os::DWORD access, const source::Process& process) {
  return Verified(os::OpenProcess(access, 0, process.id), process.createTime, ProcessTimes);
}

os::HANDLE OpenSnapshotThread(os::DWORD access, const source::Thread& thread) {
  return Verified(os::OpenThread(access, 0, thread.id), thread.createTime, ThreadTimes);
}

}  // namespace zel::windows
