// What zelps asks the platform itself about a process, where the library's
// interface does not say.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zelps {

// Whether a process is a 32-bit one on 64-bit Windows. False where it cannot
// be told (a process the caller may not open, or one gone), and on every
// other platform.
bool IsWow64Process(unsigned id);

// Linux: the nice value, -20 to 19. Windows: the base priority of the
// process's priority class (4 idle, 6 below normal, 8 normal, 10 above
// normal, 13 high, 24 realtime). None where it cannot be read.
std::optional<long> NiceOf(unsigned id);

// Linux: the effective user ID. None where it cannot be read, and on Windows.
std::optional<unsigned> UserIdOf(unsigned id);

// Linux: how long after the boot time in whole seconds, on which every
// creation time is built, the system really started, in 100 ns (under a
// second); the time since a start that ps counts is that much shorter. None
// where it cannot be told, and on Windows.
std::optional<std::uint64_t> BootTimeFraction();

// Windows: the account ("DOMAIN\user") that a SID ("S-1-5-18") names, none
// where it names none; elsewhere always none.
std::optional<std::string> AccountOfSid(std::string_view sid);

}  // namespace zelps
