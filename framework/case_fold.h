// The case folding that name comparisons use: each UTF-16 unit maps to the
// one uppercase unit that Unicode gives it, or to itself. Internal to
// ZelString64; the table is built at compile time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zel::text {
namespace fold_detail {

struct FoldRange {
  std::uint16_t first;
  std::uint16_t last;
  std::uint16_t stride;
  std::uint16_t delta;  // added modulo 0x10000
};

inline constexpr FoldRange kFoldRanges[] = {
#include "case_fold_table.inc"
};

// The ranges touch only a few of the 256 pages of 256 units, so a two-level
// table (page index, then per-page deltas shared by all unmapped pages) gives
// a constant-time lookup in a few kilobytes.
constexpr std::size_t CountMappedPages() {
  std::array<bool, 256> mapped{};
  for (const FoldRange& r : kFoldRanges)
    for (unsigned u = r.first; u <= r.last; u += r.stride) mapped[u >> 8] = true;
  std::size_t count = 0;
  for (bool m : mapped) count += m ? 1 : 0;
  return count;
}

struct FoldTable {
  std::array<std::uint8_t, 256> page{};  // 0 = the all-zero-delta page
  std::array<std::array<std::uint16_t, 256>, CountMappedPages() + 1> delta{};
};

constexpr FoldTable BuildFoldTable() {
  FoldTable table;
  std::uint8_t next = 1;
  for (const FoldRange& r : kFoldRanges) {
    for (unsigned u = r.first; u <= r.last; u += r.stride) {
      auto& slot = table.page[u >> 8];
      if (slot == 0) slot = next++;
      table.delta[slot][u & 0xFF] = r.delta;
    }
  }
  return table;
}

inline constexpr FoldTable kFold = BuildFoldTable();

}  // namespace fold_detail

constexpr unsigned short FoldCase(unsigned short u) noexcept {
  using fold_detail::kFold;
  return static_cast<unsigned short>(u + kFold.delta[kFold.page[u >> 8]][u & 0xFF]);
}

static_assert(FoldCase(u'a') == u'A' && FoldCase(u'Z') == u'Z' && FoldCase(u'1') == u'1');
static_assert(FoldCase(u'\u00FF') == u'\u0178' && FoldCase(u'\u00DF') == u'\u00DF');

}  // namespace zel::text
