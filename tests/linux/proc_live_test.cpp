// The library on the machine's own processes, through the Linux source.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sched.h>
#include <pwd.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "ZelErrorMessage.h"
#include "ZelHandles.h"
#include "ZelProcess.h"
#include "support/churn/children.h"
#include "support/live_failure_codes.h"
#include "support/protected_process.h"
#include "support/linux/forked_check.h"
#include "zelps/environment_block.h"
#include "platform/codes.h"
#include "platform/linux/proc_reader.h"
#include "platform/snapshot_records.h"
#include "platform/source.h"

namespace {

namespace fs = std::filesystem;
namespace code = zel::code;
using zel::EnvironmentCopy;
using zel::churn::WaitingChild;
using zel::test::ExpectReadsFailWith;
using namespace std::string_literals;

std::string Utf8(const CZelString& s) { return s.ToUtf8(); }

std::string HostName() {
  char name[256] = {};
  gethostname(name, sizeof name - 1);
  return name;
}

std::string UserName() {
  const passwd* entry = getpwuid(getuid());
  return entry ? entry->pw_name : std::to_string(getuid());
}

// The UTF-16 strings of an environment buffer, up to the empty one.
std::vector<std::string> Variables(const unsigned char* buffer) {
  return zelps::SplitEnvironment(buffer, zel::layout::kEnvironmentReadSize).variables;
}

std::size_t OpenDescriptors() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

class ProcLiveTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(OpenDescriptors(), descriptors_) << "descriptors left open";
  }

 private:
  std::size_t descriptors_ = OpenDescriptors();
};

TEST_F(ProcLiveTest, ListsThisProcessWithItsNameParentAndThreads) {
  CZelProcess p;
  EXPECT_GT(p.GetProcessCount(), 1u);
  void* h = p.CreateHandleFromPID(static_cast<unsigned>(getpid()));
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(Utf8(p.GetName(h)), "linux_tests");
  EXPECT_EQ(p.GetParentProcess(h), static_cast<unsigned>(getppid()));
  // The main thread's ID is the process's.
  void* t = p.CreateHandleFromTID(h, static_cast<unsigned>(getpid()));
  EXPECT_NE(t, nullptr);
  if (t) p.CloseHandle(t);
  p.CloseHandle(h);

  void* found = p.FindFirstProcess(CZelString::FromUtf8("linux_tests"));
  ASSERT_NE(found, nullptr);
  bool self_found = false;
  for (bool more = true; more; more = p.FindNextProcess(found))
    self_found = self_found || p.GetProcessID(found) == static_cast<unsigned>(getpid());
  EXPECT_TRUE(self_found);
  p.CloseHandle(found);
}

TEST_F(ProcLiveTest, ItsOwnStringsAgreeWithWhatItKnows) {
  CZelProcess p;
  void* h = p.CreateHandleFromPID(static_cast<unsigned>(getpid()));
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(Utf8(p.GetImageFile(h)), fs::read_symlink("/proc/self/exe").string());
  EXPECT_EQ(Utf8(p.GetCurrentDirectoryW(h)), fs::current_path().string());
  const std::string argv0 = program_invocation_name;
  const std::string line = Utf8(p.GetCommandLineW(h));
  EXPECT_EQ(line.substr(0, argv0.size()), argv0);
  EXPECT_EQ(p.GetErrorCode(), 0u);
  EXPECT_TRUE(p.GetWindowTitle(h).IsEmpty());
  EXPECT_TRUE(p.GetDesktopName(h).IsEmpty());
  EXPECT_TRUE(p.GetPath(h).IsEmpty());

  CZelString user, domain;
  ASSERT_EQ(p.GetUserAndDomain(h, user, domain), 1);
  EXPECT_EQ(Utf8(user), UserName());
  EXPECT_EQ(Utf8(domain), HostName());
  // The kernel's record of the owner, where it gives one, names the user that
  // status names; a tree of a test's own has no such record.
  const auto uid = zel::procfs::ProcReader("/proc").RealUidOf(getpid());
  if (uid) {
    EXPECT_EQ(*uid, getuid());
  }
  EXPECT_FALSE(zel::procfs::ProcReader("/proc/").RealUidOf(getpid()));

  unsigned char* env = p.GetEnvironmentBuffer(h);
  ASSERT_NE(env, nullptr);
  const auto variables = Variables(env);
  EXPECT_EQ(p.FreeEnvironmentBuffer(env), 1);
  ASSERT_FALSE(variables.empty());
  // The block opens with the first variable the process started with.
  EXPECT_EQ(variables[0], environ[0]);
  p.CloseHandle(h);
}

TEST_F(ProcLiveTest, ChildShowsItsArgumentsDirectoryAndEnvironment) {
  std::string dir_pattern = (fs::temp_directory_path() / "zel live ü XXXXXX").string();
  ASSERT_NE(mkdtemp(dir_pattern.data()), nullptr);
  const fs::path directory = dir_pattern;
  {
    // sh stops itself, leaving no child of its own: it stays until killed.
    WaitingChild child({"/bin/sh", "-c", "kill -STOP $$", "my name", "a \"b\"", "end\\", "sp ace\\",
                        "", "ü €漢字 😀"},
                       {"ZEL_A=1", "ZEL_TEXT=ü 😀"}, directory.string());
    CZelProcess p;
    void* h = p.CreateHandleFromPID(child.Id());
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(p.GetParentProcess(h), static_cast<unsigned>(getpid()));
    // Named as ps names it, by the name it was started under.
    EXPECT_EQ(Utf8(p.GetName(h)), "sh");
    EXPECT_EQ(Utf8(p.GetImageFile(h)), fs::canonical("/bin/sh").string());
    EXPECT_EQ(Utf8(p.GetCommandLineW(h)),
              R"(/bin/sh -c "kill -STOP $$" "my name" "a \"b\"" end\ "sp ace\\" "" "ü €漢字 😀")");
    EXPECT_EQ(Utf8(p.GetCurrentDirectoryW(h)), directory.string());
    unsigned char* env = p.GetEnvironmentBuffer(h);
    ASSERT_NE(env, nullptr);
    EXPECT_EQ(Variables(env), (std::vector<std::string>{"ZEL_A=1", "ZEL_TEXT=ü 😀"}));
    EXPECT_EQ(p.FreeEnvironmentBuffer(env), 1);
    p.CloseHandle(h);
  }
  fs::remove(directory);
}

// Environments longer than GetEnvironmentBuffer's copy, which holds none of
// the first one's variables and the first few of the second's: the whole
// block holds each as the child's environ does, in UTF-16.
TEST_F(ProcLiveTest, WholeEnvironmentBlockIsTheChildsEnviron) {
  std::vector<std::string> many;
  for (int i = 0; i < 60; ++i)
    many.push_back("ZEL_" + std::to_string(i) + "=" + std::string(30, 'm'));
  for (const auto& environment :
       {std::vector<std::string>{"ZEL_FIRST=" + std::string(6000, 'f') + "ü", "ZEL_LAST=😀"},
        many}) {
    WaitingChild child({"/bin/sleep", "1000"}, environment);
    // The kernel shows the new environ a moment after the exec returns.
    std::string environ_file;
    for (int attempt = 0; attempt < 500 && environ_file.empty(); ++attempt) {
      if (attempt > 0) usleep(10'000);
      std::ifstream file("/proc/" + std::to_string(child.Id()) + "/environ", std::ios::binary);
      environ_file.assign(std::istreambuf_iterator<char>(file), {});
    }
    std::u16string want;
    for (std::size_t at = 0; at < environ_file.size();) {
      const std::size_t end = environ_file.find('\0', at);
      const CZelString variable = CZelString::FromUtf8(environ_file.substr(at, end - at));
      want.append(reinterpret_cast<const char16_t*>(static_cast<const unsigned short*>(variable)),
                  variable.GetLength());
      want += u'\0';
      at = end + 1;
    }
    want += u'\0';
    CZelProcess p;
    const zel::FindHandle h(p, p.CreateHandleFromPID(static_cast<unsigned>(child.Id())));
    std::size_t size = 0;
    unsigned char* block = p.GetEnvironmentBlock(h.Get(), size);
    const EnvironmentCopy copy(p, block, size);
    ASSERT_NE(copy.Get(), nullptr) << p.GetErrorCode();
    EXPECT_EQ(p.GetErrorCode(), 0u);
    EXPECT_GT(environ_file.size(), zel::kEnvironmentBufferSize / 2);
    ASSERT_EQ(copy.Size(), want.size() * sizeof(char16_t));
    EXPECT_EQ(std::memcmp(copy.Get(), want.data(), copy.Size()), 0);
  }
}

TEST_F(ProcLiveTest, ChildThatExitedAfterTheSnapshotIsGone) {
  WaitingChild child;
  CZelProcess p;
  void* h = p.CreateHandleFromPID(child.Id());
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(Utf8(p.GetImageFile(h)), fs::canonical("/bin/sleep").string());

  child.Release();
  ExpectReadsFailWith(p, h, zel::test::kGoneProcess);
  p.CloseHandle(h);

  // The next snapshot no longer lists it.
  ASSERT_EQ(p.Refresh(), 1);
  EXPECT_EQ(p.CreateHandleFromPID(child.Id()), nullptr);
}

// Run as the first process of a PID namespace of its own, with its own
// /proc, where the next ID can be chosen: a child reaped after the snapshot,
// and a new process given its ID. Answers 0, or the step that failed.
int CheckIdTakenByALaterProcess() {
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
      mount("proc", "/proc", "proc", 0, nullptr) != 0)
    return 10;
  const pid_t first = fork();
  if (first == 0) {
    pause();
    _exit(0);
  }
  CZelProcess p;
  void* h = p.CreateHandleFromPID(static_cast<unsigned>(first));
  if (!h) return 11;
  kill(first, SIGKILL);
  waitpid(first, nullptr, 0);
  // Start times count clock ticks: the kernel could not hand out the same ID
  // twice within one tick but for a test that chooses it.
  usleep(30'000);
  {
    std::ofstream last("/proc/sys/kernel/ns_last_pid");
    last << first - 1;
  }
  const pid_t second = fork();
  if (second == 0) {
    execl("/bin/sleep", "/bin/sleep", "1000", static_cast<char*>(nullptr));
    _exit(127);
  }
  if (second != first) return 12;
  int failed = 0;
  if (!p.GetCommandLineW(h).IsEmpty() || p.GetErrorCode() != zel::test::kGoneProcess.strings)
    failed = 13;
  if (p.GetEnvironmentBuffer(h) || p.GetErrorCode() != zel::test::kGoneProcess.environment)
    failed = 14;
  CZelString user, domain;
  if (p.GetUserAndDomain(h, user, domain) || p.GetErrorCode() != zel::test::kGoneProcess.owner)
    failed = 15;
  p.CloseHandle(h);
  kill(second, SIGKILL);
  waitpid(second, nullptr, 0);
  return failed;
}

TEST_F(ProcLiveTest, IdTakenByALaterProcessReadsAsGone) {
  ASSERT_EQ(geteuid(), 0u) << "a PID namespace of the test's own needs root";
  const pid_t outer = fork();
  ASSERT_GE(outer, 0);
  if (outer == 0) {
    if (unshare(CLONE_NEWPID | CLONE_NEWNS) != 0) _exit(2);
    const pid_t first = fork();
    if (first == 0) _exit(CheckIdTakenByALaterProcess());
    int status = 0;
    waitpid(first, &status, 0);
    _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 3);
  }
  int status = 0;
  ASSERT_EQ(waitpid(outer, &status, 0), outer);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the step that failed, from 10 on";
}

TEST_F(ProcLiveTest, ZombieHasNoMemoryButAnOwnerAndAnExitStatus) {
  WaitingChild zombie({"/bin/sh", "-c", "exit 3"});
  zombie.WaitUntilEnded();
  zel::test::ProtectedProcess p;
  void* h = p.CreateHandleFromPID(zombie.Id());
  ASSERT_NE(h, nullptr);
  ExpectReadsFailWith(p, h, zel::test::kProcessWithoutMemory);
  PROCESS_BASIC_INFORMATION info{};
  EXPECT_EQ(p.GetProcessInformation(h, &info), 1);
  EXPECT_EQ(p.GetErrorCode(), 0u);
  EXPECT_EQ(info.ExitStatus, 3);
  p.CloseHandle(h);
}

// A forked child whose main thread exits while a second thread runs on (ps
// shows it as Zl); killed and reaped on every path.
class ChildWithoutMainThread {
 public:
  ChildWithoutMainThread() : pid_(fork()) {
    if (pid_ == 0) {
      std::thread([] {
        for (;;) pause();
      }).detach();
      // The kernel's exit of the calling thread alone, as pthread_exit ends
      // in: pthread_exit itself would unwind into the test framework, which
      // catches what it throws.
      syscall(SYS_exit, 0);
    }
  }
  ChildWithoutMainThread(const ChildWithoutMainThread&) = delete;
  ChildWithoutMainThread& operator=(const ChildWithoutMainThread&) = delete;
  ~ChildWithoutMainThread() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  pid_t Id() const { return pid_; }

  // Whether the main thread has exited within a few seconds.
  bool MainThreadExited() const {
    for (int tries = 0; tries < 500; ++tries) {
      std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
      std::string line;
      std::getline(stat, line);
      const std::size_t close = line.rfind(')');
      if (close != std::string::npos && line.substr(close + 2, 1) == "Z") return true;
      usleep(10'000);
    }
    return false;
  }

 private:
  pid_t pid_;
};

TEST_F(ProcLiveTest, ProcessWhoseMainThreadExitedRunsOnAndIsRead) {
  ChildWithoutMainThread child;
  ASSERT_GT(child.Id(), 0);
  ASSERT_TRUE(child.MainThreadExited());
  zel::test::ProtectedProcess p;
  void* h = p.CreateHandleFromPID(child.Id());
  ASSERT_NE(h, nullptr);
  PROCESS_BASIC_INFORMATION info{};
  EXPECT_EQ(p.GetProcessInformation(h, &info), 1);
  EXPECT_EQ(info.ExitStatus, static_cast<std::int32_t>(code::kStillActive));
  EXPECT_EQ(Utf8(p.GetImageFile(h)), fs::read_symlink("/proc/self/exe").string());
  EXPECT_EQ(Utf8(p.GetCurrentDirectoryW(h)), fs::current_path().string());
  const std::string argv0 = program_invocation_name;
  EXPECT_EQ(Utf8(p.GetCommandLineW(h)).substr(0, argv0.size()), argv0);
  EnvironmentCopy env(p, p.GetEnvironmentBuffer(h));
  ASSERT_NE(env.Get(), nullptr);
  EXPECT_EQ(Variables(env.Get())[0], environ[0]);
  CZelString user, domain;
  EXPECT_EQ(p.GetUserAndDomain(h, user, domain), 1);
  p.CloseHandle(h);
}

// Run in a child: with every descriptor taken, each read of its own process
// fails with ERROR_TOO_MANY_OPEN_FILES (4), not as a gone process's, and so
// do construction and Refresh, which cannot list /proc; the probe of the
// caller's output records needs none, nor does giving an environment copy
// back. Answers 0, or the step that failed.
int CheckWithoutDescriptors() {
  constexpr ZelCode kTooManyOpenFiles = 4;
  zel::test::ProtectedProcess p;
  void* h = p.CreateHandleFromPID(static_cast<unsigned>(getpid()));
  // The undefined-behaviour checker reads an object's type through a pipe
  // the first time it meets the type: it meets the exception's here.
  if (std::system_error(0, zel::error_category(), "").code().value() != 0) return 10;
  rlimit limit{};
  unsigned char* copy = p.GetEnvironmentBuffer(h);
  if (!h || !copy || getrlimit(RLIMIT_NOFILE, &limit) != 0) return 10;
  limit.rlim_cur = 64;
  const int spare = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (setrlimit(RLIMIT_NOFILE, &limit) != 0 || spare < 0) return 11;
  std::vector<int> taken;
  for (int fd; (fd = dup(spare)) >= 0;) taken.push_back(fd);
  if (errno != EMFILE) return 12;

  for (auto get : {&CZelProcess::GetImageFile, &CZelProcess::GetCommandLineW,
                   &CZelProcess::GetCurrentDirectoryW})
    if (!(p.*get)(h).IsEmpty() || p.GetErrorCode() != kTooManyOpenFiles) return 13;
  if (p.GetEnvironmentBuffer(h) || p.GetErrorCode() != kTooManyOpenFiles) return 14;
  CZelString user, domain;
  if (p.GetUserAndDomain(h, user, domain) || p.GetErrorCode() != kTooManyOpenFiles) return 15;
  PROCESS_BASIC_INFORMATION info{};
  if (p.GetProcessInformation(h, &info) || p.GetErrorCode() != kTooManyOpenFiles) return 16;
  if (p.Refresh() != 0 || p.GetErrorCode() != kTooManyOpenFiles) return 17;
  unsigned char local[64] = {};
  if (!zel::source::IsWritable(local, sizeof local) || zel::source::IsWritable(nullptr, 1) ||
      p.FreeEnvironmentBuffer(copy) != 1 || copy)
    return 18;
  // One descriptor is enough for the read of stat behind the basic
  // information, whose output check needs none.
  close(taken.back());
  taken.pop_back();
  if (p.GetProcessInformation(h, &info) != 1 ||
      info.ExitStatus != static_cast<std::int32_t>(code::kStillActive))
    return 19;
  if (dup(spare) < 0) return 20;
  try {
    CZelProcess another;
    return 21;
  } catch (const std::system_error& failure) {
    if (failure.code().value() != static_cast<int>(kTooManyOpenFiles)) return 22;
  }
  return 0;
}

TEST_F(ProcLiveTest, ReadsWithoutAFreeDescriptorFailWithTheirOwnCode) {
  zel::test::ExpectForkedCheckPasses(CheckWithoutDescriptors);
}

}  // namespace
