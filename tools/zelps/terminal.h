// The terminal of the refresh mode: the screen it draws on, the keys it
// reads and the signals that end it, given back as they were found.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace zelps {

bool StdoutIsTerminal();

class RefreshTerminal {
 public:
  // Catches Ctrl-C and the termination signals for as long as it lives. With
  // `screen`, also draws on the alternate screen without a cursor and reads
  // keys as they are typed, without echo.
  explicit RefreshTerminal(bool screen);
  ~RefreshTerminal();
  RefreshTerminal(const RefreshTerminal&) = delete;
  RefreshTerminal& operator=(const RefreshTerminal&) = delete;

  // Replaces the screen's contents with `lines`, as many as fit, each cut
  // to the terminal's width.
  void Draw(const std::vector<std::string>& lines);

  // The terminal's width in columns.
  std::size_t Width() const;

  // Waits `seconds`; true, at once, when q is typed or a signal asks zelps
  // to stop.
  bool Wait(double seconds);

 private:
  struct Saved;
  std::unique_ptr<Saved> saved_;
};

}  // namespace zelps
