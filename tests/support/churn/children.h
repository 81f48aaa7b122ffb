// The children that the churn and leak tests start, with the same verbs on
// both targets, so that one plan (tests/churn/) runs on both: a pool that
// keeps restarting short-lived children, and single children that wait until
// the test ends them. On Linux they are programs (support/linux/children.cpp),
// under Wine the test binary again in child modes of its own
// (support/windows/children.cpp).
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace zel::churn {

// Keeps `slots` children running, each of which exits at once or after a
// few random milliseconds, every slot started again as soon as its child has
// ended and been let go of. Threads of the host drive it.
class ChurnPool {
 public:
  explicit ChurnPool(std::size_t slots);
  ChurnPool(const ChurnPool&) = delete;
  ChurnPool& operator=(const ChurnPool&) = delete;
  // Stops restarting, and ends and lets go of the children still running.
  ~ChurnPool();

  std::size_t Started() const { return started_.load(); }
  std::size_t StartFailures() const { return failures_.load(); }
  // The platform's code of the last start that failed, 0 if none did.
  int LastStartFailure() const { return lastFailure_.load(); }
  // Waits a little, at most 100 ms, until `target` children have been started.
  void KeepPace(std::size_t target) const {
    for (int i = 0; i < 50 && Started() < target; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }

 private:
  struct Drivers;
  std::atomic<std::size_t> started_{0};
  std::atomic<std::size_t> failures_{0};
  std::atomic<int> lastFailure_{0};
  std::unique_ptr<Drivers> drivers_;
};

// A child that runs until the test ends it, and is let go of on every path.
class WaitingChild {
 public:
  WaitingChild();
#ifndef _WIN32
  // A program started with these arguments, environment and directory (the
  // host's where they are empty), which stays until it is ended.
  explicit WaitingChild(std::vector<std::string> argv, std::vector<std::string> envp = {},
                        const std::string& directory = "");
  // Waits until it has ended by itself, as End leaves it.
  void WaitUntilEnded();
#endif
  WaitingChild(const WaitingChild&) = delete;
  WaitingChild& operator=(const WaitingChild&) = delete;
  ~WaitingChild();

  unsigned Id() const { return id_; }
  // Ends it and waits until it has ended: the host still holds it, so its ID
  // names a process, one without memory (on Linux a zombie).
  void End();
  // Ends it if need be and lets go of it, so that its ID names no process
  // once the system has let go of it too (WaitUntilGone).
  void Release();

 private:
  struct Process;
  std::unique_ptr<Process> process_;
  unsigned id_ = 0;
};

// Whether a process of this ID can still be found: under Wine an ended
// process stays open for some hundreds of milliseconds after its last handle
// has gone; on Linux a reaped one is gone at once.
bool CanBeFound(unsigned id);

// Waits until none of the processes can be found any more; false if one is
// still there after half a minute.
inline bool WaitUntilGone(const std::vector<unsigned>& ids) {
  for (int attempt = 0; attempt < 3000; ++attempt) {
    if (std::none_of(ids.begin(), ids.end(), CanBeFound)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// What the shared plan takes from the target it runs on.
struct Target {
  const char* name;       // in the lines of figures
  const char* imageName;  // the test binary's, as a snapshot names it
  int listerRounds;       // each costs Wine some seconds of child starts
  // Wine lists a child that is still being started without an image name
  // or a creation time (Lister::TolerateStartingChildrenOf).
  bool listsStartingChildren;
  // Under Wine a child costs some 100 ms of CPU to start, and snapshots
  // taken back to back starve the starts: the refreshes keep pace with the
  // pool so that this many children come and go while they run (0: the
  // pool keeps ahead by itself).
  std::size_t childrenDuringRefreshes;
  // The platform may refuse a start now and then on a loaded machine (once
  // in some hundreds under Wine): one start in this many may fail (0: none).
  std::size_t startsPerAllowedFailure;
};
const Target& ThisTarget();
unsigned HostId();

}  // namespace zel::churn
