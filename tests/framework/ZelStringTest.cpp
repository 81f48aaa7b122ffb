#include "ZelString.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

std::vector<unsigned short> Units(std::u16string_view text) {
  std::vector<unsigned short> units(text.begin(), text.end());
  units.push_back(0);
  return units;
}

std::vector<unsigned short> UnitsOf(const CZelString& s) {
  const unsigned short* p = s;
  return std::vector<unsigned short>(p, p + s.GetLength());
}

}  // namespace

TEST(ZelString, Utf8RoundTripKeepsNonAsciiAndSurrogatePairs) {
  const std::string text =
      "\xC3\xBC \xE2\x82\xAC\xE6\xBC\xA2\xE5\xAD\x97 \xF0\x9F\x98\x80";  // ü €漢字 😀
  const CZelString s = CZelString::FromUtf8(text);
  EXPECT_EQ(UnitsOf(s), (std::vector<unsigned short>{0x00FC, 0x20, 0x20AC, 0x6F22, 0x5B57, 0x20,
                                                     0xD83D, 0xDE00}));
  EXPECT_EQ(s.ToUtf8(), text);
  EXPECT_TRUE(CZelString::FromUtf8("").IsEmpty());
}

TEST(ZelString, IllFormedUtf8BecomesReplacementCharacters) {
  const std::pair<std::string, std::u16string> cases[] = {
      {"a\xFF"
       "b",
       u"a\uFFFDb"},
      {"\x80", u"\uFFFD"},
      {"\xE2\x82", u"\uFFFD"},                            // truncated at end
      {"\xF0\x9F\x98x", u"\uFFFDx"},                      // truncated before ASCII
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                      // overlong
      {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},            // overlong
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
  };
  for (const auto& [bytes, expected] : cases) {
    const auto units = Units(expected);
    EXPECT_EQ(UnitsOf(CZelString::FromUtf8(bytes)),
              std::vector<unsigned short>(units.begin(), units.end() - 1))
        << "input of " << bytes.size() << " bytes";
  }
}

TEST(ZelString, UnpairedSurrogatesBecomeReplacementInUtf8) {
  const unsigned short units[] = {0xDC00, 'a', 0xD800};
  EXPECT_EQ(CZelString(units, 3).ToUtf8(),
            "\xEF\xBF\xBD"
            "a"
            "\xEF\xBF\xBD");
}

TEST(ZelString, EmptyStringsStillExposeATerminatedBuffer) {
  CZelString fromNull(static_cast<const unsigned short*>(nullptr));
  CZelString cleared(Units(u"abc").data());
  cleared.Empty();
  const CZelString defaulted;
  const CZelString* const all[] = {&fromNull, &cleared, &defaulted};
  for (const CZelString* s : all) {
    const unsigned short* p = *s;
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(*p, 0);
    EXPECT_EQ(s->GetLength(), 0u);
    EXPECT_TRUE(*s == static_cast<const unsigned short*>(nullptr));
  }
}

TEST(ZelString, CountedTextKeepsEmbeddedNul) {
  const unsigned short units[] = {'a', 0, 'b'};
  const CZelString s(units, 3);
  EXPECT_EQ(s.GetLength(), 3u);
  const unsigned short terminatedEarly[] = {'a', 0, 'b', 0};
  EXPECT_TRUE(s != terminatedEarly);
  EXPECT_NE(s, CZelString(units, 1));
}

TEST(ZelString, CopiesAndMovesAreIndependent) {
  CZelString original(Units(u"process").data());
  CZelString copy(original);
  original = Units(u"other").data();
  EXPECT_TRUE(copy == Units(u"process").data());

  CZelString& alias = copy;
  copy = alias;
  EXPECT_TRUE(copy == Units(u"process").data());

  // Assigning a pointer into the string's own text.
  copy = static_cast<const unsigned short*>(copy) + 3;
  EXPECT_TRUE(copy == Units(u"cess").data());

  CZelString moved(std::move(original));
  EXPECT_TRUE(moved == Units(u"other").data());
  original = moved;  // a moved-from string stays usable
  EXPECT_EQ(original, moved);
  CZelString target;
  target = std::move(moved);
  EXPECT_EQ(target, original);
}

TEST(ZelString, ComparesOrdinallyByUnit) {
  const CZelString a(Units(u"a").data()), ab(Units(u"ab").data()), upperA(Units(u"A").data());
  const CZelString high(Units(u"\uE000").data());
  EXPECT_LT(a.Compare(ab), 0);
  EXPECT_GT(ab.Compare(a), 0);
  EXPECT_EQ(a.Compare(CZelString(Units(u"a").data())), 0);
  EXPECT_GT(a.Compare(upperA), 0);
  EXPECT_GT(high.Compare(a), 0);  // units compare unsigned
  EXPECT_LT(CZelString().Compare(a), 0);

  EXPECT_TRUE(a != upperA);
  EXPECT_TRUE(a == Units(u"a").data());
  EXPECT_TRUE(Units(u"a").data() == a);
  EXPECT_FALSE(a == Units(u"ab").data());
  EXPECT_FALSE(ab == Units(u"a").data());
}

#if defined(_WIN32)
TEST(ZelString, WideTextRoundTrips) {
  CZelString s(L"n\u00FCm\U0001F600");
  EXPECT_EQ(UnitsOf(s), (std::vector<unsigned short>{'n', 0xFC, 'm', 0xD83D, 0xDE00}));
  EXPECT_EQ(std::wstring(s.c_wstr()), L"n\u00FCm\U0001F600");
  s = Units(u"x").data();
  EXPECT_EQ(std::wstring(s.c_wstr()), L"x");
  s = L"";
  EXPECT_EQ(*s.c_wstr(), L'\0');
}
#endif
