// Children of the Windows test host: a pool that keeps restarting
// short-lived children, and single children that wait until told to end.
// Each child is the test binary again, in a child mode of its own.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <optional>
#include <thread>
#include <vector>

#include "child_process.h"
#include "host_handles.h"

namespace zel::churn {

// Keeps `slots` children running, each of which exits at once or after a
// few random milliseconds, every slot started again as soon as its child
// has ended. Threads of the host drive it, each a share of the slots: under
// Wine, starting a process returns only once the child has initialised,
// so one thread alone could not keep many slots filled.
class ChurnPool {
 public:
  explicit ChurnPool(std::size_t slots, std::size_t drivers = 2);
  ChurnPool(const ChurnPool&) = delete;
  ChurnPool& operator=(const ChurnPool&) = delete;
  // Stops restarting and ends the children still running.
  ~ChurnPool();

  std::size_t Started() const { return started_.load(); }
  std::size_t StartFailures() const { return failures_.load(); }
  // The Windows code of the last start that failed, 0 if none did.
  int LastStartFailure() const { return lastFailure_.load(); }

 private:
  void Run(std::size_t slots);

  zel::host::OwnedHandle stop_;
  std::atomic<std::size_t> started_{0};
  std::atomic<std::size_t> failures_{0};
  std::atomic<int> lastFailure_{0};
  std::vector<std::thread> drivers_;
};

// A child that waits until the host tells it to end.
class WaitingChild {
 public:
  WaitingChild();

  DWORD Id() const { return id_; }
  // Tells it to end and waits until it has: the host still holds it, so its
  // ID names a process, one without memory.
  void End();
  // Ends it if need be and closes the host's handles on it, so that its ID
  // names no process once the system has let go of it.
  void Release();

 private:
  std::optional<zel::test::ChildProcess> child_;
  DWORD id_ = 0;
};

// Waits until none of the processes can be opened any more: an ended
// process stays open for a while after its last handle has gone (under
// Wine, some hundreds of milliseconds). False if one is still there after
// a few seconds.
bool WaitUntilGone(const std::vector<DWORD>& ids);

}  // namespace zel::churn
