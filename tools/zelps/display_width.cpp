#include "display_width.h"

#include <algorithm>
#include <array>
#include <utility>

namespace zelps {
namespace {

using Range = std::pair<char32_t, char32_t>;

// The East Asian Wide and Fullwidth blocks that names and command lines
// hold in practice; a rarer wide character is counted as one column.
constexpr std::array<Range, 15> kWide{{
    {0x1100, 0x115F},
    {0x2E80, 0x303E},
    {0x3041, 0x33FF},
    {0x3400, 0x4DBF},
    {0x4E00, 0x9FFF},
    {0xA000, 0xA4CF},
    {0xAC00, 0xD7A3},
    {0xF900, 0xFAFF},
    {0xFE30, 0xFE4F},
    {0xFF00, 0xFF60},
    {0xFFE0, 0xFFE6},
    {0x1F300, 0x1F64F},
    {0x1F900, 0x1F9FF},
    {0x20000, 0x2FFFD},
    {0x30000, 0x3FFFD},
}};

// Combining marks and zero-width spaces, drawn over or between their neighbours.
constexpr std::array<Range, 5> kZero{{
    {0x0300, 0x036F},
    {0x1AB0, 0x1AFF},
    {0x1DC0, 0x1DFF},
    {0x200B, 0x200F},
    {0xFE20, 0xFE2F},
}};

bool In(const auto& ranges, char32_t c) {
  return std::any_of(ranges.begin(), ranges.end(),
                     [c](const Range& r) { return r.first <= c && c <= r.second; });
}

// Decodes the code point at `at` and moves past it; a stray byte counts as one.
char32_t Next(std::string_view text, std::size_t& at) {
  const auto lead = static_cast<unsigned char>(text[at++]);
  const int more = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
  char32_t c = more == 0 ? lead : lead & (0x3F >> more);
  for (int i = 0; i < more && at < text.size(); ++i)
    c = (c << 6) | (static_cast<unsigned char>(text[at++]) & 0x3F);
  return c;
}

std::size_t Width(char32_t c) { return In(kZero, c) ? 0 : In(kWide, c) ? 2 : 1; }

}  // namespace

std::size_t DisplayWidth(std::string_view utf8) {
  std::size_t width = 0;
  for (std::size_t at = 0; at < utf8.size();) width += Width(Next(utf8, at));
  return width;
}

std::string_view ClipToWidth(std::string_view utf8, std::size_t columns) {
  std::size_t width = 0;
  for (std::size_t at = 0; at < utf8.size();) {
    const std::size_t start = at;
    width += Width(Next(utf8, at));
    if (width > columns) return utf8.substr(0, start);
  }
  return utf8;
}

}  // namespace zelps
