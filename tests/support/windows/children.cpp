// The churn tests' children under Wine: the test binary again, in a child
// mode that exits at once or after a moment for the pool, and in one that
// waits until the host tells it to end.
#include "support/churn/children.h"

#include <windows.h>

#include <memory>
#include <optional>
#include <random>
#include <system_error>
#include <thread>
#include <vector>

#include "child_process.h"
#include "host_handles.h"

namespace zel::churn {
namespace {

using zel::test::ChildOptions;
using zel::test::ChildProcess;
using zel::test::MessagePipe;

// Half exit at once; the others after 1 to 5 ms.
int ExitAfterAMoment(MessagePipe&) {
  LARGE_INTEGER counter{};
  ::QueryPerformanceCounter(&counter);
  std::minstd_rand random(static_cast<unsigned>(counter.QuadPart) ^ ::GetCurrentProcessId());
  const unsigned delay = random() % 10;
  if (delay >= 5) ::Sleep(delay - 4);
  return 0;
}

int WaitForTheHost(MessagePipe& host) {
  while (host.Receive()) {
  }
  return 0;
}

const zel::test::ChildMode kExitAfterAMoment("exit-after-a-moment", &ExitAfterAMoment);
const zel::test::ChildMode kWaitForTheHost("wait-for-the-host", &WaitForTheHost);

ChildOptions Mode(const char* name) {
  ChildOptions options;
  options.mode = name;
  return options;
}

// Under Wine, starting a process returns only once the child has
// initialised, so that one thread alone could not keep many slots filled.
constexpr std::size_t kDrivers = 2;

}  // namespace

// Threads of the host, each with a share of the slots, and an event that
// tells them to stop.
struct ChurnPool::Drivers {
  ChurnPool& pool;
  zel::host::OwnedHandle stop{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  std::vector<std::thread> threads;

  void Run(std::size_t slots);
};

ChurnPool::ChurnPool(std::size_t slots) : drivers_(std::make_unique<Drivers>(*this)) {
  if (!drivers_->stop)
    throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                            "CreateEventW");
  for (std::size_t i = 0; i < kDrivers; ++i) {
    const std::size_t share = slots / kDrivers + (i < slots % kDrivers ? 1 : 0);
    drivers_->threads.emplace_back([this, share] { drivers_->Run(share); });
  }
}

ChurnPool::~ChurnPool() {
  ::SetEvent(drivers_->stop.Get());
  for (std::thread& thread : drivers_->threads) thread.join();
}

void ChurnPool::Drivers::Run(std::size_t count) {
  std::vector<std::optional<ChildProcess>> slots(count);
  const auto start = [&](std::optional<ChildProcess>& slot) {
    slot.reset();
    try {
      slot.emplace(Mode("exit-after-a-moment"));
      ++pool.started_;
    } catch (const std::system_error& error) {
      pool.lastFailure_ = error.code().value();
      ++pool.failures_;
    }
  };
  for (auto& slot : slots) start(slot);

  std::vector<HANDLE> watched;
  for (;;) {
    watched.assign(1, stop.Get());
    for (std::size_t i = 0; i < count; ++i)
      if (slots[i]) watched.push_back(slots[i]->Handle());
    // A slot whose child could not be started tries again a moment later.
    const DWORD timeout = watched.size() == count + 1 ? INFINITE : 1;
    const DWORD woken = ::WaitForMultipleObjects(static_cast<DWORD>(watched.size()), watched.data(),
                                                 FALSE, timeout);
    if (woken == WAIT_OBJECT_0) break;
    if (woken == WAIT_FAILED) break;
    for (std::size_t i = 0; i < count; ++i) {
      if (slots[i] && ::WaitForSingleObject(slots[i]->Handle(), 0) == WAIT_TIMEOUT) continue;
      start(slots[i]);
    }
  }
  // The children's destructors end those still running.
}

// The child's process, until it is let go of.
struct WaitingChild::Process {
  std::optional<ChildProcess> child;
};

WaitingChild::WaitingChild() : process_(std::make_unique<Process>()) {
  process_->child.emplace(Mode("wait-for-the-host"));
  id_ = process_->child->Id();
}

WaitingChild::~WaitingChild() = default;

void WaitingChild::End() {
  if (process_->child->Handle() != nullptr) process_->child->Finish();
}

void WaitingChild::Release() {
  End();
  process_->child->Release();
}

bool CanBeFound(unsigned id) {
  return static_cast<bool>(
      zel::host::OwnedHandle(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id)));
}

const Target& ThisTarget() {
  static const Target target = {.name = "wine",
                                .imageName = "churn_tests.exe",
                                .listerRounds = 2,
                                .listsStartingChildren = true,
                                .childrenDuringRefreshes = 60,
                                .startsPerAllowedFailure = 20};
  return target;
}

unsigned HostId() { return static_cast<unsigned>(::GetCurrentProcessId()); }

}  // namespace zel::churn
