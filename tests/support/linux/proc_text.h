// The /proc files as the kernel writes them (proc(5)), from the fields that
// the parsers return, for the trees the Linux tests write and for the
// fuzzer: what a parser reads back from them must be what they were written
// from.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/linux/proc_parsers.h"

namespace zel::test {

// A stat line with all 52 fields. Those the parser does not return hold what
// a process of one thread would show, the child counters unlike their
// neighbours, so that a field read one off shows.
inline std::string WriteStat(const procfs::StatFields& s) {
  using std::to_string;
  std::string line = to_string(s.pid) + " (" + s.comm + ") " + s.state;
  const auto field = [&](const std::string& text) { line += ' ' + text; };
  // Numbered as proc(5) numbers them, from 4 (the parent) on.
  for (int number = 4; number <= 52; ++number) {
    switch (number) {
      case 4: field(to_string(s.parentPid)); break;
      case 5:  // process group and session
      case 6: field(to_string(s.pid)); break;
      case 8: field("-1"); break;  // no terminal's process group
      case 9: field(to_string(s.flags)); break;
      case 10: field(to_string(s.minorFaults)); break;
      case 11: field("7"); break;  // the children's minor faults
      case 12: field(to_string(s.majorFaults)); break;
      case 13: field("3"); break;  // the children's major faults
      case 14: field(to_string(s.userTicks)); break;
      case 15: field(to_string(s.systemTicks)); break;
      case 16: field("5"); break;  // the children's times
      case 17: field("2"); break;
      case 18: field("20"); break;  // the priority
      case 19: field(to_string(s.nice)); break;
      case 20: field("1"); break;  // threads
      case 22: field(to_string(s.startTicks)); break;
      case 23: field("10000000"); break;  // virtual size and resident pages
      case 24: field("300"); break;
      case 25: field("18446744073709551615"); break;  // no limit to them
      case 38: field("17"); break;                    // SIGCHLD on its exit
      case 41: field(to_string(s.policy)); break;
      case 52: field(to_string(s.exitCode)); break;
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
         a.startTicks == b.startTicks && a.policy == b.policy && a.exitCode == b.exitCode;
}

inline bool operator==(const procfs::IoFields& a, const procfs::IoFields& b) {
  return a.readChars == b.readChars && a.writeChars == b.writeChars && a.readCalls == b.readCalls &&
         a.writeCalls == b.writeCalls;
}

}  // namespace zel::test
