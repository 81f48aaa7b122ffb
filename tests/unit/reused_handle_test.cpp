// A handle used after CloseHandle, once the allocator has given its block to
// something else: what the check sees there is whatever now lives in it.
// Under AddressSanitizer freed blocks are held back, so the reuse these tests
// provoke happens only in the plain build; there it must happen.
#include <array>
#include <cstring>
#include <memory>

#include "support/scripted_system.h"
#include "support/system_test.h"

namespace {

namespace code = zel::code;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAllocatorReuses = false;
#else
constexpr bool kAllocatorReuses = true;
#endif

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

TEST_F(ReusedHandleTest, BlockReusedForOtherDataIsNoHandle) {
  CZelProcess p;
  void* h = p.CreateHandleFromPID(8);
  ASSERT_EQ(p.CloseHandle(h), 1);
  // The next block of the same size is the one just freed, here filled with
  // bytes whose size tag is not 32.
  auto other = std::make_unique<std::array<std::uint32_t, 8>>();
  other->fill(0xFFFFFFFF);
  if (other.get() == h) ExpectRefusedAsNoRecord(p, h);
  EXPECT_EQ(other.get() == h, kAllocatorReuses);
}

TEST_F(ReusedHandleTest, ProcessHandleReusedAsThreadHandleIsAThreadHandle) {
  CZelProcess p;
  void* process = p.CreateHandleFromPID(4);
  void* h = p.CreateHandleFromPID(8);
  ASSERT_EQ(p.CloseHandle(h), 1);
  void* thread = p.FindFirstThread(process);
  ASSERT_NE(thread, nullptr);
  if (thread == h) {
    // The stale pointer now names the new thread record, and is taken as it.
    EXPECT_EQ(p.IsProcessHandle(h), 0);
    EXPECT_EQ(p.GetErrorCode(), code::kSuccess);
    EXPECT_EQ(p.GetProcessID(h), 0xFFFFFFFFu);
    EXPECT_EQ(p.GetErrorCode(), code::kInvalidParameter);
    EXPECT_EQ(p.FindNextProcess(h), 0);
    EXPECT_EQ(p.GetErrorCode(), code::kInvalidParameter);
    EXPECT_EQ(p.GetThreadParentProcess(h), 4u);
  }
  EXPECT_EQ(thread == h, kAllocatorReuses);
  p.CloseHandle(thread);
  p.CloseHandle(process);
}

}  // namespace
