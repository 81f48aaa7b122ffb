// A handle used after CloseHandle: its record is cleared and kept for the next
// handle, so the check sees either no record or the new one.
#include <array>
#include <cstring>

#include "support/scripted_system.h"
#include "support/system_test.h"

namespace {

namespace code = zel::code;

class ReusedHandleTest : public zel::test::SystemTest {
 protected:
  void SetUp() override { system.processes = zel::test::MakeProcesses(3); }
};

// Every operation on a process handle refuses `h` with the codes of a block
// that is not a record of the library, and writes nothing into it.
void ExpectRefusedAsNoRecord(CZelProcess& p, void* h) {
  std::array<std::byte, sizeof(zel::layout::ZELFIND_RECORD)> before;
  std::memcpy(before.data(), h, before.size());

  EXPECT_EQ(p.FindNextProcess(h), 0);
  EXPECT_EQ(p.GetErrorCode(), code::kInvalidParameter);
  EXPECT_EQ(p.IsProcessHandle(h), 0);
  EXPECT_EQ(p.GetErrorCode(), code::kInvalidHandle);
  EXPECT_EQ(p.DuplicateHandle(h), nullptr);
  EXPECT_EQ(p.GetErrorCode(), code::kInvalidParameter);
  EXPECT_EQ(p.CloseHandle(h), 0);
  EXPECT_EQ(p.GetErrorCode(), code::kInvalidParameter);
  EXPECT_EQ(p.GetProcessID(h), 0xFFFFFFFFu);
  EXPECT_EQ(p.GetErrorCode(), code::kInvalidParameter);
  EXPECT_TRUE(p.GetName(h).IsEmpty());
  EXPECT_EQ(p.FindFirstThread(h), nullptr);
  EXPECT_EQ(p.GetErrorCode(), code::kInvalidParameter);
  EXPECT_TRUE(p.GetCommandLineW(h).IsEmpty());
  EXPECT_EQ(p.GetErrorCode(), code::kInvalidParameter);
  EXPECT_EQ(p.GetEnvironmentBuffer(h), nullptr);
  EXPECT_EQ(p.GetErrorCode(), code::kInvalidParameter);
  CZelString user, domain;
  EXPECT_EQ(p.GetUserAndDomain(h, user, domain), 0);
  EXPECT_EQ(p.GetErrorCode(), code::kInvalidHandle);
  EXPECT_EQ(p.GetMainWindow(h), nullptr);
  EXPECT_EQ(p.GetErrorCode(), code::kInvalidParameter);

  EXPECT_EQ(std::memcmp(before.data(), h, before.size()), 0) << "the block was written";
}

TEST_F(ReusedHandleTest, ClosedHandleIsNoHandle) {
  CZelProcess p;
  void* h = p.CreateHandleFromPID(8);
  ASSERT_EQ(p.CloseHandle(h), 1);
  ExpectRefusedAsNoRecord(p, h);
}

TEST_F(ReusedHandleTest, ProcessHandleReusedAsThreadHandleIsAThreadHandle) {
  CZelProcess p;
  void* process = p.CreateHandleFromPID(4);
  void* h = p.CreateHandleFromPID(8);
  ASSERT_EQ(p.CloseHandle(h), 1);
  void* thread = p.FindFirstThread(process);
  ASSERT_NE(thread, nullptr);
  // The record is the next one handed out: the stale pointer now names the
  // new thread handle, and is taken as it.
  ASSERT_EQ(thread, h);
  EXPECT_EQ(p.IsProcessHandle(h), 0);
  EXPECT_EQ(p.GetErrorCode(), code::kSuccess);
  EXPECT_EQ(p.GetProcessID(h), 0xFFFFFFFFu);
  EXPECT_EQ(p.GetErrorCode(), code::kInvalidParameter);
  EXPECT_EQ(p.FindNextProcess(h), 0);
  EXPECT_EQ(p.GetErrorCode(), code::kInvalidParameter);
  EXPECT_EQ(p.GetThreadParentProcess(h), 4u);
  p.CloseHandle(thread);
  p.CloseHandle(process);
}

}  // namespace
