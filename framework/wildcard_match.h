// The wildcard matching behind CZelPathString::MatchSpec, as templates over a
// step counter: the library instantiates them with NoSteps, which costs
// nothing, and a test can count the steps to hold the work to its bound.
// Internal to ZelString64.
#pragma once

#include <cstddef>

#include "case_fold.h"

namespace zel::wildcard {

// The counter the library matches with.
struct NoSteps {
  constexpr void Step() noexcept {}
};

// Greedy matching that, on a mismatch, retries only from the most recent '*'
// with one more name unit absorbed by it. An earlier '*' never needs
// revisiting, since the later one can absorb anything it would have, so no
// recursion is needed and the steps stay within (nameLen + 1) * (patLen + 1).
template <class Steps>
bool MatchPattern(const unsigned short* name, std::size_t nameLen, const unsigned short* pat,
                  std::size_t patLen, Steps& steps) noexcept {
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::size_t p = 0, n = 0;
  std::size_t starPat = kNone, starName = 0;
  while (n < nameLen) {
    steps.Step();
    if (p < patLen && pat[p] == u'*') {
      starPat = ++p;
      starName = n;
    } else if (p < patLen &&
               (pat[p] == u'?' || text::FoldCase(pat[p]) == text::FoldCase(name[n]))) {
      ++p;
      ++n;
    } else if (starPat != kNone) {
      p = starPat;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (p < patLen && pat[p] == u'*') {
    steps.Step();
    ++p;
  }
  return p == patLen;
}

inline bool IsMatchAll(const unsigned short* pat, std::size_t patLen) noexcept {
  return patLen == 3 && pat[0] == u'*' && pat[1] == u'.' && pat[2] == u'*';
}

// Whether the name matches any pattern of the NUL-terminated list `patterns` (see
// CZelPathString::MatchSpec). Walking the list takes one step per unit of it,
// besides the steps of each pattern's match.
template <class Steps>
bool MatchesAnyPattern(const unsigned short* name, std::size_t nameLen,
                       const unsigned short* patterns, Steps& steps) noexcept {
  const unsigned short* cursor = patterns;
  while (*cursor != 0) {
    while (*cursor == u' ') {
      steps.Step();
      ++cursor;
    }
    const unsigned short* begin = cursor;
    while (*cursor != 0 && *cursor != u';') {
      steps.Step();
      ++cursor;
    }
    const auto patLen = static_cast<std::size_t>(cursor - begin);
    if (patLen > 0 &&
        (IsMatchAll(begin, patLen) || MatchPattern(name, nameLen, begin, patLen, steps)))
      return true;
    if (*cursor == u';') {
      steps.Step();
      ++cursor;
    }
  }
  return false;
}

}  // namespace zel::wildcard
