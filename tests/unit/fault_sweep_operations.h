// The operations that the fault sweep runs: how to run each on a prepared
// system, what its caller must find afterwards, and the outcome of each fault
// whose code is not simply the one the failed platform call gave.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ZelProcess.h"
#include "support/protected_process.h"
#include "fake_windows/fake_system.h"

namespace zel::sweep {

// The code in the holder before each run, so that "nothing recorded" shows.
inline constexpr ZelCode kNothingRecorded = 0x5EEDC0DE;
// What a run reports when std::bad_alloc left the operation.
inline constexpr ZelCode kBadAllocEscaped = 0xBAD0A110;

using Probe = test::ProtectedProcess;

// What a run starts from: a system whose target process has every live fact
// to give, the library's object on it, the handles an operation takes, and
// what the run leaves for its caller.
class Stage {
 public:
  Stage();
  ~Stage();
  Stage(const Stage&) = delete;
  Stage& operator=(const Stage&) = delete;

  fake::System system;
  std::optional<fake::ScopedSystem> use;
  std::optional<Probe> object;
  Probe& p() { return *object; }

  void* process = nullptr;               // a handle on the target
  void* wow64 = nullptr;                 // a handle on a 32-bit target
  void* walk = nullptr;                  // a walk of the processes named "*.exe"
  void* thread = nullptr;                // a handle on the target's first thread
  void* spare = nullptr;                 // a handle that an operation may close
  unsigned char* environment = nullptr;  // a copy that an operation may give back
  // The module walk: a handle on the target's second module, a copy that an
  // operation may close, and the pattern that a new walk moves in.
  void* modules = nullptr;
  void* spareModules = nullptr;
  CZelString modulePattern;
  CZelString pattern;
  CZelString user;
  CZelString domain;

  // What the run reported and produced.
  bool failed = false;
  std::optional<ZelCode> thrown;
  void* made = nullptr;
  CZelString text;
  std::vector<unsigned char> buffer;
};

struct Expectation {
  bool fails = true;
  ZelCode code = 0;
};

// The outcome of failing one platform call, by its name and what it does
// (empty: every call of the name), or of failing an allocation (the call
// "new"). What a call does is what the recording says it was about (the
// region of a read, "PEB", "string", ...; "window of process 4"); for a call
// that opens a handle, what the handle is first used for: "for " and that
// call's name, with what it was about in parentheses ("for
// ReadProcessMemory (PEB)").
struct Rule {
  std::string call;
  std::string does;
  std::optional<fake::CallFault::Kind> kind;
  Expectation expect;
};

struct Operation {
  std::string name;
  std::function<void(Stage&)> run;
  // Whether the caller's outputs are as promised for the run's result; also
  // gives back what the run handed to its caller.
  std::function<bool(Stage&)> settle;
  Expectation success;
  std::vector<Rule> rules;

  // Without a rule, a failed call makes the operation fail with the call's
  // own code, and a failed allocation with ERROR_OUTOFMEMORY.
  Expectation Expect(const std::string& call, const std::string& does,
                     const fake::CallFault& fault) const;
  Expectation ExpectAllocation() const;
};

const std::vector<Operation>& Operations();

}  // namespace zel::sweep
