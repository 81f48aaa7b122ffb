// Finds the first process whose image name matches a pattern ("*" and "?",
// several separated by ';', any case) and prints its environment variables,
// one a line, from the copy of the environment's first 4096 bytes that the
// library makes. Without a pattern it finds itself.
//
//   find_environment [PATTERN]
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <system_error>

#include "ZelErrorMessage.h"
#include "ZelHandles.h"
#include "ZelProcess.h"

namespace {

constexpr std::size_t kCopyBytes = 4096;

// Prints each NUL-terminated UTF-16 "NAME=value" of the block up to the
// empty one that ends it; one that the copy cut is marked so.
void PrintVariables(const unsigned char* block) {
  unsigned short units[kCopyBytes / 2];
  std::memcpy(units, block, sizeof units);
  std::size_t start = 0;
  while (start < std::size(units) && units[start] != 0) {
    std::size_t end = start;
    while (end < std::size(units) && units[end] != 0) ++end;
    const std::string variable = CZelString(units + start, end - start).ToUtf8();
    std::printf("%s%s\n", variable.c_str(), end == std::size(units) ? " [cut]" : "");
    start = end + 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string pattern = argc > 1 ? argv[1] : "find_environment*";
  try {
    CZelProcess processes;
    const zel::FindHandle process(processes,
                                  processes.FindFirstProcess(CZelString::FromUtf8(pattern)));
    if (!process) {
      std::fprintf(stderr, "find_environment: no process matches %s: %s\n", pattern.c_str(),
                   zel::ErrorMessage(processes.GetErrorCode()).c_str());
      return 1;
    }
    const unsigned id = processes.GetProcessID(process.Get());
    std::printf("%u %s\n", id, processes.GetName(process.Get()).ToUtf8().c_str());
    // The owner gives the copy back with FreeEnvironmentBuffer.
    const zel::EnvironmentCopy environment(processes,
                                           processes.GetEnvironmentBuffer(process.Get()));
    if (!environment.Get()) {
      std::fprintf(stderr, "find_environment: cannot copy the environment of %u: %s\n", id,
                   zel::ErrorMessage(processes.GetErrorCode()).c_str());
      return 1;
    }
    PrintVariables(environment.Get());
    return 0;
  } catch (const std::system_error& e) {
    std::fprintf(stderr, "find_environment: %s\n", e.what());
    return 1;
  }
}
