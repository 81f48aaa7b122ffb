#include "windows_quoting.h"

#include <string_view>

namespace zel::procfs {
namespace {

bool HasBlank(std::string_view text) { return text.find_first_of(" \t") != std::string_view::npos; }

void AppendQuoted(std::string& line, std::string_view argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string_view::npos) {
    line += argument;
    return;
  }
  line += '"';
  std::size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count as escapes only before a quote.
    const std::size_t count = c == '"' ? 2 * backslashes + 1 : backslashes;
    line.append(count, '\\');
    line += c;
    backslashes = 0;
  }
  // ... and before the closing quote.
  line.append(2 * backslashes, '\\');
  line += '"';
}

// The splitter takes a program name literally, up to the first blank, or
// from a leading quote to the next quote: a name with a blank is quoted, and
// any quote it holds is left out, since none can stand inside the quotes.
void AppendProgramName(std::string& line, std::string_view name) {
  if (!name.empty() && !HasBlank(name) && name.front() != '"') {
    line += name;
    return;
  }
  line += '"';
  for (const char c : name)
    if (c != '"') line += c;
  line += '"';
}

}  // namespace

std::string QuoteCommandLine(const std::vector<std::string>& arguments) {
  std::string line;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i == 0) {
      AppendProgramName(line, arguments[i]);
    } else {
      line += ' ';
      AppendQuoted(line, arguments[i]);
    }
  }
  return line;
}

std::string EnvironmentBlock(const std::vector<std::string>& variables) {
  std::string block;
  for (const std::string& variable : variables) {
    if (variable.empty()) continue;
    block += variable;
    block += '\0';
  }
  if (block.empty()) block += '\0';
  block += '\0';
  return block;
}

}  // namespace zel::procfs
