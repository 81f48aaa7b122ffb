// Reading the parameter strings and the environment out of a live process.
#include "support/live_failure_codes.h"
#include "support/protected_process.h"
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "ZelHandles.h"
#include "support/alloc_fault.h"
#include "support/scripted_system.h"
#include "support/system_test.h"

namespace {

using zel::test::ExpectReadsFailWith;
using zel::test::MakeProcess;
namespace code = zel::code;
namespace layout = zel::layout;

constexpr zel::fake::Status kQueryFailure = 0xC0000022;

using BlockReader = zel::test::ProtectedProcess;

class LiveStringsTest : public zel::test::SystemTest {
 protected:
  void SetUp() override {
    // An environment that ends before the library's copy would.
    parameters.environment.resize(18);
    system.processes = {MakeProcess(8, 0, u"other.exe"),
                        zel::test::MakeTarget(100, 8, u"app.exe", 2, parameters)};
  }

  zel::fake::ProcessModel& Target() { return *system.FindProcess(100); }
  zel::fake::ProcessParametersModel parameters = zel::test::TargetParameters();

  std::uint64_t ParametersAddress() {
    const auto& peb = zel::fake::FindRegion(Target(), Target().pebAddress)->bytes;
    return layout::Load<std::uint64_t>(peb.data(), ZEL_OFFSET(PebPrefix, ProcessParameters));
  }
  // The descriptor of a string in the target's parameters block.
  layout::CountedString& Descriptor(std::size_t offset) {
    auto& block = zel::fake::FindRegion(Target(), ParametersAddress())->bytes;
    return *reinterpret_cast<layout::CountedString*>(block.data() + offset);
  }
  std::vector<std::byte>& EnvironmentRegion() {
    auto& block = zel::fake::FindRegion(Target(), ParametersAddress())->bytes;
    return zel::fake::FindRegion(
               Target(), layout::Load<std::uint64_t>(block.data(),
                                                     ZEL_OFFSET(ProcessParameters, Environment)))
        ->bytes;
  }
};

std::u16string Text(const CZelString& s) {
  const unsigned short* units = s;
  return std::u16string(units, units + s.GetLength());
}

TEST_F(LiveStringsTest, EachGetterReadsItsOwnString) {
  CZelProcess p;
  void* h = p.CreateHandleFromPID(100);
  EXPECT_EQ(Text(p.GetImageFile(h)), parameters.imagePath);
  EXPECT_EQ(Text(p.GetCommandLineW(h)), parameters.commandLine);
  EXPECT_EQ(Text(p.GetCurrentDirectoryW(h)), parameters.currentDirectory);
  EXPECT_EQ(Text(p.GetWindowTitle(h)), parameters.windowTitle);
  EXPECT_EQ(Text(p.GetDesktopName(h)), parameters.desktop);
  EXPECT_EQ(Text(p.GetPath(h)), parameters.dllPath);
  EXPECT_EQ(p.GetErrorCode(), 0u);
  p.CloseHandle(h);
}

TEST_F(LiveStringsTest, TheCountedLengthBoundsTheText) {
  CZelProcess p;
  void* h = p.CreateHandleFromPID(100);
  Descriptor(ZEL_OFFSET(ProcessParameters, WindowTitle)).Length = 0;
  EXPECT_TRUE(p.GetWindowTitle(h).IsEmpty());
  EXPECT_EQ(p.GetErrorCode(), 0u);
  // An odd byte length drops the half character; nothing past it is read.
  Descriptor(ZEL_OFFSET(ProcessParameters, DesktopInfo)).Length = 7;
  EXPECT_EQ(Text(p.GetDesktopName(h)), u"Win");
  p.CloseHandle(h);
}

TEST_F(LiveStringsTest, UnreadableCharactersLeaveAccessDenied) {
  CZelProcess p;
  void* h = p.CreateHandleFromPID(100);
  Descriptor(ZEL_OFFSET(ProcessParameters, CommandLine)).Buffer = 0xDEAD0000;
  EXPECT_TRUE(p.GetCommandLineW(h).IsEmpty());
  EXPECT_EQ(p.GetErrorCode(), code::kAccessDenied);
  // The caller's handle is untouched.
  EXPECT_EQ(Text(p.GetImageFile(h)), parameters.imagePath);
  EXPECT_EQ(p.CloseHandle(h), 1);
}

TEST_F(LiveStringsTest, BasicInformationChecksItsOutputAndLength) {
  BlockReader p;
  void* h = p.CreateHandleFromPID(100);
  layout::ProcessBasicInformation info{};
  auto* out = reinterpret_cast<_PROCESS_BASIC_INFORMATION*>(&info);
  EXPECT_EQ(p.GetProcessInformation(h, out), 1);
  EXPECT_EQ(p.GetErrorCode(), 0u);
  EXPECT_EQ(info.PebBaseAddress, Target().pebAddress);
  EXPECT_EQ(info.UniqueProcessId, 100u);
  EXPECT_EQ(info.ExitStatus, zel::kStillActive);

  EXPECT_EQ(p.GetProcessInformation(h, nullptr), 0);
  EXPECT_EQ(p.GetErrorCode(), code::kInvalidParameter);
  zel::test::UnmappedPage unmapped;
  EXPECT_EQ(
      p.GetProcessInformation(h, static_cast<_PROCESS_BASIC_INFORMATION*>(unmapped.Straddling())),
      0);
  EXPECT_EQ(p.GetErrorCode(), code::kInvalidParameter);

  Target().basicInfoWithoutLength = true;
  EXPECT_EQ(p.GetProcessInformation(h, out), 0);
  EXPECT_EQ(p.GetErrorCode(), 0u);
  Target().basicInfoWithoutLength = false;
  Target().basicInfoStatus = kQueryFailure;
  EXPECT_EQ(p.GetProcessInformation(h, out), 0);
  EXPECT_EQ(p.GetErrorCode(), kQueryFailure);

  Target().openError = code::kAccessDenied;
  EXPECT_EQ(p.GetProcessInformation(h, out), 0);
  EXPECT_EQ(p.GetErrorCode(), code::kAccessDenied);
  p.CloseHandle(h);
}

TEST_F(LiveStringsTest, ProcessThatCannotBeOpenedOrHasEndedLeavesItsCodes) {
  system.accounts = {zel::test::kTargetOwner};
  BlockReader p;
  void* h = p.CreateHandleFromPID(100);
  Target().openError = 1234;
  EXPECT_TRUE(p.GetImageFile(h).IsEmpty());
  EXPECT_EQ(p.GetErrorCode(), code::kAccessDenied);
  EXPECT_EQ(p.GetEnvironmentBuffer(h), nullptr);
  EXPECT_EQ(p.GetErrorCode(), 1234u);

  // Ended while a handle still holds it: its owner and exit status are
  // still there, its memory is not.
  Target().openError.reset();
  Target().exitCode = 3;
  ExpectReadsFailWith(p, h, zel::test::kProcessWithoutMemory);
  layout::ProcessBasicInformation info{};
  EXPECT_EQ(p.GetProcessInformation(h, reinterpret_cast<_PROCESS_BASIC_INFORMATION*>(&info)), 1);
  EXPECT_EQ(p.GetErrorCode(), 0u);
  EXPECT_EQ(info.ExitStatus, 3);
  std::vector<std::byte> peb(layout::kPebReadSize);
  EXPECT_EQ(p.GetPEB(h, reinterpret_cast<_PEB*>(peb.data())), 0);
  EXPECT_EQ(p.GetErrorCode(), code::kAccessDenied);

  // A process that has exited since the snapshot.
  system.processes.pop_back();
  EXPECT_TRUE(p.GetCommandLineW(h).IsEmpty());
  EXPECT_EQ(p.GetErrorCode(), code::kAccessDenied);
  EXPECT_EQ(p.GetEnvironmentBuffer(h), nullptr);
  EXPECT_EQ(p.GetErrorCode(), code::kInvalidParameter);
  p.CloseHandle(h);
}

// A process that started after the snapshot, on the ID of one that ended:
// every live read finds the snapshot's process gone, and gives nothing of
// the other.
TEST_F(LiveStringsTest, IdTakenByALaterProcessReadsAsGone) {
  system.accounts = {zel::test::kTargetOwner};
  system.windows = {{0x30, 100, 10001}};
  BlockReader p;
  void* h = p.CreateHandleFromPID(100);
  void* t = p.FindFirstThread(h);
  Target().createTime += 1;
  for (auto& thread : Target().threads) thread.createTime += 1;

  ExpectReadsFailWith(p, h, zel::test::kGoneProcess);
  EXPECT_EQ(p.GetMainWindow(h), nullptr);
  EXPECT_EQ(p.GetErrorCode(), code::kSuccess);
  EXPECT_EQ(p.GetReadHandle(h), nullptr);
  std::vector<std::byte> block(layout::kTebReadSize);
  EXPECT_EQ(p.GetTEB(t, reinterpret_cast<_TEB*>(block.data())), 0);
  EXPECT_EQ(p.GetErrorCode(), code::kInvalidParameter);
  p.CloseHandle(t);
  p.CloseHandle(h);
}

// Where 64-bit Windows once kept every PEB: blocks there are not taken for
// those of a process whose basic information cannot be had.
constexpr std::uint64_t kFormerPebAddress = 0x7FFDF000;

TEST_F(LiveStringsTest, NothingIsReadWhereThePebIsNotKnown) {
  Target().memory.clear();
  zel::fake::LayOutParameters(Target(), parameters, kFormerPebAddress);
  EnvironmentRegion().resize(layout::kEnvironmentReadSize);
  Target().basicInfoStatus = kQueryFailure;
  BlockReader p;
  void* h = p.CreateHandleFromPID(100);
  EXPECT_TRUE(p.GetCommandLineW(h).IsEmpty());
  EXPECT_EQ(p.GetErrorCode(), kQueryFailure);
  EXPECT_EQ(p.GetEnvironmentBuffer(h), nullptr);
  EXPECT_EQ(p.GetErrorCode(), kQueryFailure);
  std::vector<std::byte> peb(layout::kPebReadSize);
  EXPECT_EQ(p.GetPEB(h, reinterpret_cast<_PEB*>(peb.data())), 0);
  EXPECT_EQ(p.GetErrorCode(), kQueryFailure);
  p.CloseHandle(h);
}

TEST_F(LiveStringsTest, FailedReadsLeaveTheirCodes) {
  BlockReader p;
  void* h = p.CreateHandleFromPID(100);
  // The parameters block ends early.
  const std::uint64_t parameters_at = ParametersAddress();
  zel::fake::FindRegion(Target(), parameters_at)->bytes.resize(layout::kParametersReadSize - 1);
  EXPECT_TRUE(p.GetImageFile(h).IsEmpty());
  EXPECT_EQ(p.GetErrorCode(), code::kPartialCopy);
  EXPECT_EQ(p.GetEnvironmentBuffer(h), nullptr);
  EXPECT_EQ(p.GetErrorCode(), code::kPartialCopy);
  zel::fake::FindRegion(Target(), parameters_at)->bytes.resize(layout::kParametersReadSize);

  // A type beyond the six is a bad parameter, whatever number it is.
  for (const int type : {6, -1}) {
    EXPECT_TRUE(p.ReadProcessInfoString(h, static_cast<ZELPI_TYPE>(type)).IsEmpty());
    EXPECT_EQ(p.GetErrorCode(), code::kInvalidParameter) << type;
  }

  // The PEB itself cannot be read after a successful query, as for a process
  // that has ended while a handle still holds it: the read's code, not 0.
  zel::fake::FindRegion(Target(), Target().pebAddress)->bytes.resize(8);
  std::vector<std::byte> peb(layout::kPebReadSize);
  EXPECT_EQ(p.GetPEB(h, reinterpret_cast<_PEB*>(peb.data())), 0);
  EXPECT_EQ(p.GetErrorCode(), code::kPartialCopy);
  EXPECT_TRUE(p.GetPath(h).IsEmpty());
  EXPECT_EQ(p.GetErrorCode(), code::kPartialCopy);
  p.CloseHandle(h);
}

TEST_F(LiveStringsTest, FailedCharacterBufferRecordsOutOfMemory) {
  CZelProcess p;
  void* h = p.CreateHandleFromPID(100);
  {
    // The character buffer is the library's first allocation.
    zel::test::ScopedAllocationFailure fail(0);
    EXPECT_TRUE(p.GetCommandLineW(h).IsEmpty());
    EXPECT_TRUE(zel::test::AllocationFailed());
  }
  EXPECT_EQ(p.GetErrorCode(), code::kOutOfMemory);
  p.CloseHandle(h);
}

TEST_F(LiveStringsTest, EnvironmentIsCopiedAndGivenBack) {
  EnvironmentRegion().resize(2 * layout::kEnvironmentReadSize, std::byte{0x77});
  CZelProcess p;
  void* h = p.CreateHandleFromPID(100);
  unsigned char* env = p.GetEnvironmentBuffer(h);
  ASSERT_NE(env, nullptr);
  EXPECT_EQ(p.GetErrorCode(), 0u);
  EXPECT_EQ(std::memcmp(env, parameters.environment.data(), parameters.environment.size() * 2), 0);
  EXPECT_EQ(env[layout::kEnvironmentReadSize - 1], 0x77);

  p.FindNextProcess(nullptr);
  EXPECT_EQ(p.FreeEnvironmentBuffer(env), 1);
  EXPECT_EQ(env, nullptr);
  EXPECT_EQ(p.GetErrorCode(), code::kInvalidParameter);
  EXPECT_EQ(p.FreeEnvironmentBuffer(env), 0);
  EXPECT_EQ(p.GetErrorCode(), code::kInvalidParameter);
  p.CloseHandle(h);
}

TEST_F(LiveStringsTest, EnvironmentIsReadUpToTheEndOfItsRegion) {
  CZelProcess p;
  void* h = p.CreateHandleFromPID(100);
  // A whole copy first, so that the memory of the next one holds no zeros.
  EnvironmentRegion().resize(layout::kEnvironmentReadSize, std::byte{0x77});
  unsigned char* env = p.GetEnvironmentBuffer(h);
  ASSERT_NE(env, nullptr);
  p.FreeEnvironmentBuffer(env);
  // The region ends a byte before the copy would: what it holds, then zeros.
  EnvironmentRegion().resize(layout::kEnvironmentReadSize - 1);
  env = p.GetEnvironmentBuffer(h);
  ASSERT_NE(env, nullptr);
  EXPECT_EQ(p.GetErrorCode(), 0u);
  EXPECT_EQ(std::memcmp(env, EnvironmentRegion().data(), EnvironmentRegion().size()), 0);
  EXPECT_EQ(env[layout::kEnvironmentReadSize - 1], 0);
  p.FreeEnvironmentBuffer(env);

  // Where no region holds it, the read gets nothing and says why.
  auto& block = zel::fake::FindRegion(Target(), ParametersAddress())->bytes;
  layout::Store(block.data(), ZEL_OFFSET(ProcessParameters, Environment),
                std::uint64_t{0xDEAD0000});
  EXPECT_EQ(p.GetEnvironmentBuffer(h), nullptr);
  EXPECT_EQ(p.GetErrorCode(), code::kPartialCopy);
  p.CloseHandle(h);
}

TEST_F(LiveStringsTest, FailedEnvironmentAllocationRecordsOutOfMemory) {
  EnvironmentRegion().resize(layout::kEnvironmentReadSize);
  CZelProcess p;
  void* h = p.CreateHandleFromPID(100);
  const long before = zel::test::LiveAllocations();
  {
    // The buffer is the library's first allocation.
    zel::test::ScopedAllocationFailure fail(0);
    EXPECT_EQ(p.GetEnvironmentBuffer(h), nullptr);
    EXPECT_TRUE(zel::test::AllocationFailed());
  }
  EXPECT_EQ(p.GetErrorCode(), code::kOutOfMemory);
  EXPECT_EQ(zel::test::LiveAllocations(), before);
  p.CloseHandle(h);
}

// A block of exactly `units` units: variables of a thousand units each,
// then the empty string.
std::u16string Variables(std::size_t units) {
  std::u16string block;
  while (block.size() + 1 < units) {
    const std::size_t length = std::min<std::size_t>(1000, units - 1 - block.size());
    block += u"V=" + std::u16string(length - 3, u'x') + u'\0';
  }
  return block + u'\0';
}

std::vector<std::byte> Bytes(const std::u16string& units) {
  const auto* first = reinterpret_cast<const std::byte*>(units.data());
  return {first, first + units.size() * sizeof(char16_t)};
}

TEST_F(LiveStringsTest, EnvironmentBlockIsCopiedWholeUpToItsEnd) {
  constexpr std::size_t kLimitUnits = zel::kEnvironmentBlockLimit / sizeof(char16_t);
  const std::u16string longer = Variables(3000);
  // A variable ends on the limit's last unit, which leaves no room for the
  // empty string after it: the copy ends before it.
  const std::u16string past_limit = Variables(kLimitUnits + 1).substr(0, kLimitUnits) + u"W=1\0\0";
  const std::size_t last_whole = past_limit.rfind(u'\0', kLimitUnits - 2);
  const std::vector<std::byte> garbage(layout::kEnvironmentReadSize, std::byte{0x77});
  const struct {
    const char* what;
    std::vector<std::byte> region;
    std::optional<std::u16string> copy;  // nothing: no copy
    ZelCode code;
  } rows[] = {
      {"a block longer than the buffer's copy, followed by more",
       [&] {
         auto region = Bytes(longer);
         region.insert(region.end(), garbage.begin(), garbage.end());
         return region;
       }(),
       longer, code::kSuccess},
      {"a block that ends where its region does", Bytes(longer), longer, code::kSuccess},
      {"a block that its region ends before its empty string",
       Bytes(longer.substr(0, longer.size() - 1)), std::nullopt, code::kPartialCopy},
      {"an empty block", Bytes(std::u16string(1, u'\0') + u"\x7777"), std::u16string(2, u'\0'),
       code::kSuccess},
      {"a block that ends at the limit", Bytes(Variables(kLimitUnits)), Variables(kLimitUnits),
       code::kSuccess},
      {"a block past the limit: its variables within it, and an empty string", Bytes(past_limit),
       past_limit.substr(0, last_whole + 1) + u'\0', code::kMoreData},
  };
  CZelProcess p;
  void* h = p.CreateHandleFromPID(100);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    EnvironmentRegion() = row.region;
    std::size_t size = 7;
    unsigned char* block = p.GetEnvironmentBlock(h, size);
    const zel::EnvironmentCopy copy(p, block, size);
    EXPECT_EQ(p.GetErrorCode(), row.code);
    if (!row.copy) {
      EXPECT_EQ(copy.Get(), nullptr);
      EXPECT_EQ(size, 7u);
      continue;
    }
    ASSERT_NE(copy.Get(), nullptr);
    ASSERT_EQ(copy.Size(), row.copy->size() * sizeof(char16_t));
    EXPECT_EQ(std::memcmp(copy.Get(), row.copy->data(), copy.Size()), 0);
  }
  p.CloseHandle(h);
}

// Only a copy that the library handed out and has not taken back is given
// back; the host's own memory, writable or not, is refused and left alone.
TEST_F(LiveStringsTest, FreeTakesBackOnlyTheLibrarysCopies) {
  EnvironmentRegion().resize(layout::kEnvironmentReadSize);
  BlockReader p;
  void* h = p.CreateHandleFromPID(100);
  unsigned char* copy = p.GetEnvironmentBuffer(h);
  ASSERT_NE(copy, nullptr);
  unsigned char* given_back = p.GetEnvironmentBuffer(h);
  unsigned char* const stale = given_back;
  ASSERT_EQ(p.FreeEnvironmentBuffer(given_back), 1);
  zel::test::UnmappedPage unmapped;
  std::vector<unsigned char> heap(layout::kEnvironmentReadSize, 0x11);
  unsigned char stack[layout::kEnvironmentReadSize] = {};
  for (unsigned char* block :
       {static_cast<unsigned char*>(unmapped.Straddling()), heap.data(), stack, copy + 1, stale}) {
    unsigned char* kept = block;
    p.Mark(0x5EEDC0DE);
    EXPECT_EQ(p.FreeEnvironmentBuffer(kept), 0);
    EXPECT_EQ(p.GetErrorCode(), code::kInvalidParameter);
    EXPECT_EQ(kept, block);
  }
  EXPECT_EQ(heap[0], 0x11);
  EXPECT_EQ(p.FreeEnvironmentBuffer(copy), 1);
  p.CloseHandle(h);
}

}  // namespace
