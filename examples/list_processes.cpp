// Lists every process of the system with its ID, its parent's, its image
// name and its command line, read out of the running process; where the
// command line cannot be read, the reason instead.
//
//   list_processes
#include <cstdio>
#include <string>
#include <system_error>

#include "ZelCodes.h"
#include "ZelErrorMessage.h"
#include "ZelHandles.h"
#include "ZelProcess.h"

int main() {
  try {
    CZelProcess processes;
    // The empty pattern walks every process; the owner closes the handle.
    const zel::FindHandle process(processes, processes.FindFirstProcess(CZelString()));
    if (!process) {
      std::fprintf(stderr, "list_processes: no process: %s\n",
                   zel::ErrorMessage(processes.GetErrorCode()).c_str());
      return 1;
    }
    std::printf("%7s %7s  %-20s %s\n", "PID", "PPID", "NAME", "COMMAND LINE");
    do {
      const unsigned id = processes.GetProcessID(process.Get());
      const unsigned parent = processes.GetParentProcess(process.Get());
      const std::string name = processes.GetName(process.Get()).ToUtf8();
      // Live reads say why they failed in the object's code, not their result.
      const CZelString command_line = processes.GetCommandLineW(process.Get());
      const ZelCode code = processes.GetErrorCode();
      const std::string shown =
          code == zel::kErrorSuccess ? command_line.ToUtf8() : "(" + zel::ErrorMessage(code) + ")";
      std::printf("%7u %7u  %-20s %s\n", id, parent, name.c_str(), shown.c_str());
    } while (processes.FindNextProcess(process.Get()));
    // The walk ends with ERROR_NO_MORE_ITEMS; anything else cut it short.
    if (const ZelCode code = processes.GetErrorCode(); code != zel::kErrorNoMoreItems) {
      std::fprintf(stderr, "list_processes: the walk stopped: %s (code %u)\n",
                   zel::ErrorMessage(code).c_str(), code);
      return 1;
    }
    return 0;
  } catch (const std::system_error& e) {
    // The library's category gives what() the code's text.
    std::fprintf(stderr, "list_processes: %s\n", e.what());
    return 1;
  }
}
