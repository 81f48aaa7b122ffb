// zelps: lists the processes of the system, one line each.
//
//   zelps [--json] [--threads] [--cmdline] [--user] [--tree] [PATTERN]
//   zelps [--json] --env PID
//
// PATTERN selects processes by image name ('*', '?', ';'-separated list,
// case-insensitive). --threads lists each process's threads below it;
// --cmdline adds each command line and --user each owner as DOMAIN\user
// (empty where they cannot be read); --tree shows each process below its
// parent. --env prints the environment variables of one process, one a line.
//
// --json prints JSON Lines instead of the table: one object a line for each
// process, with its ID, parent, thread count, base priority, name and
// creation time, and what the other options add (see process_json.h); with
// --env, one object holding the variables.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "ZelProcess.h"
#include "environment_block.h"
#include "filetime.h"
#include "process_json.h"
#include "host/zel_handles.h"
#include "process_table.h"

namespace {

constexpr const char* kUsage =
    "usage: zelps [--json] [--threads] [--cmdline] [--user] [--tree] [PATTERN]\n"
    "       zelps [--json] --env PID\n"
    "  --json     one JSON object a line for each process instead of the table\n"
    "  --threads  each process's threads, with their creation times\n"
    "  --cmdline  each process's command line\n"
    "  --user     each process's owner, as DOMAIN\\user\n"
    "  --tree     each process below its parent\n"
    "  --env PID  the environment variables of process PID\n"
    "  PATTERN    image names to list: '*', '?', several separated by ';'\n";

struct Options {
  std::string pattern;
  zelps::ReadOptions read;
  bool tree = false;
  bool json = false;
  std::optional<unsigned> environmentOf;
};

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--threads") {
      options.read.threads = true;
    } else if (arg == "--cmdline") {
      options.read.commandLine = true;
    } else if (arg == "--user") {
      options.read.owner = true;
    } else if (arg == "--tree") {
      options.tree = true;
    } else if (arg == "--json") {
      options.json = true;
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

// Text read out of a process may hold control characters, even NULs (Wine
// separates some arguments so); the table shows each as a space, all of the
// text, where --json keeps them.
void PrintText(std::string_view text) {
  for (char c : text) std::putchar(static_cast<unsigned char>(c) < 0x20 ? ' ' : c);
}

void Print(const zelps::ProcessRow& row, const Options& options) {
  std::printf("%7u %7u %7u %4ld  ", row.id, row.parentId, row.threadCount, row.basePriority);
  if (options.read.owner) std::printf("%-24s ", row.owner.c_str());
  std::printf("%*s", 2 * row.depth, "");
  PrintText(row.name);
  if (options.read.commandLine) {
    std::printf("  ");
    PrintText(row.commandLine);
  }
  std::printf("\n");
  for (const zelps::ThreadRow& thread : row.threads)
    std::printf("        thread %6u  created %s\n", thread.id,
                zelps::FormatFileTime(thread.created).c_str());
}

// Whole, since a string read out of a process may hold NUL characters.
void PrintLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
}

int List(const Options& options) {
  CZelProcess processes;
  auto rows = zelps::ReadProcesses(processes, options.pattern, options.read);
  if (options.tree) rows = zelps::AsTree(std::move(rows));
  if (options.json) {
    for (const auto& row : rows) PrintLine(zelps::ProcessJson(row, options.read, options.tree));
    return 0;
  }
  std::printf("%7s %7s %7s %4s  ", "PID", "PPID", "THREADS", "PRI");
  if (options.read.owner) std::printf("%-24s ", "USER");
  std::printf("%s\n", "NAME");
  for (const auto& row : rows) Print(row, options);
  return 0;
}

int PrintEnvironment(unsigned process_id, bool json) {
  CZelProcess processes;
  const zel::host::FindHandle process(processes, processes.CreateHandleFromPID(process_id));
  if (!process) {
    std::fprintf(stderr, "zelps: no process %u\n", process_id);
    return 1;
  }
  const zel::host::EnvironmentCopy block(processes, processes.GetEnvironmentBuffer(process.Get()));
  if (!block.Get()) {
    std::fprintf(stderr, "zelps: cannot read the environment of %u (code %lu)\n", process_id,
                 static_cast<unsigned long>(processes.GetErrorCode()));
    return 1;
  }
  const auto variables = zelps::EnvironmentVariables(block.Get(), zelps::kEnvironmentBytes);
  if (json) {
    PrintLine(zelps::EnvironmentJson(process_id, variables));
  } else {
    for (const std::string& variable : variables) std::printf("%s\n", variable.c_str());
  }
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
    if (options.environmentOf) return PrintEnvironment(*options.environmentOf, options.json);
    return List(options);
  } catch (const std::system_error& e) {
    std::fprintf(stderr, "zelps: %s (code 0x%08X)\n", e.what(),
                 static_cast<unsigned>(e.code().value()));
    return 1;
  }
}
