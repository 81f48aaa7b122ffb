// What the refresh mode sends to redraw the whole screen in place.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "display_width.h"

namespace zelps {

// From the top left, as many lines as the screen has rows, each cut to its
// width and cleared to its end, then the rest of the screen cleared. The
// last line has no line feed, which would scroll the screen.
inline std::string ScreenFrame(const std::vector<std::string>& lines, std::size_t rows,
                               std::size_t columns) {
  std::string frame = "\x1b[H";
  const std::size_t shown = std::min(lines.size(), rows);
  for (std::size_t i = 0; i < shown; ++i) {
    frame += ClipToWidth(lines[i], columns);
    frame += i + 1 < shown ? "\x1b[K\n" : "\x1b[K";
  }
  return frame + "\x1b[J";
}

}  // namespace zelps
