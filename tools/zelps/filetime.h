// Printing the platform's 100-ns times.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "ZelProcess.h"
#ifdef _WIN32
#include <windows.h>
#endif

namespace zelps {

inline constexpr std::uint64_t kTicksPerSecond = 10'000'000;
inline constexpr std::uint64_t kTicksFrom1601To1970 = 116444736000000000ULL;

inline std::uint64_t Ticks(const FILETIME& time) {
  return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

// A point in time counted in 100 ns since 1601, as 100 ns since 1970; none
// before 1970, as the zero that the platform gives where it has no time.
inline std::optional<std::uint64_t> TicksSince1970(const FILETIME& time) {
  const std::uint64_t ticks = Ticks(time);
  if (ticks < kTicksFrom1601To1970) return std::nullopt;
  return ticks - kTicksFrom1601To1970;
}

// Now, in 100 ns since 1601.
inline std::uint64_t NowTicks() {
  using namespace std::chrono;
  const auto since1970 = duration_cast<microseconds>(system_clock::now().time_since_epoch());
  return kTicksFrom1601To1970 + std::uint64_t(since1970.count()) * 10;
}

inline FILETIME AsFileTime(std::uint64_t ticks) {
  FILETIME time;
  time.dwLowDateTime = static_cast<std::uint32_t>(ticks);
  time.dwHighDateTime = static_cast<std::uint32_t>(ticks >> 32);
  return time;
}

// As TicksSince1970, as UTC in ISO 8601, to the second or the millisecond.
inline std::optional<std::string> IsoTime(const FILETIME& time, bool milliseconds = false) {
  using namespace std::chrono;
  const auto ticks = TicksSince1970(time);
  if (!ticks) return std::nullopt;
  const sys_time<seconds> at{seconds{*ticks / kTicksPerSecond}};
  const auto day = floor<days>(at);
  const year_month_day date{day};
  const hh_mm_ss clock{at - day};
  char text[40];
  const int length =
      std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02ld:%02ld:%02ld", int(date.year()),
                    unsigned(date.month()), unsigned(date.day()), long(clock.hours().count()),
                    long(clock.minutes().count()), long(clock.seconds().count()));
  if (milliseconds)
    std::snprintf(text + length, sizeof text - length, ".%03uZ", unsigned(*ticks / 10000 % 1000));
  else
    std::snprintf(text + length, sizeof text - length, "Z");
  return text;
}

// As IsoTime, with "-" for a time before 1970.
inline std::string FormatFileTime(const FILETIME& time) { return IsoTime(time).value_or("-"); }

}  // namespace zelps
