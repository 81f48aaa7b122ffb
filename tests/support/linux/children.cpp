// The churn tests' children on Linux: /bin/true and short /bin/sleep runs
// for the pool, /bin/sleep (or the program a test names) for a child that
// waits; each waited for by its own ID, so that nothing else's exit is
// taken.
#include "support/churn/children.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <chrono>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <system_error>
#include <vector>

extern char** environ;

namespace zel::churn {
namespace {

// Runs `argv` with `envp` (the host's environment when empty) in
// `directory` (the host's when empty); -1 with errno set when it cannot be
// started.
pid_t Spawn(std::vector<std::string> argv, std::vector<std::string> envp = {},
            const std::string& directory = "") {
  std::vector<char*> args, env;
  for (std::string& arg : argv) args.push_back(arg.data());
  for (std::string& variable : envp) env.push_back(variable.data());
  args.push_back(nullptr);
  env.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!directory.empty()) posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
  pid_t pid = -1;
  const int error = posix_spawn(&pid, args[0], &actions, nullptr, args.data(),
                                envp.empty() ? environ : env.data());
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) errno = error;
  return error == 0 ? pid : -1;
}

void ReapNow(pid_t pid) {
  while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}

// A descriptor that becomes readable when the process exits; close-on-exec.
int OpenPidFd(pid_t pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0)); }

constexpr int kPoolNice = 19;

struct Slot {
  pid_t pid = -1;
  int pidfd = -1;
};

}  // namespace

// One thread drives the pool, and an eventfd tells it to stop.
struct ChurnPool::Drivers {
  ChurnPool& pool;
  int stop = eventfd(0, EFD_CLOEXEC);
  std::thread driver;

  void Run(std::size_t slots);
};

ChurnPool::ChurnPool(std::size_t slots) : drivers_(std::make_unique<Drivers>(*this)) {
  if (drivers_->stop < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
  drivers_->driver = std::thread([this, slots] { drivers_->Run(slots); });
}

ChurnPool::~ChurnPool() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto written = write(drivers_->stop, &one, sizeof one);
  drivers_->driver.join();
  close(drivers_->stop);
}

void ChurnPool::Drivers::Run(std::size_t count) {
  // The pool and its children (which inherit it) take what CPU the test's own
  // thread leaves: the churn goes on beside the calls without slowing them to
  // a crawl on a small machine.
  setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), kPoolNice);
  std::minstd_rand random(static_cast<unsigned>(getpid()));
  std::vector<Slot> slots(count);
  const auto start = [&](Slot& slot) {
    // Half exit at once; the others after 1 to 9 ms.
    const unsigned delay = random() % 18;
    slot.pid = delay < 9 ? Spawn({"/bin/true"})
                         : Spawn({"/bin/sleep", "0.00" + std::to_string(delay - 8)});
    if (slot.pid < 0) {
      pool.lastFailure_ = errno;
      ++pool.failures_;
      return;
    }
    ++pool.started_;
    slot.pidfd = OpenPidFd(slot.pid);
    if (slot.pidfd < 0) {
      pool.lastFailure_ = errno;
      // Without a descriptor to wait on, the slot waits for this child here.
      ReapNow(slot.pid);
      slot.pid = -1;
      ++pool.failures_;
    }
  };
  for (Slot& slot : slots) start(slot);

  std::vector<pollfd> watched(count + 1);
  for (;;) {
    watched[0] = {stop, POLLIN, 0};
    bool vacant = false;
    for (std::size_t i = 0; i < count; ++i) {
      watched[i + 1] = {slots[i].pidfd, POLLIN, 0};  // a negative fd is skipped
      vacant = vacant || slots[i].pid < 0;
    }
    // A slot whose child could not be started tries again a moment later.
    if (poll(watched.data(), watched.size(), vacant ? 1 : -1) < 0 && errno != EINTR) break;
    if (watched[0].revents != 0) break;
    for (std::size_t i = 0; i < count; ++i) {
      Slot& slot = slots[i];
      if (slot.pid >= 0 && watched[i + 1].revents == 0) continue;
      if (slot.pid >= 0) {
        ReapNow(slot.pid);
        close(slot.pidfd);
        slot = Slot{};
      }
      start(slot);
    }
  }
  for (Slot& slot : slots) {
    if (slot.pid < 0) continue;
    kill(slot.pid, SIGKILL);
    ReapNow(slot.pid);
    close(slot.pidfd);
  }
}

// The child's process, until it is let go of.
struct WaitingChild::Process {
  pid_t pid = -1;
  bool ended = false;
};

WaitingChild::WaitingChild() : WaitingChild({"/bin/sleep", "1000"}) {}

WaitingChild::WaitingChild(std::vector<std::string> argv, std::vector<std::string> envp,
                           const std::string& directory)
    : process_(std::make_unique<Process>()) {
  const std::string program = argv.empty() ? "" : argv[0];
  process_->pid = Spawn(std::move(argv), std::move(envp), directory);
  if (process_->pid < 0) throw std::runtime_error("cannot start " + program);
  id_ = static_cast<unsigned>(process_->pid);
}

WaitingChild::~WaitingChild() { Release(); }

void WaitingChild::End() {
  if (process_->pid < 0 || process_->ended) return;
  kill(process_->pid, SIGKILL);
  WaitUntilEnded();
}

void WaitingChild::WaitUntilEnded() {
  if (process_->pid < 0 || process_->ended) return;
  siginfo_t info{};
  while (waitid(P_PID, static_cast<id_t>(process_->pid), &info, WEXITED | WNOWAIT) < 0 &&
         errno == EINTR) {
  }
  process_->ended = true;
}

void WaitingChild::Release() {
  if (process_->pid < 0) return;
  if (!process_->ended) kill(process_->pid, SIGKILL);
  ReapNow(process_->pid);
  process_->pid = -1;
}

bool CanBeFound(unsigned id) { return kill(static_cast<pid_t>(id), 0) == 0 || errno != ESRCH; }

const Target& ThisTarget() {
  static const Target target = {.name = "linux",
                                .imageName = "churn_tests",
                                .listerRounds = 10,
                                .listsStartingChildren = false,
                                .childrenDuringRefreshes = 0,
                                .startsPerAllowedFailure = 0};
  return target;
}

unsigned HostId() { return static_cast<unsigned>(getpid()); }

}  // namespace zel::churn
