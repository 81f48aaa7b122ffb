// zelps: lists the processes of the system.
#include <cstdio>
#include <system_error>

#include "ZelProcess.h"

int main() {
  try {
    CZelProcess processes;
    std::printf("%u processes\n", processes.GetProcessCount());
  } catch (const std::system_error& e) {
    std::fprintf(stderr, "zelps: %s (code 0x%08X)\n", e.what(),
                 static_cast<unsigned>(e.code().value()));
    return 1;
  }
  return 0;
}
