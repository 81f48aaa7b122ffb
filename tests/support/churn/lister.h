// A lister that reads everything the library gives about every process of a
// snapshot: the snapshot facts and thread walk, and, when asked, every live
// string, the environment, the owner and the main window. Each operation's
// code goes to a tally, together with any result that disagrees with its
// code or any record that is not well formed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ZelProcess.h"
#include "code_tally.h"

namespace zel::churn {

// The current time in the platform's 100-ns units since 1601.
std::uint64_t NowTicks();

struct ListerFigures {
  std::size_t snapshots = 0;
  std::size_t processes = 0;
  std::size_t threads = 0;
  std::size_t factCalls = 0;    // snapshot facts and thread facts
  std::size_t liveCalls = 0;    // live strings, environment, owner, main window
  std::size_t stringsRead = 0;  // live strings that came back with text
  std::size_t environmentCopies = 0;
  std::size_t ownersRead = 0;
  std::size_t startingSeen = 0;  // records of children still being started

  // The figures as `name=value` words for a run's summary line.
  std::string Line() const;
};

// A process as a walk met it.
struct WalkedProcess {
  unsigned id = 0;
  unsigned parent = 0;
};

class Lister {
 public:
  // The steps of one process's reading, in order; a hook runs before each.
  enum Step : int {
    kName,
    kId,
    kParent,
    kPriority,
    kThreadCount,
    kCreateTime,
    kUserTime,
    kKernelTime,
    kMemoryCounters,
    kIoCounters,
    kThreadWalk,
    kImageFile,
    kCommandLine,
    kCurrentDirectory,
    kWindowTitle,
    kDesktopName,
    kPath,
    kEnvironment,
    kOwner,
    kMainWindow,
    kStepCount
  };
  static constexpr int kFirstLiveStep = kImageFile;
  // Runs before each step of a process's reading, with the process's ID as
  // the snapshot gives it: lets a test end the process at an exact point.
  using BetweenSteps = std::function<void(unsigned processId, int step)>;

  Lister(CZelProcess& processes, CodeTally& tally) : processes_(processes), tally_(tally) {}

  // Wine lists a process that is still being started without an image name
  // or a creation time (the server's 0x5555555555555555 fill), and then not
  // always with its parent yet: a record with that fill, or a child of
  // `parent` without a name or with a creation time to come, is taken for
  // one, and its name and times are not checked.
  void TolerateStartingChildrenOf(unsigned parent) { startingParent_ = parent; }

  // Walks the object's current snapshot from first to last process, reading
  // the snapshot facts and threads of each, and the live facts too when
  // `live`. Returns the processes walked.
  std::vector<WalkedProcess> Walk(bool live, const BetweenSteps& between = {});

  const ListerFigures& Figures() const { return figures_; }

 private:
  bool IsStarting(void* process);
  void ReadSnapshotFacts(void* process, unsigned id, const BetweenSteps& between);
  void WalkThreads(void* process, unsigned id, unsigned count, bool starting);
  void ReadLiveFacts(void* process, unsigned id, const BetweenSteps& between);
  void ReadString(void* process, unsigned id, const char* operation,
                  CZelString (CZelProcess::*read)(void*));
  void ReadEnvironment(void* process, unsigned id);
  void ReadOwner(void* process, unsigned id);
  // Leaves 0 in the holder, so that the code read after the next call is
  // exactly what that call recorded, even for a call that records nothing
  // when it succeeds.
  void Prime(void* process) { processes_.GetProcessID(process); }
  void Record(const char* operation) { tally_.Record(operation, processes_.GetErrorCode()); }

  CZelProcess& processes_;
  CodeTally& tally_;
  ListerFigures figures_;
  static constexpr unsigned kNoParent = 0xFFFFFFFF;
  unsigned startingParent_ = kNoParent;
};

}  // namespace zel::churn
