#include "command_line.h"

#include <string_view>

#include "utf16_text.h"

namespace zel::emu::proc {
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

void AppendProgramName(std::string& line, std::string_view name) {
  const bool quoted_literally = name.find('"') == std::string_view::npos;
  if (!name.empty() && !HasBlank(name) && name.front() != '"') {
    line += name;
  } else if (quoted_literally) {
    line += '"';
    line += name;
    line += '"';
  } else {
    AppendQuoted(line, name);
  }
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

std::u16string EnvironmentBlock(const std::vector<std::string>& variables) {
  std::u16string block;
  for (const std::string& variable : variables) {
    if (variable.empty()) continue;
    block += Utf16(variable);
    block += u'\0';
  }
  if (block.empty()) block += u'\0';
  block += u'\0';
  return block;
}

}  // namespace zel::emu::proc
