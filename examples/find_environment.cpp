// Finds the first process whose image name matches a pattern ("*" and "?",
// several separated by ';', any case) and prints its environment variables,
// one a line, from the copy of the whole environment block that the library
// makes. Without a pattern it finds itself.
//
//   find_environment [PATTERN]
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>
#include <vector>

#include "ZelCodes.h"
#include "ZelErrorMessage.h"
#include "ZelHandles.h"
#include "ZelProcess.h"

namespace {

// Prints each NUL-terminated UTF-16 "NAME=value" of the block of `size`
// bytes up to the empty one that ends it.
void PrintVariables(const unsigned char* block, std::size_t size) {
  std::vector<unsigned short> units(size / 2);
  std::memcpy(units.data(), block, units.size() * 2);
  for (std::size_t start = 0; start < units.size() && units[start] != 0;) {
    std::size_t end = start;
    while (end < units.size() && units[end] != 0) ++end;
    std::printf("%s\n", CZelString(units.data() + start, end - start).ToUtf8().c_str());
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
    std::size_t size = 0;
    unsigned char* const block = processes.GetEnvironmentBlock(process.Get(), size);
    const zel::EnvironmentCopy environment(processes, block, size);
    if (!environment.Get()) {
      std::fprintf(stderr, "find_environment: cannot copy the environment of %u: %s\n", id,
                   zel::ErrorMessage(processes.GetErrorCode()).c_str());
      return 1;
    }
    // Only a block longer than the library's limit is cut, after a whole variable.
    if (processes.GetErrorCode() == zel::kErrorMoreData)
      std::fprintf(stderr, "find_environment: only the first variables were copied\n");
    PrintVariables(environment.Get(), environment.Size());
    return 0;
  } catch (const std::system_error& e) {
    std::fprintf(stderr, "find_environment: %s\n", e.what());
    return 1;
  }
}
