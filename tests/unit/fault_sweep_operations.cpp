#include "fault_sweep_operations.h"

#include <cstring>
#include <new>
#include <system_error>
#include <tuple>
#include <utility>

#include "ZelHandles.h"
#include "platform/codes.h"
#include "fake_windows/api.h"
#include "platform/windows/block_layouts.h"
#include "support/scripted_system.h"

namespace zel::sweep {
namespace {

using Kind = fake::CallFault::Kind;
namespace layout = zel::layout;

const unsigned short* U(const char16_t* text) {
  return reinterpret_cast<const unsigned short*>(text);
}

constexpr std::uint32_t kTarget = 100;  // kTargetsWindow's owner
constexpr std::uint32_t kWow64Target = 200;
constexpr std::uint32_t kSecondThread = kTarget * 100 + 2;
constexpr std::uintptr_t kTargetWindow = 0x2000;

// Runs an operation whose result is built by value, where an allocation
// failure may leave as std::bad_alloc.
template <class F>
void Guarded(Stage& s, F&& f) {
  try {
    f();
  } catch (const std::bad_alloc&) {
    s.failed = true;
    s.thrown = kBadAllocEscaped;
  }
}

// An exception that left the operation left the caller's string unassigned.
bool Unwritten(Stage& s) { return s.thrown == kBadAllocEscaped && s.text == U(u"before"); }

bool CloseMade(Stage& s) {
  if (s.made) s.p().CloseHandle(s.made);
  return s.failed == (s.made == nullptr);
}

// A process or thread ID getter, which answers 0xFFFFFFFF when it fails.
Operation IdGetter(std::string name, unsigned int (CZelProcess::*get)(void*), void* Stage::*handle,
                   ZelCode on_success = code::kSuccess) {
  return {std::move(name),
          [get, handle](Stage& s) { s.failed = (s.p().*get)(s.*handle) == 0xFFFFFFFF; },
          nullptr,
          {false, on_success},
          {}};
}

// A getter of a fact into the caller's structure of type T.
template <class T>
Operation FactGetter(std::string name, int (CZelProcess::*get)(void*, T&), void* Stage::*handle,
                     ZelCode on_success = code::kSuccess) {
  return {std::move(name),
          [get, handle](Stage& s) {
            T out{};
            s.failed = !(s.p().*get)(s.*handle, out);
          },
          nullptr,
          {false, on_success},
          {}};
}

// The opens of a process, by what their handles are for.
constexpr const char* kForTheQuery = "for NtQueryInformationProcess (basic information)";
constexpr const char* kForThePebRead = "for ReadProcessMemory (PEB)";
constexpr const char* kForTheParametersRead = "for ReadProcessMemory (process parameters)";
constexpr const char* kForTheTebRead = "for ReadProcessMemory (TEB)";
constexpr const char* kForTheToken = "for OpenProcessToken";
// The windows whose owner the main window search asks for.
constexpr const char* kOthersWindow = "window of process 4";
constexpr const char* kTargetsWindow = "window of process 100";

// The failures of the reads that lead to the PEB: a failed open for the basic
// information query is reported as access denied, and one for the PEB read
// leaves the read without a handle.
std::vector<Rule> PebRules() {
  return {{"OpenProcess", kForTheQuery, std::nullopt, {true, code::kAccessDenied}},
          {"OpenProcess", kForThePebRead, std::nullopt, {true, code::kInvalidHandle}}};
}

// The live strings' failures: those on the way to the PEB, the parameters
// read without a handle, and the string's own read, which is access denied
// whatever the platform said.
std::vector<Rule> LiveStringRules() {
  std::vector<Rule> rules = PebRules();
  rules.push_back(
      {"OpenProcess", kForTheParametersRead, std::nullopt, {true, code::kInvalidHandle}});
  rules.push_back({"ReadProcessMemory", "string", std::nullopt, {true, code::kAccessDenied}});
  return rules;
}

// The live reads of the 64-bit target, and of the 32-bit one, which read the
// other blocks through the same chain of calls with the same codes.
struct LiveTarget {
  std::string suffix;
  void* Stage::*handle;
  fake::ProcessParametersModel strings;
  std::u16string environmentStart;
};

Operation LiveString(const LiveTarget& target, std::string name,
                     CZelString (CZelProcess::*get)(void*), std::u16string want) {
  return {std::move(name) + target.suffix,
          [get, handle = target.handle](Stage& s) {
            Guarded(s, [&] {
              s.text = (s.p().*get)(s.*handle);
              s.failed = s.text.IsEmpty();
            });
          },
          [want](Stage& s) {
            return s.failed ? Unwritten(s) || s.text.IsEmpty() : s.text == U(want.c_str());
          },
          {false, code::kSuccess},
          LiveStringRules()};
}

std::vector<Operation> MakeOperations() {
  std::vector<Operation> ops;

  ops.push_back({"construction",
                 [](Stage& s) {
                   try {
                     Probe fresh;
                     s.thrown = fresh.GetErrorCode();
                   } catch (const std::system_error& e) {
                     s.failed = true;
                     s.thrown = static_cast<ZelCode>(e.code().value());
                   }
                 },
                 nullptr,
                 {false, code::kSuccess},
                 {}});
  ops.push_back({"copy construction",
                 [](Stage& s) {
                   Probe copy(s.p());
                   s.failed = copy.GetProcessCount() != 3;
                 },
                 nullptr,
                 {false, kNothingRecorded},
                 {}});
  ops.push_back({"assignment",
                 [](Stage& s) {
                   Probe other(s.p());
                   other = s.p();
                   s.failed = other.GetProcessCount() != 3;
                 },
                 nullptr,
                 {false, kNothingRecorded},
                 {}});
  ops.push_back({"Dump",
                 [](Stage& s) { s.failed = s.p().Dump() != 0; },
                 nullptr,
                 {false, kNothingRecorded},
                 {}});
  for (auto [name, refresh] :
       {std::pair{"Refresh", &Probe::Refresh}, {"ReadProcesses", &Probe::ReadProcesses}}) {
    ops.push_back({name,
                   [refresh](Stage& s) { s.failed = !(s.p().*refresh)(); },
                   // Whatever fails, the old snapshot is kept, and so is every
                   // handle into it.
                   [](Stage& s) {
                     return s.p().GetProcessCount() == 3 &&
                            (!s.failed || s.p().GetProcessID(s.process) == kTarget);
                   },
                   {false, kNothingRecorded},
                   {}});
  }
  ops.push_back({"InitFunctionsPointers",
                 [](Stage& s) { s.failed = !s.p().InitFunctionsPointers(); },
                 nullptr,
                 {false, kNothingRecorded},
                 // The constructor reads the platform's last error itself.
                 {{"GetModuleHandleW", "", std::nullopt, {true, kNothingRecorded}},
                  {"GetProcAddress", "", std::nullopt, {true, kNothingRecorded}}}});
  ops.push_back({"GetProcessCount",
                 [](Stage& s) { s.failed = s.p().GetProcessCount() != 3; },
                 nullptr,
                 {false, kNothingRecorded},
                 {}});
  ops.push_back({"GetProcess",
                 [](Stage& s) { s.failed = !s.p().GetProcess(kTarget); },
                 nullptr,
                 {false, kNothingRecorded},
                 {}});

  // The walk.
  ops.push_back({"FindFirstProcess",
                 [](Stage& s) {
                   s.made = s.p().FindFirstProcess(std::move(s.pattern));
                   s.failed = !s.made;
                 },
                 CloseMade,
                 {false, code::kSuccess},
                 {}});
  ops.push_back({"FindNextProcess",
                 [](Stage& s) { s.failed = !s.p().FindNextProcess(s.walk); },
                 nullptr,
                 {false, code::kSuccess},
                 {}});
  ops.push_back({"CloseHandle",
                 [](Stage& s) {
                   s.failed = !s.p().CloseHandle(s.spare);
                   if (!s.failed) s.spare = nullptr;
                 },
                 nullptr,
                 {false, code::kSuccess},
                 {}});
  ops.push_back({"DuplicateHandle",
                 [](Stage& s) {
                   s.made = s.p().DuplicateHandle(s.walk);
                   s.failed = !s.made;
                 },
                 CloseMade,
                 {false, code::kSuccess},
                 {}});
  ops.push_back({"IsProcessHandle",
                 [](Stage& s) { s.failed = !s.p().IsProcessHandle(s.process); },
                 nullptr,
                 {false, code::kSuccess},
                 {}});
  ops.push_back({"CreateHandleFromPID",
                 [](Stage& s) {
                   s.made = s.p().CreateHandleFromPID(kTarget);
                   s.failed = !s.made;
                 },
                 CloseMade,
                 {false, code::kSuccess},
                 {}});

  // The snapshot's facts.
  ops.push_back({"GetName",
                 [](Stage& s) {
                   Guarded(s, [&] {
                     s.text = s.p().GetName(s.process);
                     s.failed = s.text.IsEmpty();
                   });
                 },
                 [](Stage& s) { return s.failed ? Unwritten(s) : s.text == U(u"target.exe"); },
                 {false, code::kSuccess},
                 {{"new", "", std::nullopt, {true, kBadAllocEscaped}}}});
  ops.push_back(IdGetter("GetProcessID", &CZelProcess::GetProcessID, &Stage::process));
  ops.push_back(IdGetter("GetParentProcess", &CZelProcess::GetParentProcess, &Stage::process));
  ops.push_back(
      IdGetter("GetThreadCount", &CZelProcess::GetThreadCount, &Stage::process, kNothingRecorded));
  ops.push_back({"GetBasePriority",
                 [](Stage& s) { s.failed = s.p().GetBasePriority(s.process) != 8; },
                 nullptr,
                 {false, code::kSuccess},
                 {}});
  ops.push_back(
      FactGetter<_FILETIME>("GetCreateTime", &CZelProcess::GetCreateTime, &Stage::process));
  ops.push_back(FactGetter<_FILETIME>("GetUserTime", &CZelProcess::GetUserTime, &Stage::process));
  ops.push_back(
      FactGetter<_FILETIME>("GetKernelTime", &CZelProcess::GetKernelTime, &Stage::process));
  ops.push_back(FactGetter<_VM_COUNTERS>("GetMemoryCounters", &CZelProcess::GetMemoryCounters,
                                         &Stage::process, kNothingRecorded));
  ops.push_back(FactGetter<_IO_COUNTERS>("GetIOCounters", &CZelProcess::GetIOCounters,
                                         &Stage::process, kNothingRecorded));

  // The threads.
  ops.push_back({"FindFirstThread",
                 [](Stage& s) {
                   s.made = s.p().FindFirstThread(s.process);
                   s.failed = !s.made;
                 },
                 CloseMade,
                 {false, kNothingRecorded},
                 {}});
  ops.push_back({"FindNextThread",
                 [](Stage& s) { s.failed = !s.p().FindNextThread(s.thread); },
                 nullptr,
                 {false, kNothingRecorded},
                 {}});
  ops.push_back(
      IdGetter("GetThreadID", &CZelProcess::GetThreadID, &Stage::thread, kNothingRecorded));
  ops.push_back(IdGetter("GetThreadParentProcess", &CZelProcess::GetThreadParentProcess,
                         &Stage::thread, kNothingRecorded));
  ops.push_back(FactGetter<_FILETIME>("GetThreadCreateTime", &CZelProcess::GetThreadCreateTime,
                                      &Stage::thread));
  ops.push_back({"CreateHandleFromTID",
                 [](Stage& s) {
                   s.made = s.p().CreateHandleFromTID(s.process, kSecondThread);
                   s.failed = !s.made;
                 },
                 CloseMade,
                 {false, kNothingRecorded},
                 {}});
  ops.push_back({"GetTEB",
                 [](Stage& s) {
                   s.failed = !s.p().GetTEB(s.thread, reinterpret_cast<_TEB*>(s.buffer.data()));
                 },
                 [](Stage& s) {
                   return s.failed || std::memcmp(s.buffer.data(), test::TargetTebBytes().data(),
                                                  layout::kTebReadSize) == 0;
                 },
                 {false, code::kSuccess},
                 // Without a process handle the read fails on the handle.
                 {{"OpenProcess", kForTheTebRead, std::nullopt, {true, code::kInvalidHandle}}}});

  // The live strings and environment.
  const std::vector<LiveTarget> live_targets = {
      {"", &Stage::process, test::TargetParameters(), u"A=1"},
      {" of a 32-bit process", &Stage::wow64, test::Wow64Parameters(), u"B=32"}};
  for (const LiveTarget& target : live_targets) {
    const fake::ProcessParametersModel& want = target.strings;
    ops.push_back(LiveString(target, "GetImageFile", &CZelProcess::GetImageFile, want.imagePath));
    ops.push_back(
        LiveString(target, "GetCommandLineW", &CZelProcess::GetCommandLineW, want.commandLine));
    ops.push_back(LiveString(target, "GetCurrentDirectoryW", &CZelProcess::GetCurrentDirectoryW,
                             want.currentDirectory));
    ops.push_back(
        LiveString(target, "GetWindowTitle", &CZelProcess::GetWindowTitle, want.windowTitle));
    ops.push_back(LiveString(target, "GetDesktopName", &CZelProcess::GetDesktopName, want.desktop));
    ops.push_back(LiveString(target, "GetPath", &CZelProcess::GetPath, want.dllPath));
    Operation read = LiveString(target, "ReadProcessInfoString", &CZelProcess::GetCommandLineW,
                                want.commandLine);
    read.run = [handle = target.handle](Stage& s) {
      Guarded(s, [&] {
        s.text = s.p().ReadProcessInfoString(s.*handle, ZELPI_COMMANDLINE);
        s.failed = s.text.IsEmpty();
      });
    };
    ops.push_back(std::move(read));
    ops.push_back({"GetEnvironmentBuffer" + target.suffix,
                   [handle = target.handle](Stage& s) {
                     s.made = s.p().GetEnvironmentBuffer(s.*handle);
                     s.failed = !s.made;
                   },
                   [start = target.environmentStart](Stage& s) {
                     auto* copy = static_cast<unsigned char*>(s.made);
                     const bool as_promised =
                         s.failed ||
                         std::memcmp(copy, start.data(), start.size() * sizeof(char16_t)) == 0;
                     if (copy) s.p().FreeEnvironmentBuffer(copy);
                     return as_promised;
                   },
                   {false, code::kSuccess},
                   // Those on the way to the PEB fail as the strings' do; the
                   // copy's own open, for the parameters read, with its code.
                   PebRules()});
  }
  // The whole environment block, of either kind.
  for (const LiveTarget& target : live_targets) {
    ops.push_back({"GetEnvironmentBlock" + target.suffix,
                   [handle = target.handle](Stage& s) {
                     std::size_t size = 0;
                     s.made = s.p().GetEnvironmentBlock(s.*handle, size);
                     s.failed = !s.made;
                     s.buffer.assign(size, 0);
                   },
                   [block = target.strings.environment](Stage& s) {
                     const zel::EnvironmentCopy copy(s.p(), static_cast<unsigned char*>(s.made),
                                                     s.buffer.size());
                     const std::size_t end = block.find(std::u16string(2, u'\0')) + 2;
                     return s.failed ? s.buffer.empty()
                                     : copy.Size() == end * sizeof(char16_t) &&
                                           std::memcmp(copy.Get(), block.data(), copy.Size()) == 0;
                   },
                   {false, code::kSuccess},
                   // The same chain of calls as the first bytes' copy.
                   PebRules()});
  }
  ops.push_back({"GetReadHandle",
                 [](Stage& s) {
                   s.made = s.p().GetReadHandle(s.process);
                   s.failed = !s.made;
                 },
                 [](Stage& s) {
                   if (s.made) os::CloseHandle(s.made);
                   return true;
                 },
                 {false, kNothingRecorded},
                 // The caller records why.
                 {{"OpenProcess", "", std::nullopt, {true, kNothingRecorded}}}});
  ops.push_back({"GetProcessInformation",
                 [](Stage& s) {
                   s.failed = !s.p().GetProcessInformation(
                       s.process, reinterpret_cast<_PROCESS_BASIC_INFORMATION*>(s.buffer.data()));
                 },
                 [](Stage& s) {
                   if (s.failed) return true;
                   const auto info =
                       layout::Load<layout::ProcessBasicInformation>(s.buffer.data(), 0);
                   return info.UniqueProcessId == kTarget && info.PebBaseAddress != 0;
                 },
                 {false, code::kSuccess},
                 {{"OpenProcess", kForTheQuery, std::nullopt, {true, code::kAccessDenied}}}});
  ops.push_back({"GetPEB",
                 [](Stage& s) {
                   s.failed = !s.p().GetPEB(s.process, reinterpret_cast<_PEB*>(s.buffer.data()));
                 },
                 nullptr,
                 {false, code::kSuccess},
                 PebRules()});

  // The module walk: the whole list read at once, with the target's own
  // blocks (the 32-bit ones of a 32-bit process).
  for (const auto& [suffix, handle, modules] :
       {std::tuple{"", &Stage::process, test::TargetModules()},
        std::tuple{" of a 32-bit process", &Stage::wow64, test::Wow64Modules()}}) {
    std::vector<std::u16string> dlls;
    for (const fake::ModuleModel& module : modules)
      if (module.path.ends_with(u".dll") || module.path.ends_with(u".DLL"))
        dlls.push_back(module.path);
    ops.push_back(
        {std::string("FindFirstModule") + suffix,
         [handle = handle](Stage& s) {
           s.made = s.p().FindFirstModule(s.*handle, std::move(s.modulePattern));
           s.failed = !s.made;
         },
         [dlls](Stage& s) {
           // The whole list, kept whole: every module that matches, in order.
           bool whole = true;
           std::size_t seen = 0;
           for (bool more = s.made != nullptr; more; more = s.p().FindNextModule(s.made))
             whole = whole && seen < dlls.size() &&
                     s.p().GetModulePath(s.made) == U(dlls[seen++].c_str());
           return CloseMade(s) && (s.failed || (whole && seen == dlls.size()));
         },
         {false, code::kSuccess},
         // The one open fails as the strings' first one does, and the PEB's
         // read with its own code. A read of the list that fails is taken
         // for a list that changed under the walk, which is read again,
         // whole.
         {{"OpenProcess", kForTheQuery, std::nullopt, {true, code::kAccessDenied}},
          {"ReadProcessMemory", "loader list", std::nullopt, {false, code::kSuccess}},
          {"ReadProcessMemory", "module strings", std::nullopt, {false, code::kSuccess}}}});
  }
  ops.push_back(
      {"FindNextModule",
       [](Stage& s) { s.failed = !s.p().FindNextModule(s.modules); },
       [](Stage& s) { return s.failed || s.p().GetModuleName(s.modules) == U(u"KERNEL32.DLL"); },
       {false, code::kSuccess},
       {}});
  for (auto [name, get, want] :
       {std::tuple{"GetModuleName", &CZelProcess::GetModuleName, u"ntdll.dll"},
        std::tuple{"GetModulePath", &CZelProcess::GetModulePath,
                   u"C:\\Windows\\SYSTEM32\\ntdll.dll"}}) {
    ops.push_back({name,
                   [get = get](Stage& s) {
                     s.text = (s.p().*get)(s.modules);
                     s.failed = s.text.IsEmpty();
                   },
                   [want = want](Stage& s) { return s.failed || s.text == U(want); },
                   {false, code::kSuccess},
                   {}});
  }
  for (auto [name, get, want] :
       {std::tuple{"GetModuleBase", &CZelProcess::GetModuleBase, std::uint64_t{0x7FFD00000000}},
        std::tuple{"GetModuleSize", &CZelProcess::GetModuleSize, std::uint64_t{0x1F8000}}}) {
    ops.push_back(
        {name,
         [get = get, want = want](Stage& s) { s.failed = (s.p().*get)(s.modules) != want; },
         nullptr,
         {false, code::kSuccess},
         {}});
  }
  ops.push_back({"DuplicateHandle of a module handle",
                 [](Stage& s) {
                   s.made = s.p().DuplicateHandle(s.modules);
                   s.failed = !s.made;
                 },
                 [](Stage& s) {
                   // The copy has a list of its own, on the same module.
                   const bool same = s.failed || s.p().GetModuleName(s.made) == U(u"ntdll.dll");
                   return CloseMade(s) && same;
                 },
                 {false, code::kSuccess},
                 {}});
  ops.push_back({"CloseHandle of a module handle",
                 [](Stage& s) {
                   s.failed = !s.p().CloseHandle(s.spareModules);
                   if (!s.failed) s.spareModules = nullptr;
                 },
                 nullptr,
                 {false, code::kSuccess},
                 {}});

  ops.push_back({"FreeEnvironmentBuffer",
                 [](Stage& s) { s.failed = !s.p().FreeEnvironmentBuffer(s.environment); },
                 [](Stage& s) { return s.failed || s.environment == nullptr; },
                 {false, kNothingRecorded},
                 {}});

  ops.push_back({"GetUserAndDomain",
                 [](Stage& s) { s.failed = !s.p().GetUserAndDomain(s.process, s.user, s.domain); },
                 [](Stage& s) {
                   if (s.failed) return s.user.IsEmpty() && s.domain.IsEmpty();
                   return s.user == U(u"alice") && s.domain == U(u"CORP");
                 },
                 {false, code::kSuccess},
                 {{"OpenProcess", kForTheToken, std::nullopt, {true, code::kAccessDenied}}}});
  ops.push_back(
      {"GetMainWindow",
       [](Stage& s) {
         s.made = s.p().GetMainWindow(s.process);
         s.failed = !s.made;
       },
       [](Stage& s) { return s.failed || s.made == reinterpret_cast<void*>(kTargetWindow); },
       {false, code::kSuccess},
       // A window whose owner cannot be told is not the target's: the
       // search goes on past another's, and finds none at the target's.
       {{"GetWindowThreadProcessId", kOthersWindow, std::nullopt, {false, code::kSuccess}},
        {"GetWindowThreadProcessId", kTargetsWindow, std::nullopt, {true, code::kSuccess}},
        // A process that cannot be opened to tell whether it is still
        // the snapshot's is searched for all the same.
        {"OpenProcess", "", std::nullopt, {false, code::kSuccess}}}});
  return ops;
}

}  // namespace

Stage::Stage() {
  system.processes = {test::MakeProcess(4, 0, u"System"),
                      test::MakeTarget(kTarget, 4, u"target.exe", 2),
                      test::MakeWow64Target(kWow64Target, 4, u"other.exe", 1)};
  system.accounts.push_back(test::kTargetOwner);
  system.windows = {{0x1000, 4, 401, true}, {kTargetWindow, kTarget, kTarget * 100 + 1, true}};

  use.emplace(system);
  object.emplace();
  process = p().CreateHandleFromPID(kTarget);
  wow64 = p().CreateHandleFromPID(kWow64Target);
  walk = p().FindFirstProcess(CZelString(U(u"*.exe")));
  thread = p().FindFirstThread(process);
  spare = p().DuplicateHandle(walk);
  environment = p().GetEnvironmentBuffer(process);
  modules = p().FindFirstModule(process, CZelString());
  p().FindNextModule(modules);
  spareModules = p().DuplicateHandle(modules);
  modulePattern = U(u"*.dll");
  pattern = U(u"TARGET*");
  user = U(u"someone");
  domain = U(u"SOMEWHERE");
  text = U(u"before");
  buffer.assign(layout::kTebReadSize, 0);
}

Stage::~Stage() {
  for (void* h : {process, wow64, walk, thread, spare, modules, spareModules})
    if (h) p().CloseHandle(h);
  if (environment) p().FreeEnvironmentBuffer(environment);
}

Expectation Operation::Expect(const std::string& call, const std::string& does,
                              const fake::CallFault& fault) const {
  for (const Rule& r : rules)
    if (r.call == call && (r.does.empty() || r.does == does) && (!r.kind || *r.kind == fault.kind))
      return r.expect;
  return {true, fault.code};
}

Expectation Operation::ExpectAllocation() const {
  for (const Rule& r : rules)
    if (r.call == "new") return r.expect;
  return {true, code::kOutOfMemory};
}

const std::vector<Operation>& Operations() {
  static const std::vector<Operation> operations = MakeOperations();
  return operations;
}

}  // namespace zel::sweep
