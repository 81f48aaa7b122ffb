// The system that the platform calls serve when no other is installed: the
// machine's own processes.
#include "proc_system.h"

namespace zel::emu {

System& MachineSystem() {
  static proc::ProcSystem machine("/proc");
  return machine;
}

}  // namespace zel::emu
