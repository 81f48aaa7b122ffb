#include "process_facts.h"

#ifdef _WIN32
#include <windows.h>
//
#include <sddl.h>

#include "ZelString.h"
#include "host/win32_handle.h"
#else
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <fstream>
#include <sstream>
#endif

namespace zelps {

#ifdef _WIN32

namespace {

zel::host::OwnedHandle OpenForQuery(unsigned id) {
  return zel::host::OwnedHandle(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
}

}  // namespace

bool IsWow64Process(unsigned id) {
  const zel::host::OwnedHandle process = OpenForQuery(id);
  BOOL wow64 = FALSE;
  return process && ::IsWow64Process(process.Get(), &wow64) && wow64;
}

std::optional<long> NiceOf(unsigned id) {
  const zel::host::OwnedHandle process = OpenForQuery(id);
  if (!process) return std::nullopt;
  switch (::GetPriorityClass(process.Get())) {
    case IDLE_PRIORITY_CLASS: return 4;
    case BELOW_NORMAL_PRIORITY_CLASS: return 6;
    case NORMAL_PRIORITY_CLASS: return 8;
    case ABOVE_NORMAL_PRIORITY_CLASS: return 10;
    case HIGH_PRIORITY_CLASS: return 13;
    case REALTIME_PRIORITY_CLASS: return 24;
    default: return std::nullopt;
  }
}

std::optional<unsigned> UserIdOf(unsigned) { return std::nullopt; }

std::optional<std::uint64_t> BootTimeFraction() { return std::nullopt; }

std::optional<std::string> AccountOfSid(std::string_view text) {
  const CZelString wide = CZelString::FromUtf8(std::string(text));
  PSID sid = nullptr;
  if (!::ConvertStringSidToSidW(wide.c_wstr(), &sid)) return std::nullopt;
  wchar_t user[256], domain[256];
  DWORD userLength = 256, domainLength = 256;
  SID_NAME_USE use;
  const bool found =
      ::LookupAccountSidW(nullptr, sid, user, &userLength, domain, &domainLength, &use) != 0;
  ::LocalFree(sid);
  if (!found) return std::nullopt;
  return CZelString(domain).ToUtf8() + "\\" + CZelString(user).ToUtf8();
}

#else

bool IsWow64Process(unsigned) { return false; }

std::optional<long> NiceOf(unsigned id) {
  errno = 0;
  const int nice = getpriority(PRIO_PROCESS, id);
  if (nice == -1 && errno != 0) return std::nullopt;
  return nice;
}

std::optional<unsigned> UserIdOf(unsigned id) {
  std::ifstream status("/proc/" + std::to_string(id) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (!line.starts_with("Uid:")) continue;
    // Real, effective, saved and file system IDs.
    std::istringstream ids(line.substr(4));
    unsigned real = 0, effective = 0;
    if (ids >> real >> effective) return effective;
    return std::nullopt;
  }
  return std::nullopt;
}

std::optional<std::uint64_t> BootTimeFraction() {
  std::ifstream stat("/proc/stat");
  std::string line;
  std::int64_t boot = 0;
  while (std::getline(stat, line) && !line.starts_with("btime ")) {
  }
  if (!(std::istringstream(line.substr(6)) >> boot)) return std::nullopt;
  // The kernel's btime is the wall clock less the time since the boot, cut
  // to a second.
  timespec now{}, sinceBoot{};
  if (clock_gettime(CLOCK_REALTIME, &now) != 0 || clock_gettime(CLOCK_BOOTTIME, &sinceBoot) != 0)
    return std::nullopt;
  constexpr std::int64_t kPerSecond = 10'000'000;
  const std::int64_t fraction =
      (now.tv_sec - sinceBoot.tv_sec - boot) * kPerSecond + (now.tv_nsec - sinceBoot.tv_nsec) / 100;
  // Past a second the wall clock was set since: nothing to tell.
  if (fraction < 0 || fraction >= kPerSecond) return std::nullopt;
  return static_cast<std::uint64_t>(fraction);
}

std::optional<std::string> AccountOfSid(std::string_view) { return std::nullopt; }

#endif

}  // namespace zelps
