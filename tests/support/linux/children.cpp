#include "children.h"

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
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

extern char** environ;

namespace zel::churn {
namespace {

// Runs `argv` with `envp` (the host's environment when empty) in
// `directory` (the host's when empty); -1 when it cannot be started.
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

ChurnPool::ChurnPool(std::size_t slots) : stop_(eventfd(0, EFD_CLOEXEC)) {
  if (stop_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
  driver_ = std::thread([this, slots] { Run(slots); });
}

ChurnPool::~ChurnPool() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto written = write(stop_, &one, sizeof one);
  driver_.join();
  close(stop_);
}

void ChurnPool::Run(std::size_t count) {
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
      ++failures_;
      return;
    }
    ++started_;
    slot.pidfd = OpenPidFd(slot.pid);
    if (slot.pidfd < 0) {
      // Without a descriptor to wait on, the slot waits for this child here.
      ReapNow(slot.pid);
      slot.pid = -1;
      ++failures_;
    }
  };
  for (Slot& slot : slots) start(slot);

  std::vector<pollfd> watched(count + 1);
  for (;;) {
    watched[0] = {stop_, POLLIN, 0};
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

WaitingChild::WaitingChild(std::vector<std::string> argv, std::vector<std::string> envp,
                           const std::string& directory) {
  const std::string program = argv.empty() ? "" : argv[0];
  pid_ = Spawn(std::move(argv), std::move(envp), directory);
  if (pid_ < 0) throw std::runtime_error("cannot start " + program);
}

void WaitingChild::Kill() {
  if (pid_ < 0 || exited_) return;
  kill(pid_, SIGKILL);
  WaitUntilExited();
}

void WaitingChild::WaitUntilExited() {
  if (pid_ < 0 || exited_) return;
  siginfo_t info{};
  while (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
  }
  exited_ = true;
}

void WaitingChild::Reap() {
  if (pid_ < 0) return;
  if (!exited_) kill(pid_, SIGKILL);
  ReapNow(pid_);
  pid_ = -1;
}

}  // namespace zel::churn
