// zel_facts_timing: what the process object costs on this machine's real
// processes, in the ways a host uses it:
//
//   snapshot  construct the object, which takes the snapshot, and destroy it;
//   facts     construct it and walk every process, reading ID, parent, name,
//             thread count, the three times, the memory and I/O counters;
//   strings   construct it and walk every process, reading the live strings:
//             command line, current directory, image file, environment and
//             owner;
//   modules   construct it and walk every process's modules, reading each
//             one's name, path, base and size.
//
//   zel_facts_timing --serve       times one run for each line "snapshot",
//                                  "facts", "strings" or "modules" read from
//                                  stdin and
//                                  prints "<microseconds> <processes>"
//   zel_facts_timing [--rounds N]  times N rounds of facts and strings
//                                  (default 50) and prints the medians
//   zel_facts_timing --each-getter PID
//                                  calls each live getter once on process
//                                  PID, printing its name first, so that a
//                                  system-call trace shows what each one
//                                  opens (getter_opens.sh)
//
// --serve is for psutil_compare.py, which interleaves these runs with
// psutil's doing the same, so that both meet the same machine; this program
// stays up between them so that no process start is timed.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "ZelProcess.h"
#include "ZelHandles.h"
#include "support/filetime.h"

namespace {

using Clock = std::chrono::steady_clock;
using zel::EnvironmentCopy;
using zel::FindHandle;
using zel::test::Ticks;

constexpr int kDefaultRounds = 50;
constexpr int kWarmUpRounds = 3;

struct Run {
  double microseconds = 0;
  unsigned processes = 0;
};

// Folds every value read into one number, printed by the standalone run, so
// that no read can be left out as unused.
std::uint64_t g_checksum = 0;

template <class ReadOne>
Run Time(ReadOne readOne) {
  const auto start = Clock::now();
  unsigned count = 0;
  {
    CZelProcess processes;
    FindHandle process(processes, processes.FindFirstProcess(CZelString()));
    if (process) {
      do {
        readOne(processes, process.Get());
        ++count;
      } while (processes.FindNextProcess(process.Get()));
    }
  }
  const std::chrono::duration<double, std::micro> elapsed = Clock::now() - start;
  return {elapsed.count(), count};
}

Run TimeSnapshot() {
  const auto start = Clock::now();
  unsigned count = 0;
  {
    CZelProcess processes;
    count = processes.GetProcessCount();
  }
  const std::chrono::duration<double, std::micro> elapsed = Clock::now() - start;
  return {elapsed.count(), count};
}

Run TimeFacts() {
  return Time([](CZelProcess& processes, void* process) {
    FILETIME created{}, user{}, kernel{};
    VM_COUNTERS vm{};
    IO_COUNTERS io{};
    g_checksum += processes.GetProcessID(process);
    g_checksum += processes.GetParentProcess(process);
    g_checksum += processes.GetName(process).GetLength();
    g_checksum += processes.GetThreadCount(process);
    processes.GetCreateTime(process, created);
    processes.GetUserTime(process, user);
    processes.GetKernelTime(process, kernel);
    processes.GetMemoryCounters(process, vm);
    processes.GetIOCounters(process, io);
    g_checksum += Ticks(created) + Ticks(user) + Ticks(kernel) + vm.WorkingSetSize +
                  vm.VirtualSize + io.ReadTransferCount + io.WriteTransferCount;
  });
}

Run TimeStrings() {
  return Time([](CZelProcess& processes, void* process) {
    g_checksum += processes.GetProcessID(process);
    g_checksum += processes.GetCommandLineW(process).GetLength();
    g_checksum += processes.GetCurrentDirectoryW(process).GetLength();
    g_checksum += processes.GetImageFile(process).GetLength();
    {
      const EnvironmentCopy environment(processes, processes.GetEnvironmentBuffer(process));
      if (environment.Get()) g_checksum += environment.Get()[0];
    }
    CZelString user, domain;
    processes.GetUserAndDomain(process, user, domain);
    g_checksum += user.GetLength() + domain.GetLength();
  });
}

Run TimeModules() {
  return Time([](CZelProcess& processes, void* process) {
    const FindHandle module(processes, processes.FindFirstModule(process, CZelString()));
    if (!module) return;
    do {
      g_checksum += processes.GetModuleName(module.Get()).GetLength();
      g_checksum += processes.GetModulePath(module.Get()).GetLength();
      g_checksum += processes.GetModuleBase(module.Get()) + processes.GetModuleSize(module.Get());
    } while (processes.FindNextModule(module.Get()));
  });
}

int Serve() {
  std::string line;
  while (std::getline(std::cin, line)) {
    Run run;
    if (line == "snapshot") {
      run = TimeSnapshot();
    } else if (line == "facts") {
      run = TimeFacts();
    } else if (line == "strings") {
      run = TimeStrings();
    } else if (line == "modules") {
      run = TimeModules();
    } else {
      std::fprintf(stderr, "zel_facts_timing: unknown request \"%s\"\n", line.c_str());
      return 2;
    }
    std::printf("%.3f %u\n", run.microseconds, run.processes);
    std::fflush(stdout);
  }
  return 0;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

int Standalone(int rounds) {
  std::vector<double> facts, strings, factsPer, stringsPer;
  for (int round = -kWarmUpRounds; round < rounds; ++round) {
    // Alternate which goes first: each pays for what the other left behind.
    Run f, s;
    if ((round & 1) == 0) {
      f = TimeFacts();
      s = TimeStrings();
    } else {
      s = TimeStrings();
      f = TimeFacts();
    }
    if (round < 0) continue;
    facts.push_back(f.microseconds);
    strings.push_back(s.microseconds);
    factsPer.push_back(f.microseconds / std::max(f.processes, 1u));
    stringsPer.push_back(s.microseconds / std::max(s.processes, 1u));
  }
  std::printf("%-8s %12s %16s\n", "what", "median us", "us per process");
  std::printf("%-8s %12.1f %16.2f\n", "facts", Median(facts), Median(factsPer));
  std::printf("%-8s %12.1f %16.2f\n", "strings", Median(strings), Median(stringsPer));
  std::printf("(checksum of the values read: %llu)\n", static_cast<unsigned long long>(g_checksum));
  return 0;
}

int EachGetter(unsigned id) {
  CZelProcess processes;
  const FindHandle process(processes, processes.CreateHandleFromPID(id));
  if (!process) {
    std::fprintf(stderr, "zel_facts_timing: no process %u in the snapshot\n", id);
    return 1;
  }
  // Flushed, so that each name is written just before its getter runs.
  const auto mark = [](const char* getter) {
    std::printf("== %s\n", getter);
    std::fflush(stdout);
  };
  mark("GetCommandLineW");
  g_checksum += processes.GetCommandLineW(process.Get()).GetLength();
  mark("GetCurrentDirectoryW");
  g_checksum += processes.GetCurrentDirectoryW(process.Get()).GetLength();
  mark("GetImageFile");
  g_checksum += processes.GetImageFile(process.Get()).GetLength();
  mark("GetEnvironmentBuffer");
  {
    const EnvironmentCopy environment(processes, processes.GetEnvironmentBuffer(process.Get()));
    if (environment.Get()) g_checksum += environment.Get()[0];
  }
  mark("GetUserAndDomain");
  CZelString user, domain;
  processes.GetUserAndDomain(process.Get(), user, domain);
  mark("end");
  return 0;
}

constexpr const char* kUsage =
    "usage: zel_facts_timing --serve\n"
    "       zel_facts_timing [--rounds N]\n"
    "       zel_facts_timing --each-getter PID\n";

}  // namespace

int main(int argc, char** argv) {
  int rounds = kDefaultRounds;
  bool serve = false;
  unsigned eachGetterOf = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--serve") {
      serve = true;
    } else if (arg == "--each-getter" && i + 1 < argc) {
      char* end = nullptr;
      eachGetterOf = static_cast<unsigned>(std::strtoul(argv[++i], &end, 10));
      if (*end != 0 || eachGetterOf == 0) {
        std::fputs(kUsage, stderr);
        return 2;
      }
    } else if (arg == "--rounds" && i + 1 < argc) {
      char* end = nullptr;
      rounds = static_cast<int>(std::strtol(argv[++i], &end, 10));
      if (*end != 0 || rounds <= 0) {
        std::fputs(kUsage, stderr);
        return 2;
      }
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  try {
    if (eachGetterOf != 0) return EachGetter(eachGetterOf);
    return serve ? Serve() : Standalone(rounds);
  } catch (const std::system_error& e) {
    std::fprintf(stderr, "zel_facts_timing: %s (code 0x%08X)\n", e.what(),
                 static_cast<unsigned>(e.code().value()));
    return 1;
  }
}
