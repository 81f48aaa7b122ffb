// zelps: lists the processes of the system, one line each.
//
//   zelps [--threads] [PATTERN]
//
// PATTERN selects processes by image name ('*', '?', ';'-separated list,
// case-insensitive). --threads lists each process's threads below it.
#include <cstdio>
#include <string>
#include <string_view>
#include <system_error>

#include "ZelProcess.h"
#include "filetime.h"

namespace {

struct Options {
  std::string pattern;
  bool threads = false;
};

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--threads") {
      options.threads = true;
    } else if (arg.starts_with("--") || !options.pattern.empty()) {
      return false;
    } else {
      options.pattern = arg;
    }
  }
  return true;
}

void PrintThreads(CZelProcess& processes, void* process) {
  void* thread = processes.FindFirstThread(process);
  if (!thread) return;
  if (processes.GetThreadCount(process) != 0) {
    do {
      FILETIME created{};
      processes.GetThreadCreateTime(thread, created);
      std::printf("        thread %6u  created %s\n", processes.GetThreadID(thread),
                  zelps::FormatFileTime(created).c_str());
    } while (processes.FindNextThread(thread));
  }
  processes.CloseHandle(thread);
}

int List(const Options& options) {
  CZelProcess processes;
  std::printf("%7s %7s %7s %4s  %s\n", "PID", "PPID", "THREADS", "PRI", "NAME");
  void* process = processes.FindFirstProcess(CZelString::FromUtf8(options.pattern));
  // No process matching the pattern is an empty list, not a failure.
  constexpr ZelCode kNotFound = 1168;  // ERROR_NOT_FOUND
  if (!process) return processes.GetErrorCode() == kNotFound ? 0 : 1;
  do {
    std::printf("%7u %7u %7u %4ld  %s\n", processes.GetProcessID(process),
                processes.GetParentProcess(process), processes.GetThreadCount(process),
                processes.GetBasePriority(process), processes.GetName(process).ToUtf8().c_str());
    if (options.threads) PrintThreads(processes, process);
  } while (processes.FindNextProcess(process));
  processes.CloseHandle(process);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr, "usage: zelps [--threads] [PATTERN]\n");
    return 2;
  }
  try {
    return List(options);
  } catch (const std::system_error& e) {
    std::fprintf(stderr, "zelps: %s (code 0x%08X)\n", e.what(),
                 static_cast<unsigned>(e.code().value()));
    return 1;
  }
}
