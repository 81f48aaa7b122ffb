// The Linux source on a tree that the test writes with the layout of /proc:
// what the reader returns, what a snapshot of it lists through the library,
// and what the live reads take from it, file by file.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "ZelProcess.h"
#include "support/counters.h"
#include "support/filetime.h"
#include "support/linux/proc_text.h"
#include "support/protected_process.h"
#include "platform/codes.h"
#include "platform/snapshot_records.h"
#include "platform/linux/proc_live.h"
#include "platform/module_list.h"
#include "platform/linux/process_records.h"
#include "platform/linux/unix_accounts.h"
#include "platform/linux/windows_terms.h"

namespace {

namespace fs = std::filesystem;
namespace code = zel::code;
namespace procfs = zel::procfs;
using procfs::ProcListing;
using procfs::ProcReader;
using procfs::ProcText;
using zel::test::Ticks;
using namespace std::string_literals;

constexpr procfs::ProcClock kClock{1'700'000'000, 100};  // booted 2023-11-14T22:13:20Z
constexpr std::uint64_t kBootFileTime = 133'444'736'000'000'000;
constexpr std::uint32_t kUnknownUid = 4'000'000'000;

// The editor's mappings: a library below its executable (since deleted),
// a library, a font and a file mapped without execute permission, a library
// whose path holds blanks and is mapped again below its first mapping,
// anonymous memory, and the kernel's objects.
constexpr const char* kEditorMaps =
    "000000400000-000000401000 r-xp 00000000 08:01 500 /opt/low.so\n"
    "555555554000-555555556000 r--p 00000000 08:01 131 /opt/my app/editor (deleted)\n"
    "555555556000-55555555a000 r-xp 00002000 08:01 131 /opt/my app/editor (deleted)\n"
    "55555555a000-55555555c000 rw-p 00006000 08:01 131 /opt/my app/editor (deleted)\n"
    "555555560000-555555581000 rw-p 00000000 00:00 0                          [heap]\n"
    "7f0000000000-7f0000020000 r--p 00000000 08:01 200     /usr/lib/x86_64-linux-gnu/libc.so.6\n"
    "7f0000020000-7f0000190000 r-xp 00020000 08:01 200     /usr/lib/x86_64-linux-gnu/libc.so.6\n"
    "7f0000190000-7f00001e0000 r--p 00190000 08:01 200     /usr/lib/x86_64-linux-gnu/libc.so.6\n"
    "7f00001e0000-7f00001f0000 rw-p 00000000 00:00 0 \n"
    "7f0000200000-7f0000300000 r--p 00000000 08:01 300     /usr/share/fonts/a font.ttf\n"
    "7f0000400000-7f0000401000 r-xp 00000000 08:01 400     /opt/my app/lib/plug in.so\n"
    "7f0000100000-7f0000101000 r--p 00001000 08:01 400     /opt/my app/lib/plug in.so\n"
    "7ffff7fc1000-7ffff7fc5000 r--p 00000000 00:00 0                          [vvar]\n"
    "7ffff7fc5000-7ffff7fc7000 r-xp 00000000 00:00 0                          [vdso]\n"
    "7ffffffde000-7ffffffff000 rw-p 00000000 00:00 0                          [stack]\n"
    "ffffffffff600000-ffffffffff601000 --xp 00000000 00:00 0                  [vsyscall]\n";

std::uint64_t StartOf(std::uint64_t ticks) {
  return procfs::FileTimeOfStart(kClock.bootTime, ticks, kClock.ticksPerSecond);
}

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
    fs::remove(root_ / path);
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
  char state = 0;  // the process's when 0
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
  std::uint32_t uid = 0;
  std::string memory{};
  std::string exe{};
  std::string cwd{};
  std::string cmdline{};
  std::string environ{};
  std::string io{};
  std::int64_t exitCode = 0;  // as wait reports it
  std::string maps{};
};

std::string StatLine(std::uint32_t id, const FakeProcess& p, std::uint64_t start,
                     std::uint64_t user, std::uint64_t system, char state = 0) {
  return zel::test::WriteStat({.pid = id,
                               .comm = p.comm,
                               .state = state ? state : p.state,
                               .parentPid = p.parent,
                               .flags = p.flags,
                               .minorFaults = p.minorFaults,
                               .majorFaults = p.majorFaults,
                               .userTicks = user,
                               .systemTicks = system,
                               .nice = p.nice,
                               .startTicks = start,
                               .policy = p.policy,
                               .exitCode = p.exitCode});
}

void WriteProcess(const TempTree& tree, const FakeProcess& p) {
  const std::string dir = std::to_string(p.id) + "/";
  tree.Write(dir + "stat", StatLine(p.id, p, p.start, p.user, p.system));
  const std::string uid = std::to_string(p.uid);
  tree.Write(dir + "status", "Name:\tx\nUid:\t" + uid + "\t" + uid + "\t" + uid + "\t" + uid +
                                 "\n" + p.memory + "Threads:\t" + std::to_string(p.threads.size()) +
                                 "\n");
  tree.Write(dir + "cmdline", p.cmdline);
  tree.Write(dir + "environ", p.environ);
  if (!p.io.empty()) tree.Write(dir + "io", p.io);
  if (!p.maps.empty()) tree.Write(dir + "maps", p.maps);
  if (!p.exe.empty()) tree.Link(dir + "exe", p.exe);
  if (!p.cwd.empty()) tree.Link(dir + "cwd", p.cwd);
  for (const FakeThread& t : p.threads)
    tree.Write(dir + "task/" + std::to_string(t.id) + "/stat",
               StatLine(t.id, p, t.start, t.user, t.system, t.state));
}

// A reader whose reads of chosen paths fail with a chosen errno, as reads of
// another user's process or of one that has just ended do, and that counts
// what it opens.
class TestReader : public ProcReader {
 public:
  using ProcReader::ProcReader;
  std::map<std::string, int> failures;
  mutable std::map<std::string, int> opened;

  int Read(const std::string& path, std::string& text) const override {
    ++opened[path];
    if (const int error = Failure(path)) return text.clear(), error;
    return ProcReader::Read(path, text);
  }
  int ReadRecords(const std::string& path, const LineSink& line) const override {
    ++opened[path];
    if (const int error = Failure(path)) return error;
    return ProcReader::ReadRecords(path, line);
  }
  ProcText ReadLink(const std::string& path) const override {
    ++opened[path];
    if (const int error = Failure(path)) return {{}, error};
    return ProcReader::ReadLink(path);
  }
  ProcListing List(const std::string& path) const override {
    ++opened[path];
    if (const int error = Failure(path)) return {{}, error};
    return ProcReader::List(path);
  }

 private:
  int Failure(const std::string& path) const {
    const auto it = failures.find(path);
    return it == failures.end() ? 0 : it->second;
  }
};

// A process object whose snapshots are taken of the test's tree.
class TreeSnapshot : public zel::test::ProtectedProcess {
 public:
  explicit TreeSnapshot(const ProcReader& reader) {
    reader_ = &reader;
    m_pfnNtQuerySystemInformation = Query;
    if (!ReadProcesses()) throw std::runtime_error("no snapshot of the tree");
  }
  ~TreeSnapshot() override { reader_ = nullptr; }

  std::vector<unsigned> Ids() {
    std::vector<unsigned> ids;
    void* h = FindFirstProcess(CZelString());
    for (bool more = h != nullptr; more; more = FindNextProcess(h)) ids.push_back(GetProcessID(h));
    if (h) CloseHandle(h);
    return ids;
  }

 private:
  static ZelNtStatus Query(int, void* buffer, ZelUlong size, ZelUlong* needed) {
    return static_cast<ZelNtStatus>(procfs::QueryProcesses(*reader_, kClock, buffer, size, needed));
  }
  static inline const ProcReader* reader_ = nullptr;
};

class ProcTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree.Write("stat", "cpu  10 0 10 100 0 0 0 0 0 0\nbtime 1700000000\nprocesses 600\n");
    tree.Write("loadavg", "0.00 0.01 0.05 1/12 600\n");
    tree.Link("self", "100");

    WriteProcess(tree, {.id = 1,
                        .comm = "systemd",
                        .parent = 0,
                        .start = 10,
                        .threads = {{1, 10}},
                        .exe = "/usr/lib/systemd/systemd",
                        .cwd = "/",
                        .cmdline = "/sbin/init\0splash\0"s,
                        .environ = "HOME=/\0"s});
    WriteProcess(tree, {.id = 2,
                        .comm = "kthreadd",
                        .parent = 0,
                        .flags = 0x208040,
                        .nice = -20,
                        .start = 11,
                        .threads = {{2, 11}}});
    WriteProcess(tree, {.id = 40,
                        .comm = "defunct",
                        .state = 'Z',
                        .parent = 100,
                        .start = 500,
                        .user = 3,
                        .threads = {{40, 500, 3}},
                        .exitCode = 3 << 8});
    WriteProcess(tree, {.id = 100,
                        .comm = "editor",
                        .nice = -5,
                        .start = 12'345,
                        .user = 250,
                        .system = 75,
                        .minorFaults = 1000,
                        .majorFaults = 24,
                        .threads = {{100, 12'345, 200, 70}, {101, 12'400, 50, 5}, {105, 13'000}},
                        .memory = "VmPeak:\t 20480 kB\nVmSize:\t 16384 kB\nVmHWM:\t 8192 kB\n"
                                  "VmRSS:\t 4096 kB\nRssAnon:\t 1024 kB\nVmSwap:\t 512 kB\n",
                        .exe = "/opt/my app/editor (deleted)",
                        .cwd = "/home/ü dir",
                        .cmdline = "/opt/my app/editor\0--title\0a \"b\"\0end\\\0\0ü €漢字 😀\0"s,
                        .environ = "A=1\0PATH=/bin:/usr/bin\0NAME=ü 😀\0"s,
                        .io = "rchar: 4000\nwchar: 3000\nsyscr: 40\nsyscw: 30\n",
                        .maps = kEditorMaps});
    // Cut at 15 characters: completed from the first argument.
    WriteProcess(tree, {.id = 200,
                        .comm = "helper-with-lon",
                        .policy = 1,
                        .start = 20'000,
                        .threads = {{200, 20'000}},
                        .uid = kUnknownUid,
                        .cmdline = "/usr/lib/tools/helper-with-long-name\0--flag\0"s,
                        .environ = "SECRET=1\0"s});
    // Cut, with a first argument that does not complete it: it stays cut.
    WriteProcess(tree, {.id = 210,
                        .comm = "daemon-with-lon",
                        .start = 21'000,
                        .threads = {{210, 21'000}},
                        .exe = "/usr/sbin/daemon-with-longer-name",
                        .cmdline = "worker: idle\0"s});
    // A name the process chose for its first argument does not name it.
    WriteProcess(tree, {.id = 220,
                        .comm = "python3",
                        .start = 22'000,
                        .threads = {{220, 22'000}},
                        .exe = "/usr/bin/python3.11",
                        .cmdline = "/usr/sbin/sshd\0"s});
    WriteProcess(
        tree,
        {.id = 300, .comm = "a) b (c) d", .nice = 19, .start = 30'000, .threads = {{300, 30'000}}});
    // A directory whose process ended before its stat was read.
    fs::create_directories(tree.Root() / "500/task");
  }

  procfs::LiveText Text(std::uint32_t id, std::uint64_t start, ZELPI_TYPE type) {
    return procfs::ReadLiveText(reader, kClock, {id, StartOf(start)}, type);
  }

  // Whether a read opened no file more than once.
  template <class Read>
  void ExpectEachFileOpenedOnce(Read read) {
    reader.opened.clear();
    read();
    for (const auto& [path, opens] : reader.opened) EXPECT_EQ(opens, 1) << path;
  }

  TempTree tree;
  TestReader reader{tree.Root().string()};
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
}

TEST_F(ProcTreeTest, SnapshotListsEachProcessWithTheNameThatPsShows) {
  TreeSnapshot p(reader);
  EXPECT_EQ(p.Ids(), (std::vector<unsigned>{1, 2, 40, 100, 200, 210, 220, 300}));
  const std::map<unsigned, std::pair<std::string, unsigned>> expected = {
      {1, {"systemd", 0}},
      {2, {"kthreadd", 0}},
      {40, {"defunct", 100}},
      {100, {"editor", 1}},
      {200, {"helper-with-long-name", 1}},
      {210, {"daemon-with-lon", 1}},
      {220, {"python3", 1}},
      {300, {"a) b (c) d", 1}},
  };
  for (const auto& [id, name_and_parent] : expected) {
    void* h = p.CreateHandleFromPID(id);
    ASSERT_NE(h, nullptr) << id;
    EXPECT_EQ(p.GetName(h).ToUtf8(), name_and_parent.first);
    EXPECT_EQ(p.GetParentProcess(h), name_and_parent.second) << id;
    p.CloseHandle(h);
  }
}

TEST_F(ProcTreeTest, ThreadsTimesPrioritiesAndCounters) {
  // A thread that ends while it is read is left out.
  tree.Write("100/task/107/status", "Name:\teditor\n");
  TreeSnapshot p(reader);
  void* h = p.CreateHandleFromPID(100);
  ASSERT_NE(h, nullptr);
  std::vector<unsigned> threads;
  void* t = p.FindFirstThread(h);
  for (bool more = true; more; more = p.FindNextThread(t)) threads.push_back(p.GetThreadID(t));
  p.CloseHandle(t);
  EXPECT_EQ(threads, (std::vector<unsigned>{100, 101, 105}));

  FILETIME created{}, user{}, kernel{};
  ASSERT_EQ(p.GetCreateTime(h, created) + p.GetUserTime(h, user) + p.GetKernelTime(h, kernel), 3);
  EXPECT_EQ(Ticks(created), kBootFileTime + 1'234'500'000);  // 123.45 s after boot
  EXPECT_EQ(Ticks(user), 25'000'000u);                       // 250 ticks
  EXPECT_EQ(Ticks(kernel), 7'500'000u);
  t = p.CreateHandleFromTID(h, 101);
  ASSERT_EQ(p.GetThreadCreateTime(t, created), 1);
  EXPECT_EQ(Ticks(created), kBootFileTime + 1'240'000'000);
  p.CloseHandle(t);

  VM_COUNTERS vm{};
  ASSERT_EQ(p.GetMemoryCounters(h, vm), 1);
  constexpr std::uint64_t kKiB = 1024;
  EXPECT_EQ(zel::test::VmFields(vm),
            (std::array<std::uint64_t, 11>{20480 * kKiB, 16384 * kKiB, 1024, 8192 * kKiB,
                                           4096 * kKiB, 0, 0, 0, 0, 1536 * kKiB, 1536 * kKiB}));
  IO_COUNTERS io{};
  ASSERT_EQ(p.GetIOCounters(h, io), 1);
  EXPECT_EQ(zel::test::IoFields(io), (std::array<std::uint64_t, 6>{40, 30, 0, 4000, 3000, 0}));
  p.CloseHandle(h);

  const std::map<unsigned, long> priorities = {{1, 8}, {2, 13}, {100, 10}, {200, 24}, {300, 4}};
  for (const auto& [id, priority] : priorities) {
    void* other = p.CreateHandleFromPID(id);
    EXPECT_EQ(p.GetBasePriority(other), priority) << id;
    p.CloseHandle(other);
  }
}

TEST_F(ProcTreeTest, SnapshotReadsEachFileOnceAndTheProbeNone) {
  std::byte scratch[1];
  ZelUlong needed = 0;
  EXPECT_EQ(procfs::QueryProcesses(reader, kClock, scratch, sizeof scratch, &needed),
            code::kStatusInfoLengthMismatch);
  EXPECT_EQ(reader.opened.count("100/stat"), 0u);
  EXPECT_GE(needed, 8 * sizeof(zel::layout::SystemProcess));

  // The probe and the fill each count the processes; only the fill reads them.
  reader.opened.clear();
  TreeSnapshot p(reader);
  for (const auto& [path, opens] : reader.opened)
    EXPECT_TRUE(opens == 1 || path.find('/') == std::string::npos) << path << " " << opens;
  // A process of one thread is read without listing its threads.
  EXPECT_EQ(reader.opened.count("1/task"), 0u);
  EXPECT_EQ(reader.opened.count("1/task/1/stat"), 0u);
  EXPECT_EQ(reader.opened.count("100/task/101/stat"), 1u);
}

TEST_F(ProcTreeTest, ProcessesThatEndWhileReadAreLeftOut) {
  reader.failures["300/status"] = ESRCH;  // ended between stat and status
  reader.failures["100/task"] = ENOENT;   // ended before its threads were listed
  TreeSnapshot p(reader);
  EXPECT_EQ(p.Ids(), (std::vector<unsigned>{1, 2, 40, 200, 210, 220}));
  // Counters that may not be read: the process is still listed; memory
  // counters are zeros, I/O counters are refused, the host's left as they
  // were, as they are where the kernel keeps no io file (process 1 here).
  reader.failures = {{"300/status", EACCES}, {"100/io", EACCES}};
  ASSERT_EQ(p.Refresh(), 1);
  EXPECT_EQ(p.Ids(), (std::vector<unsigned>{1, 2, 40, 100, 200, 210, 220, 300}));
  for (const unsigned id : {100u, 1u}) {
    void* h = p.CreateHandleFromPID(id);
    IO_COUNTERS io;
    std::memset(&io, 0xA5, sizeof io);
    const IO_COUNTERS before = io;
    EXPECT_EQ(p.GetIOCounters(h, io), 0) << id;
    EXPECT_EQ(p.GetErrorCode(), code::kAccessDenied) << id;
    EXPECT_EQ(std::memcmp(&io, &before, sizeof io), 0) << id;
    p.CloseHandle(h);
  }

  // A read that fails otherwise fails the snapshot with its code: no
  // process is left out for want of a descriptor, and a listing of the tree
  // that fails is no empty one.
  std::vector<std::byte> buffer(1 << 16);
  for (const char* path :
       {"", "300/stat", "300/status", "100/io", "100/task", "100/task/105/stat", "200/cmdline"}) {
    reader.failures = {{path, EMFILE}};
    ZelUlong needed = 0;
    EXPECT_EQ(procfs::QueryProcesses(reader, kClock, buffer.data(), buffer.size(), &needed),
              code::kTooManyOpenFiles)
        << path;
    EXPECT_EQ(p.Refresh(), 0) << path;
  }
  reader.failures = {{"", ENFILE}};
  EXPECT_EQ(p.Refresh(), 0);
  EXPECT_EQ(p.GetErrorCode(), code::kTooManyOpenFiles);
}

TEST_F(ProcTreeTest, LiveReadsTakeEachStringFromItsOwnFileOnce) {
  ExpectEachFileOpenedOnce(
      [&] { EXPECT_EQ(Text(100, 12'345, ZELPI_IMAGEFILE).text, "/opt/my app/editor"); });
  ExpectEachFileOpenedOnce([&] {
    EXPECT_EQ(Text(100, 12'345, ZELPI_COMMANDLINE).text,
              R"("/opt/my app/editor" --title "a \"b\"" end\ "" "ü €漢字 😀")");
  });
  ExpectEachFileOpenedOnce(
      [&] { EXPECT_EQ(Text(100, 12'345, ZELPI_CURRENTDIRECTORY).text, "/home/ü dir"); });
  for (ZELPI_TYPE none : {ZELPI_WINDOWTITLE, ZELPI_DESKTOPNAME, ZELPI_PATH}) {
    const procfs::LiveText live = Text(100, 12'345, none);
    EXPECT_TRUE(live.text.empty());
    EXPECT_EQ(live.code, code::kSuccess);
  }
  ExpectEachFileOpenedOnce([&] {
    const procfs::LiveText environment =
        procfs::ReadLiveEnvironment(reader, kClock, {100, StartOf(12'345)});
    EXPECT_EQ(environment.code, code::kSuccess);
    EXPECT_EQ(environment.text, "A=1\0PATH=/bin:/usr/bin\0NAME=ü 😀\0\0"s);
  });
  ExpectEachFileOpenedOnce([&] {
    const procfs::LiveOwner owner = procfs::ReadLiveOwner(reader, kClock, {200, StartOf(20'000)});
    EXPECT_EQ(owner.code, code::kSuccess);
    EXPECT_EQ(owner.uid, kUnknownUid);
  });
  EXPECT_EQ(procfs::UserNameOf(kUnknownUid), std::to_string(kUnknownUid));  // no such user
  ExpectEachFileOpenedOnce([&] {
    const procfs::LiveModules modules =
        procfs::ReadLiveModules(reader, kClock, {100, StartOf(12'345)});
    EXPECT_EQ(modules.code, code::kSuccess);
    std::vector<std::tuple<std::string, std::uint64_t, std::uint64_t>> seen;
    for (const procfs::MappedFile& file : modules.modules)
      seen.emplace_back(file.path, file.start, file.end - file.start);
    // The executable first; the others by their lowest start.
    EXPECT_EQ(seen, (std::vector<std::tuple<std::string, std::uint64_t, std::uint64_t>>{
                        {"/opt/my app/editor", 0x555555554000, 0x8000},
                        {"/opt/low.so", 0x400000, 0x1000},
                        {"/usr/lib/x86_64-linux-gnu/libc.so.6", 0x7f0000000000, 0x1e0000},
                        {"/opt/my app/lib/plug in.so", 0x7f0000100000, 0x301000},
                        {"[vdso]", 0x7ffff7fc5000, 0x2000}}));
  });
  // More executable files than a module list keeps, after a line too long
  // for a record: the first ones are kept, the rest left out and said so.
  std::string many(ProcReader::kMaxRecordLine + 1, 'x');
  for (std::size_t i = 0; i <= zel::source::kMaxModules; ++i) {
    const std::string at = std::to_string(i + 1);
    many += "\n" + at + "0000-" + at + "1000 r-xp 0 08:01 1 /lib/m" + std::to_string(i) + ".so";
  }
  tree.Write("100/maps", many);
  const procfs::LiveModules cut = procfs::ReadLiveModules(reader, kClock, {100, StartOf(12'345)});
  EXPECT_TRUE(cut.cut);
  ASSERT_EQ(cut.modules.size(), zel::source::kMaxModules);
  EXPECT_EQ(cut.modules.front().path, "/lib/m0.so");
  EXPECT_EQ(cut.modules.back().path, "/lib/m16383.so");

  // Each read is afresh: a process that changed directory shows the new one.
  tree.Link("100/cwd", "/srv/other");
  EXPECT_EQ(Text(100, 12'345, ZELPI_CURRENTDIRECTORY).text, "/srv/other");
}

TEST_F(ProcTreeTest, ProcessWhoseMainThreadExitedIsReadThroughARunningThread) {
  // The main thread has exited (Z) while thread 601 runs: the process's own
  // entry answers nothing of its memory, the running thread's answers for it.
  WriteProcess(tree, {.id = 600,
                      .comm = "worker",
                      .state = 'Z',
                      .start = 60'000,
                      .threads = {{600, 60'000}, {.id = 601, .start = 60'100, .state = 'S'}}});
  tree.Write("600/task/601/cmdline", "/usr/bin/worker\0--serve\0"s);
  tree.Write("600/task/601/environ", "MODE=serve\0"s);
  tree.Link("600/task/601/exe", "/usr/bin/worker");
  tree.Link("600/task/601/cwd", "/srv");
  const zel::source::Process worker{600, StartOf(60'000)};
  EXPECT_EQ(Text(600, 60'000, ZELPI_IMAGEFILE).text, "/usr/bin/worker");
  EXPECT_EQ(Text(600, 60'000, ZELPI_COMMANDLINE).text, "/usr/bin/worker --serve");
  EXPECT_EQ(Text(600, 60'000, ZELPI_CURRENTDIRECTORY).text, "/srv");
  EXPECT_EQ(procfs::ReadLiveEnvironment(reader, kClock, worker).text, "MODE=serve\0\0"s);
  const procfs::LiveBasics basics = procfs::ReadLiveBasics(reader, kClock, worker);
  EXPECT_EQ(basics.code, code::kSuccess);
  EXPECT_EQ(basics.info.ExitStatus, static_cast<std::int32_t>(code::kStillActive));

  // Once its last thread has ended too, it is a zombie like any other.
  tree.Remove("600/task/601");
  EXPECT_EQ(Text(600, 60'000, ZELPI_COMMANDLINE).code, code::kAccessDenied);
  EXPECT_EQ(procfs::ReadLiveEnvironment(reader, kClock, worker).code, code::kAccessDenied);
  EXPECT_EQ(procfs::ReadLiveBasics(reader, kClock, worker).info.ExitStatus, 0);
}

TEST_F(ProcTreeTest, DeletedMarkIsTakenOffOnlyWhenThePathIsGone) {
  const fs::path real = tree.Root() / "still here (deleted)";
  tree.Write(real.filename().string(), "");
  tree.Link("100/exe", real.string());
  EXPECT_EQ(Text(100, 12'345, ZELPI_IMAGEFILE).text, real.string());
  tree.Link("100/exe", real.string() + " (deleted)");
  EXPECT_EQ(Text(100, 12'345, ZELPI_IMAGEFILE).text, real.string());
  fs::remove(real);
  tree.Link("100/exe", real.string());
  EXPECT_EQ(Text(100, 12'345, ZELPI_IMAGEFILE).text, (tree.Root() / "still here").string());
}

TEST_F(ProcTreeTest, FailedLiveReadsGiveTheCodesOfTheWindowsBuild) {
  // May not be read: the strings and the environment are refused, the
  // owner is not.
  reader.failures = {{"100/exe", EACCES}, {"100/environ", EACCES}};
  EXPECT_EQ(Text(100, 12'345, ZELPI_IMAGEFILE).code, code::kAccessDenied);
  EXPECT_EQ(procfs::ReadLiveEnvironment(reader, kClock, {100, StartOf(12'345)}).code,
            code::kAccessDenied);
  EXPECT_EQ(procfs::ReadLiveOwner(reader, kClock, {100, StartOf(12'345)}).code, code::kSuccess);
  reader.failures = {{"100/maps", EACCES}};
  EXPECT_EQ(procfs::ReadLiveModules(reader, kClock, {100, StartOf(12'345)}).code,
            code::kAccessDenied);

  // Without memory (a kernel thread, a zombie): as a process that has ended
  // but is still held, whose owner and exit status are still known.
  for (const auto& [id, start, exit_status] :
       {std::tuple{2u, 11u, code::kStillActive}, std::tuple{40u, 500u, ZelCode{3}}}) {
    EXPECT_EQ(Text(id, start, ZELPI_COMMANDLINE).code, code::kAccessDenied) << id;
    EXPECT_EQ(Text(id, start, ZELPI_WINDOWTITLE).code, code::kAccessDenied) << id;
    EXPECT_EQ(procfs::ReadLiveEnvironment(reader, kClock, {id, StartOf(start)}).code,
              code::kAccessDenied);
    EXPECT_EQ(procfs::ReadLiveOwner(reader, kClock, {id, StartOf(start)}).code, code::kSuccess);
    // A kernel thread has no modules; a zombie has lost its own.
    const procfs::LiveModules modules =
        procfs::ReadLiveModules(reader, kClock, {id, StartOf(start)});
    EXPECT_EQ(modules.code, id == 2 ? code::kSuccess : code::kAccessDenied) << id;
    EXPECT_TRUE(modules.modules.empty()) << id;
    const procfs::LiveBasics basics = procfs::ReadLiveBasics(reader, kClock, {id, StartOf(start)});
    EXPECT_EQ(basics.code, code::kSuccess) << id;
    EXPECT_EQ(static_cast<ZelCode>(basics.info.ExitStatus), exit_status) << id;
  }

  // Out of descriptors: every read gives its own errno's code, never that of
  // a gone process, whether the file read or the look at stat failed.
  const zel::source::Process editor{100, StartOf(12'345)};
  using Read = std::function<ZelCode()>;
  const Read image = [&] { return Text(100, 12'345, ZELPI_IMAGEFILE).code; };
  const Read environment = [&] { return procfs::ReadLiveEnvironment(reader, kClock, editor).code; };
  const Read owner = [&] { return procfs::ReadLiveOwner(reader, kClock, editor).code; };
  const Read basics = [&] { return procfs::ReadLiveBasics(reader, kClock, editor).code; };
  const Read modules = [&] { return procfs::ReadLiveModules(reader, kClock, editor).code; };
  for (const auto& [failed, reads] : std::vector<std::pair<std::string, std::vector<Read>>>{
           {"100/stat", {image, environment, owner, basics, modules}},
           {"100/maps", {modules}},
           {"100/exe", {image}},
           {"100/environ", {environment}},
           {"100/status", {owner}}}) {
    reader.failures = {{failed, EMFILE}};
    for (const Read& read : reads) EXPECT_EQ(read(), code::kTooManyOpenFiles) << failed;
  }
  reader.failures.clear();

  // Gone, and its ID taken by a process started later: both read as gone.
  for (const std::uint64_t start : {12'345u, 99'999u}) {
    if (start == 12'345u) tree.Remove("100");
    if (start == 99'999u) WriteProcess(tree, {.id = 100, .comm = "other", .start = 99'999});
    const zel::source::Process snapshot{100, StartOf(12'345)};
    EXPECT_EQ(procfs::ReadLiveText(reader, kClock, snapshot, ZELPI_COMMANDLINE).code,
              code::kAccessDenied);
    EXPECT_TRUE(procfs::ReadLiveText(reader, kClock, snapshot, ZELPI_COMMANDLINE).text.empty());
    EXPECT_EQ(procfs::ReadLiveEnvironment(reader, kClock, snapshot).code, code::kInvalidParameter);
    EXPECT_EQ(procfs::ReadLiveOwner(reader, kClock, snapshot).code, code::kAccessDenied);
    EXPECT_EQ(procfs::ReadLiveBasics(reader, kClock, snapshot).code, code::kAccessDenied);
    EXPECT_EQ(procfs::ReadLiveModules(reader, kClock, snapshot).code, code::kAccessDenied);
  }
}

}  // namespace
