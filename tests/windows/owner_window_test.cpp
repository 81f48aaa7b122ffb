// The owner of a live process and its first top-level window, checked against
// what the host's own token names and what the host's own window enumeration
// finds, on the host and on children that make windows of their own.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ZelProcess.h"
#include "support/windows/child_process.h"
#include "support/windows/comparable.h"
#include "support/windows/handle_count.h"
#include "support/windows/host_handles.h"

namespace {

using namespace zel::test;

// ---------------------------------------------------------------------------
// The account behind the host's own token, named without the library.

struct Account {
  std::wstring user;
  std::wstring domain;
};

std::optional<Account> HostAccount() {
  HANDLE tokenHandle = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &tokenHandle)) return std::nullopt;
  const OwnedHandle token(tokenHandle);
  DWORD needed = 0;
  ::GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &needed);
  if (needed == 0) return std::nullopt;
  // Held as 64-bit words so that the record's SID pointer is aligned.
  std::vector<std::uint64_t> record((needed + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t));
  if (!::GetTokenInformation(token.Get(), TokenUser, record.data(),
                             static_cast<DWORD>(record.size() * sizeof(std::uint64_t)), &needed))
    return std::nullopt;
  const PSID sid = reinterpret_cast<const TOKEN_USER*>(record.data())->User.Sid;

  DWORD userUnits = 0;
  DWORD domainUnits = 0;
  SID_NAME_USE use{};
  ::LookupAccountSidW(nullptr, sid, nullptr, &userUnits, nullptr, &domainUnits, &use);
  if (userUnits == 0) return std::nullopt;
  std::wstring user(userUnits, L'\0');
  std::wstring domain(std::max<DWORD>(domainUnits, 1), L'\0');
  if (!::LookupAccountSidW(nullptr, sid, user.data(), &userUnits, domain.data(), &domainUnits,
                           &use))
    return std::nullopt;
  // On success the counts no longer include the terminating NUL.
  user.resize(userUnits);
  domain.resize(domainUnits);
  return Account{std::move(user), std::move(domain)};
}

// ---------------------------------------------------------------------------
// Children that make top-level windows and keep them alive until told to end.

constexpr wchar_t kWindowClass[] = L"ZelOwnerWindowTest";

// A registered window class, unregistered when the child is done with it.
class WindowClass {
 public:
  WindowClass() {
    WNDCLASSEXW description{};
    description.cbSize = sizeof description;
    description.lpfnWndProc = &::DefWindowProcW;
    description.hInstance = ::GetModuleHandleW(nullptr);
    description.lpszClassName = kWindowClass;
    registered_ = ::RegisterClassExW(&description) != 0;
  }
  WindowClass(const WindowClass&) = delete;
  WindowClass& operator=(const WindowClass&) = delete;
  ~WindowClass() {
    if (registered_) ::UnregisterClassW(kWindowClass, ::GetModuleHandleW(nullptr));
  }
  explicit operator bool() const { return registered_; }

 private:
  bool registered_ = false;
};

class Window {
 public:
  Window(const wchar_t* title, DWORD style)
      : window_(::CreateWindowExW(0, kWindowClass, title, style, CW_USEDEFAULT, CW_USEDEFAULT, 200,
                                  100, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr)) {}
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;
  ~Window() {
    if (window_ != nullptr) ::DestroyWindow(window_);
  }
  HWND get() const { return window_; }

 private:
  HWND window_;
};

std::vector<std::byte> EncodeWindows(const std::vector<HWND>& windows) {
  // Window handles are the same in every process, and their values fit in 64
  // bits on either side.
  std::vector<std::byte> message(windows.size() * sizeof(std::uint64_t));
  for (std::size_t i = 0; i < windows.size(); ++i) {
    const auto value = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(windows[i]));
    std::memcpy(message.data() + i * sizeof value, &value, sizeof value);
  }
  return message;
}

std::vector<HWND> DecodeWindows(const std::vector<std::byte>& message) {
  std::vector<HWND> windows(message.size() / sizeof(std::uint64_t));
  for (std::size_t i = 0; i < windows.size(); ++i) {
    std::uint64_t value = 0;
    std::memcpy(&value, message.data() + i * sizeof value, sizeof value);
    windows[i] = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(value));
  }
  return windows;
}

// Reports the windows made, then pumps messages until the host closes the
// pipe, so that the windows stay those of a responsive process for as long as
// the host looks at them.
int PumpUntilHostCloses(MessagePipe& host, const std::vector<HWND>& windows) {
  if (!host.Send(EncodeWindows(windows))) return 1;
  const DWORD pumpingThread = ::GetCurrentThreadId();
  // The pipe has no waitable state, so a second thread waits on it and ends
  // the message loop, which must stay on the thread that owns the windows.
  std::jthread watcher([&host, pumpingThread] {
    while (host.Receive()) {
    }
    ::PostThreadMessageW(pumpingThread, WM_QUIT, 0, 0);
  });
  MSG message;
  BOOL got;
  while ((got = ::GetMessageW(&message, nullptr, 0, 0)) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return got == 0 ? 0 : 3;
}

int HiddenThenVisibleWindows(MessagePipe& host) {
  const WindowClass windowClass;
  if (!windowClass) return 2;
  const Window hidden(L"Zel hidden", WS_OVERLAPPEDWINDOW);
  const Window visible(L"Zel visible", WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  if (hidden.get() == nullptr || visible.get() == nullptr) return 2;
  return PumpUntilHostCloses(host, {hidden.get(), visible.get()});
}

int OnlyAHiddenWindow(MessagePipe& host) {
  const WindowClass windowClass;
  if (!windowClass) return 2;
  const Window hidden(L"Zel hidden", WS_OVERLAPPEDWINDOW);
  if (hidden.get() == nullptr) return 2;
  return PumpUntilHostCloses(host, {hidden.get()});
}

int NoWindow(MessagePipe& host) {
  if (!host.Send({})) return 1;
  while (host.Receive()) {
  }
  return 0;
}

const zel::test::ChildMode kHiddenThenVisible("hidden-then-visible-windows",
                                              &HiddenThenVisibleWindows);
const zel::test::ChildMode kOnlyHidden("only-a-hidden-window", &OnlyAHiddenWindow);
const zel::test::ChildMode kNoWindow("no-window", &NoWindow);

// A child started in one of the modes above, with the windows it reported.
struct WindowedChild {
  explicit WindowedChild(const char* mode) : process(Options(mode)) {
    if (auto message = process.Pipe().Receive()) {
      reported = true;
      windows = DecodeWindows(*message);
    }
  }

  static ChildOptions Options(const char* mode) {
    ChildOptions options;
    options.mode = mode;
    return options;
  }

  ChildProcess process;
  bool reported = false;
  std::vector<HWND> windows;
};

struct FirstWindowSearch {
  DWORD processId;
  HWND found;
};

// What the host's own enumeration lists first for the process.
HWND FirstWindowOf(DWORD processId) {
  FirstWindowSearch search{processId, nullptr};
  ::EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        auto* search = reinterpret_cast<FirstWindowSearch*>(param);
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        if (owner != search->processId) return TRUE;
        search->found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The library's answer, together with the host's own answer from both sides
// of it: the order of windows may change while the child settles (activation
// raises a window), and only an order that held throughout is a fair reference.
struct MainWindowReading {
  HWND library = nullptr;
  ZelCode code = 0;
  HWND reference = nullptr;
  bool settled = false;
};

MainWindowReading ReadMainWindow(CZelProcess& processes, void* process, DWORD processId) {
  MainWindowReading reading;
  for (int attempt = 0; attempt < 20 && !reading.settled; ++attempt) {
    const HWND before = FirstWindowOf(processId);
    reading.library = processes.GetMainWindow(process);
    reading.code = processes.GetErrorCode();
    reading.reference = FirstWindowOf(processId);
    reading.settled = before == reading.reference;
  }
  return reading;
}

// A thread handle of the host's own process: not a process handle, so a call
// that needs one fails on it.
class HostThreadHandle {
 public:
  explicit HostThreadHandle(CZelProcess& processes)
      : process_(processes, processes.CreateHandleFromPID(::GetCurrentProcessId())),
        thread_(processes, process_ ? processes.FindFirstThread(process_.Get()) : nullptr) {}
  void* Get() const { return thread_.Get(); }
  explicit operator bool() const { return static_cast<bool>(thread_); }

 private:
  ZelHandle process_;
  ZelHandle thread_;
};

// ---------------------------------------------------------------------------

TEST(OwnerOfAProcess, IsTheAccountOfTheHostsOwnToken) {
  const auto account = HostAccount();
  ASSERT_TRUE(account) << ::GetLastError();
  ASSERT_FALSE(account->user.empty());

  CZelProcess processes;
  HostThreadHandle thread(processes);
  ASSERT_TRUE(thread) << processes.GetErrorCode();
  ZelHandle self(processes, processes.CreateHandleFromPID(::GetCurrentProcessId()));
  ASSERT_TRUE(self) << processes.GetErrorCode();

  // A failure first, so that success has a code of its own to replace.
  CZelString user;
  CZelString domain;
  ASSERT_EQ(processes.GetUserAndDomain(thread.Get(), user, domain), 0);
  ASSERT_NE(processes.GetErrorCode(), ERROR_SUCCESS);

  EXPECT_EQ(processes.GetUserAndDomain(self.Get(), user, domain), 1);
  EXPECT_EQ(processes.GetErrorCode(), ERROR_SUCCESS);
  EXPECT_EQ(Text(user), account->user);
  EXPECT_EQ(Text(domain), account->domain);
}

TEST(OwnerOfAProcess, OfAChildIsTheHostsAccount) {
  // The child inherits the host's token, so it has the host's owner; reading
  // it goes through another process's token rather than the host's own.
  const auto account = HostAccount();
  ASSERT_TRUE(account) << ::GetLastError();
  WindowedChild child("no-window");
  ASSERT_TRUE(child.reported) << "the child ended with " << child.process.Finish();

  CZelProcess processes;
  ZelHandle handle(processes, processes.CreateHandleFromPID(child.process.Id()));
  ASSERT_TRUE(handle) << processes.GetErrorCode();
  CZelString user;
  CZelString domain;
  EXPECT_EQ(processes.GetUserAndDomain(handle.Get(), user, domain), 1);
  EXPECT_EQ(processes.GetErrorCode(), ERROR_SUCCESS);
  EXPECT_EQ(Text(user), account->user);
  EXPECT_EQ(Text(domain), account->domain);
}

TEST(OwnerOfAProcess, OnAThreadHandleEmptiesBothStrings) {
  CZelProcess processes;
  HostThreadHandle thread(processes);
  ASSERT_TRUE(thread) << processes.GetErrorCode();

  CZelString user(L"stale user");
  CZelString domain(L"stale domain");
  EXPECT_EQ(processes.GetUserAndDomain(thread.Get(), user, domain), 0);
  EXPECT_EQ(processes.GetErrorCode(), ERROR_INVALID_HANDLE);
  EXPECT_TRUE(user.IsEmpty()) << user.ToUtf8();
  EXPECT_TRUE(domain.IsEmpty()) << domain.ToUtf8();
}

TEST(MainWindowOfAChild, IsTheFirstOfItsWindowsInEnumerationOrder) {
  WindowedChild child("hidden-then-visible-windows");
  ASSERT_TRUE(child.reported) << "the child ended with " << child.process.Finish();
  ASSERT_EQ(child.windows.size(), 2u);
  for (const HWND window : child.windows) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    ASSERT_EQ(owner, child.process.Id());
  }
  // Both kinds are there, so whichever comes first, the library must not have
  // skipped the other kind to find it.
  ASSERT_FALSE(::IsWindowVisible(child.windows[0]));
  ASSERT_TRUE(::IsWindowVisible(child.windows[1]));

  CZelProcess processes;
  HostThreadHandle thread(processes);
  ASSERT_TRUE(thread) << processes.GetErrorCode();
  ZelHandle handle(processes, processes.CreateHandleFromPID(child.process.Id()));
  ASSERT_TRUE(handle) << processes.GetErrorCode();
  // A failure first, so that success has a code of its own to replace.
  ASSERT_EQ(processes.GetMainWindow(thread.Get()), nullptr);
  ASSERT_NE(processes.GetErrorCode(), ERROR_SUCCESS);

  const MainWindowReading reading = ReadMainWindow(processes, handle.Get(), child.process.Id());
  ASSERT_TRUE(reading.settled) << "the child's windows kept changing order";
  EXPECT_EQ(reading.library, reading.reference);
  EXPECT_EQ(reading.code, ERROR_SUCCESS);
  const bool madeByTheChild =
      std::ranges::find(child.windows, reading.library) != child.windows.end();
  EXPECT_TRUE(madeByTheChild) << reading.library;

  EXPECT_EQ(child.process.Finish(), 0u);
}

TEST(MainWindowOfAChild, IsAHiddenWindowWhenThatComesFirst) {
  WindowedChild child("only-a-hidden-window");
  ASSERT_TRUE(child.reported) << "the child ended with " << child.process.Finish();
  ASSERT_EQ(child.windows.size(), 1u);
  ASSERT_FALSE(::IsWindowVisible(child.windows[0]));

  CZelProcess processes;
  ZelHandle handle(processes, processes.CreateHandleFromPID(child.process.Id()));
  ASSERT_TRUE(handle) << processes.GetErrorCode();
  const MainWindowReading reading = ReadMainWindow(processes, handle.Get(), child.process.Id());
  ASSERT_TRUE(reading.settled) << "the child's windows kept changing order";
  // The system may give the child hidden windows of its own (an input method
  // window under Wine), but the one the child made must lead, or this case
  // would not be about the child's hidden window.
  ASSERT_EQ(reading.reference, child.windows[0]);
  EXPECT_EQ(reading.library, reading.reference);
  EXPECT_EQ(reading.code, ERROR_SUCCESS);

  EXPECT_EQ(child.process.Finish(), 0u);
}

TEST(MainWindowOfAChild, IsNullWithSuccessWhenItHasNone) {
  WindowedChild child("no-window");
  ASSERT_TRUE(child.reported) << "the child ended with " << child.process.Finish();
  // The host's own enumeration agrees that there is nothing to find.
  ASSERT_EQ(FirstWindowOf(child.process.Id()), nullptr);

  CZelProcess processes;
  HostThreadHandle thread(processes);
  ASSERT_TRUE(thread) << processes.GetErrorCode();
  ZelHandle handle(processes, processes.CreateHandleFromPID(child.process.Id()));
  ASSERT_TRUE(handle) << processes.GetErrorCode();
  // A failure first: a null answer must not leave its code in place.
  ASSERT_EQ(processes.GetMainWindow(thread.Get()), nullptr);
  ASSERT_NE(processes.GetErrorCode(), ERROR_SUCCESS);

  EXPECT_EQ(processes.GetMainWindow(handle.Get()), nullptr);
  EXPECT_EQ(processes.GetErrorCode(), ERROR_SUCCESS);

  EXPECT_EQ(child.process.Finish(), 0u);
}

TEST(MainWindowOfAChild, OnAThreadHandleIsNullWithAnInvalidParameter) {
  CZelProcess processes;
  HostThreadHandle thread(processes);
  ASSERT_TRUE(thread) << processes.GetErrorCode();
  EXPECT_EQ(processes.GetMainWindow(thread.Get()), nullptr);
  EXPECT_EQ(processes.GetErrorCode(), ERROR_INVALID_PARAMETER);
}

TEST(OwnerAndMainWindowOfAChild, RepeatedCallsLeaveNoHandlesBehind) {
  constexpr int kRounds = 1000;
  WindowedChild child("hidden-then-visible-windows");
  ASSERT_TRUE(child.reported) << "the child ended with " << child.process.Finish();

  CZelProcess processes;
  ZelHandle handle(processes, processes.CreateHandleFromPID(child.process.Id()));
  ASSERT_TRUE(handle) << processes.GetErrorCode();
  ExpectHandleCountToTrackHandles(child.process.Id());

  const std::size_t before = HandleCount();
  // Counting successes shows every call went all the way through, opening
  // all it opens.
  int owners = 0;
  for (int i = 0; i < kRounds; ++i) {
    CZelString user;
    CZelString domain;
    if (processes.GetUserAndDomain(handle.Get(), user, domain) == 1) ++owners;
  }
  EXPECT_EQ(owners, kRounds);
  EXPECT_EQ(HandleCount(), before) << "after GetUserAndDomain";

  int windows = 0;
  for (int i = 0; i < kRounds; ++i)
    if (processes.GetMainWindow(handle.Get()) != nullptr) ++windows;
  EXPECT_EQ(windows, kRounds);
  EXPECT_EQ(HandleCount(), before) << "after GetMainWindow";

  EXPECT_EQ(child.process.Finish(), 0u);
}

}  // namespace
