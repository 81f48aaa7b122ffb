// The /proc files as the kernel writes them (proc(5)), from the fields that
// the parsers return: what a parser reads back from them must be what they
// were written from.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/linux/proc_parsers.h"

namespace zel::fuzz {

// A stat line with 52 fields; those the parser does not return are 0.
inline std::string WriteStat(const procfs::StatFields& s) {
  using std::to_string;
  std::string line = to_string(s.pid) + " (" + s.comm + ") " + s.state;
  const auto field = [&](const std::string& text) { line += ' ' + text; };
  // Numbered as proc(5) numbers them, from 4 (the parent) on.
  for (int number = 4; number <= 52; ++number) {
    switch (number) {
      case 4: field(to_string(s.parentPid)); break;
      case 9: field(to_string(s.flags)); break;
      case 10: field(to_string(s.minorFaults)); break;
      case 12: field(to_string(s.majorFaults)); break;
      case 14: field(to_string(s.userTicks)); break;
      case 15: field(to_string(s.systemTicks)); break;
      case 19: field(to_string(s.nice)); break;
      case 22: field(to_string(s.startTicks)); break;
      case 41: field(to_string(s.policy)); break;
      default: field("0"); break;
    }
  }
  return line + '\n';
}

// A status file's fields as the kernel writes them, sizes in kB, in the
// order VmPeak, VmSize, VmHWM, VmRSS, RssAnon, VmSwap.
struct StatusInKilobytes {
  std::string name;
  std::optional<std::uint32_t> realUid;
  std::array<std::uint64_t, 6> sizes{};
};

inline std::string WriteStatus(const StatusInKilobytes& s) {
  const auto size = [&](const char* key, std::size_t i) {
    return std::string(key) + ":\t" + std::to_string(s.sizes[i]) + " kB\n";
  };
  std::string text = "Name:\t" + s.name + "\nUmask:\t0022\nState:\tS (sleeping)\n";
  if (s.realUid) {
    const std::string uid = std::to_string(*s.realUid);
    text += "Uid:\t" + uid + "\t1000\t" + uid + "\t" + uid + "\n";
  }
  return text + size("VmPeak", 0) + size("VmSize", 1) + "VmLck:\t0 kB\n" + size("VmHWM", 2) +
         size("VmRSS", 3) + size("RssAnon", 4) + "RssFile:\t4 kB\n" + size("VmSwap", 5) +
         "Threads:\t1\n";
}

inline std::string WriteIo(const procfs::IoFields& io) {
  using std::to_string;
  return "rchar: " + to_string(io.readChars) + "\nwchar: " + to_string(io.writeChars) +
         "\nsyscr: " + to_string(io.readCalls) + "\nsyscw: " + to_string(io.writeCalls) +
         "\nread_bytes: 0\nwrite_bytes: 0\ncancelled_write_bytes: 0\n";
}

inline bool operator==(const procfs::StatFields& a, const procfs::StatFields& b) {
  return a.pid == b.pid && a.comm == b.comm && a.state == b.state && a.parentPid == b.parentPid &&
         a.flags == b.flags && a.minorFaults == b.minorFaults && a.majorFaults == b.majorFaults &&
         a.userTicks == b.userTicks && a.systemTicks == b.systemTicks && a.nice == b.nice &&
         a.startTicks == b.startTicks && a.policy == b.policy;
}

inline bool operator==(const procfs::IoFields& a, const procfs::IoFields& b) {
  return a.readChars == b.readChars && a.writeChars == b.writeChars && a.readCalls == b.readCalls &&
         a.writeCalls == b.writeCalls;
}

}  // namespace zel::fuzz
