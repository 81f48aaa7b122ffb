// Command lines with the arguments that CommandLineToArgvW splits them into:
// the Windows tests hold the real call to them under Wine, the Linux tests
// the reference splitter (reference_command_line.h).
#pragma once

#include <string>
#include <vector>

namespace zel::test {

struct CommandLineCase {
  std::string line;
  std::vector<std::string> arguments;
  bool ambiguous = false;  // other splitters read it otherwise
};

inline const std::vector<CommandLineCase>& CommandLineCases() {
  static const std::vector<CommandLineCase> cases = {
      {R"(prog a b)", {"prog", "a", "b"}},
      {R"(prog "a b c" d e)", {"prog", "a b c", "d", "e"}},
      {R"(prog "ab\"c" "\\" d)", {"prog", "ab\"c", "\\", "d"}},
      {R"(prog a\\\b d"e f"g h)", {"prog", R"(a\\\b)", "de fg", "h"}},
      {R"(prog a\\\"b c d)", {"prog", R"(a\"b)", "c", "d"}},
      {R"(prog a\\\\"b c" d e)", {"prog", R"(a\\b c)", "d", "e"}},
      {R"(prog "a\"b" c\\d "e\\" f\\\"g)", {"prog", "a\"b", R"(c\\d)", "e\\", R"(f\"g)"}},
      {R"(prog "" x)", {"prog", "", "x"}},
      {"prog\t \"tab\there\"  ", {"prog", "tab\there"}},
      {R"(pr\og x\"y)", {R"(pr\og)", "x\"y"}},
      // The program name keeps its backslashes and ends at the next quote,
      // and the arguments start right after it.
      {R"("C:\Program Files\x.exe" "a b" c)", {R"(C:\Program Files\x.exe)", "a b", "c"}},
      {R"("C:\my dir\"x)", {R"(C:\my dir\)", "x"}, true},
      {R"("pro g"x y)", {"pro g", "x", "y"}, true},
      // "" inside a quoted part is a literal quote that closes the part.
      {R"(prog "a""b c")", {"prog", "a\"b", "c"}, true},
      {R"(prog """a""")", {"prog", "\"a\""}, true},
  };
  return cases;
}

}  // namespace zel::test
