#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>

#include "screen_frame.h"
#include "terminal.h"

namespace zelps {
namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnStop(int) { g_stop = 1; }

constexpr std::array<int, 3> kStopSignals{SIGINT, SIGTERM, SIGHUP};

void Put(const char* text) {
  std::fputs(text, stdout);
  std::fflush(stdout);
}

}  // namespace

bool StdoutIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

struct RefreshTerminal::Saved {
  std::array<struct sigaction, kStopSignals.size()> actions{};
  bool screen = false;
  bool keys = false;
  termios input{};
};

RefreshTerminal::RefreshTerminal(bool screen) : saved_(std::make_unique<Saved>()) {
  g_stop = 0;
  struct sigaction action {};
  action.sa_handler = OnStop;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a signal must cut the wait short.
  action.sa_flags = 0;
  for (std::size_t i = 0; i < kStopSignals.size(); ++i)
    sigaction(kStopSignals[i], &action, &saved_->actions[i]);
  if (!screen) return;
  saved_->screen = true;
  if (isatty(STDIN_FILENO) == 1 && tcgetattr(STDIN_FILENO, &saved_->input) == 0) {
    termios keys = saved_->input;
    // Ctrl-C still raises SIGINT (ISIG stays on).
    keys.c_lflag &= ~tcflag_t(ICANON | ECHO);
    keys.c_cc[VMIN] = 1;
    keys.c_cc[VTIME] = 0;
    saved_->keys = tcsetattr(STDIN_FILENO, TCSANOW, &keys) == 0;
  }
  Put("\x1b[?1049h\x1b[?25l");
}

RefreshTerminal::~RefreshTerminal() {
  if (saved_->screen) Put("\x1b[?25h\x1b[?1049l");
  if (saved_->keys) tcsetattr(STDIN_FILENO, TCSANOW, &saved_->input);
  for (std::size_t i = 0; i < kStopSignals.size(); ++i)
    sigaction(kStopSignals[i], &saved_->actions[i], nullptr);
}

namespace {

winsize ScreenSize() {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_row == 0 || size.ws_col == 0) {
    size.ws_row = 24;
    size.ws_col = 80;
  }
  return size;
}

}  // namespace

std::size_t RefreshTerminal::Width() const { return ScreenSize().ws_col; }

void RefreshTerminal::Draw(const std::vector<std::string>& lines) {
  const winsize size = ScreenSize();
  const std::string frame = ScreenFrame(lines, size.ws_row, size.ws_col);
  std::fwrite(frame.data(), 1, frame.size(), stdout);
  std::fflush(stdout);
}

bool RefreshTerminal::Wait(double seconds) {
  using Clock = std::chrono::steady_clock;
  const auto until = Clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    if (g_stop) return true;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
    if (left <= 0) return false;
    pollfd input{STDIN_FILENO, POLLIN, 0};
    const int ready = poll(&input, saved_->keys ? 1 : 0, static_cast<int>(left));
    if (ready > 0) {
      char typed[64];
      const ssize_t count = read(STDIN_FILENO, typed, sizeof typed);
      if (count <= 0) return true;  // the terminal is gone
      for (ssize_t i = 0; i < count; ++i)
        if (typed[i] == 'q' || typed[i] == 'Q') return true;
    }
  }
}

}  // namespace zelps
