// The live reads of a 32-bit process, whose own code keeps its 32-bit blocks
// up to date and not the 64-bit ones.
#include <cstring>
#include <optional>

#include "support/protected_process.h"
#include "support/scripted_system.h"
#include "support/system_test.h"

namespace {

namespace code = zel::code;
namespace layout = zel::layout;

constexpr zel::fake::Status kQueryFailure = 0xC0000022;

using BlockReader = zel::test::ProtectedProcess;

std::u16string Text(const CZelString& s) {
  const unsigned short* units = s;
  return std::u16string(units, units + s.GetLength());
}

class Wow64ReadsTest : public zel::test::SystemTest {
 protected:
  void SetUp() override {
    system.processes = {zel::test::MakeProcess(8, 0, u"other.exe"),
                        zel::test::MakeWow64Target(100, 8, u"app32.exe", 1, wow64)};
    reader.emplace();
    handle = p().CreateHandleFromPID(100);
  }
  void TearDown() override {
    p().CloseHandle(handle);
    SystemTest::TearDown();
  }

  zel::fake::ProcessModel& Target() { return *system.FindProcess(100); }
  std::vector<std::byte>& Region(std::uint64_t address) {
    return zel::fake::FindRegion(Target(), address)->bytes;
  }
  std::vector<std::byte>& Parameters32() {
    return Region(layout::Load<std::uint32_t>(Region(Target().wow64PebAddress).data(),
                                              ZEL_OFFSET(PebPrefix32, ProcessParameters)));
  }
  layout::CountedString32& Descriptor32(std::size_t offset) {
    return *reinterpret_cast<layout::CountedString32*>(Parameters32().data() + offset);
  }

  zel::fake::ProcessParametersModel wow64 = zel::test::Wow64Parameters();
  std::optional<BlockReader> reader;
  BlockReader& p() { return *reader; }
  void* handle = nullptr;
};

TEST_F(Wow64ReadsTest, ProtectedMembersKeepThe64BitBlocks) {
  layout::ProcessBasicInformation info{};
  EXPECT_EQ(p().GetProcessInformation(handle, reinterpret_cast<_PROCESS_BASIC_INFORMATION*>(&info)),
            1);
  EXPECT_EQ(info.PebBaseAddress, Target().pebAddress);
  std::vector<std::byte> peb(layout::kPebReadSize);
  EXPECT_NE(p().GetPEB(handle, reinterpret_cast<_PEB*>(peb.data())), 0);
  EXPECT_EQ(peb, Region(Target().pebAddress));

  // They do not ask for the process's kind, so its failure does not reach them.
  Target().wow64InfoStatus = kQueryFailure;
  EXPECT_EQ(p().GetProcessInformation(handle, reinterpret_cast<_PROCESS_BASIC_INFORMATION*>(&info)),
            1);
  EXPECT_NE(p().GetPEB(handle, reinterpret_cast<_PEB*>(peb.data())), 0);
  EXPECT_EQ(p().GetErrorCode(), 0u);
}

TEST_F(Wow64ReadsTest, DescriptorPastItsRegionLeavesAccessDenied) {
  auto& command_line = Descriptor32(ZEL_OFFSET(ProcessParameters32, CommandLine));
  const std::size_t region_size = Region(command_line.Buffer).size();
  command_line.Length = static_cast<std::uint16_t>(region_size + 2);
  EXPECT_TRUE(p().GetCommandLineW(handle).IsEmpty());
  EXPECT_EQ(p().GetErrorCode(), code::kAccessDenied);
  command_line.Buffer += static_cast<std::uint32_t>(region_size);
  command_line.Length = 2;
  EXPECT_TRUE(p().GetCommandLineW(handle).IsEmpty());
  EXPECT_EQ(p().GetErrorCode(), code::kAccessDenied);
  // The other strings and the caller's handle are untouched.
  EXPECT_EQ(Text(p().GetCurrentDirectoryW(handle)), wow64.currentDirectory);

  // An environment that its region ends before the copy does: what the
  // 32-bit block's region holds.
  auto& environment = Region(layout::Load<std::uint32_t>(
      Parameters32().data(), ZEL_OFFSET(ProcessParameters32, Environment)));
  environment.resize(layout::kEnvironmentReadSize - 1);
  unsigned char* copy = p().GetEnvironmentBuffer(handle);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(std::memcmp(copy, environment.data(), environment.size()), 0);
  EXPECT_EQ(p().FreeEnvironmentBuffer(copy), 1);
}

// Wine answers the question of the process's kind with 1, not the 32-bit
// PEB's address: that PEB is then the page after the 64-bit one.
TEST_F(Wow64ReadsTest, FlagForAnAnswerFindsThePebAfterThe64BitOne) {
  Target().wow64InfoIsFlag = true;
  // Laid out elsewhere, it is not found.
  EXPECT_TRUE(p().GetCurrentDirectoryW(handle).IsEmpty());
  zel::fake::FindRegion(Target(), Target().pebAddress)->address =
      Target().wow64PebAddress - layout::kPeb32AfterPeb64;
  Target().pebAddress = Target().wow64PebAddress - layout::kPeb32AfterPeb64;
  EXPECT_EQ(Text(p().GetCurrentDirectoryW(handle)), wow64.currentDirectory);
  EXPECT_EQ(p().GetErrorCode(), 0u);
}

// A failed question of the process's kind is a failed basic-information query:
// its status is left, and no block is read, not even the 64-bit ones, whose
// directory and environment a 32-bit process no longer keeps.
TEST_F(Wow64ReadsTest, FailedKindQueryIsAFailedBasicInformationQuery) {
  Target().wow64InfoStatus = kQueryFailure;
  EXPECT_TRUE(p().GetCurrentDirectoryW(handle).IsEmpty());
  EXPECT_EQ(p().GetErrorCode(), kQueryFailure);
  EXPECT_EQ(p().GetEnvironmentBuffer(handle), nullptr);
  EXPECT_EQ(p().GetErrorCode(), kQueryFailure);
}

}  // namespace
