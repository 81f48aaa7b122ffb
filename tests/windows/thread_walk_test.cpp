// The thread walk and thread environment blocks on the real platform, checked
// against the host's own threads.
#include <windows.h>
#include <winternl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "ZelProcess.h"
#include "support/protected_process.h"
#include "support/windows/comparable.h"
#include "support/windows/host_handles.h"
#include "support/windows/self_view.h"
#include "platform/windows/block_layouts.h"

namespace {

using zel::layout::Load;
using namespace zel::test;

using TebReader = zel::test::ProtectedProcess;

std::uint64_t CreationTicks(HANDLE thread) {
  FILETIME create{}, exit{}, kernel{}, user{};
  EXPECT_TRUE(GetThreadTimes(thread, &create, &exit, &kernel, &user));
  return Ticks(create);
}

// A second host thread that stays parked on an event until the test ends, so
// that it is in every snapshot the test takes.
class ParkedThread {
 public:
  ParkedThread()
      : ready_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        release_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    if (!ready_ || !release_) return;
    thread_ = OwnedHandle(CreateThread(nullptr, 0, &Main, this, 0, nullptr));
    if (thread_) WaitForSingleObject(ready_.Get(), INFINITE);
  }
  ParkedThread(const ParkedThread&) = delete;
  ParkedThread& operator=(const ParkedThread&) = delete;
  ~ParkedThread() {
    if (!thread_) return;
    SetEvent(release_.Get());
    WaitForSingleObject(thread_.Get(), INFINITE);
  }

  bool Running() const { return static_cast<bool>(thread_); }
  HANDLE Handle() const { return thread_.Get(); }
  DWORD Id() const { return GetThreadId(thread_.Get()); }
  // As the thread itself saw them.
  DWORD OwnId() const { return ownId_; }
  const void* OwnTeb() const { return ownTeb_; }

 private:
  static DWORD WINAPI Main(void* argument) {
    auto* self = static_cast<ParkedThread*>(argument);
    self->ownId_ = GetCurrentThreadId();
    self->ownTeb_ = CurrentTeb();
    SetEvent(self->ready_.Get());
    WaitForSingleObject(self->release_.Get(), INFINITE);
    return 0;
  }

  OwnedHandle ready_;
  OwnedHandle release_;
  OwnedHandle thread_;
  DWORD ownId_ = 0;
  const void* ownTeb_ = nullptr;
};

struct WalkedThread {
  DWORD parent = 0;
  std::uint64_t created = 0;
};

// The host's threads as one walk over the library's snapshot sees them.
std::map<DWORD, WalkedThread> WalkHostThreads(CZelProcess& processes) {
  std::map<DWORD, WalkedThread> threads;
  ZelHandle self(processes, processes.CreateHandleFromPID(GetCurrentProcessId()));
  EXPECT_TRUE(self);
  if (!self) return threads;
  const unsigned count = processes.GetThreadCount(self.Get());
  ZelHandle thread(processes, processes.FindFirstThread(self.Get()));
  EXPECT_TRUE(thread);
  if (!thread) return threads;
  unsigned walked = 0;
  for (;;) {
    ++walked;
    WalkedThread facts;
    facts.parent = processes.GetThreadParentProcess(thread.Get());
    FILETIME created{};
    EXPECT_NE(processes.GetThreadCreateTime(thread.Get(), created), 0);
    facts.created = Ticks(created);
    threads.emplace(processes.GetThreadID(thread.Get()), facts);
    if (processes.FindNextThread(thread.Get()) != 1) break;
  }
  EXPECT_EQ(processes.GetErrorCode(), static_cast<ZelCode>(ERROR_NO_MORE_ITEMS));
  EXPECT_EQ(walked, count);
  EXPECT_EQ(threads.size(), walked) << "a thread came up twice";
  EXPECT_EQ(thread.Close(), 1);
  EXPECT_EQ(self.Close(), 1);
  return threads;
}

TEST(ThreadWalkOnWindows, HostThreadsAppearWithTheirFacts) {
  ParkedThread parked;
  ASSERT_TRUE(parked.Running());
  ASSERT_EQ(parked.Id(), parked.OwnId());

  CZelProcess processes;
  const std::map<DWORD, WalkedThread> threads = WalkHostThreads(processes);
  ASSERT_TRUE(threads.contains(GetCurrentThreadId()));
  ASSERT_TRUE(threads.contains(parked.Id()));
  for (const auto& [id, facts] : threads)
    EXPECT_EQ(facts.parent, GetCurrentProcessId()) << "thread " << id;

  EXPECT_EQ(threads.at(GetCurrentThreadId()).created, CreationTicks(GetCurrentThread()));
  EXPECT_EQ(threads.at(parked.Id()).created, CreationTicks(parked.Handle()));
  // Threads the platform started in the host are held to the same clock.
  for (const auto& [id, facts] : threads) {
    // One that has ended since may have passed its ID on to another process.
    OwnedHandle other(OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, id));
    if (other && GetProcessIdOfThread(other.Get()) == GetCurrentProcessId()) {
      EXPECT_EQ(facts.created, CreationTicks(other.Get())) << "thread " << id;
    }
  }
}

TEST(ThreadWalkOnWindows, HandleFromThreadIdStaysWithinItsProcess) {
  ParkedThread parked;
  ASSERT_TRUE(parked.Running());

  CZelProcess processes;
  ZelHandle self(processes, processes.CreateHandleFromPID(GetCurrentProcessId()));
  ASSERT_TRUE(self);
  for (DWORD id : {parked.Id(), GetCurrentThreadId()}) {
    ZelHandle thread(processes, processes.CreateHandleFromTID(self.Get(), id));
    ASSERT_TRUE(thread) << "thread " << id;
    EXPECT_EQ(processes.GetThreadID(thread.Get()), id);
    EXPECT_EQ(processes.GetThreadParentProcess(thread.Get()), GetCurrentProcessId());
    EXPECT_EQ(thread.Close(), 1);
  }
  ZelHandle parkedThread(processes, processes.CreateHandleFromTID(self.Get(), parked.Id()));
  ASSERT_TRUE(parkedThread);
  FILETIME created{};
  EXPECT_NE(processes.GetThreadCreateTime(parkedThread.Get(), created), 0);
  EXPECT_EQ(Ticks(created), CreationTicks(parked.Handle()));
  EXPECT_EQ(parkedThread.Close(), 1);

  // A thread of another process in the same snapshot: found under its own
  // process, not under the host.
  ZelHandle other(processes, processes.FindFirstProcess(L""));
  ASSERT_TRUE(other);
  DWORD foreignThread = 0;
  do {
    if (processes.GetProcessID(other.Get()) == GetCurrentProcessId()) continue;
    ZelHandle thread(processes, processes.FindFirstThread(other.Get()));
    if (!thread) continue;
    foreignThread = processes.GetThreadID(thread.Get());
    EXPECT_EQ(thread.Close(), 1);
  } while (foreignThread == 0 && processes.FindNextProcess(other.Get()) == 1);
  ASSERT_NE(foreignThread, 0u) << "no other process with a thread";

  ZelHandle found(processes, processes.CreateHandleFromTID(other.Get(), foreignThread));
  EXPECT_TRUE(found);
  EXPECT_EQ(processes.GetThreadID(found.Get()), foreignThread);
  EXPECT_EQ(found.Close(), 1);

  ZelHandle stray(processes, processes.CreateHandleFromTID(self.Get(), foreignThread));
  EXPECT_FALSE(stray);
  EXPECT_EQ(processes.GetErrorCode(), static_cast<ZelCode>(ERROR_NO_MORE_ITEMS));

  EXPECT_EQ(other.Close(), 1);
  EXPECT_EQ(self.Close(), 1);
}

// Reads a host thread's environment block through the library, into a buffer
// with a guard zone behind the copy.
struct TebCopy {
  static constexpr std::byte kFill{0xA5};
  static constexpr std::size_t kGuard = 64;
  std::vector<std::byte> bytes = std::vector<std::byte>(zel::layout::kTebReadSize + kGuard, kFill);

  std::uint64_t Field(std::size_t offset) const {
    return Load<std::uint64_t>(bytes.data(), offset);
  }
  bool GuardIntact() const {
    return std::all_of(bytes.begin() + zel::layout::kTebReadSize, bytes.end(),
                       [](std::byte b) { return b == kFill; });
  }
};

void ExpectTebOf(DWORD threadId, const void* teb) {
  TebReader processes;
  ZelHandle self(processes, processes.CreateHandleFromPID(GetCurrentProcessId()));
  ASSERT_TRUE(self);
  ZelHandle thread(processes, processes.CreateHandleFromTID(self.Get(), threadId));
  ASSERT_TRUE(thread);

  TebCopy copy;
  ASSERT_NE(processes.GetTEB(thread.Get(), reinterpret_cast<_TEB*>(copy.bytes.data())), 0);
  EXPECT_EQ(copy.Field(ZEL_OFFSET(TebPrefix, Self)), reinterpret_cast<std::uintptr_t>(teb));
  EXPECT_EQ(copy.Field(ZEL_OFFSET(TebPrefix, ClientIdProcess)), GetCurrentProcessId());
  EXPECT_EQ(copy.Field(ZEL_OFFSET(TebPrefix, ClientIdThread)), threadId);
  EXPECT_TRUE(copy.GuardIntact()) << "copied past " << zel::layout::kTebReadSize << " bytes";

  EXPECT_EQ(thread.Close(), 1);
  EXPECT_EQ(self.Close(), 1);
}

TEST(ThreadWalkOnWindows, TebOfTheCallingThreadNamesItself) {
  ExpectTebOf(GetCurrentThreadId(), CurrentTeb());
}

TEST(ThreadWalkOnWindows, TebOfAParkedThreadNamesIt) {
  ParkedThread parked;
  ASSERT_TRUE(parked.Running());
  ASSERT_NE(parked.OwnTeb(), nullptr);
  ExpectTebOf(parked.Id(), parked.OwnTeb());
}

}  // namespace
