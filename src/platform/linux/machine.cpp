#include "machine.h"

#include <unistd.h>

#include "proc_parsers.h"

namespace zel::procfs {

const ProcReader& MachineReader() {
  static const ProcReader reader("/proc");
  return reader;
}

const ProcClock& MachineClock() {
  static const ProcClock clock = [] {
    const long ticks = sysconf(_SC_CLK_TCK);
    const ProcText stat = MachineReader().ReadFile("stat");
    return ProcClock{stat.ok() ? ParseBootTime(stat.text).value_or(0) : 0,
                     ticks > 0 ? static_cast<std::uint64_t>(ticks) : 100};
  }();
  return clock;
}

}  // namespace zel::procfs
