// The machine's own /proc, as the Linux source reads it.
#pragma once

#include <cstdint>

#include "proc_reader.h"

namespace zel::procfs {

// What turns clock ticks since boot into FILETIMEs.
struct ProcClock {
  std::uint64_t bootTime = 0;  // seconds since 1970
  std::uint64_t ticksPerSecond = 100;
};

// The reader of /proc.
const ProcReader& MachineReader();
// The boot time is read once: the kernel derives it from the wall clock, so a
// later read may differ by a second, and creation times must stay the same
// from one snapshot to the next. Without one, times count from 1970.
const ProcClock& MachineClock();

}  // namespace zel::procfs
