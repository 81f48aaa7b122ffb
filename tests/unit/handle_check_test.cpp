// Only the handles that the library handed out are its handles: every member
// that takes one refuses every other pointer with its code, reads nothing
// through it and frees nothing.
#include <gtest/gtest.h>

#include <set>

#include "support/handle_members.h"
#include "support/scripted_system.h"
#include "support/system_test.h"

namespace {

using zel::test::HandleMembers;
using zel::test::Pointer;

constexpr ZelCode kUnset = 0x5EEDC0DE;

class HandleCheckTest : public zel::test::SystemTest {
 protected:
  void SetUp() override {
    system.processes = zel::test::MakeProcesses(3);
    system.processes.push_back(zel::test::MakeTarget(kTarget, 4, u"target.exe", 1));
  }
  static constexpr unsigned kTarget = 100;

  // A module handle on the target's first module.
  static void* ModuleHandle(CZelProcess& p) {
    const zel::FindHandle target(p, p.CreateHandleFromPID(kTarget));
    return p.FindFirstModule(target.Get(), CZelString());
  }
};

TEST_F(HandleCheckTest, EveryMemberRefusesEveryPointerThatIsNotItsHandle) {
  zel::test::ProtectedProcess p;
  // Handles into a snapshot that the object no longer holds, and into
  // another object's.
  void* stale_process = p.FindFirstProcess(CZelString::FromUtf8("p*"));
  void* stale_thread = p.FindFirstThread(stale_process);
  void* stale_module = ModuleHandle(p);
  ASSERT_EQ(p.Refresh(), 1);
  CZelProcess other;
  const zel::FindHandle foreign_process(other, other.CreateHandleFromPID(8));
  const zel::FindHandle foreign_thread(other, other.FindFirstThread(foreign_process.Get()));
  const zel::FindHandle foreign_module(other, ModuleHandle(other));

  const zel::FindHandle process(p, p.FindFirstProcess(CZelString::FromUtf8("p*")));
  const zel::FindHandle thread(p, p.FindFirstThread(process.Get()));
  const zel::FindHandle module(p, ModuleHandle(p));
  ASSERT_TRUE(stale_module && foreign_module && module) << p.GetErrorCode();
  std::vector<std::pair<std::string, void*>> forged;
  {
    zel::test::BadHandles bad(p, process.Get(), thread.Get(), module.Get());
    std::vector<std::tuple<std::string, void*, Pointer>> pointers;
    for (const auto& [name, pointer] : bad.All()) {
      pointers.emplace_back(name, pointer, Pointer::NoHandle);
      // A closed record is the pool's own, to hand out again.
      if (name != "closed handle") forged.emplace_back(name, pointer);
    }
    pointers.emplace_back("stale process handle", stale_process, Pointer::OtherSnapshot);
    pointers.emplace_back("stale thread handle", stale_thread, Pointer::OtherSnapshot);
    pointers.emplace_back("another object's process handle", foreign_process.Get(),
                          Pointer::OtherSnapshot);
    pointers.emplace_back("another object's thread handle", foreign_thread.Get(),
                          Pointer::OtherSnapshot);
    pointers.emplace_back("stale module handle", stale_module, Pointer::OtherSnapshot);
    pointers.emplace_back("another object's module handle", foreign_module.Get(),
                          Pointer::OtherSnapshot);
    pointers.emplace_back("module handle", module.Get(), Pointer::ModuleHandle);
    pointers.emplace_back("process handle", process.Get(), Pointer::ProcessHandle);
    pointers.emplace_back("thread handle", thread.Get(), Pointer::ThreadHandle);

    for (const auto& [name, pointer, what] : pointers) {
      for (const auto& member : HandleMembers()) {
        if (!MustRefuse(member, what)) continue;
        p.Mark(kUnset);
        EXPECT_TRUE(member.refuses(p, pointer)) << member.name << " took " << name;
        EXPECT_EQ(p.GetErrorCode(), member.refusal) << member.name << " given " << name;
      }
    }
  }
  // The genuine handles read as before, and the pool took none of the
  // host's memory in: what it hands out now is its own.
  EXPECT_EQ(p.GetProcessID(process.Get()), 4u);
  EXPECT_EQ(p.GetThreadID(thread.Get()), 401u);
  EXPECT_EQ(p.GetModuleName(module.Get()).ToUtf8(), "app.exe");
  std::vector<zel::FindHandle> fresh;
  for (int i = 0; i < 64; ++i) {
    fresh.emplace_back(p, i % 2 ? p.DuplicateHandle(thread.Get())
                                : p.FindFirstProcess(CZelString::FromUtf8("p*")));
    for (const auto& [name, pointer] : forged)
      EXPECT_NE(fresh.back().Get(), pointer) << "handed out " << name;
  }
  EXPECT_EQ(p.CloseHandle(stale_module), 1);
  EXPECT_EQ(p.CloseHandle(stale_thread), 1);
  EXPECT_EQ(p.CloseHandle(stale_process), 1);
}

TEST_F(HandleCheckTest, ClosedRecordsAreNoHandlesUntilHandedOutAgain) {
  CZelProcess p;
  void* process = p.CreateHandleFromPID(4);
  void* h = p.CreateHandleFromPID(8);
  ASSERT_EQ(p.CloseHandle(h), 1);
  EXPECT_EQ(p.CloseHandle(h), 0);
  EXPECT_EQ(p.GetErrorCode(), zel::code::kInvalidParameter);
  // The record is the next one handed out: the old pointer now names the new
  // thread handle, and is taken as it.
  void* thread = p.FindFirstThread(process);
  ASSERT_EQ(thread, h);
  EXPECT_EQ(p.IsProcessHandle(h), 0);
  EXPECT_EQ(p.GetErrorCode(), zel::code::kSuccess);
  EXPECT_EQ(p.GetThreadParentProcess(h), 4u);
  p.CloseHandle(thread);
  p.CloseHandle(process);
}

}  // namespace
