// zel_walk_timing: what a full snapshot-and-walk through the process object
// costs on a real Windows platform, next to the two ways a program gets the
// same facts without it: the native snapshot query walked by hand, and a
// Toolhelp32 snapshot. The three run interleaved, round after round, so that
// whatever the machine does meanwhile weighs on all of them alike; the medians
// are compared.
//
//   zel_walk_timing [--rounds N] [--children N] [--module-rounds N]
//
// A second pair times the owner of every process: the library's
// GetUserAndDomain over a walk, against the chain of calls that names each
// process's owner by hand (its token's user, then the SID's account), as
// the library did for every process before it looked each account up once.
//
// Before timing it starts N copies of itself (50 by default) that only wait,
// so that the snapshot holds a realistic number of processes, and it ends
// them all before it exits. In the same run it then times the module walk
// of every process, through the library and through a Toolhelp32 module
// snapshot of each, interleaved as well.
#include <windows.h>
#include <winternl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "ZelProcess.h"
#include "host/win32_handle.h"
#include "ZelHandles.h"
#include "support/filetime.h"
#include "platform/snapshot_records.h"

namespace {

using Clock = std::chrono::steady_clock;
using zel::FindHandle;
using zel::layout::Load;

// A multiple of the six orders that the rounds cycle through.
constexpr int kDefaultRounds = 120;
constexpr int kDefaultChildren = 50;
constexpr int kDefaultModuleRounds = 40;
constexpr int kWarmUpRounds = 5;
// A child outlives a lost parent by at most this long, should neither the job
// nor the parent's handle end it first.
constexpr DWORD kChildLifetimeLimitMs = 10 * 60 * 1000;
constexpr DWORD kChildStartLimitMs = 60 * 1000;
constexpr DWORD kChildExitWaitMs = 5000;

constexpr ULONG kStatusSuccess = 0;
constexpr ULONG kStatusInfoLengthMismatch = 0xC0000004;
constexpr int kSystemProcessInformation = 5;

using zel::host::OwnedHandle;

[[noreturn]] void Fail(const char* what) {
  char message[256];
  std::snprintf(message, sizeof message, "%s (error %lu)", what, GetLastError());
  throw std::runtime_error(message);
}

std::string HandleText(HANDLE handle) {
  return std::to_string(reinterpret_cast<std::uintptr_t>(handle));
}

HANDLE HandleFromText(const char* text) {
  return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(std::strtoull(text, nullptr, 10)));
}

// ---------------------------------------------------------------- children

// The child mode: says it is ready, then waits until the parent lets it go or
// is gone itself.
int RunChild(int argc, char** argv) {
  if (argc != 5) return 2;
  const OwnedHandle stop(HandleFromText(argv[2]));
  const OwnedHandle ready(HandleFromText(argv[3]));
  const OwnedHandle parent(HandleFromText(argv[4]));
  ReleaseSemaphore(ready.Get(), 1, nullptr);
  const std::array<HANDLE, 2> waits{stop.Get(), parent.Get()};
  WaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(), FALSE,
                         kChildLifetimeLimitMs);
  return 0;
}

// One started child; ending it is part of destroying it, so that no path out
// of the host leaves one running.
class Child {
 public:
  explicit Child(HANDLE process) : process_(process) {}
  Child(Child&&) noexcept = default;
  // Assigning over a running child would drop it without ending it.
  Child& operator=(Child&&) = delete;
  ~Child() {
    if (!process_) return;
    if (WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT) TerminateProcess(process_.Get(), 0);
    WaitForSingleObject(process_.Get(), kChildExitWaitMs);
  }

 private:
  OwnedHandle process_;
};

class ChildProcesses {
 public:
  // Every child is in a job that ends them when its last handle closes, even
  // if this host is killed; each child also watches the parent's handle.
  explicit ChildProcesses(int count) {
    job_ = OwnedHandle(CreateJobObjectW(nullptr, nullptr));
    if (job_) {
      JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
      limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
      in_job_ = SetInformationJobObject(job_.Get(), JobObjectExtendedLimitInformation, &limits,
                                        sizeof limits) != 0;
    }

    SECURITY_ATTRIBUTES inherit{};
    inherit.nLength = sizeof inherit;
    inherit.bInheritHandle = TRUE;
    stop_ = OwnedHandle(CreateEventW(&inherit, TRUE, FALSE, nullptr));
    if (!stop_) Fail("CreateEventW");
    ready_ = OwnedHandle(CreateSemaphoreW(&inherit, 0, count > 0 ? count : 1, nullptr));
    if (!ready_) Fail("CreateSemaphoreW");
    HANDLE parent = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &parent,
                         SYNCHRONIZE, TRUE, 0))
      Fail("DuplicateHandle");
    parent_ = OwnedHandle(parent);

    std::wstring self(MAX_PATH, L'\0');
    for (;;) {
      const DWORD length =
          GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
      if (length == 0) Fail("GetModuleFileNameW");
      if (length < self.size()) {
        self.resize(length);
        break;
      }
      self.resize(self.size() * 2);
    }
    const std::string tail = " --child " + HandleText(stop_.Get()) + " " +
                             HandleText(ready_.Get()) + " " + HandleText(parent_.Get());
    const std::wstring command_line = L"\"" + self + L"\"" + std::wstring(tail.begin(), tail.end());

    children_.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) Start(self, command_line);
    for (int i = 0; i < count; ++i)
      if (WaitForSingleObject(ready_.Get(), kChildStartLimitMs) != WAIT_OBJECT_0)
        throw std::runtime_error("a child did not report ready in time");
  }
  ChildProcesses(const ChildProcesses&) = delete;
  ChildProcesses& operator=(const ChildProcesses&) = delete;

  ~ChildProcesses() {
    // Released first so that a child ends by returning where it can; each
    // Child terminates whatever is still running when its turn comes.
    if (stop_) SetEvent(stop_.Get());
    children_.clear();
  }

  std::size_t size() const { return children_.size(); }
  bool InJob() const { return in_job_; }

 private:
  void Start(const std::wstring& image, const std::wstring& command_line) {
    std::wstring mutable_line = command_line;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    // Suspended until it is in the job, so that it cannot outlive the job's
    // guarantee even for an instant.
    if (!CreateProcessW(image.c_str(), mutable_line.data(), nullptr, nullptr, TRUE,
                        CREATE_SUSPENDED, nullptr, nullptr, &startup, &info))
      Fail("CreateProcessW");
    const OwnedHandle thread(info.hThread);
    children_.emplace_back(info.hProcess);
    // Closing the job here would end the children already in it; the parent
    // handle that every child watches is the fallback instead.
    if (in_job_ && !AssignProcessToJobObject(job_.Get(), info.hProcess)) in_job_ = false;
    if (ResumeThread(thread.Get()) == static_cast<DWORD>(-1)) Fail("ResumeThread");
  }

  // Declared before the children so that it closes after they are ended.
  OwnedHandle job_;
  bool in_job_ = false;
  OwnedHandle stop_;
  OwnedHandle ready_;
  OwnedHandle parent_;
  std::vector<Child> children_;
};

// ---------------------------------------------------------------- methods

struct Round {
  Clock::duration snapshot{};  // taking the snapshot
  Clock::duration walk{};      // reading every record, then releasing it all
  std::size_t processes = 0;
  std::size_t threads = 0;
  std::uint64_t checksum = 0;

  Clock::duration total() const { return snapshot + walk; }
};

std::uint64_t Mix(std::uint64_t sum, std::uint64_t value) { return sum * 31 + value; }

std::uint64_t Mix(std::uint64_t sum, const FILETIME& time) {
  return Mix(sum, zel::test::Ticks(time));
}

Round LibraryRound() {
  Round round;
  const auto start = Clock::now();
  Clock::time_point taken;
  {
    CZelProcess processes;
    taken = Clock::now();
    FindHandle walk(processes, processes.FindFirstProcess(CZelString(L"")));
    if (walk) {
      do {
        void* h = walk.Get();
        std::uint64_t sum = round.checksum;
        const CZelString name = processes.GetName(h);
        sum = Mix(sum, name.GetLength());
        sum = Mix(sum, processes.GetProcessID(h));
        sum = Mix(sum, processes.GetParentProcess(h));
        sum = Mix(sum, static_cast<std::uint64_t>(processes.GetBasePriority(h)));
        const unsigned threads = processes.GetThreadCount(h);
        sum = Mix(sum, threads);
        FILETIME create{}, user{}, kernel{};
        processes.GetCreateTime(h, create);
        processes.GetUserTime(h, user);
        processes.GetKernelTime(h, kernel);
        sum = Mix(Mix(Mix(sum, create), user), kernel);
        VM_COUNTERS vm{};
        IO_COUNTERS io{};
        processes.GetMemoryCounters(h, vm);
        processes.GetIOCounters(h, io);
        sum = Mix(Mix(sum, vm.WorkingSetSize), io.ReadTransferCount);
        FindHandle thread(processes, processes.FindFirstThread(h));
        if (thread && threads != 0) {
          do {
            FILETIME started{};
            sum = Mix(sum, processes.GetThreadID(thread.Get()));
            processes.GetThreadCreateTime(thread.Get(), started);
            sum = Mix(sum, started);
            ++round.threads;
          } while (processes.FindNextThread(thread.Get()));
        }
        round.checksum = sum;
        ++round.processes;
      } while (processes.FindNextProcess(walk.Get()));
    }
  }
  const auto end = Clock::now();
  round.snapshot = taken - start;
  round.walk = end - taken;
  return round;
}

ZEL_PFN_NTQUERYSYSTEMINFORMATION ResolveQuery() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (!ntdll) Fail("GetModuleHandleW(ntdll.dll)");
  using Generic = void (*)();
  const auto query = reinterpret_cast<ZEL_PFN_NTQUERYSYSTEMINFORMATION>(
      reinterpret_cast<Generic>(GetProcAddress(ntdll, "NtQuerySystemInformation")));
  if (!query) Fail("GetProcAddress(NtQuerySystemInformation)");
  return query;
}

// The native query as a careful program uses it: a probe for the size, then
// fills that retry with room to spare while the system grows. The same
// fields are read as in LibraryRound.
Round RawRound(ZEL_PFN_NTQUERYSYSTEMINFORMATION query) {
  Round round;
  const auto start = Clock::now();
  Clock::time_point taken;
  {
    std::byte probe[1];
    ZelUlong needed = 0;
    if (static_cast<ULONG>(query(kSystemProcessInformation, probe, sizeof probe, &needed)) !=
        kStatusInfoLengthMismatch)
      throw std::runtime_error("the size probe did not answer a length mismatch");
    std::unique_ptr<std::byte[]> buffer;
    ZelUlong size = needed;
    for (;;) {
      buffer = std::make_unique_for_overwrite<std::byte[]>(size);
      const auto status =
          static_cast<ULONG>(query(kSystemProcessInformation, buffer.get(), size, &needed));
      if (status == kStatusSuccess) break;
      if (status != kStatusInfoLengthMismatch)
        throw std::runtime_error("the snapshot query failed");
      const ZelUlong grown = std::max(needed, size);
      size = grown + std::max<ZelUlong>(grown / 8, 4096);
    }
    taken = Clock::now();

    using zel::layout::SystemProcess;
    using zel::layout::SystemThread;
    std::uint64_t sum = 0;
    for (const std::byte* p = buffer.get(); p;) {
      // IDs are the low halves of pointer-sized fields, as the library reads them.
      const auto id = [](const std::byte* record, std::size_t offset) {
        return static_cast<std::uint32_t>(Load<std::uint64_t>(record, offset));
      };
      const auto name_bytes = Load<std::uint16_t>(p, ZEL_OFFSET(SystemProcess, ImageName.Length));
      const auto name_text = Load<std::uint64_t>(p, ZEL_OFFSET(SystemProcess, ImageName.Buffer));
      const std::u16string name =
          name_bytes == 0
              ? std::u16string()
              : std::u16string(reinterpret_cast<const char16_t*>(name_text), name_bytes / 2);
      sum = Mix(sum, name.size());
      sum = Mix(sum, id(p, ZEL_OFFSET(SystemProcess, UniqueProcessId)));
      sum = Mix(sum, id(p, ZEL_OFFSET(SystemProcess, InheritedFromUniqueProcessId)));
      const auto priority = Load<std::int32_t>(p, ZEL_OFFSET(SystemProcess, BasePriority));
      sum = Mix(sum, static_cast<std::uint64_t>(priority));
      const auto threads = Load<std::uint32_t>(p, ZEL_OFFSET(SystemProcess, NumberOfThreads));
      sum = Mix(sum, threads);
      sum = Mix(sum, Load<std::uint64_t>(p, ZEL_OFFSET(SystemProcess, CreateTime)));
      sum = Mix(sum, Load<std::uint64_t>(p, ZEL_OFFSET(SystemProcess, UserTime)));
      sum = Mix(sum, Load<std::uint64_t>(p, ZEL_OFFSET(SystemProcess, KernelTime)));
      const auto vm = Load<zel::layout::VmCounters>(p, ZEL_OFFSET(SystemProcess, Vm));
      const auto io = Load<zel::layout::IoCounters>(p, ZEL_OFFSET(SystemProcess, Io));
      sum = Mix(Mix(sum, vm.WorkingSetSize), io.ReadTransferCount);
      const std::byte* thread = p + sizeof(SystemProcess);
      for (std::uint32_t i = 0; i < threads; ++i, thread += sizeof(SystemThread)) {
        sum = Mix(sum, id(thread, ZEL_OFFSET(SystemThread, UniqueThread)));
        sum = Mix(sum, Load<std::uint64_t>(thread, ZEL_OFFSET(SystemThread, CreateTime)));
        ++round.threads;
      }
      ++round.processes;
      const auto next = Load<std::uint32_t>(p, ZEL_OFFSET(SystemProcess, NextEntryOffset));
      p = next == 0 ? nullptr : p + next;
    }
    round.checksum = sum;
  }
  const auto end = Clock::now();
  round.snapshot = taken - start;
  round.walk = end - taken;
  return round;
}

// Toolhelp32 offers fewer facts: no times and no counters. What it has is
// read, which is what a program that settles for it pays.
Round ToolhelpRound() {
  Round round;
  const auto start = Clock::now();
  Clock::time_point taken;
  {
    const OwnedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS | TH32CS_SNAPTHREAD, 0));
    if (!snapshot) Fail("CreateToolhelp32Snapshot");
    taken = Clock::now();
    std::uint64_t sum = 0;
    PROCESSENTRY32W process{};
    process.dwSize = sizeof process;
    for (BOOL ok = Process32FirstW(snapshot.Get(), &process); ok;
         ok = Process32NextW(snapshot.Get(), &process)) {
      const std::u16string name(reinterpret_cast<const char16_t*>(process.szExeFile),
                                std::wcslen(process.szExeFile));
      sum = Mix(sum, name.size());
      sum = Mix(sum, process.th32ProcessID);
      sum = Mix(sum, process.th32ParentProcessID);
      sum = Mix(sum, static_cast<std::uint64_t>(process.pcPriClassBase));
      sum = Mix(sum, process.cntThreads);
      ++round.processes;
    }
    THREADENTRY32 thread{};
    thread.dwSize = sizeof thread;
    for (BOOL ok = Thread32First(snapshot.Get(), &thread); ok;
         ok = Thread32Next(snapshot.Get(), &thread)) {
      sum = Mix(sum, thread.th32ThreadID);
      sum = Mix(sum, thread.th32OwnerProcessID);
      ++round.threads;
    }
    round.checksum = sum;
  }
  const auto end = Clock::now();
  round.snapshot = taken - start;
  round.walk = end - taken;
  return round;
}

// ---------------------------------------------------------------- modules

struct ModuleRound {
  Clock::duration time{};
  std::size_t processes = 0;  // those whose modules were listed
  std::size_t modules = 0;
  std::uint64_t checksum = 0;
};

// Every process's modules through the library: name, path, base and size of
// each, on an object that holds its snapshot already.
ModuleRound LibraryModulesRound(CZelProcess& processes) {
  ModuleRound round;
  const auto start = Clock::now();
  FindHandle walk(processes, processes.FindFirstProcess(CZelString(L"")));
  for (bool more = static_cast<bool>(walk); more; more = processes.FindNextProcess(walk.Get())) {
    FindHandle module(processes, processes.FindFirstModule(walk.Get(), CZelString(L"")));
    if (!module) continue;
    do {
      round.checksum = Mix(Mix(round.checksum, processes.GetModuleName(module.Get()).GetLength()),
                           processes.GetModulePath(module.Get()).GetLength());
      round.checksum = Mix(Mix(round.checksum, processes.GetModuleBase(module.Get())),
                           processes.GetModuleSize(module.Get()));
      ++round.modules;
    } while (processes.FindNextModule(module.Get()));
    ++round.processes;
  }
  round.time = Clock::now() - start;
  return round;
}

// The same through a Toolhelp32 module snapshot of each process, as a
// program without the library lists them.
ModuleRound ToolhelpModulesRound(const std::vector<DWORD>& ids) {
  ModuleRound round;
  const auto start = Clock::now();
  for (const DWORD id : ids) {
    const OwnedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, id));
    if (!snapshot) continue;
    MODULEENTRY32W module{};
    module.dwSize = sizeof module;
    BOOL ok = Module32FirstW(snapshot.Get(), &module);
    if (!ok) continue;
    for (; ok; ok = Module32NextW(snapshot.Get(), &module)) {
      round.checksum =
          Mix(Mix(round.checksum, std::wcslen(module.szModule)), std::wcslen(module.szExePath));
      round.checksum =
          Mix(Mix(round.checksum, reinterpret_cast<std::uintptr_t>(module.modBaseAddr)),
              module.modBaseSize);
      ++round.modules;
    }
    ++round.processes;
  }
  round.time = Clock::now() - start;
  return round;
}

// The owner of every process, through the library.
Clock::duration LibraryOwners(std::uint64_t& sum) {
  const auto start = Clock::now();
  CZelProcess processes;
  FindHandle walk(processes, processes.FindFirstProcess(CZelString(L"")));
  if (walk) {
    do {
      CZelString user, domain;
      processes.GetUserAndDomain(walk.Get(), user, domain);
      sum = Mix(Mix(sum, user.GetLength()), domain.GetLength());
    } while (processes.FindNextProcess(walk.Get()));
  }
  return Clock::now() - start;
}

// The IDs of every process, taken before the owners are timed.
std::vector<DWORD> ProcessIds() {
  std::vector<DWORD> ids;
  CZelProcess processes;
  FindHandle walk(processes, processes.FindFirstProcess(CZelString(L"")));
  if (walk) {
    do ids.push_back(processes.GetProcessID(walk.Get()));
    while (processes.FindNextProcess(walk.Get()));
  }
  return ids;
}

// The owner of each of those processes, by hand: the token's user and the
// SID's account names, looked up for each process; the snapshot is the
// library's side's alone.
Clock::duration OwnersByHand(const std::vector<DWORD>& ids, std::uint64_t& sum) {
  const auto start = Clock::now();
  for (const DWORD id : ids) {
    const OwnedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, id));
    HANDLE token_handle = nullptr;
    if (!process || !OpenProcessToken(process.Get(), TOKEN_QUERY, &token_handle)) continue;
    const OwnedHandle token(token_handle);
    DWORD needed = 0;
    GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &needed);
    std::vector<std::uint64_t> user_record((needed + 7) / 8 + 1);
    if (!GetTokenInformation(token.Get(), TokenUser, user_record.data(),
                             static_cast<DWORD>(user_record.size() * 8), &needed))
      continue;
    wchar_t name[260], domain[260];
    DWORD name_units = 260, domain_units = 260;
    SID_NAME_USE use;
    if (LookupAccountSidW(nullptr, reinterpret_cast<TOKEN_USER*>(user_record.data())->User.Sid,
                          name, &name_units, domain, &domain_units, &use))
      sum = Mix(Mix(sum, name_units), domain_units);
  }
  return Clock::now() - start;
}

// ---------------------------------------------------------------- report

double Microseconds(Clock::duration d) {
  return std::chrono::duration<double, std::micro>(d).count();
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

struct Summary {
  const char* label;
  double total = 0, snapshot = 0, walk = 0;
  std::size_t processes = 0, threads = 0;
};

Summary Summarize(const char* label, const std::vector<Round>& rounds) {
  std::vector<double> total, snapshot, walk, processes, threads;
  for (const Round& r : rounds) {
    total.push_back(Microseconds(r.total()));
    snapshot.push_back(Microseconds(r.snapshot));
    walk.push_back(Microseconds(r.walk));
    processes.push_back(static_cast<double>(r.processes));
    threads.push_back(static_cast<double>(r.threads));
  }
  return {label,
          Median(total),
          Median(snapshot),
          Median(walk),
          static_cast<std::size_t>(Median(processes)),
          static_cast<std::size_t>(Median(threads))};
}

void Print(const Summary& s) {
  const double per_process = s.processes ? s.total / static_cast<double>(s.processes) : 0.0;
  std::printf("%-10s %10.1f %10.1f %10.1f %10zu %8zu %14.2f\n", s.label, s.total, s.snapshot,
              s.walk, s.processes, s.threads, per_process);
}

int ParseCount(const char* text, const char* option) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (!end || *end != '\0' || value < 0 || value > 100000)
    throw std::runtime_error(std::string("bad value for ") + option);
  return static_cast<int>(value);
}

// The module walks, alternating which goes first, on the processes that the
// process rounds had; both list the same processes before any is timed.
void RunModules(int rounds) {
  CZelProcess processes;
  const std::vector<DWORD> ids = ProcessIds();
  volatile std::uint64_t sink = 0;
  for (int i = 0; i < kWarmUpRounds; ++i)
    sink = sink + LibraryModulesRound(processes).checksum + ToolhelpModulesRound(ids).checksum;
  std::vector<ModuleRound> library, toolhelp;
  for (int r = 0; r < rounds; ++r) {
    for (int side = 0; side < 2; ++side) {
      if ((side == 0) == (r % 2 == 0)) {
        library.push_back(LibraryModulesRound(processes));
      } else {
        toolhelp.push_back(ToolhelpModulesRound(ids));
      }
    }
  }
  const auto median = [](const std::vector<ModuleRound>& runs) {
    std::vector<double> times;
    for (const ModuleRound& run : runs) times.push_back(Microseconds(run.time));
    return Median(times);
  };
  const double lib = median(library), th = median(toolhelp);
  std::printf("\nmodule walk of every process: %d rounds (medians, microseconds)\n\n", rounds);
  std::printf("%-10s %10s %10s %10s %14s\n", "method", "total", "processes", "modules",
              "total/process");
  for (const auto& [label, runs, total] :
       {std::tuple{"library", &library, lib}, std::tuple{"toolhelp", &toolhelp, th}}) {
    const ModuleRound& last = runs->back();
    std::printf("%-10s %10.1f %10zu %10zu %14.2f\n", label, total, last.processes, last.modules,
                last.processes ? total / static_cast<double>(last.processes) : 0.0);
  }
  std::printf("\nlibrary / toolhelp (modules): total %.2f\n", lib / th);
}

int Run(int rounds, int children_wanted, int module_rounds) {
  const ChildProcesses children(children_wanted);
  const auto query = ResolveQuery();

  volatile std::uint64_t sink = 0;
  for (int i = 0; i < kWarmUpRounds; ++i)
    sink = sink + LibraryRound().checksum + RawRound(query).checksum + ToolhelpRound().checksum;

  std::vector<Round> library, raw, toolhelp;
  library.reserve(static_cast<std::size_t>(rounds));
  raw.reserve(static_cast<std::size_t>(rounds));
  toolhelp.reserve(static_cast<std::size_t>(rounds));
  // Whichever method runs right after another pays for some of what that one
  // left behind (freed memory, the server's cleanup), so the rounds cycle
  // through every order of the three: each runs in each place, and after
  // each other, equally often.
  std::array<int, 3> order{0, 1, 2};
  for (int r = 0; r < rounds; ++r) {
    std::next_permutation(order.begin(), order.end());
    for (const int method : order) {
      std::vector<Round>& into = method == 0 ? library : method == 1 ? raw : toolhelp;
      into.push_back(method == 0   ? LibraryRound()
                     : method == 1 ? RawRound(query)
                                   : ToolhelpRound());
      sink = sink + into.back().checksum;
    }
  }

  const Summary lib = Summarize("library", library);
  const Summary nat = Summarize("raw", raw);
  const Summary th = Summarize("toolhelp", toolhelp);
  std::printf("children started: %zu%s; rounds: %d (medians, microseconds)\n\n", children.size(),
              children.InJob() ? " (in a kill-on-close job)" : "", rounds);
  std::printf("%-10s %10s %10s %10s %10s %8s %14s\n", "method", "total", "snapshot", "walk",
              "processes", "threads", "total/process");
  Print(lib);
  Print(nat);
  Print(th);
  std::printf("\nlibrary / raw:      total %.2f  snapshot %.2f  walk %.2f\n", lib.total / nat.total,
              lib.snapshot / nat.snapshot, lib.walk / nat.walk);
  std::printf("library / toolhelp: total %.2f\n", lib.total / th.total);

  // The owners, the two ways alternating in order from round to round.
  std::vector<double> library_owners, hand_owners;
  std::uint64_t sum = 0;
  for (int r = -kWarmUpRounds; r < rounds; ++r) {
    const std::vector<DWORD> ids = ProcessIds();
    const bool library_first = (r & 1) == 0;
    const double first = Microseconds(library_first ? LibraryOwners(sum) : OwnersByHand(ids, sum));
    const double second = Microseconds(library_first ? OwnersByHand(ids, sum) : LibraryOwners(sum));
    if (r < 0) continue;
    library_owners.push_back(library_first ? first : second);
    hand_owners.push_back(library_first ? second : first);
  }
  sink = sink + sum;
  const double library_median = Median(library_owners), hand_median = Median(hand_owners);
  std::printf("\nowners of every process (medians, microseconds): library %.1f, by hand %.1f\n",
              library_median, hand_median);
  std::printf("library / by hand: owners %.2f\n", library_median / hand_median);
  if (module_rounds > 0) RunModules(module_rounds);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--child") == 0) return RunChild(argc, argv);
  try {
    int rounds = kDefaultRounds;
    int children = kDefaultChildren;
    int module_rounds = kDefaultModuleRounds;
    for (int i = 1; i < argc; ++i) {
      const std::string_view option = argv[i];
      if (i + 1 < argc && option == "--rounds") {
        rounds = std::max(1, ParseCount(argv[++i], "--rounds"));
      } else if (i + 1 < argc && option == "--children") {
        children = ParseCount(argv[++i], "--children");
      } else if (i + 1 < argc && option == "--module-rounds") {
        module_rounds = ParseCount(argv[++i], "--module-rounds");
      } else {
        std::fprintf(stderr,
                     "usage: zel_walk_timing [--rounds N] [--children N] [--module-rounds N]\n");
        return 2;
      }
    }
    return Run(rounds, children, module_rounds);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zel_walk_timing: %s\n", e.what());
    return 1;
  }
}
