// The command-line splitter that the tests and the fuzzers hold the Linux
// source's quoting to: CommandLineToArgvW's rules, which the Windows tests
// check it against under Wine, row by row of CommandLineCases().
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zel::test {

inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The program name runs to the first blank, or from a leading quote to the
// next quote, backslashes literal; the arguments start right after it. In
// the arguments, 2n backslashes before a quote give n and the quote counts,
// 2n+1 give n and a literal quote, other backslashes are literal. Counted
// quotes open and close quoted parts, inside which blanks do not separate;
// the third quote of a run (as in "" inside a quoted part) is a literal
// quote and leaves the part closed. An empty line gives no arguments
// (Windows would give the calling program's path).
//
// `ambiguous`, when given, tells whether the line holds a spelling that
// other splitters read otherwise: an empty line, text right after a quoted
// program name, or a third quote in a run (the C runtime since 2008 keeps
// the part open after it).
inline std::vector<std::string> SplitCommandLine(std::string_view line, bool* ambiguous = nullptr) {
  bool unusual = line.empty();
  std::vector<std::string> arguments;
  std::size_t i = 0;
  if (!line.empty() && line[0] == '"') {
    const std::size_t close = line.find('"', 1);
    arguments.emplace_back(line.substr(1, close == line.npos ? line.npos : close - 1));
    i = close == line.npos ? line.size() : close + 1;
    unusual = unusual || (i < line.size() && !IsBlank(line[i]));
  } else if (!line.empty()) {
    while (i < line.size() && !IsBlank(line[i])) ++i;
    arguments.emplace_back(line.substr(0, i));
  }
  for (;;) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i == line.size()) break;
    std::string& argument = arguments.emplace_back();
    int quotes = 0;  // of the current run; 1 inside a quoted part
    while (i < line.size() && (quotes == 1 || !IsBlank(line[i]))) {
      if (line[i] == '\\') {
        const std::size_t end = line.find_first_not_of('\\', i);
        const std::size_t count = (end == line.npos ? line.size() : end) - i;
        i += count;
        const bool before_quote = i < line.size() && line[i] == '"';
        argument.append(before_quote ? count / 2 : count, '\\');
        if (before_quote && count % 2 == 1) argument += line[i++];
      } else if (line[i] == '"') {
        for (++quotes, ++i; i < line.size() && line[i] == '"'; ++i) {
          if (++quotes < 3) continue;
          argument += '"';
          quotes = 0;
          unusual = true;
        }
        if (quotes == 2) quotes = 0;
      } else {
        argument += line[i++];
      }
    }
  }
  if (ambiguous) *ambiguous = unusual;
  return arguments;
}

}  // namespace zel::test
