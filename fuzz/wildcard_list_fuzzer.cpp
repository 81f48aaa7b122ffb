// CZelPathString::MatchSpec against a matcher written apart from it, and the
// matcher's steps against their bound.
//
// Input: the name up to the first '\n', the pattern list after it; each byte
// one unit (see UnitOf). A NUL in the list ends it, as it ends the caller's
// string; a NUL in the name is a unit of the name.
#include <cstddef>
#include <cstdint>

#include "ZelString.h"
#include "fuzz_check.h"
#include "support/reference_wildcards.h"
#include "wildcard_match.h"

namespace {

using zel::test::Units;

// The unit a byte of the input stands for: ASCII as itself, the other values
// spread over the reference's units beyond ASCII.
unsigned short UnitOf(std::uint8_t byte) {
  const auto& others = zel::test::kOtherUnits;
  return byte < 0x80 ? byte : others[(byte - 0x80) % others.size()].first;
}

struct CountSteps {
  std::size_t count = 0;
  void Step() noexcept { ++count; }
};

std::size_t PatternBound(const Units& name, const Units& pattern) {
  return (name.size() + 1) * (pattern.size() + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Units name, list;
  std::size_t i = 0;
  for (; i < size && data[i] != '\n'; ++i) name.push_back(UnitOf(data[i]));
  for (++i; i < size && data[i] != 0; ++i) list.push_back(UnitOf(data[i]));
  Units terminated = list;
  terminated.push_back(0);

  // Each pattern on its own: the same answer, within its bound.
  bool expected = false;
  std::size_t bound = list.size();
  for (const Units& pattern : zel::test::ReferencePatterns(list)) {
    if (zel::test::IsStarDotStar(pattern)) {
      expected = true;
      continue;
    }
    const bool reference = zel::test::ReferenceMatchPattern(name, pattern);
    expected = expected || reference;
    CountSteps steps;
    const bool matched = zel::wildcard::MatchPattern(name.data(), name.size(), pattern.data(),
                                                     pattern.size(), steps);
    ZEL_FUZZ_CHECK(matched == reference);
    ZEL_FUZZ_CHECK(steps.count <= PatternBound(name, pattern));
    bound += PatternBound(name, pattern);
  }

  // The whole list through the library's entry point.
  const CZelPathString path(CZelString(name.data(), name.size()));
  ZEL_FUZZ_CHECK(path.GetLength() == name.size());
  ZEL_FUZZ_CHECK((path.MatchSpec(terminated.data()) != 0) == expected);

  // The counted walk over the list: the same answer, within the sum of the
  // patterns' bounds and a step per unit of the list.
  CountSteps steps;
  ZEL_FUZZ_CHECK(zel::wildcard::MatchesAnyPattern(name.data(), name.size(), terminated.data(),
                                                  steps) == expected);
  ZEL_FUZZ_CHECK(steps.count <= bound);
  return 0;
}
