#include "unix_accounts.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <vector>

namespace zel::procfs {

std::string UserNameOf(std::uint32_t uid) {
  const long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 1024);
  for (;;) {
    passwd entry{};
    passwd* found = nullptr;
    const int error = getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found);
    if (error == ERANGE && buffer.size() < (std::size_t{1} << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (error == 0 && found && found->pw_name) return found->pw_name;
    return std::to_string(uid);
  }
}

std::string HostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

}  // namespace zel::procfs
