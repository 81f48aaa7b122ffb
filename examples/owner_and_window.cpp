// Prints the account that owns a process, with its domain, and the process's
// main window (its first top-level window; Linux has none). Without an ID it
// looks at itself.
//
//   owner_and_window [PID]
#include <cstdio>
#include <cstdlib>
#include <system_error>
#if defined(_WIN32)
#include <process.h>
#else
#include <unistd.h>
#endif

#include "ZelErrorMessage.h"
#include "ZelHandles.h"
#include "ZelProcess.h"

namespace {

unsigned OwnId() {
#if defined(_WIN32)
  return static_cast<unsigned>(_getpid());
#else
  return static_cast<unsigned>(getpid());
#endif
}

}  // namespace

int main(int argc, char** argv) {
  const unsigned id =
      argc > 1 ? static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10)) : OwnId();
  try {
    CZelProcess processes;
    const zel::FindHandle process(processes, processes.CreateHandleFromPID(id));
    if (!process) {
      std::fprintf(stderr, "owner_and_window: no process %u: %s\n", id,
                   zel::ErrorMessage(processes.GetErrorCode()).c_str());
      return 1;
    }
    std::printf("%u %s\n", id, processes.GetName(process.Get()).ToUtf8().c_str());
    int status = 0;
    CZelString user;
    CZelString domain;
    if (processes.GetUserAndDomain(process.Get(), user, domain)) {
      std::printf("owner: %s\\%s\n", domain.ToUtf8().c_str(), user.ToUtf8().c_str());
    } else {
      std::printf("owner: unknown: %s\n", zel::ErrorMessage(processes.GetErrorCode()).c_str());
      status = 1;
    }
    // Null both when the process has no window and when the search failed;
    // the code tells which.
    if (const HWND window = processes.GetMainWindow(process.Get())) {
      std::printf("main window: %p\n", static_cast<void*>(window));
    } else if (const ZelCode code = processes.GetErrorCode(); code == 0) {
      std::printf("main window: none\n");
    } else {
      std::printf("main window: unknown: %s\n", zel::ErrorMessage(code).c_str());
      status = 1;
    }
    return status;
  } catch (const std::system_error& e) {
    std::fprintf(stderr, "owner_and_window: %s\n", e.what());
    return 1;
  }
}
