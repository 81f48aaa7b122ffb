// The /proc source on a tree that the test writes with the layout of /proc:
// what the reader returns, what a snapshot through the library lists, and
// what opening a process reads of it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ZelProcess.h"
#include "platform/codes.h"
#include "platform/emulated/emulation.h"
#include "platform/emulated/proc/proc_system.h"
#include "platform/emulated/proc/unix_accounts.h"
#include "platform/layouts.h"

namespace {

namespace fs = std::filesystem;
namespace code = zel::code;
namespace emu = zel::emu;
using emu::proc::ProcListing;
using emu::proc::ProcReader;
using emu::proc::ProcSystem;
using emu::proc::ProcText;
using namespace std::string_literals;

constexpr std::uint64_t kTicksPerSecond = 100;
constexpr std::uint64_t kBootTime = 1'700'000'000;  // 2023-11-14T22:13:20Z
// The FILETIME of the boot.
constexpr std::uint64_t kBootFileTime = 133'444'736'000'000'000;
constexpr std::uint32_t kUnknownUid = 4'000'000'000;

// A directory under the system's temporary directory, removed with its tree.
class TempTree {
 public:
  TempTree() {
    std::string pattern = (fs::temp_directory_path() / "zel-proc-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
    root_ = pattern;
  }
  ~TempTree() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  const fs::path& Root() const { return root_; }
  void Write(const std::string& path, const std::string& content) const {
    fs::create_directories((root_ / path).parent_path());
    std::ofstream(root_ / path, std::ios::binary) << content;
  }
  void Link(const std::string& path, const std::string& target) const {
    fs::create_directories((root_ / path).parent_path());
    fs::create_symlink(target, root_ / path);
  }
  void Remove(const std::string& path) const { fs::remove_all(root_ / path); }

 private:
  fs::path root_;
};

struct FakeThread {
  std::uint32_t id;
  std::uint64_t start;
  std::uint64_t user = 0;
  std::uint64_t system = 0;
};

// One process of the tree; a field left empty leaves its file out.
struct FakeProcess {
  std::uint32_t id = 0;
  std::string comm{};
  char state = 'S';
  std::uint32_t parent = 1;
  std::uint64_t flags = 0x400100;
  std::int64_t nice = 0;
  std::uint32_t policy = 0;
  std::uint64_t start = 0;
  std::uint64_t user = 0;
  std::uint64_t system = 0;
  std::uint64_t minorFaults = 0;
  std::uint64_t majorFaults = 0;
  std::vector<FakeThread> threads{};
  std::string status{};
  std::string exe{};
  std::string cwd{};
  std::string cmdline{};
  std::string environ{};
  std::string io{};
  int fds = 0;
};

std::string StatLine(std::uint32_t id, const std::string& comm, char state, std::uint32_t parent,
                     std::uint64_t flags, std::uint64_t minor, std::uint64_t major, std::uint64_t user,
                     std::uint64_t system, std::int64_t nice, std::uint64_t start, std::uint32_t policy) {
  return std::to_string(id) + " (" + comm + ") " + state + " " + std::to_string(parent) + " " +
         std::to_string(id) + " " + std::to_string(id) + " 0 -1 " + std::to_string(flags) + " " +
         std::to_string(minor) + " 0 " + std::to_string(major) + " 0 " + std::to_string(user) + " " +
         std::to_string(system) + " 0 0 20 " + std::to_string(nice) + " 1 0 " + std::to_string(start) +
         " 1000 10 18446744073709551615 1 1 0 0 0 0 0 0 0 0 0 0 17 0 0 " + std::to_string(policy) +
         " 0 0 0 0 0 0 0 0 0 0 0\n";
}

void WriteProcess(const TempTree& tree, const FakeProcess& p) {
  const std::string dir = std::to_string(p.id) + "/";
  tree.Write(dir + "stat", StatLine(p.id, p.comm, p.state, p.parent, p.flags, p.minorFaults,
                                    p.majorFaults, p.user, p.system, p.nice, p.start, p.policy));
  if (!p.status.empty()) tree.Write(dir + "status", p.status);
  tree.Write(dir + "cmdline", p.cmdline);
  tree.Write(dir + "environ", p.environ);
  if (!p.io.empty()) tree.Write(dir + "io", p.io);
  if (!p.exe.empty()) tree.Link(dir + "exe", p.exe);
  if (!p.cwd.empty()) tree.Link(dir + "cwd", p.cwd);
  fs::create_directories(tree.Root() / (dir + "fd"));
  for (int fd = 0; fd < p.fds; ++fd) tree.Link(dir + "fd/" + std::to_string(fd), "/dev/null");
  for (const FakeThread& t : p.threads) {
    tree.Write(dir + "task/" + std::to_string(t.id) + "/stat",
               StatLine(t.id, p.comm, p.state, p.parent, p.flags, 0, 0, t.user, t.system, p.nice,
                        t.start, p.policy));
  }
}

std::string Status(std::uint32_t uid, const std::string& memory = "") {
  const std::string id = std::to_string(uid);
  return "Name:\tx\nState:\tS (sleeping)\nUid:\t" + id + "\t" + id + "\t" + id + "\t" + id + "\n" + memory +
         "Threads:\t1\n";
}

// A reader whose reads of chosen paths fail with a chosen errno, as reads of
// another user's process or of one that has just ended do.
class FaultyReader : public ProcReader {
 public:
  using ProcReader::ProcReader;
  std::map<std::string, int> failures;

  ProcText ReadFile(const std::string& path) const override {
    if (const int error = Failure(path)) return {{}, error};
    return ProcReader::ReadFile(path);
  }
  ProcText ReadLink(const std::string& path) const override {
    if (const int error = Failure(path)) return {{}, error};
    return ProcReader::ReadLink(path);
  }
  ProcListing List(const std::string& path) const override {
    if (const int error = Failure(path)) return {{}, error};
    return ProcReader::List(path);
  }

 private:
  int Failure(const std::string& path) const {
    const auto it = failures.find(path);
    return it == failures.end() ? 0 : it->second;
  }
};

std::string Utf8(const CZelString& s) { return s.ToUtf8(); }

std::uint64_t Value(const FILETIME& t) {
  return (std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime;
}

class ProcTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree.Write("stat", "cpu  10 0 10 100 0 0 0 0 0 0\nintr 5 0 0\nctxt 99\nbtime 1700000000\nprocesses 600\n");
    tree.Write("uptime", "1000.00 900.00\n");
    tree.Link("self", "100");
    fs::create_directories(tree.Root() / "sys/kernel");

    WriteProcess(tree, {.id = 1, .comm = "systemd", .parent = 0, .start = 10, .threads = {{1, 10}},
                        .status = Status(0), .exe = "/usr/lib/systemd/systemd", .cwd = "/",
                        .cmdline = "/sbin/init\0splash\0"s, .environ = "HOME=/\0"s});
    WriteProcess(tree, {.id = 2, .comm = "kthreadd", .parent = 0, .flags = 0x208040, .nice = -20,
                        .start = 11, .threads = {{2, 11}}, .status = Status(0)});
    WriteProcess(tree, {.id = 40, .comm = "defunct", .state = 'Z', .parent = 100, .start = 500,
                        .user = 3, .threads = {{40, 500, 3}}, .status = Status(0)});
    WriteProcess(tree, {.id = 100, .comm = "editor", .nice = -5, .start = 12'345, .user = 250,
                        .system = 75, .minorFaults = 1000, .majorFaults = 24,
                        .threads = {{100, 12'345, 200, 70}, {101, 12'400, 50, 5}, {105, 13'000}},
                        .status = Status(0, "VmPeak:\t 20480 kB\nVmSize:\t 16384 kB\nVmHWM:\t 8192 kB\n"
                                            "VmRSS:\t 4096 kB\nRssAnon:\t 1024 kB\nVmSwap:\t 512 kB\n"),
                        .exe = "/opt/my app/editor (deleted)", .cwd = "/home/ü dir",
                        .cmdline = "/opt/my app/editor\0--title\0a \"b\"\0end\\\0\0ü €漢字 😀\0"s,
                        .environ = "A=1\0PATH=/bin:/usr/bin\0NAME=ü 😀\0"s,
                        .io = "rchar: 4000\nwchar: 3000\nsyscr: 40\nsyscw: 30\nread_bytes: 0\nwrite_bytes: 0\n",
                        .fds = 3});
    // A process whose executable cannot be read, as another user's cannot.
    WriteProcess(tree, {.id = 200, .comm = "helper-trunc", .policy = 1, .start = 20'000,
                        .threads = {{200, 20'000}}, .status = Status(kUnknownUid),
                        .cmdline = "/usr/lib/tools/helper-with-long-name\0--flag\0"s,
                        .environ = "SECRET=1\0"s});
    // Neither executable nor arguments: the kernel's name it is.
    WriteProcess(tree, {.id = 300, .comm = "a) b (c) d", .nice = 19, .start = 30'000,
                        .threads = {{300, 30'000}}, .status = Status(0)});
    // A directory whose process ended before its stat was read.
    fs::create_directories(tree.Root() / "500/task");
  }

  void TearDown() override { EXPECT_EQ(emu::OpenHandleCount(), 0u) << "platform handles left open"; }

  std::vector<unsigned> ListedIds(CZelProcess& p) {
    std::vector<unsigned> ids;
    void* h = p.FindFirstProcess(CZelString());
    for (bool more = h != nullptr; more; more = p.FindNextProcess(h)) ids.push_back(p.GetProcessID(h));
    if (h) p.CloseHandle(h);
    return ids;
  }

  std::vector<unsigned> ThreadIds(CZelProcess& p, void* process) {
    std::vector<unsigned> ids;
    void* t = p.FindFirstThread(process);
    for (bool more = t != nullptr; more; more = p.FindNextThread(t)) ids.push_back(p.GetThreadID(t));
    if (t) p.CloseHandle(t);
    return ids;
  }

  std::u16string Text(const CZelString& s) {
    const unsigned short* units = s;
    return std::u16string(units, units + s.GetLength());
  }

  TempTree tree;
  std::unique_ptr<FaultyReader> owned_reader = std::make_unique<FaultyReader>(tree.Root().string());
  FaultyReader& reader = *owned_reader;
  ProcSystem system{std::move(owned_reader), kTicksPerSecond};
  emu::ScopedSystem use{system};
};

TEST_F(ProcTreeTest, ReaderGivesContentsTargetsListingsOrTheErrno) {
  const ProcReader plain(tree.Root().string());
  const ProcText cmdline = plain.ReadFile("100/cmdline");
  ASSERT_TRUE(cmdline.ok());
  EXPECT_EQ(cmdline.text, "/opt/my app/editor\0--title\0a \"b\"\0end\\\0\0ü €漢字 😀\0"s);
  EXPECT_EQ(plain.ReadLink("100/exe").text, "/opt/my app/editor (deleted)");
  EXPECT_EQ(plain.ReadLink("200/exe").error, ENOENT);
  EXPECT_EQ(plain.ReadFile("200/io").error, ENOENT);
  EXPECT_EQ(plain.ReadFile("100").error, EISDIR);
  EXPECT_EQ(plain.ReadLink("100/cmdline").error, EINVAL);

  ProcListing tasks = plain.List("100/task");
  ASSERT_TRUE(tasks.ok());
  std::sort(tasks.names.begin(), tasks.names.end());
  EXPECT_EQ(tasks.names, (std::vector<std::string>{"100", "101", "105"}));
  EXPECT_EQ(plain.List("999/task").error, ENOENT);
  EXPECT_EQ(plain.List("100/stat").error, ENOTDIR);
  EXPECT_EQ(plain.List("").names.size(), 11u);  // 7 processes, stat, uptime, self, sys
}

TEST_F(ProcTreeTest, SnapshotListsEachProcessWithItsNameAndParent) {
  CZelProcess p;
  EXPECT_EQ(ListedIds(p), (std::vector<unsigned>{1, 2, 40, 100, 200, 300}));
  const std::map<unsigned, std::pair<std::string, unsigned>> expected = {
      {1, {"systemd", 0}},         // the executable's name, not argv[0]'s
      {2, {"kthreadd", 0}},        // a kernel thread: the kernel's name
      {40, {"defunct", 100}},      // a zombie: the kernel's name
      {100, {"editor", 1}},        // without " (deleted)"
      {200, {"helper-with-long-name", 1}},  // argv[0], not the 15-byte name
      {300, {"a) b (c) d", 1}},
  };
  for (const auto& [id, name_and_parent] : expected) {
    void* h = p.CreateHandleFromPID(id);
    ASSERT_NE(h, nullptr) << id;
    EXPECT_EQ(Utf8(p.GetName(h)), name_and_parent.first);
    EXPECT_EQ(p.GetParentProcess(h), name_and_parent.second) << id;
    p.CloseHandle(h);
  }
}

TEST_F(ProcTreeTest, ThreadsTimesAndPriorities) {
  // A thread that ends while it is read is left out.
  tree.Write("100/task/107/status", "Name:\teditor\n");
  CZelProcess p;
  void* h = p.CreateHandleFromPID(100);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(p.GetThreadCount(h), 3u);
  EXPECT_EQ(ThreadIds(p, h), (std::vector<unsigned>{100, 101, 105}));

  FILETIME created{}, user{}, kernel{};
  ASSERT_EQ(p.GetCreateTime(h, created), 1);
  EXPECT_EQ(Value(created), kBootFileTime + 1'234'500'000);  // 123.45 s after boot
  ASSERT_EQ(p.GetUserTime(h, user), 1);
  EXPECT_EQ(Value(user), 25'000'000u);  // 250 ticks
  ASSERT_EQ(p.GetKernelTime(h, kernel), 1);
  EXPECT_EQ(Value(kernel), 7'500'000u);

  void* t = p.CreateHandleFromTID(h, 101);
  ASSERT_NE(t, nullptr);
  FILETIME thread_created{};
  ASSERT_EQ(p.GetThreadCreateTime(t, thread_created), 1);
  EXPECT_EQ(Value(thread_created), kBootFileTime + 1'240'000'000);
  EXPECT_EQ(p.GetThreadParentProcess(t), 100u);
  p.CloseHandle(t);
  ASSERT_NE(system.FindProcess(100), nullptr);
  ASSERT_EQ(system.FindProcess(100)->threads.size(), 3u);
  const emu::ThreadModel& model = system.FindProcess(100)->threads[1];
  EXPECT_EQ(model.userTime, 5'000'000u);
  EXPECT_EQ(model.kernelTime, 500'000u);
  EXPECT_EQ(model.priority, 10);

  const std::map<unsigned, long> priorities = {{1, 8}, {2, 13}, {100, 10}, {200, 24}, {300, 4}};
  for (const auto& [id, priority] : priorities) {
    void* other = p.CreateHandleFromPID(id);
    EXPECT_EQ(p.GetBasePriority(other), priority) << id;
    p.CloseHandle(other);
  }
  p.CloseHandle(h);
}

TEST_F(ProcTreeTest, CountersFromStatusStatIoAndDescriptors) {
  CZelProcess p;
  void* h = p.CreateHandleFromPID(100);
  ASSERT_NE(h, nullptr);
  ASSERT_NE(system.FindProcess(100), nullptr);
  VM_COUNTERS vm{};
  ASSERT_EQ(p.GetMemoryCounters(h, vm), 1);
  EXPECT_EQ(vm.PeakVirtualSize, 20480u * 1024);
  EXPECT_EQ(vm.VirtualSize, 16384u * 1024);
  EXPECT_EQ(vm.PageFaultCount, 1024u);
  EXPECT_EQ(vm.PeakWorkingSetSize, 8192u * 1024);
  EXPECT_EQ(vm.WorkingSetSize, 4096u * 1024);
  EXPECT_EQ(vm.PagefileUsage, 1536u * 1024);
  IO_COUNTERS io{};
  ASSERT_EQ(p.GetIOCounters(h, io), 1);
  EXPECT_EQ(io.ReadOperationCount, 40u);
  EXPECT_EQ(io.WriteOperationCount, 30u);
  EXPECT_EQ(io.OtherOperationCount, 0u);
  EXPECT_EQ(io.ReadTransferCount, 4000u);
  EXPECT_EQ(io.WriteTransferCount, 3000u);
  EXPECT_EQ(io.OtherTransferCount, 0u);
  EXPECT_EQ(system.FindProcess(100)->handleCount, 3u);
  EXPECT_EQ(system.FindProcess(100)->privatePageCount, 1536u * 1024);
  p.CloseHandle(h);

  // Neither io nor fd can be read: zeros, and the process is still listed.
  tree.Remove("200/fd");
  ASSERT_EQ(p.Refresh(), 1);
  void* helper = p.CreateHandleFromPID(200);
  ASSERT_EQ(p.GetIOCounters(helper, io), 1);
  EXPECT_EQ(io.ReadTransferCount + io.ReadOperationCount, 0u);
  ASSERT_NE(system.FindProcess(200), nullptr);
  EXPECT_EQ(system.FindProcess(200)->handleCount, 0u);
  p.CloseHandle(helper);

  // A kernel thread has no memory counters.
  void* kthread = p.CreateHandleFromPID(2);
  ASSERT_EQ(p.GetMemoryCounters(kthread, vm), 1);
  EXPECT_EQ(vm.VirtualSize + vm.WorkingSetSize + vm.PagefileUsage, 0u);
  p.CloseHandle(kthread);
}

TEST_F(ProcTreeTest, ProcessesThatEndWhileReadAreLeftOut) {
  reader.failures["300/status"] = ESRCH;   // ended between stat and status
  reader.failures["200/task"] = ENOENT;    // ended before its threads were listed
  CZelProcess p;
  EXPECT_EQ(ListedIds(p), (std::vector<unsigned>{1, 2, 40, 100}));
  // An unreadable status of a live process only loses the owner.
  reader.failures = {{"300/status", EACCES}};
  ASSERT_EQ(p.Refresh(), 1);
  EXPECT_EQ(ListedIds(p), (std::vector<unsigned>{1, 2, 40, 100, 200, 300}));
  ASSERT_NE(system.FindProcess(300), nullptr);
  EXPECT_FALSE(system.FindProcess(300)->ownerSid);
}

TEST_F(ProcTreeTest, OpeningReadsTheLiveStringsEnvironmentAndOwner) {
  CZelProcess p;
  void* h = p.CreateHandleFromPID(100);
  EXPECT_EQ(Utf8(p.GetImageFile(h)), "/opt/my app/editor");
  EXPECT_EQ(Utf8(p.GetCommandLineW(h)), R"("/opt/my app/editor" --title "a \"b\"" end\ "" "ü €漢字 😀")");
  EXPECT_EQ(Utf8(p.GetCurrentDirectoryW(h)), "/home/ü dir");
  EXPECT_EQ(p.GetErrorCode(), 0u);
  // What Linux has no counterpart for is empty, and read without failure.
  EXPECT_TRUE(p.GetWindowTitle(h).IsEmpty());
  EXPECT_TRUE(p.GetDesktopName(h).IsEmpty());
  EXPECT_TRUE(p.GetPath(h).IsEmpty());
  EXPECT_EQ(p.GetErrorCode(), 0u);

  unsigned char* env = p.GetEnvironmentBuffer(h);
  ASSERT_NE(env, nullptr);
  const std::u16string block = u"A=1\0PATH=/bin:/usr/bin\0NAME=ü 😀\0\0"s;
  std::u16string read(block.size(), u'?');
  std::memcpy(read.data(), env, block.size() * sizeof(char16_t));
  EXPECT_EQ(read, block);
  EXPECT_EQ(env[zel::layout::kEnvironmentReadSize - 1], 0);
  EXPECT_EQ(p.FreeEnvironmentBuffer(env), 1);

  CZelString user, domain;
  ASSERT_EQ(p.GetUserAndDomain(h, user, domain), 1);
  EXPECT_EQ(Utf8(user), emu::proc::UserNameOf(0));
  EXPECT_EQ(Utf8(domain), emu::proc::HostName());
  ASSERT_NE(system.FindProcess(100), nullptr);
  EXPECT_EQ(system.FindProcess(100)->ownerSid, "S-1-22-1-0");

  // Each open reads afresh: a process that changed directory shows the new one.
  tree.Remove("100/cwd");
  tree.Link("100/cwd", "/srv/other (deleted)");
  tree.Write("100/cmdline", "editor\0"s);
  EXPECT_EQ(Utf8(p.GetCurrentDirectoryW(h)), "/srv/other");
  EXPECT_EQ(Utf8(p.GetCommandLineW(h)), "editor");
  p.CloseHandle(h);
}

TEST_F(ProcTreeTest, LongCommandLineIsCutToWhatACountedStringHolds) {
  tree.Write("100/cmdline", "editor\0"s + std::string(40'000, 'x') + "\0"s);
  CZelProcess p;
  void* h = p.CreateHandleFromPID(100);
  const CZelString line = p.GetCommandLineW(h);
  EXPECT_EQ(p.GetErrorCode(), 0u);
  EXPECT_EQ(line.GetLength(), 32766u);
  EXPECT_EQ(Utf8(line).substr(0, 9), "editor xx");
  p.CloseHandle(h);
}

TEST_F(ProcTreeTest, UnreadableMemoryDeniesReadsButNotTheOwner) {
  reader.failures["200/environ"] = EACCES;
  CZelProcess p;
  void* h = p.CreateHandleFromPID(200);
  EXPECT_TRUE(p.GetCommandLineW(h).IsEmpty());
  EXPECT_EQ(p.GetErrorCode(), code::kAccessDenied);
  EXPECT_EQ(p.GetEnvironmentBuffer(h), nullptr);
  EXPECT_EQ(p.GetErrorCode(), code::kAccessDenied);
  CZelString user, domain;
  ASSERT_EQ(p.GetUserAndDomain(h, user, domain), 1);
  EXPECT_EQ(Utf8(user), std::to_string(kUnknownUid));  // no such user: the ID
  EXPECT_EQ(Utf8(domain), emu::proc::HostName());

  reader.failures["200/environ"] = EPERM;
  EXPECT_TRUE(p.GetImageFile(h).IsEmpty());
  EXPECT_EQ(p.GetErrorCode(), code::kAccessDenied);
  p.CloseHandle(h);
}

TEST_F(ProcTreeTest, KernelThreadsAndZombiesOpenWithoutMemory) {
  CZelProcess p;
  for (unsigned id : {2u, 40u}) {
    SCOPED_TRACE(id);
    void* h = p.CreateHandleFromPID(id);
    EXPECT_TRUE(p.GetCommandLineW(h).IsEmpty());
    EXPECT_EQ(p.GetErrorCode(), code::kPartialCopy);
    EXPECT_EQ(p.GetEnvironmentBuffer(h), nullptr);
    EXPECT_EQ(p.GetErrorCode(), code::kPartialCopy);
    CZelString user, domain;
    EXPECT_EQ(p.GetUserAndDomain(h, user, domain), 1);
    EXPECT_EQ(Utf8(user), emu::proc::UserNameOf(0));
    p.CloseHandle(h);
  }
}

TEST_F(ProcTreeTest, ProcessThatHasGoneGivesInvalidParameter) {
  CZelProcess p;
  void* h = p.CreateHandleFromPID(100);
  void* other = p.CreateHandleFromPID(300);
  tree.Remove("100");
  EXPECT_EQ(p.GetEnvironmentBuffer(h), nullptr);
  EXPECT_EQ(p.GetErrorCode(), code::kInvalidParameter);
  EXPECT_TRUE(p.GetCommandLineW(h).IsEmpty());
  EXPECT_EQ(p.GetErrorCode(), code::kAccessDenied);
  CZelString user, domain;
  EXPECT_EQ(p.GetUserAndDomain(h, user, domain), 0);
  EXPECT_EQ(p.GetErrorCode(), code::kAccessDenied);
  EXPECT_EQ(system.FindProcess(100), nullptr);

  // Ended, with its directory still there: reads fail with ESRCH.
  reader.failures["300/environ"] = ESRCH;
  EXPECT_EQ(p.GetEnvironmentBuffer(other), nullptr);
  EXPECT_EQ(p.GetErrorCode(), code::kInvalidParameter);
  p.CloseHandle(other);
  p.CloseHandle(h);
}

TEST_F(ProcTreeTest, OpenFindsProcessesStartedSinceTheSnapshot) {
  CZelProcess p;
  WriteProcess(tree, {.id = 600, .comm = "late", .start = 90'000, .threads = {{600, 90'000}, {601, 90'001}},
                      .status = Status(0), .exe = "/usr/bin/late", .cmdline = "late\0"s});
  const zel::os::HANDLE h = zel::os::OpenProcess(zel::os::kProcessQueryInformation, 0, 600);
  ASSERT_NE(h, nullptr);
  zel::os::CloseHandle(h);
  ASSERT_NE(system.FindProcess(600), nullptr);
  EXPECT_EQ(system.FindProcess(600)->threads.size(), 2u);

  // A process ID used again by a new process reads as the new one.
  WriteProcess(tree, {.id = 700, .comm = "first", .start = 91'000, .threads = {{700, 91'000}},
                      .status = Status(0), .exe = "/usr/bin/first"});
  ASSERT_EQ(p.Refresh(), 1);
  tree.Remove("700");
  WriteProcess(tree, {.id = 700, .comm = "second", .start = 95'000, .threads = {{700, 95'000}, {702, 95'001}},
                      .status = Status(0), .exe = "/usr/bin/second"});
  void* reused = p.CreateHandleFromPID(700);
  EXPECT_EQ(Utf8(p.GetImageFile(reused)), "/usr/bin/second");
  ASSERT_NE(system.FindProcess(700), nullptr);
  EXPECT_EQ(system.FindProcess(700)->threads.size(), 2u);
  p.CloseHandle(reused);
}

TEST_F(ProcTreeTest, SnapshotKeepsTheMemoryOfAnOpenedProcess) {
  CZelProcess p;
  const zel::os::HANDLE h = zel::os::OpenProcess(zel::os::kProcessQueryInformation | zel::os::kProcessVmRead, 0, 100);
  ASSERT_NE(h, nullptr);
  ASSERT_NE(system.FindProcess(100), nullptr);
  const std::uint64_t peb = system.FindProcess(100)->pebAddress;
  ASSERT_NE(peb, 0u);
  // Another object's snapshot while the handle is held.
  ASSERT_EQ(p.Refresh(), 1);
  std::vector<std::byte> bytes(zel::layout::kPebReadSize);
  EXPECT_EQ(zel::os::ReadProcessMemory(h, reinterpret_cast<const void*>(peb), bytes.data(), bytes.size(), nullptr),
            1);
  zel::os::CloseHandle(h);
}

}  // namespace
