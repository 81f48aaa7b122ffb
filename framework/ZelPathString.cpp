#include "ZelString.h"

#include <array>
#include <cstdint>
#include <utility>

namespace {

struct FoldRange {
    std::uint16_t first;
    std::uint16_t last;
    std::uint16_t stride;
    std::uint16_t delta;  // added modulo 0x10000
};

constexpr FoldRange kFoldRanges[] = {
#include "case_fold_table.inc"
};

// The ranges touch only a few of the 256 pages of 256 units, so a two-level
// table (page index, then per-page deltas shared by all unmapped pages) gives
// a constant-time lookup in a few kilobytes, built entirely at compile time.
constexpr std::size_t CountMappedPages()
{
    std::array<bool, 256> mapped{};
    for (const FoldRange& r : kFoldRanges)
        for (unsigned u = r.first; u <= r.last; u += r.stride)
            mapped[u >> 8] = true;
    std::size_t count = 0;
    for (bool m : mapped)
        count += m ? 1 : 0;
    return count;
}

struct FoldTable {
    std::array<std::uint8_t, 256> page{};  // 0 = the all-zero-delta page
    std::array<std::array<std::uint16_t, 256>, CountMappedPages() + 1> delta{};
};

constexpr FoldTable BuildFoldTable()
{
    FoldTable table;
    std::uint8_t next = 1;
    for (const FoldRange& r : kFoldRanges) {
        for (unsigned u = r.first; u <= r.last; u += r.stride) {
            auto& slot = table.page[u >> 8];
            if (slot == 0)
                slot = next++;
            table.delta[slot][u & 0xFF] = r.delta;
        }
    }
    return table;
}

constexpr FoldTable kFold = BuildFoldTable();

constexpr unsigned short Fold(unsigned short u) noexcept
{
    return static_cast<unsigned short>(u + kFold.delta[kFold.page[u >> 8]][u & 0xFF]);
}

static_assert(Fold(u'a') == u'A' && Fold(u'Z') == u'Z' && Fold(u'1') == u'1');
static_assert(Fold(u'\u00FF') == u'\u0178' && Fold(u'\u00DF') == u'\u00DF');

// Greedy matching that, on a mismatch, retries only from the most recent '*'
// with one more name unit absorbed by it. An earlier '*' never needs
// revisiting, since the later one can absorb anything it would have, so the
// worst case is O(name * pattern) with no recursion.
bool MatchPattern(const unsigned short* name, std::size_t nameLen,
                  const unsigned short* pat, std::size_t patLen) noexcept
{
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::size_t p = 0, n = 0;
    std::size_t starPat = kNone, starName = 0;
    while (n < nameLen) {
        if (p < patLen && pat[p] == u'*') {
            starPat = ++p;
            starName = n;
        } else if (p < patLen && (pat[p] == u'?' || Fold(pat[p]) == Fold(name[n]))) {
            ++p;
            ++n;
        } else if (starPat != kNone) {
            p = starPat;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < patLen && pat[p] == u'*')
        ++p;
    return p == patLen;
}

bool IsMatchAll(const unsigned short* pat, std::size_t patLen) noexcept
{
    return patLen == 3 && pat[0] == u'*' && pat[1] == u'.' && pat[2] == u'*';
}

}  // namespace

CZelPathString::CZelPathString() = default;

CZelPathString::CZelPathString(const CZelString& str) : CZelString(str) {}

CZelPathString::CZelPathString(CZelString&& str) noexcept : CZelString(std::move(str)) {}

CZelPathString::~CZelPathString() = default;

int CZelPathString::MatchSpec(const unsigned short* pszSpec) const
{
    if (!pszSpec)
        return 0;
    const unsigned short* name = *this;
    const std::size_t nameLen = GetLength();

    const unsigned short* cursor = pszSpec;
    while (*cursor != 0) {
        while (*cursor == u' ')
            ++cursor;
        const unsigned short* begin = cursor;
        while (*cursor != 0 && *cursor != u';')
            ++cursor;
        const auto patLen = static_cast<std::size_t>(cursor - begin);
        if (patLen > 0 &&
            (IsMatchAll(begin, patLen) || MatchPattern(name, nameLen, begin, patLen)))
            return 1;
        if (*cursor == u';')
            ++cursor;
    }
    return 0;
}
