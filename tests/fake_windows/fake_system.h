// The fake Windows behind the Windows source when it is built natively for the
// unit tests: a model of processes, threads, memory regions, tokens and windows
// that the platform calls serve with Win32 semantics and that the native
// queries write out in the real x64 record formats, with faults that a test
// can inject per call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/windows/block_layouts.h"
#include "platform/windows/windows_api.h"

namespace zel::fake {

using Status = std::uint32_t;

// One way in which the platform fails a call: with a null handle or FALSE and
// a last error (`Error`), with a status other than 0 (`Status`), or, for a
// memory read, with part of the bytes copied and ERROR_PARTIAL_COPY
// (`ShortRead`).
struct CallFault {
  enum class Kind { Error, Status, ShortRead };
  Kind kind = Kind::Error;
  std::uint32_t code = 0;
};

// The last error and the status that injected faults carry: values that no
// fake call gives on its own, so that a result carrying one can only have
// come from the fault.
inline constexpr std::uint32_t kInjectedError = 1359;         // ERROR_INTERNAL_ERROR
inline constexpr std::uint32_t kInjectedStatus = 0xC0000001;  // STATUS_UNSUCCESSFUL

// Every way in which the platform can fail the named call.
std::vector<CallFault> WaysToFail(std::string_view call);

// Whether this thread is inside a fake platform call: what it allocates
// there is the platform's, not the library's.
bool InPlatformCall();

// A fallible call as System::RecordedCalls gives it, with what tells it from
// other calls of its name: what it was asked about (the region a read or a
// region query asked for, by its `what`; the class of a native query; the
// owner of the window whose owner was asked for), and where it was given a
// handle that a recorded call opened, that call's place in the recording.
struct RecordedCall {
  std::string_view name;  // the calls' names are literals
  std::string about;
  int handleFrom = -1;
};

struct ThreadModel {
  std::uint32_t id = 0;
  std::uint64_t createTime = 0;  // 100-ns units since 1601
  std::uint64_t userTime = 0;    // 100-ns units
  std::uint64_t kernelTime = 0;
  std::uint64_t tebAddress = 0;
  std::int32_t priority = 8;
};

// Bytes of a process's memory at an address; reads fail where a region ends.
struct MemoryRegion {
  std::uint64_t address = 0;
  std::vector<std::byte> bytes;
  // What it holds ("PEB", "process parameters", "string", "environment",
  // "TEB"), as the recording names the reads and queries of it.
  std::string what;
};

struct ProcessModel {
  std::uint32_t id = 0;
  std::uint32_t parentId = 0;
  std::u16string name;
  std::int32_t basePriority = 8;
  std::uint64_t createTime = 0;
  std::uint64_t userTime = 0;
  std::uint64_t kernelTime = 0;
  std::uint32_t handleCount = 0;
  std::uint32_t sessionId = 0;
  layout::VmCounters vm{};
  layout::IoCounters io{};
  std::uint64_t privatePageCount = 0;
  std::vector<ThreadModel> threads;

  // What the live process shows to the calls that open and read it.
  std::vector<MemoryRegion> memory;
  // Set once it has ended with this exit code while a handle still holds it:
  // it still opens, and its token and basic information still answer, but
  // its memory is gone, and reads and region queries of it are refused with
  // ERROR_ACCESS_DENIED, as Windows (and Wine) refuse them.
  std::optional<std::int32_t> exitCode;
  std::uint64_t pebAddress = 0;
  // OpenProcess on it fails with this last error when set.
  std::optional<std::uint32_t> openError;
  // An OpenProcess that asks to read its memory (kProcessVmRead) fails with
  // this last error when set; one that only queries it may still succeed.
  std::optional<std::uint32_t> readOpenError;
  // Its basic-information query answers this status when set; with
  // `basicInfoWithoutLength` a successful one reports no length.
  std::optional<Status> basicInfoStatus;
  bool basicInfoWithoutLength = false;
  // A 32-bit process: where its 32-bit PEB lies, which its WoW64
  // information query answers (0: a 64-bit process), or only 1 with
  // `wow64InfoIsFlag`, as Wine does. That query answers `wow64InfoStatus`
  // when set.
  std::uint64_t wow64PebAddress = 0;
  bool wow64InfoIsFlag = false;
  std::optional<Status> wow64InfoStatus;

  // The SID ("S-1-5-21-...") of the user its access token names; no token
  // without one. OpenProcessToken fails with `tokenOpenError` when set.
  std::optional<std::string> ownerSid;
  std::optional<std::uint32_t> tokenOpenError;
};

// An account that the local system can name from its SID.
struct AccountModel {
  std::string sid;
  std::u16string name;
  std::u16string domain;
};

// A top-level window, in the platform's enumeration order.
struct WindowModel {
  std::uintptr_t handle = 0;
  std::uint32_t processId = 0;
  std::uint32_t threadId = 0;
  bool visible = true;
};

// The region of the process's memory that starts at `address`, or null.
MemoryRegion* FindRegion(ProcessModel& process, std::uint64_t address);

// The strings and environment of a process, as its parameters block holds them.
struct ProcessParametersModel {
  std::u16string imagePath;
  std::u16string commandLine;
  std::u16string currentDirectory;
  std::u16string dllPath;
  std::u16string windowTitle;
  std::u16string desktop;
  // The whole block: NUL-separated "NAME=value" strings and a final NUL.
  std::u16string environment;
};

// Lays out a PEB, its parameters block, each string and the environment as
// separate regions of the process's memory, from `base` upwards, and points
// the process's PEB address at them.
void LayOutParameters(ProcessModel& process, const ProcessParametersModel& parameters,
                      std::uint64_t base = 0x10000);
// The same for the 32-bit copies of a 32-bit process, which then has both:
// points its 32-bit PEB address at them. The bytes of these blocks that no
// field above describes are not zero, so that a field read at the width of
// the 64-bit one takes in its neighbour.
void LayOutParameters32(ProcessModel& process, const ProcessParametersModel& parameters,
                        std::uint64_t base = 0x400000);

// A module on a process's loader list.
struct ModuleModel {
  std::u16string path;  // its file name is the part after the last '\\'
  std::uint64_t base = 0;
  std::uint32_t size = 0;
  // Its strings lie in a region of their own, the file name apart from the
  // path, rather than beside its entry, where the loader keeps them as a
  // rule.
  bool stringsApart = false;
};

// Lays out the loader data and an entry for each module, linked in this
// (load) order, each followed by its strings, in one region of whole pages
// from `base`, and points the process's PEB (LayOutParameters) at it; with
// `wow64` the 32-bit ones, from the 32-bit PEB (LayOutParameters32). Answers
// the address of each entry.
std::vector<std::uint64_t> LayOutModules(ProcessModel& process,
                                         const std::vector<ModuleModel>& modules, bool wow64,
                                         std::uint64_t base = 0x800000);
// The byte at `address` of the process's memory, for a test to change in
// place; null outside its regions.
std::byte* MemoryAt(ProcessModel& process, std::uint64_t address);

class System {
 public:
  std::vector<ProcessModel> processes;

  std::vector<AccountModel> accounts;
  std::vector<WindowModel> windows;
  // Last errors that the next token queries fail with, one a call; 0 lets a
  // call run.
  std::deque<std::uint32_t> tokenQueryErrors;

  // Called as a fake platform call returns, with the call's name: lets a
  // test act at an exact point between the library's platform calls.
  std::function<void(std::string_view call)> afterCall;
  void Returning(std::string_view call) {
    if (afterCall) afterCall(call);
  }

  // The platform module is loaded, and which of its entry points are missing.
  bool ntdllLoaded = true;
  std::set<std::string> missingEntryPoints;

  // Each snapshot query takes the next scripted step, if any: a step that
  // returns a status makes the query answer it without writing anything; one
  // that returns nothing lets the query run (after whatever the step changed).
  using QueryStep = std::function<std::optional<Status>()>;
  void ScriptSnapshotQuery(QueryStep step) { snapshotScript_.push_back(std::move(step)); }
  void FailSnapshotQuery(Status status) {
    ScriptSnapshotQuery([status] { return std::optional<Status>(status); });
  }
  void PassSnapshotQuery() {
    ScriptSnapshotQuery([] { return std::optional<Status>(); });
  }
  int SnapshotQueryCount() const { return snapshotQueries_; }

  ProcessModel* FindProcess(std::uint32_t id) {
    for (auto& p : processes)
      if (p.id == id) return &p;
    return nullptr;
  }

  // Held by each fake call while it uses `processes` or `accounts`, so that
  // threads of a test can share the system. Recursive: a test's callback may
  // call back in.
  std::recursive_mutex& ModelMutex() { return modelMutex_; }

  Status QuerySnapshot(void* buffer, std::uint32_t size, std::uint32_t* needed);

  // The fallible platform calls made from now on, by name, in order; the
  // calls that CloseHandle, IsBadReadPtr and IsBadWritePtr make are not among
  // them (the first cannot fail on a handle the library holds, the others
  // test the caller's own memory).
  void RecordCalls() {
    const std::lock_guard lock(faultMutex_);
    recorded_.clear();
    openedBy_.clear();
    callsSeen_ = 0;
    recording_ = true;
  }
  std::vector<RecordedCall> RecordedCalls() {
    const std::lock_guard lock(faultMutex_);
    return recorded_;
  }
  // The n-th fallible call from now (0: the next) fails in this way.
  void FailCall(int n, CallFault fault) {
    const std::lock_guard lock(faultMutex_);
    plannedFault_ = fault;
    plannedAt_ = callsSeen_ + n;
    injected_ = false;
  }
  // Whether the fault planned by FailCall has been injected.
  bool CallFailed() {
    const std::lock_guard lock(faultMutex_);
    return injected_;
  }
  // Called as each fallible call starts (`call` must outlive the system):
  // counts it and answers the fault it must fail with, if any, and its place
  // in the recording (-1: none).
  std::optional<CallFault> Intercept(std::string_view call, int& record);
  // What the recorded call was about; that it opened a handle; that it was
  // given one.
  void Describe(int record, std::string about);
  void Opened(int record, const void* handle);
  void Given(int record, const void* handle);

 private:
  std::mutex faultMutex_;
  bool recording_ = false;
  std::vector<RecordedCall> recorded_;
  std::map<const void*, int> openedBy_;  // handles that recorded calls opened
  int callsSeen_ = 0;
  std::optional<CallFault> plannedFault_;
  int plannedAt_ = 0;
  bool injected_ = false;

  std::deque<QueryStep> snapshotScript_;
  int snapshotQueries_ = 0;
  std::recursive_mutex modelMutex_;
};

// The thread with this ID and the process that owns it, or nulls.
std::pair<ProcessModel*, ThreadModel*> FindThread(System& system, std::uint32_t id);

// The binary form of a SID written as "S-1-<authority>-<sub>-...", and back.
std::vector<std::uint8_t> SidFromText(const std::string& text);
std::string SidToText(const std::uint8_t* sid);

// The system that the platform calls serve: the installed one, else one
// without processes; never null.
System* Installed();
// Installs a system (null: none) and returns the one installed before, if any.
System* Install(System* system);

// Installs a system for the lifetime of this object.
class ScopedSystem {
 public:
  explicit ScopedSystem(System& system) : previous_(Install(&system)) {}
  ~ScopedSystem() { Install(previous_); }
  ScopedSystem(const ScopedSystem&) = delete;
  ScopedSystem& operator=(const ScopedSystem&) = delete;

 private:
  System* previous_;
};

// Platform handles opened and not yet closed, over all kinds.
std::size_t OpenHandleCount();

// The bytes that a snapshot of these processes takes in the platform format.
std::size_t SnapshotSize(const std::vector<ProcessModel>& processes);
// Writes the snapshot at `buffer` (at least SnapshotSize bytes); the name
// pointers are absolute addresses inside it.
void WriteSnapshot(const std::vector<ProcessModel>& processes, std::byte* buffer);

}  // namespace zel::fake
