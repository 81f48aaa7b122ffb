// Walks every process through the installed library and prints how many
// there are; fails when the object cannot be made or the walk finds nothing.
#include <cstdio>
#include <string_view>
#include <system_error>

#include "ZelProcess.h"

static_assert(std::string_view(ZELPROCESS_VERSION_STRING) == ZEL_PACKAGE_VERSION);

int main() {
  try {
    CZelProcess processes;
    void* process = processes.FindFirstProcess(CZelString());
    if (!process) {
      std::fprintf(stderr, "no process found (code %lu)\n",
                   static_cast<unsigned long>(processes.GetErrorCode()));
      return 1;
    }
    unsigned count = 0;
    do {
      ++count;
    } while (processes.FindNextProcess(process));
    processes.CloseHandle(process);
    std::printf("%u processes\n", count);
    return 0;
  } catch (const std::system_error& e) {
    std::fprintf(stderr, "cannot make a process object: %s (code 0x%08X)\n", e.what(),
                 static_cast<unsigned>(e.code().value()));
    return 1;
  }
}
