// The owner account and the main window of a live process.
#include "ZelHandles.h"
#include "support/alloc_fault.h"
#include "support/scripted_system.h"
#include "support/system_test.h"

namespace {

using zel::test::MakeProcess;
namespace code = zel::code;

constexpr std::uint32_t kNoToken = 1008;
constexpr std::uint32_t kNoneMapped = 1332;

class OwnerWindowTest : public zel::test::SystemTest {
 protected:
  void SetUp() override {
    system.processes = {MakeProcess(8, 0, u"svc.exe"), MakeProcess(100, 8, u"app.exe"),
                        MakeProcess(200, 8, u"quiet.exe")};
    system.FindProcess(100)->ownerSid = "S-1-5-21-1000-2000-3000-1001";
    system.accounts = {{"S-1-5-21-1000-2000-3000-1001", u"jürgen", u"WORKGROUP"}};
    system.windows = {{0x10, 8, 801}, {0x20, 100, 10001, false}, {0x30, 100, 10001}};
  }

  // Strings that hold text before a call, to see them emptied.
  CZelString user = CZelString::FromUtf8("old user");
  CZelString domain = CZelString::FromUtf8("old domain");

  void ExpectFailure(CZelProcess& p, void* h, ZelCode expected) {
    EXPECT_EQ(p.GetUserAndDomain(h, user, domain), 0);
    EXPECT_EQ(p.GetErrorCode(), expected);
    EXPECT_TRUE(user.IsEmpty());
    EXPECT_TRUE(domain.IsEmpty());
    user = CZelString::FromUtf8("old user");
    domain = CZelString::FromUtf8("old domain");
  }
};

TEST_F(OwnerWindowTest, OwnerIsTheTokensAccount) {
  CZelProcess p;
  void* h = p.CreateHandleFromPID(100);
  p.FindNextProcess(nullptr);
  EXPECT_EQ(p.GetUserAndDomain(h, user, domain), 1);
  EXPECT_EQ(p.GetErrorCode(), 0u);
  EXPECT_EQ(user.ToUtf8(), "jürgen");
  EXPECT_EQ(domain.ToUtf8(), "WORKGROUP");
  p.CloseHandle(h);
}

TEST_F(OwnerWindowTest, OwnerFailuresEmptyBothStrings) {
  CZelProcess p;
  void* h = p.CreateHandleFromPID(100);

  // A process that cannot be opened answers 5, whatever the platform said.
  system.FindProcess(100)->openError = 31;
  ExpectFailure(p, h, code::kAccessDenied);
  system.FindProcess(100)->openError.reset();

  // A token that cannot be opened leaves the platform's code.
  system.FindProcess(100)->tokenOpenError = 1314;
  ExpectFailure(p, h, 1314u);
  system.FindProcess(100)->tokenOpenError.reset();
  void* quiet = p.CreateHandleFromPID(200);
  ExpectFailure(p, quiet, kNoToken);

  // The sizing query leaves a code other than "buffer too small".
  system.tokenQueryErrors = {1450};
  ExpectFailure(p, h, 1450u);
  // The second query fails.
  system.tokenQueryErrors = {0, 1450};
  ExpectFailure(p, h, 1450u);

  // The SID names no account.
  system.accounts.clear();
  ExpectFailure(p, h, kNoneMapped);

  for (void* handle : {h, quiet}) p.CloseHandle(handle);
}

TEST_F(OwnerWindowTest, NamesLongerThanTheBuffersFailTheLookup) {
  const struct {
    std::u16string name, domain;
    ZelCode code;
  } accounts[] = {{std::u16string(259, u'n'), u"CORP", code::kSuccess},
                  {std::u16string(260, u'n'), u"CORP", code::kInsufficientBuffer},
                  {u"short", std::u16string(300, u'd'), code::kInsufficientBuffer}};
  for (const auto& account : accounts) {
    system.accounts[0].name = account.name;
    system.accounts[0].domain = account.domain;
    CZelProcess p;
    const zel::FindHandle h(p, p.CreateHandleFromPID(100));
    if (account.code != code::kSuccess) {
      ExpectFailure(p, h.Get(), account.code);
      continue;
    }
    EXPECT_EQ(p.GetUserAndDomain(h.Get(), user, domain), 1);
    EXPECT_EQ(user.GetLength(), account.name.size());
  }
}

// Each account is looked up once per object and snapshot, however many of
// its processes are read; a new snapshot looks it up again.
TEST_F(OwnerWindowTest, EachAccountIsLookedUpOncePerSnapshot) {
  system.processes.push_back(MakeProcess(300, 8, u"second.exe"));
  system.processes.back().ownerSid = system.FindProcess(100)->ownerSid;
  int lookups = 0;
  system.afterCall = [&lookups](std::string_view call) { lookups += call == "LookupAccountSidW"; };
  CZelProcess p;
  for (int round = 0; round < 2; ++round) {
    for (const unsigned id : {100u, 300u, 100u}) {
      const zel::FindHandle h(p, p.CreateHandleFromPID(id));
      EXPECT_EQ(p.GetUserAndDomain(h.Get(), user, domain), 1);
      EXPECT_EQ(user.ToUtf8(), "jürgen");
    }
    EXPECT_EQ(lookups, 1);
    // A copy keeps names of its own, looked up again.
    CZelProcess copy(p);
    const zel::FindHandle h(copy, copy.CreateHandleFromPID(300));
    system.accounts[0].name = u"renamed";
    EXPECT_EQ(copy.GetUserAndDomain(h.Get(), user, domain), 1);
    EXPECT_EQ(user.ToUtf8(), "renamed");
    system.accounts[0].name = u"jürgen";
    ASSERT_EQ(p.Refresh(), 1);
    lookups = 0;
  }
}

TEST_F(OwnerWindowTest, FailedTokenBufferRecordsOutOfMemory) {
  CZelProcess p;
  void* h = p.CreateHandleFromPID(100);
  // The allocation right after the sizing query is the user record's.
  bool armed = false;
  system.afterCall = [&armed](std::string_view call) {
    if (call == "GetTokenInformation" && !armed) {
      armed = true;
      zel::test::FailAllocation(0);
    }
  };
  EXPECT_EQ(p.GetUserAndDomain(h, user, domain), 0);
  EXPECT_TRUE(zel::test::AllocationFailed());
  zel::test::DisarmAllocationFailure();
  EXPECT_EQ(p.GetErrorCode(), code::kOutOfMemory);
  EXPECT_TRUE(user.IsEmpty());
  p.CloseHandle(h);
}

TEST_F(OwnerWindowTest, MainWindowIsTheFirstInThePlatformsOrder) {
  CZelProcess p;
  void* h = p.CreateHandleFromPID(100);
  p.FindNextProcess(nullptr);
  // The hidden window comes first and wins.
  EXPECT_EQ(p.GetMainWindow(h), reinterpret_cast<HWND>(0x20));
  EXPECT_EQ(p.GetErrorCode(), 0u);
  std::swap(system.windows[1], system.windows[2]);
  EXPECT_EQ(p.GetMainWindow(h), reinterpret_cast<HWND>(0x30));

  void* quiet = p.CreateHandleFromPID(200);
  p.FindNextProcess(nullptr);
  EXPECT_EQ(p.GetMainWindow(quiet), nullptr);
  EXPECT_EQ(p.GetErrorCode(), 0u);
  p.CloseHandle(quiet);
  p.CloseHandle(h);
}

TEST(SidText, RoundTripsThroughTheBinaryForm) {
  for (const char* text :
       {"S-1-5-18", "S-1-22-1-1000", "S-1-5-21-3623811015-3361044348-30300820-1013"}) {
    const auto sid = zel::fake::SidFromText(text);
    EXPECT_EQ(zel::fake::SidToText(sid.data()), text);
  }
  EXPECT_EQ(zel::fake::SidFromText("S-1-5-18").size(), 12u);
}

}  // namespace
