// Children of the Linux test host: a pool that keeps restarting short-lived
// programs, and single children that wait until the test ends them.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <string>
#include <thread>
#include <vector>

namespace zel::churn {

// Keeps `slots` children running: /bin/true, which exits at once, or
// /bin/sleep for a few random milliseconds, each slot started again as soon
// as its child has exited and been reaped. A thread of the host drives it;
// only the pool's own children are waited for, by ID.
class ChurnPool {
 public:
  explicit ChurnPool(std::size_t slots);
  ChurnPool(const ChurnPool&) = delete;
  ChurnPool& operator=(const ChurnPool&) = delete;
  // Stops restarting, ends the children still running and reaps them.
  ~ChurnPool();

  std::size_t Started() const { return started_.load(); }
  std::size_t StartFailures() const { return failures_.load(); }

 private:
  void Run(std::size_t slots);

  int stop_ = -1;  // an eventfd the destructor signals
  std::atomic<std::size_t> started_{0};
  std::atomic<std::size_t> failures_{0};
  std::thread driver_;
};

// A child that runs until the test ends it, and is reaped on every path: by
// default /bin/sleep, or a program that stays until it is killed, started
// with the arguments, environment and directory a test wants (the host's
// environment and directory where they are left empty).
class WaitingChild {
 public:
  WaitingChild() : WaitingChild({"/bin/sleep", "1000"}) {}
  explicit WaitingChild(std::vector<std::string> argv, std::vector<std::string> envp = {},
                        const std::string& directory = "");
  WaitingChild(const WaitingChild&) = delete;
  WaitingChild& operator=(const WaitingChild&) = delete;
  ~WaitingChild() { Reap(); }

  pid_t Id() const { return pid_; }
  // Kills it and waits until it has exited, leaving it a zombie: its ID
  // still names a process, one without memory.
  void Kill();
  // Waits until it has exited by itself, leaving it a zombie.
  void WaitUntilExited();
  // Kills it if need be and reaps it: its ID names no process any more.
  void Reap();

 private:
  pid_t pid_ = -1;
  bool exited_ = false;
};

}  // namespace zel::churn
