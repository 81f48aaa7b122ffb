// zelps: lists the processes of the system, one line each.
//
//   zelps [--threads] [--cmdline] [PATTERN]
//   zelps --env PID
//
// PATTERN selects processes by image name ('*', '?', ';'-separated list,
// case-insensitive). --threads lists each process's threads below it;
// --cmdline adds each command line (empty where it cannot be read). --env
// prints the environment variables of one process, one a line.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "ZelProcess.h"
#include "environment_block.h"
#include "filetime.h"

namespace {

constexpr const char* kUsage = "usage: zelps [--threads] [--cmdline] [PATTERN]\n       zelps --env PID\n";

struct Options {
  std::string pattern;
  bool threads = false;
  bool cmdline = false;
  std::optional<unsigned> environmentOf;
};

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--threads") {
      options.threads = true;
    } else if (arg == "--cmdline") {
      options.cmdline = true;
    } else if (arg == "--env" && i + 1 < argc) {
      char* end = nullptr;
      options.environmentOf = static_cast<unsigned>(std::strtoul(argv[++i], &end, 10));
      if (*end != 0) return false;
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
    std::printf("%7u %7u %7u %4ld  %s", processes.GetProcessID(process),
                processes.GetParentProcess(process), processes.GetThreadCount(process),
                processes.GetBasePriority(process), processes.GetName(process).ToUtf8().c_str());
    if (options.cmdline)
      std::printf("  %s", processes.GetCommandLineW(process).ToUtf8().c_str());
    std::printf("\n");
    if (options.threads) PrintThreads(processes, process);
  } while (processes.FindNextProcess(process));
  processes.CloseHandle(process);
  return 0;
}

int PrintEnvironment(unsigned process_id) {
  CZelProcess processes;
  void* process = processes.CreateHandleFromPID(process_id);
  if (!process) {
    std::fprintf(stderr, "zelps: no process %u\n", process_id);
    return 1;
  }
  unsigned char* block = processes.GetEnvironmentBuffer(process);
  const ZelCode error = processes.GetErrorCode();
  processes.CloseHandle(process);
  if (!block) {
    std::fprintf(stderr, "zelps: cannot read the environment of %u (code %lu)\n", process_id,
                 static_cast<unsigned long>(error));
    return 1;
  }
  for (const std::string& variable : zelps::EnvironmentVariables(block, zelps::kEnvironmentBytes))
    std::printf("%s\n", variable.c_str());
  processes.FreeEnvironmentBuffer(block);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  try {
    if (options.environmentOf) return PrintEnvironment(*options.environmentOf);
    return List(options);
  } catch (const std::system_error& e) {
    std::fprintf(stderr, "zelps: %s (code 0x%08X)\n", e.what(),
                 static_cast<unsigned>(e.code().value()));
    return 1;
  }
}
