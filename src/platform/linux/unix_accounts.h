// The names that the machine's user database and host name give an owner.
#pragma once

#include <cstdint>
#include <string>

namespace zel::procfs {

// The user's login name, or the ID as text when the database has none.
std::string UserNameOf(std::uint32_t uid);
// This machine's host name, which serves as the accounts' domain.
std::string HostName();

}  // namespace zel::procfs
