// The library on the machine's own processes: with no system installed, the
// platform calls serve the one read from /proc.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "ZelProcess.h"
#include "platform/codes.h"
#include "platform/emulated/emulation.h"
#include "platform/layouts.h"

namespace {

namespace fs = std::filesystem;
namespace code = zel::code;
namespace emu = zel::emu;
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
  std::vector<std::string> variables;
  std::u16string text(zel::layout::kEnvironmentReadSize / 2, u'\0');
  std::memcpy(text.data(), buffer, zel::layout::kEnvironmentReadSize);
  for (std::size_t at = 0; at < text.size() && text[at] != 0;) {
    const std::size_t end = text.find(u'\0', at);
    const CZelString variable(reinterpret_cast<const unsigned short*>(text.data() + at), end - at);
    variables.push_back(variable.ToUtf8());
    at = end + 1;
  }
  return variables;
}

class Pipe {
 public:
  Pipe() {
    if (pipe2(ends_, O_CLOEXEC) != 0) throw std::runtime_error("pipe2");
  }
  ~Pipe() {
    CloseRead();
    CloseWrite();
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  int Read() const { return ends_[0]; }
  int Write() const { return ends_[1]; }
  void CloseRead() { Close(ends_[0]); }
  void CloseWrite() { Close(ends_[1]); }

 private:
  static void Close(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
  int ends_[2];
};

// A child of this process that stays until its standard input ends, then is
// waited for: by the test, or at the end of the scope.
class Child {
 public:
  // Forked, it waits for end of input and exits; with `argv` it runs that
  // program instead, in `directory`, with `envp` as its environment.
  explicit Child(std::vector<std::string> argv = {}, std::vector<std::string> envp = {},
                 const std::string& directory = "") {
    std::vector<char*> args, env;
    for (auto& a : argv) args.push_back(a.data());
    for (auto& e : envp) env.push_back(e.data());
    args.push_back(nullptr);
    env.push_back(nullptr);
    Pipe started;  // closed by a successful exec
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
      // Only async-signal-safe calls between fork and exec. The child keeps
      // no write end of a pipe it waits on.
      dup2(input_.Read(), STDIN_FILENO);
      close(input_.Write());
      if (argv.empty()) {
        close(started.Write());
        char byte;
        while (read(STDIN_FILENO, &byte, 1) > 0) {
        }
        _exit(0);
      }
      if (chdir(directory.c_str()) == 0) execve(args[0], args.data(), env.data());
      const char failed = 1;
      [[maybe_unused]] const auto ignored = write(started.Write(), &failed, 1);
      _exit(127);
    }
    input_.CloseRead();
    started.CloseWrite();
    char failed = 0;
    while (read(started.Read(), &failed, 1) < 0 && errno == EINTR) {
    }
    if (failed) throw std::runtime_error("exec");
  }
  ~Child() {
    if (pid_ > 0) {
      Finish();
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t Id() const { return pid_; }
  // Ends its input and waits until it has exited and is reaped.
  void Finish() {
    input_.CloseWrite();
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
  }

 private:
  Pipe input_;
  pid_t pid_ = -1;
};

class ProcLiveTest : public ::testing::Test {
 protected:
  void SetUp() override { previous_ = emu::Install(nullptr); }
  void TearDown() override {
    emu::Install(previous_);
    EXPECT_EQ(emu::OpenHandleCount(), 0u) << "platform handles left open";
  }

 private:
  emu::System* previous_ = nullptr;
};

TEST_F(ProcLiveTest, ListsThisProcessWithItsNameParentAndThreads) {
  CZelProcess p;
  EXPECT_GT(p.GetProcessCount(), 1u);
  void* h = p.CreateHandleFromPID(static_cast<unsigned>(getpid()));
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(Utf8(p.GetName(h)), "unit_tests");
  EXPECT_EQ(p.GetParentProcess(h), static_cast<unsigned>(getppid()));
  // The main thread's ID is the process's.
  void* t = p.CreateHandleFromTID(h, static_cast<unsigned>(getpid()));
  EXPECT_NE(t, nullptr);
  if (t) p.CloseHandle(t);
  p.CloseHandle(h);

  void* found = p.FindFirstProcess(CZelString::FromUtf8("unit_tests"));
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
    // sh reads its input until it ends: the child stays until Finish.
    Child child({"/bin/sh", "-c", "read line", "my name", "a \"b\"", "end\\", "sp ace\\", "", "ü €漢字 😀"},
                {"ZEL_A=1", "ZEL_TEXT=ü 😀"}, directory.string());
    CZelProcess p;
    void* h = p.CreateHandleFromPID(static_cast<unsigned>(child.Id()));
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(p.GetParentProcess(h), static_cast<unsigned>(getpid()));
    EXPECT_EQ(Utf8(p.GetName(h)), fs::canonical("/bin/sh").filename().string());
    EXPECT_EQ(Utf8(p.GetImageFile(h)), fs::canonical("/bin/sh").string());
    EXPECT_EQ(Utf8(p.GetCommandLineW(h)),
              R"(/bin/sh -c "read line" "my name" "a \"b\"" end\ "sp ace\\" "" "ü €漢字 😀")");
    EXPECT_EQ(Utf8(p.GetCurrentDirectoryW(h)), directory.string());
    unsigned char* env = p.GetEnvironmentBuffer(h);
    ASSERT_NE(env, nullptr);
    EXPECT_EQ(Variables(env), (std::vector<std::string>{"ZEL_A=1", "ZEL_TEXT=ü 😀"}));
    EXPECT_EQ(p.FreeEnvironmentBuffer(env), 1);
    p.CloseHandle(h);
  }
  fs::remove(directory);
}

TEST_F(ProcLiveTest, ChildThatExitedAfterTheSnapshotIsGone) {
  Child child;
  CZelProcess p;
  void* h = p.CreateHandleFromPID(static_cast<unsigned>(child.Id()));
  ASSERT_NE(h, nullptr);
  // Alive, it reads as a copy of this process.
  EXPECT_EQ(Utf8(p.GetImageFile(h)), fs::read_symlink("/proc/self/exe").string());

  child.Finish();
  EXPECT_EQ(p.GetEnvironmentBuffer(h), nullptr);
  EXPECT_EQ(p.GetErrorCode(), code::kInvalidParameter);
  EXPECT_TRUE(p.GetCommandLineW(h).IsEmpty());
  EXPECT_EQ(p.GetErrorCode(), code::kAccessDenied);
  EXPECT_TRUE(p.GetImageFile(h).IsEmpty());
  EXPECT_EQ(p.GetErrorCode(), code::kAccessDenied);
  EXPECT_TRUE(p.GetCurrentDirectoryW(h).IsEmpty());
  EXPECT_EQ(p.GetErrorCode(), code::kAccessDenied);
  CZelString user, domain;
  EXPECT_EQ(p.GetUserAndDomain(h, user, domain), 0);
  EXPECT_EQ(p.GetErrorCode(), code::kAccessDenied);
  p.CloseHandle(h);

  // The next snapshot no longer lists it.
  ASSERT_EQ(p.Refresh(), 1);
  EXPECT_EQ(p.CreateHandleFromPID(static_cast<unsigned>(child.Id())), nullptr);
}

TEST_F(ProcLiveTest, ThreadsShareTheMachineSystem) {
  std::string expected;
  {
    CZelProcess p;
    void* h = p.CreateHandleFromPID(static_cast<unsigned>(getpid()));
    expected = Utf8(p.GetCommandLineW(h));
    p.CloseHandle(h);
  }
  ASSERT_FALSE(expected.empty());
  constexpr int kThreads = 4;
  constexpr int kRounds = 20;
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      CZelProcess p;
      for (int round = 0; round < kRounds; ++round) {
        if (round % 5 == 0) p.Refresh();
        void* h = p.CreateHandleFromPID(static_cast<unsigned>(getpid()));
        if (!h || Utf8(p.GetCommandLineW(h)) != expected) ++mismatches[i];
        unsigned char* env = p.GetEnvironmentBuffer(h);
        if (!env) ++mismatches[i];
        p.FreeEnvironmentBuffer(env);
        p.CloseHandle(h);
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(mismatches, std::vector<int>(kThreads, 0));
}

}  // namespace
