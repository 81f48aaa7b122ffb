#include "children.h"

#include <random>
#include <system_error>
#include <vector>

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

}  // namespace

ChurnPool::ChurnPool(std::size_t slots, std::size_t drivers)
    : stop_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  if (!stop_)
    throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                            "CreateEventW");
  for (std::size_t i = 0; i < drivers; ++i) {
    const std::size_t share = slots / drivers + (i < slots % drivers ? 1 : 0);
    drivers_.emplace_back([this, share] { Run(share); });
  }
}

ChurnPool::~ChurnPool() {
  ::SetEvent(stop_.Get());
  for (std::thread& driver : drivers_) driver.join();
}

void ChurnPool::Run(std::size_t count) {
  std::vector<std::optional<ChildProcess>> slots(count);
  const auto start = [&](std::optional<ChildProcess>& slot) {
    slot.reset();
    try {
      slot.emplace(Mode("exit-after-a-moment"));
      ++started_;
    } catch (const std::system_error& error) {
      lastFailure_ = error.code().value();
      ++failures_;
    }
  };
  for (auto& slot : slots) start(slot);

  std::vector<HANDLE> watched;
  std::vector<std::size_t> slotOf;
  for (;;) {
    watched.assign(1, stop_.Get());
    slotOf.assign(1, 0);
    for (std::size_t i = 0; i < count; ++i) {
      if (!slots[i]) continue;
      watched.push_back(slots[i]->Handle());
      slotOf.push_back(i);
    }
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

WaitingChild::WaitingChild() {
  child_.emplace(Mode("wait-for-the-host"));
  id_ = child_->Id();
}

void WaitingChild::End() {
  if (child_ && child_->Handle() != nullptr) child_->Finish();
}

void WaitingChild::Release() {
  End();
  if (child_) child_->Release();
}

bool WaitUntilGone(const std::vector<DWORD>& ids) {
  for (int attempt = 0; attempt < 500; ++attempt) {
    bool any = false;
    for (const DWORD id : ids) {
      const zel::host::OwnedHandle process(
          ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
      any = any || static_cast<bool>(process);
    }
    if (!any) return true;
    ::Sleep(10);
  }
  return false;
}

}  // namespace zel::churn
