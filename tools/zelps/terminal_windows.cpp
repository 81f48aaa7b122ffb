#include <conio.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>

#include "screen_frame.h"
#include "terminal.h"

namespace zelps {
namespace {

std::atomic<bool> g_stop{false};

BOOL WINAPI OnControl(DWORD) {
  g_stop = true;
  return TRUE;
}

void Put(const char* text) {
  std::fputs(text, stdout);
  std::fflush(stdout);
}

}  // namespace

bool StdoutIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

struct RefreshTerminal::Saved {
  bool screen = false;
  DWORD outputMode = 0;
};

RefreshTerminal::RefreshTerminal(bool screen) : saved_(std::make_unique<Saved>()) {
  g_stop = false;
  SetConsoleCtrlHandler(OnControl, TRUE);
  if (!screen) return;
  saved_->screen = true;
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (GetConsoleMode(output, &saved_->outputMode))
    SetConsoleMode(output, saved_->outputMode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
  Put("\x1b[?1049h\x1b[?25l");
}

RefreshTerminal::~RefreshTerminal() {
  if (saved_->screen) {
    Put("\x1b[?25h\x1b[?1049l");
    SetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), saved_->outputMode);
  }
  SetConsoleCtrlHandler(OnControl, FALSE);
}

void RefreshTerminal::Draw(const std::vector<std::string>& lines) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  std::size_t rows = 24, columns = 80;
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) {
    rows = std::max(1, info.srWindow.Bottom - info.srWindow.Top + 1);
    columns = std::max(1, info.srWindow.Right - info.srWindow.Left + 1);
  }
  const std::string frame = ScreenFrame(lines, rows, columns);
  std::fwrite(frame.data(), 1, frame.size(), stdout);
  std::fflush(stdout);
}

bool RefreshTerminal::Wait(double seconds) {
  using Clock = std::chrono::steady_clock;
  const auto until = Clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    if (g_stop) return true;
    if (saved_->screen) {
      while (_kbhit()) {
        const int key = _getch();
        if (key == 'q' || key == 'Q') return true;
      }
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
    if (left <= 0) return false;
    // Keys and Ctrl-C are looked at every 50 ms.
    Sleep(static_cast<DWORD>(std::min<long long>(left, 50)));
  }
}

}  // namespace zelps
