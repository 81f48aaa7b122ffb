// A command-line splitter by CommandLineToArgvW's rules, written for the
// fuzzer, that also refuses the spellings whose meaning splitters disagree on.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zel::fuzz {

inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The program name runs to the first blank, or from a leading quote to the
// next quote, backslashes literal. In the other arguments 2n backslashes
// before a quote give n and the quote opens or closes a quoted part, 2n+1
// give n and a literal quote, other backslashes are literal, and blanks
// outside quoted parts separate. Null for an empty line, for text right
// after a quoted program name, and for "" inside a quoted part: splitters
// read those differently.
inline std::optional<std::vector<std::string>> SplitCommandLine(std::string_view line) {
  if (line.empty()) return std::nullopt;
  std::vector<std::string> arguments(1);
  std::size_t i = 0;
  if (line[0] == '"') {
    const std::size_t close = line.find('"', 1);
    arguments[0] = line.substr(1, close == line.npos ? line.npos : close - 1);
    i = close == line.npos ? line.size() : close + 1;
    if (i < line.size() && !IsBlank(line[i])) return std::nullopt;
  } else {
    while (i < line.size() && !IsBlank(line[i])) arguments[0] += line[i++];
  }
  for (;;) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i == line.size()) return arguments;
    std::string& argument = arguments.emplace_back();
    bool quoted = false;
    while (i < line.size() && (quoted || !IsBlank(line[i]))) {
      if (line[i] == '\\') {
        const std::size_t end = line.find_first_not_of('\\', i);
        const std::size_t count = (end == line.npos ? line.size() : end) - i;
        i += count;
        if (i < line.size() && line[i] == '"') {
          argument.append(count / 2, '\\');
          if (count % 2 == 1) {
            argument += '"';
            ++i;
          }
        } else {
          argument.append(count, '\\');
        }
      } else if (line[i] == '"') {
        if (quoted && i + 1 < line.size() && line[i + 1] == '"') return std::nullopt;
        quoted = !quoted;
        ++i;
      } else {
        argument += line[i++];
      }
    }
  }
}

}  // namespace zel::fuzz
