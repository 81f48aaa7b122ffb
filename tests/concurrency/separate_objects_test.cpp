// Several threads, each with its own process objects, on the machine's
// processes at once. Distinct objects share nothing but the pool of handle
// records and what the Linux source reads once for all (the boot time), which
// must stand being used from every thread: a run under ThreadSanitizer proves
// it free of races.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include <atomic>
#include <thread>
#include <vector>

#include "ZelProcess.h"

namespace {

constexpr int kThreads = 4;
constexpr int kRounds = 5;

// What one thread saw go wrong on its own process, which it may always read.
struct Tally {
  int walks = 0;
  int own_process_misses = 0;
  int string_misses = 0;
  int owner_misses = 0;
  int environment_misses = 0;
  int thread_misses = 0;
};

void UseOwnObjects(Tally& tally) {
  const auto self = static_cast<unsigned int>(getpid());
  for (int round = 0; round < kRounds; ++round) {
    CZelProcess p;
    CZelProcess copy(p);  // shares the snapshot with `p`, on this thread only
    for (void* h = p.FindFirstProcess(CZelString()); h;) {
      p.GetName(h);
      _FILETIME t;
      p.GetCreateTime(h, t);
      p.GetCommandLineW(h);
      if (!p.FindNextProcess(h)) {
        p.CloseHandle(h);
        break;
      }
    }
    ++tally.walks;

    void* me = copy.CreateHandleFromPID(self);
    if (!me) {
      ++tally.own_process_misses;
      continue;
    }
    if (copy.GetImageFile(me).IsEmpty() || copy.GetCurrentDirectoryW(me).IsEmpty())
      ++tally.string_misses;
    CZelString user, domain;
    if (!copy.GetUserAndDomain(me, user, domain)) ++tally.owner_misses;
    unsigned char* environment = copy.GetEnvironmentBuffer(me);
    if (!environment) ++tally.environment_misses;
    copy.FreeEnvironmentBuffer(environment);
    void* thread = copy.FindFirstThread(me);
    if (!thread) ++tally.thread_misses;
    _FILETIME created;
    while (thread && copy.FindNextThread(thread)) copy.GetThreadCreateTime(thread, created);
    if (thread) copy.CloseHandle(thread);
    copy.CloseHandle(me);
    p.Refresh();
  }
}

std::size_t OpenDescriptors() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
    ++count;
  return count;
}

TEST(SeparateObjects, ThreadsWithTheirOwnObjectsRunTogether) {
  const std::size_t descriptors = OpenDescriptors();
  std::vector<Tally> tallies(kThreads);
  std::vector<std::thread> threads;
  for (Tally& tally : tallies) threads.emplace_back(UseOwnObjects, std::ref(tally));
  for (std::thread& t : threads) t.join();
  for (const Tally& tally : tallies) {
    EXPECT_EQ(tally.walks, kRounds);
    EXPECT_EQ(tally.own_process_misses, 0);
    EXPECT_EQ(tally.string_misses, 0);
    EXPECT_EQ(tally.owner_misses, 0);
    EXPECT_EQ(tally.environment_misses, 0);
    EXPECT_EQ(tally.thread_misses, 0);
  }
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

}  // namespace
