// The facts of a process as its snapshot record holds them.
#include "support/counters.h"
#include "support/scripted_system.h"
#include "support/system_test.h"

namespace {

using zel::test::MakeProcess;
namespace code = zel::code;

class ProcessFactsTest : public zel::test::SystemTest {
 protected:
  void SetUp() override {
    auto p = MakeProcess(1234, 56, u"Ünïcode €.exe", 3);
    p.basePriority = -5;
    p.createTime = 0x0123456789ABCDEFULL;
    p.userTime = 0x1111111122222222ULL;
    p.kernelTime = 0x3333333344444444ULL;
    p.vm = {101, 102, 103, 0, 104, 105, 106, 107, 108, 109, 110, 111};
    p.io = {201, 202, 203, 204, 205, 206};
    auto empty_name = MakeProcess(8, 0, u"", 0);
    system.processes = {empty_name, p};
  }

  void* Handle(CZelProcess& p, unsigned id) { return p.CreateHandleFromPID(id); }
};

TEST_F(ProcessFactsTest, ValuesComeFromTheRecordWithCodeZero) {
  CZelProcess p;
  void* h = Handle(p, 1234);
  EXPECT_EQ(p.GetName(h).ToUtf8(), "Ünïcode €.exe");
  EXPECT_EQ(p.GetProcessID(h), 1234u);
  EXPECT_EQ(p.GetParentProcess(h), 56u);
  EXPECT_EQ(p.GetBasePriority(h), -5);
  EXPECT_EQ(p.GetErrorCode(), 0u);
  EXPECT_EQ(p.GetThreadCount(h), 3u);
  p.CloseHandle(h);
}

TEST_F(ProcessFactsTest, TimesCarryBothHalves) {
  CZelProcess p;
  void* h = Handle(p, 1234);
  FILETIME create{}, user{}, kernel{};
  EXPECT_EQ(p.GetCreateTime(h, create), 1);
  EXPECT_EQ(p.GetUserTime(h, user), 1);
  EXPECT_EQ(p.GetKernelTime(h, kernel), 1);
  EXPECT_EQ(p.GetErrorCode(), 0u);
  EXPECT_EQ(create.dwLowDateTime, 0x89ABCDEFu);
  EXPECT_EQ(create.dwHighDateTime, 0x01234567u);
  EXPECT_EQ(user.dwLowDateTime, 0x22222222u);
  EXPECT_EQ(user.dwHighDateTime, 0x11111111u);
  EXPECT_EQ(kernel.dwLowDateTime, 0x44444444u);
  EXPECT_EQ(kernel.dwHighDateTime, 0x33333333u);
  p.CloseHandle(h);
}

TEST_F(ProcessFactsTest, CountersAreCopiedWholeAndInOrder) {
  CZelProcess p;
  void* h = Handle(p, 1234);
  VM_COUNTERS vm;
  std::memset(&vm, 0xEE, sizeof vm);
  EXPECT_EQ(p.GetMemoryCounters(h, vm), 1);
  EXPECT_EQ(zel::test::VmFields(vm),
            (std::array<std::uint64_t, 11>{101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111}));

  IO_COUNTERS io{};
  EXPECT_EQ(p.GetIOCounters(h, io), 1);
  EXPECT_EQ(zel::test::IoFields(io), (std::array<std::uint64_t, 6>{201, 202, 203, 204, 205, 206}));
  p.CloseHandle(h);
}

TEST_F(ProcessFactsTest, SomeQueriesSucceedWithoutRecording) {
  CZelProcess p;
  void* h = Handle(p, 8);
  ASSERT_EQ(p.FindNextProcess(h), 1);
  ASSERT_EQ(p.FindNextProcess(h), 0);
  ASSERT_EQ(p.GetErrorCode(), code::kNoMoreItems);
  VM_COUNTERS vm{};
  IO_COUNTERS io{};
  EXPECT_EQ(p.GetThreadCount(h), 3u);
  EXPECT_EQ(p.GetMemoryCounters(h, vm), 1);
  EXPECT_EQ(p.GetIOCounters(h, io), 1);
  EXPECT_EQ(p.GetErrorCode(), code::kNoMoreItems);
  EXPECT_EQ(p.GetProcessID(h), 1234u);
  EXPECT_EQ(p.GetErrorCode(), 0u);
  p.CloseHandle(h);
}

TEST_F(ProcessFactsTest, EmptyNameIsReadWithoutItsPointer) {
  CZelProcess p;
  void* h = Handle(p, 8);
  // The record's name pointer is null; following it would fault.
  EXPECT_TRUE(p.GetName(h).IsEmpty());
  EXPECT_EQ(p.GetErrorCode(), 0u);
  p.CloseHandle(h);
}

}  // namespace
