// A wildcard matcher written apart from the library's, to hold MatchSpec to
// (in the wildcard fuzzer, and the filtered walks under Wine): a table over
// (pattern prefix, name prefix) instead of greedy retries, and a case fold of
// its own over ASCII and the units of kOtherUnits.
#pragma once

#include <array>
#include <cstddef>
#include <utility>
#include <vector>

namespace zel::test {

using Units = std::vector<unsigned short>;

// Units beyond ASCII with their one-unit uppercase as Unicode 14 gives it (a
// unit whose uppercase is several characters stays itself). Chosen for the
// traps: folds that leave their block or land on ASCII, several lowercase
// forms of one capital, titlecase, signs that look like letters, surrogates.
inline constexpr std::array<std::pair<unsigned short, unsigned short>, 39> kOtherUnits = {{
    {0x00E9, 0x00C9}, {0x00C9, 0x00C9},                    // é É
    {0x00FF, 0x0178}, {0x0178, 0x0178},                    // ÿ Ÿ
    {0x00DF, 0x00DF}, {0x1E9E, 0x1E9E},                    // ß ẞ
    {0x00B5, 0x039C}, {0x03BC, 0x039C}, {0x039C, 0x039C},  // micro, μ, Μ
    {0x0131, 0x0049}, {0x0130, 0x0130},                    // ı (to ASCII I), İ
    {0x017F, 0x0053}, {0x212A, 0x212A},                    // ſ (to ASCII S), Kelvin sign
    {0x03C3, 0x03A3}, {0x03C2, 0x03A3}, {0x03A3, 0x03A3},  // σ ς Σ
    {0x0434, 0x0414}, {0x0414, 0x0414},                    // д Д
    {0xFF41, 0xFF21}, {0xFF21, 0xFF21},                    // fullwidth a A
    {0x01C5, 0x01C4}, {0x01C6, 0x01C4}, {0x01C4, 0x01C4},  // ǅ ǆ Ǆ
    {0x1F80, 0x1F80}, {0x1F88, 0x1F88}, {0x0149, 0x0149},
    {0xFB05, 0xFB05},                    // several-unit uppercases
    {0x0345, 0x0399}, {0x0399, 0x0399},  // combining ypogegrammeni, Ι
    {0x24D0, 0x24B6}, {0x10D0, 0x1C90},  // circled a, Georgian an
    {0x03C9, 0x03A9}, {0x2126, 0x2126},  // ω, ohm sign
    {0xFF0A, 0xFF0A}, {0xFF1F, 0xFF1F},  // fullwidth * and ?: not wildcards
    {0x4E2D, 0x4E2D}, {0xFFFD, 0xFFFD}, {0xD83D, 0xD83D},
    {0xDE00, 0xDE00},
}};

inline unsigned short ReferenceFold(unsigned short u) {
  if (u >= u'a' && u <= u'z') return static_cast<unsigned short>(u - (u'a' - u'A'));
  for (const auto& [unit, upper] : kOtherUnits)
    if (unit == u) return upper;
  return u;
}

// Whether the whole name matches the pattern: row j of the table says which
// name prefixes the first j pattern units match.
inline bool ReferenceMatchPattern(const Units& name, const Units& pattern) {
  std::vector<char> row(name.size() + 1, 0), next(name.size() + 1);
  row[0] = 1;
  for (const unsigned short p : pattern) {
    next[0] = p == u'*' && row[0];
    for (std::size_t i = 1; i <= name.size(); ++i) {
      if (p == u'*')
        next[i] = row[i] || next[i - 1];
      else
        next[i] = row[i - 1] && (p == u'?' || ReferenceFold(p) == ReferenceFold(name[i - 1]));
    }
    row.swap(next);
  }
  return row[name.size()] != 0;
}

// The patterns of a list, as MatchSpec's contract describes them: split at
// ';', leading spaces dropped, empty ones left out.
inline std::vector<Units> ReferencePatterns(const Units& list) {
  std::vector<Units> patterns;
  Units current;
  bool leading = true;
  for (std::size_t i = 0; i <= list.size(); ++i) {
    if (i == list.size() || list[i] == u';') {
      if (!current.empty()) patterns.push_back(current);
      current.clear();
      leading = true;
    } else if (!(leading && list[i] == u' ')) {
      current.push_back(list[i]);
      leading = false;
    }
  }
  return patterns;
}

inline bool IsStarDotStar(const Units& pattern) { return pattern == Units{u'*', u'.', u'*'}; }

// Whether the name matches a pattern of the list; "*.*" matches every name.
inline bool ReferenceMatchesList(const Units& name, const Units& list) {
  for (const Units& pattern : ReferencePatterns(list))
    if (IsStarDotStar(pattern) || ReferenceMatchPattern(name, pattern)) return true;
  return false;
}

}  // namespace zel::test
