#include "ZelString.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "support/reference_wildcards.h"
#include "support/wildcard_cases.h"

namespace {

std::vector<unsigned short> Units(std::u16string_view text) {
  std::vector<unsigned short> units(text.begin(), text.end());
  units.push_back(0);
  return units;
}

bool Matches(std::u16string_view name, std::u16string_view patterns) {
  return CZelPathString(CZelString(Units(name).data())).MatchSpec(Units(patterns).data()) != 0;
}

}  // namespace

TEST(ZelPathString, WildcardsMatchUnits) {
  for (const zel::test::WildcardCase& c : zel::test::WildcardCases())
    EXPECT_EQ(Matches(c.name, c.patterns), c.matches) << c.label;
}

// The wildcard fuzzer and the filtered walks under Wine are only as good as
// the reference matcher they hold MatchSpec to.
TEST(ZelPathString, ReferenceMatcherAgreesWithTheCases) {
  using zel::test::Units;
  for (const zel::test::WildcardCase& c : zel::test::WildcardCases())
    EXPECT_EQ(zel::test::ReferenceMatchesList(Units(c.name.begin(), c.name.end()),
                                              Units(c.patterns.begin(), c.patterns.end())),
              c.matches)
        << c.label;
}

TEST(ZelPathString, IgnoresCaseBeyondAscii) {
  EXPECT_TRUE(Matches(u"NOTEPAD.EXE", u"notepad.*"));
  EXPECT_TRUE(Matches(u"\u00DCber.txt", u"\u00FCBER.TXT"));  // Über / üBER
  EXPECT_TRUE(Matches(u"caf\u00E9", u"CAF\u00C9"));          // café / CAFÉ
  EXPECT_TRUE(Matches(u"\u03C3\u03BF\u03C6\u03AF\u03B1\u03C2",
                      u"\u03A3\u039F\u03A6\u038A\u0391\u03A3"));  // σοφίας / ΣΟΦΊΑΣ
  EXPECT_TRUE(Matches(u"\u0434\u043E\u043C", u"\u0414\u041E\u041C"));  // дом / ДОМ
  EXPECT_TRUE(Matches(u"\u00FF", u"\u0178"));         // ÿ / Ÿ: mapping leaves its block
  EXPECT_TRUE(Matches(u"\uFF41", u"\uFF21"));         // fullwidth a / A
  EXPECT_FALSE(Matches(u"stra\u00DFe", u"STRASSE"));  // ß has no one-unit uppercase
  EXPECT_TRUE(Matches(u"stra\u00DFe", u"STRA\u00DFE"));
  EXPECT_FALSE(Matches(u"\u00E9", u"E"));
}

TEST(ZelPathString, PatternListsSkipLeadingSpacesAndEmptyEntries) {
  EXPECT_TRUE(Matches(u"svchost.exe", u"*.txt; s*"));
  EXPECT_TRUE(Matches(u"bob", u"a*;;  ;b*"));
  EXPECT_FALSE(Matches(u"bob", u"a*;c*"));
  EXPECT_FALSE(Matches(u"bob", u"bob ;"));  // trailing spaces are part of the pattern
  EXPECT_FALSE(Matches(u"bob", u""));
  EXPECT_FALSE(Matches(u"bob", u";;"));
  EXPECT_FALSE(Matches(u"", u" ; "));
  EXPECT_EQ(CZelPathString(CZelString(Units(u"bob").data())).MatchSpec(nullptr), 0);
}

TEST(ZelPathString, StarDotStarMatchesNamesWithoutDot) {
  EXPECT_TRUE(Matches(u"README", u"*.*"));
  EXPECT_TRUE(Matches(u"a.b", u"*.*"));
  EXPECT_TRUE(Matches(u"README", u"x; *.*"));
  EXPECT_FALSE(Matches(u"README", u"*.*E"));  // only the exact pattern is special
}

TEST(ZelPathString, ManyStarsOnALongNameStillDecide) {
  const std::u16string longName(32000, u'a');
  EXPECT_FALSE(Matches(longName, u"*a*a*a*a*a*a*a*a*b"));
  EXPECT_TRUE(Matches(longName, u"*a*a*a*a*a*a*a*a"));
  EXPECT_TRUE(Matches(longName + u"b", u"*a*a*a*a*a*a*a*a*b"));
  EXPECT_FALSE(Matches(longName.substr(0, 7), u"*a*a*a*a*a*a*a*a*"));
}
