// The console's own means: a second screen buffer is drawn on, and keys are
// console input events. Where the console takes escape sequences (Windows
// 10 and later, Wine's console on a Unix terminal), they also switch the
// terminal to its alternate screen and back: Wine's console draws every
// buffer on the one Unix screen, which would otherwise keep the last table.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <string_view>

#include "ZelString.h"
#include "display_width.h"
#include "host/win32_handle.h"
#include "terminal.h"

namespace zelps {
namespace {

std::atomic<bool> g_stop{false};

BOOL WINAPI OnControl(DWORD) {
  g_stop = true;
  return TRUE;
}

}  // namespace

bool StdoutIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

struct RefreshTerminal::Saved {
  zel::host::OwnedHandle screen;  // the buffer drawn on, shown while zelps runs
  HANDLE output = nullptr;        // the buffer shown before
  DWORD outputMode = 0;
  bool sequences = false;  // the alternate screen was asked for with escape sequences
  HANDLE input = nullptr;
  DWORD inputMode = 0;
  bool keys = false;
};

namespace {

void Write(HANDLE output, std::string_view text) {
  DWORD written = 0;
  WriteConsoleA(output, text.data(), DWORD(text.size()), &written, nullptr);
}

}  // namespace

RefreshTerminal::RefreshTerminal(bool screen) : saved_(std::make_unique<Saved>()) {
  g_stop = false;
  SetConsoleCtrlHandler(OnControl, TRUE);
  if (!screen) return;
  saved_->output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (GetConsoleMode(saved_->output, &saved_->outputMode) &&
      SetConsoleMode(saved_->output, saved_->outputMode | ENABLE_PROCESSED_OUTPUT |
                                         ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
    saved_->sequences = true;
    Write(saved_->output, "\x1b[?1049h");
  }
  saved_->screen = zel::host::OwnedHandle(CreateConsoleScreenBuffer(
      GENERIC_READ | GENERIC_WRITE, 0, nullptr, CONSOLE_TEXTMODE_BUFFER, nullptr));
  if (saved_->screen && SetConsoleActiveScreenBuffer(saved_->screen.Get())) {
    const CONSOLE_CURSOR_INFO hidden{1, FALSE};
    SetConsoleCursorInfo(saved_->screen.Get(), &hidden);
  } else {
    saved_->screen.Reset();
  }
  saved_->input = GetStdHandle(STD_INPUT_HANDLE);
  if (GetConsoleMode(saved_->input, &saved_->inputMode)) {
    // Ctrl-C still reaches the control handler (processed input stays on).
    saved_->keys = SetConsoleMode(
        saved_->input, saved_->inputMode & ~DWORD(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT));
  }
}

RefreshTerminal::~RefreshTerminal() {
  if (saved_->screen) SetConsoleActiveScreenBuffer(saved_->output);
  if (saved_->sequences) {
    Write(saved_->output, "\x1b[?1049l");
    SetConsoleMode(saved_->output, saved_->outputMode);
  }
  if (saved_->keys) SetConsoleMode(saved_->input, saved_->inputMode);
  SetConsoleCtrlHandler(OnControl, FALSE);
}

std::size_t RefreshTerminal::Width() const {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!saved_->screen || !GetConsoleScreenBufferInfo(saved_->screen.Get(), &info)) return 80;
  return std::size_t(std::max<SHORT>(1, info.srWindow.Right - info.srWindow.Left + 1));
}

void RefreshTerminal::Draw(const std::vector<std::string>& lines) {
  const HANDLE screen = saved_->screen.Get();
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!screen || !GetConsoleScreenBufferInfo(screen, &info)) return;
  const SHORT rows = std::max<SHORT>(1, info.srWindow.Bottom - info.srWindow.Top + 1);
  const SHORT columns = std::max<SHORT>(1, info.srWindow.Right - info.srWindow.Left + 1);
  for (SHORT row = 0; row < rows; ++row) {
    std::string text(row < SHORT(lines.size()) ? ClipToWidth(lines[row], columns) : "");
    // Blanks to the end of the row cover what the table before left there.
    text.append(columns - std::min<std::size_t>(columns, DisplayWidth(text)), ' ');
    const CZelString wide = CZelString::FromUtf8(text);
    DWORD written = 0;
    const COORD at{info.srWindow.Left, SHORT(info.srWindow.Top + row)};
    WriteConsoleOutputCharacterW(screen, wide.c_wstr(), DWORD(wide.GetLength()), at, &written);
  }
}

bool RefreshTerminal::Wait(double seconds) {
  using Clock = std::chrono::steady_clock;
  const auto until = Clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    if (g_stop) return true;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
    if (left <= 0) return false;
    // Ctrl-C is looked at every 50 ms; a key wakes the wait at once.
    const DWORD wait = DWORD(std::min<long long>(left, 50));
    if (!saved_->keys) {
      Sleep(wait);
      continue;
    }
    if (WaitForSingleObject(saved_->input, wait) != WAIT_OBJECT_0) continue;
    INPUT_RECORD events[16];
    DWORD count = 0;
    if (!ReadConsoleInputW(saved_->input, events, 16, &count)) return true;
    for (DWORD i = 0; i < count; ++i) {
      const auto& event = events[i];
      if (event.EventType == KEY_EVENT && event.Event.KeyEvent.bKeyDown &&
          (event.Event.KeyEvent.uChar.UnicodeChar == L'q' ||
           event.Event.KeyEvent.uChar.UnicodeChar == L'Q'))
        return true;
    }
  }
}

}  // namespace zelps
