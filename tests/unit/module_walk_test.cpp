// The module walk over the loader lists of the fake Windows: the list as the
// loader keeps it, and what a list that changes under the walk, is corrupt
// or is too long ends with.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "ZelHandles.h"
#include "platform/module_list.h"
#include "support/scripted_system.h"
#include "support/system_test.h"

namespace {

namespace code = zel::code;
namespace layout = zel::layout;
using zel::fake::ModuleModel;

constexpr unsigned kTarget = 100;
constexpr unsigned kWow64Target = 200;

struct Walked {
  std::vector<std::u16string> paths;
  std::vector<std::u16string> names;
  std::vector<std::uint64_t> bases;
  std::vector<std::uint64_t> sizes;
  ZelCode first = 0;  // what FindFirstModule recorded
  ZelCode end = 0;    // what the FindNextModule that did not move recorded
};

std::u16string Text(const CZelString& s) {
  const unsigned short* units = s;
  return std::u16string(units, units + s.GetLength());
}

Walked Walk(CZelProcess& p, unsigned id, const char* pattern = "") {
  Walked walked;
  const zel::FindHandle process(p, p.CreateHandleFromPID(id));
  const zel::FindHandle module(p, p.FindFirstModule(process.Get(), CZelString::FromUtf8(pattern)));
  walked.first = p.GetErrorCode();
  for (bool more = static_cast<bool>(module); more; more = p.FindNextModule(module.Get())) {
    walked.paths.push_back(Text(p.GetModulePath(module.Get())));
    walked.names.push_back(Text(p.GetModuleName(module.Get())));
    walked.bases.push_back(p.GetModuleBase(module.Get()));
    walked.sizes.push_back(p.GetModuleSize(module.Get()));
  }
  walked.end = p.GetErrorCode();
  return walked;
}

std::vector<std::u16string> PathsOf(const std::vector<ModuleModel>& modules) {
  std::vector<std::u16string> paths;
  for (const ModuleModel& module : modules) paths.push_back(module.path);
  return paths;
}

class ModuleWalkTest : public zel::test::SystemTest {
 protected:
  void SetUp() override {
    system.processes = {zel::test::MakeProcess(4, 0, u"System"),
                        zel::test::MakeTarget(kTarget, 4, u"app.exe", 1),
                        zel::test::MakeWow64Target(kWow64Target, 4, u"app32.exe", 1)};
  }
  zel::fake::ProcessModel& Target() { return *system.FindProcess(kTarget); }

  // The target's list, laid out again with `modules`; its entries' addresses.
  std::vector<std::uint64_t> Relist(const std::vector<ModuleModel>& modules) {
    Target().memory.clear();
    zel::fake::LayOutParameters(Target(), zel::test::TargetParameters());
    return zel::fake::LayOutModules(Target(), modules, false);
  }
  layout::LoaderEntry& EntryAt(std::uint64_t address) {
    return *reinterpret_cast<layout::LoaderEntry*>(zel::fake::MemoryAt(Target(), address));
  }
};

TEST_F(ModuleWalkTest, TheLoadersListInLoadOrderWithTheFileNamesThatMatch) {
  CZelProcess p;
  const Walked all = Walk(p, kTarget);
  EXPECT_EQ(all.first, code::kSuccess);
  EXPECT_EQ(all.paths, PathsOf(zel::test::TargetModules()));
  EXPECT_EQ(all.names, (std::vector<std::u16string>{u"app.exe", u"ntdll.dll", u"KERNEL32.DLL",
                                                    u"plug-in ü 😀.dll"}));
  EXPECT_EQ(all.bases.front(), 0x140000000u);
  EXPECT_EQ(all.sizes.back(), 0x23000u);
  EXPECT_EQ(all.end, code::kNoMoreItems);

  // The 32-bit list of a 32-bit process, not its 64-bit one.
  EXPECT_EQ(Walk(p, kWow64Target).paths, PathsOf(zel::test::Wow64Modules()));
  EXPECT_EQ(Walk(p, kWow64Target).bases.back(), 0x76F00000u);

  // The same matcher as the process walk's: any case, lists, wildcards.
  EXPECT_EQ(Walk(p, kTarget, "kernel32.dll; plug-in*").names,
            (std::vector<std::u16string>{u"KERNEL32.DLL", u"plug-in ü 😀.dll"}));
  const Walked none = Walk(p, kTarget, "user32.dll");
  EXPECT_TRUE(none.paths.empty());
  EXPECT_EQ(none.first, code::kNotFound);

  // A process whose loader has not started: no modules yet.
  zel::fake::ProcessModel bare = zel::test::MakeProcess(300, 4, u"new.exe");
  zel::fake::LayOutParameters(bare, zel::test::TargetParameters());
  system.processes.push_back(bare);
  CZelProcess later;
  EXPECT_EQ(Walk(later, 300).first, code::kNotFound);
}

TEST_F(ModuleWalkTest, TheHandleHoldsItsOwnListWhichNoReadChanges) {
  CZelProcess p;
  const zel::FindHandle process(p, p.CreateHandleFromPID(kTarget));
  const zel::FindHandle module(p, p.FindFirstModule(process.Get(), CZelString()));
  ASSERT_TRUE(module);
  EXPECT_EQ(p.IsProcessHandle(module.Get()), 0);
  EXPECT_EQ(p.GetErrorCode(), code::kSuccess);
  // Read once: the process may unload everything, and nothing is read again.
  system.RecordCalls();
  Target().memory.clear();
  ASSERT_EQ(p.FindNextModule(module.Get()), 1);
  const zel::FindHandle copy(p, p.DuplicateHandle(module.Get()));
  ASSERT_EQ(p.FindNextModule(copy.Get()), 1);
  EXPECT_EQ(Text(p.GetModuleName(module.Get())), u"ntdll.dll");
  EXPECT_EQ(Text(p.GetModuleName(copy.Get())), u"KERNEL32.DLL");
  EXPECT_TRUE(system.RecordedCalls().empty());
  // At the end the handle stays on its last module.
  while (p.FindNextModule(copy.Get())) {
  }
  EXPECT_EQ(p.GetErrorCode(), code::kNoMoreItems);
  EXPECT_EQ(Text(p.GetModuleName(copy.Get())), u"plug-in ü 😀.dll");
}

// Lists that the walk must not take as they are, and what it ends with.
TEST_F(ModuleWalkTest, ListsThatChangeAreCorruptOrTooLongEndWithACode) {
  std::vector<ModuleModel> many;
  for (int i = 0; i < 16385; ++i) {
    std::u16string path = u"C:\\m\\";
    for (char c : std::to_string(i)) path += static_cast<char16_t>(c);
    many.push_back({path + u".dll", 0x10000000u + 0x10000u * i, 0x1000});
  }
  // Paths as long as a counted string holds, and names of 700 units.
  std::vector<ModuleModel> long_paths;
  for (int i = 0; i < 256; ++i)
    long_paths.push_back({std::u16string(32000, u'a') + u"\\" + std::u16string(700, u'b'),
                          0x10000000u + 0x10000u * i, 0x1000});
  const std::size_t long_paths_kept = zel::source::kMaxModuleTextUnits / (32701 + 700);
  const std::vector<ModuleModel> before = zel::test::TargetModules();
  std::vector<ModuleModel> after = before;
  after.erase(after.begin() + 2);

  struct Row {
    const char* what;
    std::function<void()> arrange;
    ZelCode first;
    std::size_t kept;
    ZelCode end;
  };
  const Row rows[] = {
      {"a module unloads while the list is read: the list after it",
       [&] {
         const std::vector<std::uint64_t> entries = Relist(before);
         int reads = 0;
         system.afterCall = [&, entries, reads](std::string_view call) mutable {
           // Once the entry before it has been read (after the PEB and the
           // loader data), the third module goes.
           if (call != "ReadProcessMemory" || ++reads != 4) return;
           EntryAt(entries[1]).InLoadOrderLinks.Flink = entries[3];
           EntryAt(entries[3]).InLoadOrderLinks.Blink = entries[1];
         };
       },
       code::kSuccess, after.size(), code::kNoMoreItems},
      {"a list that changes during every reading of it",
       [&] {
         const std::vector<std::uint64_t> entries = Relist(before);
         int reads = 0;
         system.afterCall = [&, entries, reads](std::string_view call) mutable {
           // Each reading takes five reads (the first also the PEB's) up to
           // the last entry, which is relinked just then, and back after.
           if (call != "ReadProcessMemory") return;
           ++reads;
           EntryAt(entries[3]).InLoadOrderLinks.Blink = reads % 5 == 0 ? entries[1] : entries[2];
         };
       },
       code::kPartialCopy, 0, 0},
      {"a circular list that never comes back to its head",
       [&] {
         const std::vector<std::uint64_t> entries = Relist(before);
         EntryAt(entries[3]).InLoadOrderLinks.Flink = entries[1];
       },
       code::kPartialCopy, 0, 0},
      {"a link out of the process's memory",
       [&] { EntryAt(Relist(before)[1]).InLoadOrderLinks.Flink = 0xDEAD0000; }, code::kPartialCopy,
       0, 0},
      {"more modules than the list holds", [&] { Relist(many); }, code::kSuccess, 16384,
       code::kMoreData},
      {"more text than the list holds", [&] { Relist(long_paths); }, code::kSuccess,
       long_paths_kept, code::kMoreData},
  };
  for (const Row& row : rows) {
    row.arrange();
    CZelProcess p;
    const Walked walked = Walk(p, kTarget);
    system.afterCall = nullptr;
    EXPECT_EQ(walked.first, row.first) << row.what;
    EXPECT_EQ(walked.paths.size(), row.kept) << row.what;
    if (row.kept != 0) {
      EXPECT_EQ(walked.end, row.end) << row.what;
    }
  }
}

}  // namespace
