// Walking the threads of a process, and reading a thread's environment block.
#include <functional>
#include <utility>
#include <vector>

#include "support/protected_process.h"
#include "support/alloc_fault.h"
#include "support/filetime.h"
#include "support/full_record_pool.h"
#include "support/scripted_system.h"
#include "support/system_test.h"

namespace {

using zel::test::MakeProcess;
using zel::test::RecordOf;
namespace code = zel::code;

using TebReader = zel::test::ProtectedProcess;

class ThreadWalkTest : public zel::test::SystemTest {
 protected:
  void SetUp() override {
    system.processes = {MakeProcess(10, 0, u"none.exe", 0), MakeProcess(20, 0, u"one.exe", 1),
                        MakeProcess(30, 0, u"many.exe", 5), MakeProcess(40, 0, u"after.exe", 2)};
  }
  // Leaves a code that no thread operation records, to see what they keep.
  void Mark(CZelProcess& p) {
    p.FindNextProcess(nullptr);
    ASSERT_EQ(p.GetErrorCode(), code::kInvalidParameter);
  }
};

TEST_F(ThreadWalkTest, WalkOfManyThreadsVisitsEachOnce) {
  CZelProcess p;
  void* process = p.CreateHandleFromPID(30);
  Mark(p);
  void* thread = p.FindFirstThread(process);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(p.GetErrorCode(), code::kInvalidParameter);
  std::vector<unsigned> ids;
  int moves = 0;
  do {
    ids.push_back(p.GetThreadID(thread));
    EXPECT_EQ(p.GetThreadParentProcess(thread), 30u);
    FILETIME created{};
    EXPECT_EQ(p.GetErrorCode(), code::kInvalidParameter);
    EXPECT_EQ(p.GetThreadCreateTime(thread, created), 1);
    EXPECT_EQ(p.GetErrorCode(), 0u);
    EXPECT_EQ(zel::test::Ticks(created), 0x01D1000000000000ULL + ids.back());
    Mark(p);
  } while (p.FindNextThread(thread) && ++moves);
  EXPECT_EQ(moves, 4);
  EXPECT_EQ(p.GetErrorCode(), code::kNoMoreItems);
  EXPECT_EQ(ids, (std::vector<unsigned>{3001, 3002, 3003, 3004, 3005}));
  EXPECT_EQ(p.GetThreadID(thread), 3005u);  // stays on the last entry
  EXPECT_EQ(p.CloseHandle(thread), 1);
  EXPECT_EQ(p.CloseHandle(process), 1);
}

TEST_F(ThreadWalkTest, SingleThreadEndsAtOnceButStaysReadable) {
  CZelProcess p;
  void* process = p.CreateHandleFromPID(20);
  void* thread = p.FindFirstThread(process);
  EXPECT_EQ(p.FindNextThread(thread), 0);
  EXPECT_EQ(p.GetErrorCode(), code::kNoMoreItems);
  EXPECT_EQ(p.GetThreadID(thread), 2001u);
  p.CloseHandle(thread);
  p.CloseHandle(process);
}

TEST_F(ThreadWalkTest, ProcessWithoutThreadsReadsNothingPastItsRecord) {
  TebReader p;
  void* process = p.CreateHandleFromPID(10);
  void* thread = p.FindFirstThread(process);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(p.FindNextThread(thread), 0);
  EXPECT_EQ(p.GetErrorCode(), code::kNoMoreItems);
  EXPECT_EQ(p.GetThreadID(thread), 0xFFFFFFFFu);
  EXPECT_EQ(p.GetErrorCode(), code::kNoMoreItems);
  EXPECT_EQ(p.GetThreadParentProcess(thread), 0xFFFFFFFFu);
  FILETIME t{1, 2};
  EXPECT_EQ(p.GetThreadCreateTime(thread, t), 0);
  EXPECT_EQ(p.GetErrorCode(), code::kNoMoreItems);
  EXPECT_EQ(t.dwLowDateTime, 1u);
  std::vector<std::byte> teb(zel::layout::kTebReadSize);
  EXPECT_EQ(p.GetTEB(thread, reinterpret_cast<_TEB*>(teb.data())), 0);
  EXPECT_EQ(p.GetErrorCode(), code::kNoMoreItems);

  const long before = zel::test::LiveAllocations();
  EXPECT_EQ(p.CreateHandleFromTID(process, 1001), nullptr);
  EXPECT_EQ(p.GetErrorCode(), code::kNoMoreItems);
  EXPECT_EQ(zel::test::LiveAllocations(), before);
  p.CloseHandle(thread);
  p.CloseHandle(process);
}

TEST_F(ThreadWalkTest, CreateHandleFromTidStandsOnTheThread) {
  CZelProcess p;
  void* process = p.CreateHandleFromPID(30);
  for (unsigned k = 0; k < 5; ++k) {
    Mark(p);
    void* thread = p.CreateHandleFromTID(process, 3001 + k);
    ASSERT_NE(thread, nullptr) << k;
    EXPECT_EQ(p.GetErrorCode(), code::kInvalidParameter);
    EXPECT_EQ(RecordOf(thread).nThreadIndex, k);
    EXPECT_EQ(p.GetThreadID(thread), 3001 + k);
    p.CloseHandle(thread);
  }
  const long before = zel::test::LiveAllocations();
  EXPECT_EQ(p.CreateHandleFromTID(process, 4001), nullptr);
  EXPECT_EQ(p.GetErrorCode(), code::kNoMoreItems);
  EXPECT_EQ(zel::test::LiveAllocations(), before);
  p.CloseHandle(process);
}

TEST_F(ThreadWalkTest, ThreadHandleOutlivesItsProcessHandle) {
  CZelProcess p;
  void* process = p.CreateHandleFromPID(30);
  void* thread = p.FindFirstThread(process);
  p.FindNextProcess(process);
  p.CloseHandle(process);
  EXPECT_EQ(p.FindNextThread(thread), 1);
  EXPECT_EQ(p.GetThreadParentProcess(thread), 30u);
  p.CloseHandle(thread);
}

TEST_F(ThreadWalkTest, FailedAllocationRecordsOutOfMemory) {
  CZelProcess p;
  void* process = p.CreateHandleFromPID(30);
  {
    zel::test::FullRecordPool full(p, process);
    for (const auto& [name, make] : std::vector<std::pair<const char*, std::function<void*()>>>{
             {"FindFirstThread", [&] { return p.FindFirstThread(process); }},
             {"CreateHandleFromTID", [&] { return p.CreateHandleFromTID(process, 3003); }}}) {
      zel::test::ScopedAllocationFailure fail(0);
      EXPECT_EQ(make(), nullptr) << name;
      EXPECT_EQ(p.GetErrorCode(), code::kOutOfMemory) << name;
    }
  }
  p.CloseHandle(process);
}

class TebTest : public ThreadWalkTest {
 protected:
  static constexpr std::uint64_t kTebAddress = 0x7FF000000000;

  void SetUp() override {
    ThreadWalkTest::SetUp();
    auto& many = *system.FindProcess(30);
    many.threads[2].tebAddress = kTebAddress;
    zel::fake::MemoryRegion teb{kTebAddress, std::vector<std::byte>(zel::layout::kTebReadSize),
                                "TEB"};
    for (std::size_t i = 0; i < teb.bytes.size(); ++i) teb.bytes[i] = std::byte(i * 7);
    many.memory.push_back(teb);
  }

  // A thread handle on the third thread of process 30.
  void* ThirdThread(CZelProcess& p) {
    void* process = p.CreateHandleFromPID(30);
    void* thread = p.CreateHandleFromTID(process, 3003);
    p.CloseHandle(process);
    return thread;
  }
};

TEST_F(TebTest, CopiesTheWholeBlock) {
  TebReader p;
  void* thread = ThirdThread(p);
  std::vector<std::byte> teb(zel::layout::kTebReadSize + 1, std::byte{0x5A});
  EXPECT_NE(p.GetTEB(thread, reinterpret_cast<_TEB*>(teb.data())), 0);
  EXPECT_EQ(p.GetErrorCode(), 0u);
  EXPECT_EQ(teb[1], std::byte{7});
  EXPECT_EQ(teb[zel::layout::kTebReadSize - 1], std::byte((zel::layout::kTebReadSize - 1) * 7));
  EXPECT_EQ(teb.back(), std::byte{0x5A});
  p.CloseHandle(thread);
}

TEST_F(TebTest, FailuresKeepThePlatformsCode) {
  TebReader p;
  void* thread = ThirdThread(p);
  std::vector<std::byte> teb(zel::layout::kTebReadSize);
  auto* out = reinterpret_cast<_TEB*>(teb.data());

  // The process cannot be opened: the read without a handle fails.
  system.FindProcess(30)->openError = code::kAccessDenied;
  EXPECT_EQ(p.GetTEB(thread, out), 0);
  EXPECT_EQ(p.GetErrorCode(), code::kInvalidHandle);
  system.FindProcess(30)->openError.reset();

  // The block ends early.
  system.FindProcess(30)->memory.back().bytes.resize(100);
  EXPECT_EQ(p.GetTEB(thread, out), 0);
  EXPECT_EQ(p.GetErrorCode(), code::kPartialCopy);

  // The thread has exited since the snapshot.
  system.FindProcess(30)->threads.erase(system.FindProcess(30)->threads.begin() + 2);
  EXPECT_EQ(p.GetTEB(thread, out), 0);
  EXPECT_EQ(p.GetErrorCode(), code::kInvalidParameter);
  p.CloseHandle(thread);
}

}  // namespace
