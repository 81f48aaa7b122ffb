// The work of the wildcard matcher, counted in steps: it must stay within
// (name + 1) * (pattern + 1) for each pattern, on the inputs that make naive
// backtracking explode.
#include "wildcard_match.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct CountSteps {
  std::size_t count = 0;
  void Step() noexcept { ++count; }
};

// The units of the text, followed by a NUL that the counts leave out.
std::vector<unsigned short> Units(std::u16string_view text) {
  std::vector<unsigned short> units(text.begin(), text.end());
  units.push_back(0);
  return units;
}

struct Counted {
  bool matched;
  std::size_t steps;
};

Counted CountPattern(std::u16string_view name, std::u16string_view pattern) {
  const auto n = Units(name);
  const auto p = Units(pattern);
  CountSteps steps;
  const bool matched =
      zel::wildcard::MatchPattern(n.data(), name.size(), p.data(), pattern.size(), steps);
  return {matched, steps.count};
}

std::size_t Bound(std::u16string_view name, std::u16string_view pattern) {
  return (name.size() + 1) * (pattern.size() + 1);
}

TEST(WildcardSteps, ManyStarsOnALongNameStayWithinTheBound) {
  for (std::size_t length : {0u, 1u, 7u, 100u, 5000u}) {
    const std::u16string name(length, u'a');
    for (std::u16string_view pattern :
         {u"*a*a*a*a*b", u"*a*a*a*a*a*a*a*a*", u"*?*?*?*?*b", u"a*a*a*a*a*a*a*a*a*b",
          u"****************b", u"*aaaaaaaaaaaaaaaab", u"?*", u"*", u""}) {
      EXPECT_LE(CountPattern(name, pattern).steps, Bound(name, pattern))
          << "pattern " << std::string(pattern.begin(), pattern.end()) << ", name of " << length;
    }
  }
}

TEST(WildcardSteps, WorstCasesStillDecideCorrectly) {
  const std::u16string name(5000, u'a');
  EXPECT_FALSE(CountPattern(name, u"*a*a*a*a*b").matched);
  EXPECT_TRUE(CountPattern(name + u"b", u"*a*a*a*a*b").matched);
  EXPECT_FALSE(CountPattern(name, u"*aaaaaaaaaaaaaaaab").matched);
  EXPECT_TRUE(CountPattern(name, u"*aaaaaaaaaaaaaaaa").matched);
  EXPECT_TRUE(CountPattern(u"", u"***").matched);
  EXPECT_FALSE(CountPattern(u"", u"*?").matched);
}

TEST(WildcardSteps, ListWalkAddsOneStepPerUnit) {
  // No pattern matches, so every one is tried: the walk may cost the sum of
  // their bounds plus one step per unit of the list.
  const std::u16string_view name = u"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx";
  const std::u16string_view list = u"  *a*a*b;;  ;*x*x*xy; ?;*.**";
  std::size_t bound = list.size();
  for (std::u16string_view pattern : {u"*a*a*b", u"*x*x*xy", u"?", u"*.**"})
    bound += Bound(name, pattern);
  const auto n = Units(name);
  const auto s = Units(list);
  CountSteps steps;
  EXPECT_FALSE(zel::wildcard::MatchesAnyPattern(n.data(), name.size(), s.data(), steps));
  EXPECT_LE(steps.count, bound);
  // Each pattern was really tried against the name.
  EXPECT_GT(steps.count, list.size() + 4 * name.size());
}

}  // namespace
