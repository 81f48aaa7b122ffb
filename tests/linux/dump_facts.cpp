// zel_dump_facts: every fact that the library gives about each process of
// this machine, one JSON object a line, so that an independent reader of
// /proc can be held against it (psutil_oracle.py, unprivileged.sh).
//
//   zel_dump_facts [--environment PID]... [--modules PID]...
//   zel_dump_facts --exited-child
//
// Each object holds the snapshot facts (ids, name, threads, the three times
// as raw 100-ns counts, all memory and I/O counters) and the live strings,
// with the arguments that the command line splits into by the reference
// splitter's rules (CommandLineToArgvW's); a string that comes back empty
// carries the code that the object recorded for it, since an empty string
// alone cannot tell "none" from "refused".
// The environment is read only for the processes named with --environment:
// other processes' variables are nobody's business here. The modules are
// walked for the processes named with --modules.
//
// --exited-child checks instead what a reader gets from a process that was
// in the snapshot but has since exited and been reaped, and exits non-zero
// when that differs from what the platform would say.
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "ZelProcess.h"
#include "ZelHandles.h"
#include "support/counters.h"
#include "support/filetime.h"
#include "support/reference_command_line.h"
#include "ZelCodes.h"
#include "zelps/environment_block.h"
#include "zelps/json.h"

namespace {

using zel::EnvironmentCopy;
using zel::FindHandle;
using zel::test::Ticks;

constexpr ZelCode kAccessDenied = 5;
constexpr ZelCode kInvalidParameter = 87;

using Json = zelps::JsonObject;

Json& Bool(Json& json, std::string_view name, bool value) {
  return json.Raw(name, value ? "true" : "false");
}

// The code, or null when the value is there and the code tells nothing.
Json& CodeIf(Json& json, std::string_view name, bool failed, ZelCode code) {
  return json.Raw(name, failed ? std::to_string(code) : "null");
}

// Counters as an object of their fields by name.
template <std::size_t N>
std::string CountersJson(const std::array<const char*, N>& names,
                         const std::array<std::uint64_t, N>& values) {
  Json json;
  for (std::size_t i = 0; i < N; ++i) json.Number(names[i], static_cast<std::int64_t>(values[i]));
  return json.Text();
}

std::string ThreadIdsJson(CZelProcess& processes, void* process) {
  std::string list = "[";
  if (processes.GetThreadCount(process) != 0) {
    FindHandle thread(processes, processes.FindFirstThread(process));
    if (thread) {
      do {
        if (list.size() > 1) list += ',';
        list += std::to_string(processes.GetThreadID(thread.Get()));
      } while (processes.FindNextThread(thread.Get()));
    }
  }
  return list + "]";
}

// Adds one live string and, when it came back empty, the code recorded for it.
template <class Read>
void AddLiveString(Json& json, std::string_view name, std::string_view errorName,
                   CZelProcess& processes, Read read) {
  const CZelString value = read();
  const ZelCode code = processes.GetErrorCode();
  CodeIf(json.String(name, value.ToUtf8()), errorName, value.IsEmpty(), code);
}

std::string StringsJson(const std::vector<std::string>& strings) {
  std::string list = "[";
  for (const std::string& text : strings) {
    if (list.size() > 1) list += ',';
    zelps::AppendJsonString(list, text);
  }
  return list + "]";
}

// The whole block; it is complete unless the library's limit cut it.
void AddEnvironment(Json& json, CZelProcess& processes, void* process) {
  std::size_t size = 0;
  unsigned char* const block = processes.GetEnvironmentBlock(process, size);
  const EnvironmentCopy copy(processes, block, size);
  const ZelCode code = processes.GetErrorCode();
  if (!copy.Get()) {
    CodeIf(Bool(json.Raw("environment", "null"), "environmentComplete", false), "environmentError",
           true, code);
    return;
  }
  const zelps::EnvironmentVariables split = zelps::SplitEnvironment(copy.Get(), copy.Size());
  CodeIf(Bool(json.Raw("environment", StringsJson(split.variables)), "environmentComplete",
              !split.truncated && code != zel::kErrorMoreData),
         "environmentError", false, code);
}

// "modules": [{"name", "path", "base", "size"}], or null with "modulesError",
// and "modulesEnd", what the walk's last FindNextModule recorded.
void AddModules(Json& json, CZelProcess& processes, void* process) {
  FindHandle module(processes, processes.FindFirstModule(process, CZelString()));
  if (!module) {
    json.Raw("modules", "null").Number("modulesError", processes.GetErrorCode());
    return;
  }
  std::string list = "[";
  do {
    if (list.size() > 1) list += ',';
    list += Json()
                .String("name", processes.GetModuleName(module.Get()).ToUtf8())
                .String("path", processes.GetModulePath(module.Get()).ToUtf8())
                .Number("base", static_cast<std::int64_t>(processes.GetModuleBase(module.Get())))
                .Number("size", static_cast<std::int64_t>(processes.GetModuleSize(module.Get())))
                .Text();
  } while (processes.FindNextModule(module.Get()));
  json.Raw("modules", list + "]")
      .Raw("modulesError", "null")
      .Number("modulesEnd", processes.GetErrorCode());
}

std::string ProcessJson(CZelProcess& processes, void* process, bool withEnvironment,
                        bool withModules) {
  Json json;
  json.Number("id", processes.GetProcessID(process))
      .Number("parentId", processes.GetParentProcess(process))
      .String("name", processes.GetName(process).ToUtf8())
      .Number("basePriority", processes.GetBasePriority(process))
      .Number("threadCount", processes.GetThreadCount(process))
      .Raw("threadIds", ThreadIdsJson(processes, process));
  FILETIME created{}, user{}, kernel{};
  processes.GetCreateTime(process, created);
  processes.GetUserTime(process, user);
  processes.GetKernelTime(process, kernel);
  json.Number("createTime", Ticks(created))
      .Number("userTime", Ticks(user))
      .Number("kernelTime", Ticks(kernel));
  VM_COUNTERS vm{};
  IO_COUNTERS io{};
  processes.GetMemoryCounters(process, vm);
  const bool ioRead = processes.GetIOCounters(process, io) == 1;
  CodeIf(json.Raw("vm", CountersJson(zel::test::kVmFieldNames, zel::test::VmFields(vm)))
             .Raw("io", CountersJson(zel::test::kIoFieldNames, zel::test::IoFields(io))),
         "ioError", !ioRead, processes.GetErrorCode());

  const CZelString commandLine = processes.GetCommandLineW(process);
  CodeIf(json.String("commandLine", commandLine.ToUtf8()), "commandLineError",
         commandLine.IsEmpty(), processes.GetErrorCode());
  json.Raw("commandArguments", StringsJson(zel::test::SplitCommandLine(commandLine.ToUtf8())));
  AddLiveString(json, "currentDirectory", "currentDirectoryError", processes,
                [&] { return processes.GetCurrentDirectoryW(process); });
  AddLiveString(json, "imageFile", "imageFileError", processes,
                [&] { return processes.GetImageFile(process); });
  CZelString userName, domain;
  const int owned = processes.GetUserAndDomain(process, userName, domain);
  const ZelCode ownerCode = processes.GetErrorCode();
  CodeIf(json.String("user", userName.ToUtf8()).String("domain", domain.ToUtf8()), "userError",
         !owned, ownerCode);
  if (withEnvironment) AddEnvironment(json, processes, process);
  if (withModules) AddModules(json, processes, process);
  return json.Text();
}

void PrintLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
}

int DumpAll(const std::set<unsigned>& environmentOf, const std::set<unsigned>& modulesOf) {
  CZelProcess processes;
  FindHandle process(processes, processes.FindFirstProcess(CZelString()));
  if (!process) {
    std::fprintf(stderr, "zel_dump_facts: the walk found no process (code %lu)\n",
                 static_cast<unsigned long>(processes.GetErrorCode()));
    return 1;
  }
  do {
    const unsigned id = processes.GetProcessID(process.Get());
    PrintLine(
        ProcessJson(processes, process.Get(), environmentOf.contains(id), modulesOf.contains(id)));
  } while (processes.FindNextProcess(process.Get()));
  return 0;
}

// --exited-child ----------------------------------------------------------

// A forked child that waits until told to exit, and is reaped on every path.
class WaitingChild {
 public:
  WaitingChild() {
    int fds[2];
    if (pipe(fds) != 0) throw std::system_error(errno, std::generic_category(), "pipe");
    pid_ = fork();
    if (pid_ < 0) throw std::system_error(errno, std::generic_category(), "fork");
    if (pid_ == 0) {
      // Only async-signal-safe calls here: wait for the parent's end to close.
      ::close(fds[1]);
      char byte;
      while (::read(fds[0], &byte, 1) < 0 && errno == EINTR) {
      }
      _exit(0);
    }
    ::close(fds[0]);
    release_ = fds[1];
  }
  WaitingChild(const WaitingChild&) = delete;
  WaitingChild& operator=(const WaitingChild&) = delete;
  ~WaitingChild() { ExitAndReap(); }

  pid_t pid() const { return pid_; }

  // After this the ID names no process at all, not even a zombie.
  bool ExitAndReap() {
    if (release_ >= 0) {
      ::close(release_);
      release_ = -1;
    }
    if (reaped_) return true;
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0) {
      if (errno != EINTR) return false;
    }
    reaped_ = true;
    return true;
  }

 private:
  pid_t pid_ = -1;
  int release_ = -1;
  bool reaped_ = false;
};

class Checks {
 public:
  void Expect(bool ok, const std::string& what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAIL", what.c_str());
    ++(ok ? passed_ : failed_);
  }
  void ExpectCode(ZelCode actual, ZelCode expected, const std::string& what) {
    Expect(actual == expected,
           what + " records " + std::to_string(expected) + " (got " + std::to_string(actual) + ")");
  }
  int Finish() const {
    std::printf("%d passed, %d failed\n", passed_, failed_);
    return failed_ == 0 ? 0 : 1;
  }

 private:
  int passed_ = 0;
  int failed_ = 0;
};

int CheckExitedChild() {
  Checks checks;
  WaitingChild child;
  CZelProcess processes;
  FindHandle process(processes, processes.CreateHandleFromPID(static_cast<unsigned>(child.pid())));
  checks.Expect(static_cast<bool>(process), "the snapshot holds the waiting child");
  if (!process) return checks.Finish();

  // While the child lives its memory is readable: what fails below fails
  // because it has gone, not because these reads never work.
  checks.Expect(!processes.GetCommandLineW(process.Get()).IsEmpty(),
                "the live child's command line is read");
  {
    EnvironmentCopy copy(processes, processes.GetEnvironmentBuffer(process.Get()));
    checks.Expect(copy.Get() != nullptr, "the live child's environment is copied");
  }

  checks.Expect(child.ExitAndReap(), "the child exits and is reaped");

  {
    EnvironmentCopy copy(processes, processes.GetEnvironmentBuffer(process.Get()));
    const ZelCode code = processes.GetErrorCode();
    checks.Expect(copy.Get() == nullptr, "no environment copy of a gone process");
    checks.ExpectCode(code, kInvalidParameter, "GetEnvironmentBuffer of a gone process");
  }
  const struct {
    const char* name;
    CZelString (CZelProcess::*read)(void*);
  } getters[] = {
      {"GetCommandLineW", &CZelProcess::GetCommandLineW},
      {"GetCurrentDirectoryW", &CZelProcess::GetCurrentDirectoryW},
      {"GetImageFile", &CZelProcess::GetImageFile},
  };
  for (const auto& getter : getters) {
    const CZelString value = (processes.*getter.read)(process.Get());
    const ZelCode code = processes.GetErrorCode();
    checks.Expect(value.IsEmpty(), std::string(getter.name) + " of a gone process is empty");
    checks.ExpectCode(code, kAccessDenied, std::string(getter.name) + " of a gone process");
  }
  CZelString user, domain;
  const int owned = processes.GetUserAndDomain(process.Get(), user, domain);
  const ZelCode ownerCode = processes.GetErrorCode();
  checks.Expect(!owned && user.IsEmpty() && domain.IsEmpty(),
                "GetUserAndDomain of a gone process fails with both strings empty");
  checks.ExpectCode(ownerCode, kAccessDenied, "GetUserAndDomain of a gone process");

  // The snapshot still describes the process as it was taken.
  checks.Expect(processes.GetProcessID(process.Get()) == static_cast<unsigned>(child.pid()),
                "the snapshot still gives the gone child's ID");
  checks.Expect(processes.GetParentProcess(process.Get()) == static_cast<unsigned>(getpid()),
                "the snapshot still gives the gone child's parent");
  const std::string name = processes.GetName(process.Get()).ToUtf8();
  checks.Expect(name == "zel_dump_facts",
                "the snapshot still gives the gone child's name (got \"" + name + "\")");
  return checks.Finish();
}

constexpr const char* kUsage =
    "usage: zel_dump_facts [--environment PID]... [--modules PID]...\n"
    "       zel_dump_facts --exited-child\n";

}  // namespace

int main(int argc, char** argv) {
  std::set<unsigned> environmentOf;
  std::set<unsigned> modulesOf;
  bool exitedChild = false;
  const auto usage = [] {
    std::fputs(kUsage, stderr);
    return 2;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--exited-child") {
      exitedChild = true;
    } else if ((arg == "--environment" || arg == "--modules") && i + 1 < argc) {
      char* end = nullptr;
      (arg == "--modules" ? modulesOf : environmentOf)
          .insert(static_cast<unsigned>(std::strtoul(argv[++i], &end, 10)));
      if (*end != 0) return usage();
    } else {
      return usage();
    }
  }
  try {
    return exitedChild ? CheckExitedChild() : DumpAll(environmentOf, modulesOf);
  } catch (const std::system_error& e) {
    std::fprintf(stderr, "zel_dump_facts: %s (code 0x%08X)\n", e.what(),
                 static_cast<unsigned>(e.code().value()));
    return 1;
  }
}
