// A Linux process's arguments and environment in the forms Windows keeps:
// one command line that splits back into the same arguments, and a block of
// UTF-16 strings.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "support/command_line_cases.h"
#include "support/reference_command_line.h"
#include "ZelString.h"
#include "platform/linux/windows_quoting.h"

namespace {

using zel::procfs::EnvironmentBlock;
using zel::procfs::QuoteCommandLine;
using zel::test::SplitCommandLine;
using Arguments = std::vector<std::string>;
using namespace std::string_literals;

// Splits as CommandLineToArgvW does, which the Windows tests check the
// rows of CommandLineCases() against.
TEST(CommandLineSplitterTest, SplitsAsCommandLineToArgvW) {
  for (const zel::test::CommandLineCase& c : zel::test::CommandLineCases()) {
    bool ambiguous = false;
    EXPECT_EQ(SplitCommandLine(c.line, &ambiguous), c.arguments) << c.line;
    EXPECT_EQ(ambiguous, c.ambiguous) << c.line;
  }
  bool ambiguous = false;
  EXPECT_TRUE(SplitCommandLine("", &ambiguous).empty());
  EXPECT_TRUE(ambiguous);
}

TEST(CommandLineQuotingTest, TrickyArgumentsSplitBack) {
  const std::vector<Arguments> cases = {
      {"/usr/bin/prog"},
      {"/usr/bin/prog", "plain", "two words", "tab\there", ""},
      {"/usr/bin/prog", "\"", "say \"hi\"", "\"leading", "trailing\""},
      {"/usr/bin/prog", "end\\", "end with space\\", "dir\\\\", "two words\\\\",
       "\\\\server\\share\\"},
      {"/usr/bin/prog", "back\\\"quote", "back\\\\\"quote", "\\\"", "a\\\\b"},
      {"/usr/bin/prog", "", "", "x", ""},
      {"/usr/bin/prog", "ü €漢字 😀", "--name=ü €漢字 😀"},
      // Program names that are quoted literally, or not at all.
      {"/opt/my app/prog", "a"},
      {"C:\\Program Files\\app\\", "b c"},
      {"", "after an empty name"},
      {"odd\"name", "x"},
      {"back\\slash\\", "y"},
  };
  for (const Arguments& arguments : cases) {
    const std::string line = QuoteCommandLine(arguments);
    bool ambiguous = true;
    EXPECT_EQ(SplitCommandLine(line, &ambiguous), arguments) << line;
    EXPECT_FALSE(ambiguous) << line;
  }
  EXPECT_EQ(QuoteCommandLine({}), "");

  // A program name with a quote and a blank, or a leading quote, cannot
  // come back whole; its quotes are left out, and the arguments after it
  // still split back exactly.
  for (const std::string name : {"my \"quoted\" prog", "\"lead", "\"a b\""}) {
    const Arguments arguments = {name, "-c", "import sys", "quoted\"", ""};
    const Arguments split = SplitCommandLine(QuoteCommandLine(arguments));
    ASSERT_EQ(split.size(), arguments.size()) << name;
    EXPECT_EQ(Arguments(split.begin() + 1, split.end()),
              Arguments(arguments.begin() + 1, arguments.end()));
  }
  EXPECT_EQ(QuoteCommandLine({"my \"quoted\" prog", "-c"}), R"("my quoted prog" -c)");
}

TEST(CommandLineQuotingTest, QuotesOnlyWhatNeedsIt) {
  EXPECT_EQ(QuoteCommandLine({"prog", "a", "b\\c", "d\\"}), R"(prog a b\c d\)");
  EXPECT_EQ(QuoteCommandLine({"prog", "a b", "x\"y", "sp ace\\", ""}),
            R"(prog "a b" "x\"y" "sp ace\\" "")");
  EXPECT_EQ(QuoteCommandLine({"/opt/my app/prog", "\\\"", "c:\\dir a\\"}),
            R"("/opt/my app/prog" "\\\"" "c:\dir a\\")");
}

// The one conversion of the Linux source's text, where it hands it to the
// core.
std::u16string Utf16(std::string_view utf8) {
  const CZelString text = CZelString::FromUtf8(utf8);
  const unsigned short* units = text;
  return std::u16string(units, units + text.GetLength());
}

TEST(Utf16TextTest, KeepsCharactersAndReplacesBrokenBytes) {
  EXPECT_EQ(Utf16("ü €漢字 😀"), u"ü €漢字 😀");
  EXPECT_EQ(Utf16("a\xff"
                  "b\xe2\x82"),
            u"a\uFFFDb\uFFFD");
  EXPECT_EQ(Utf16("A=1\0B=2\0"s), u"A=1\0B=2\0"s);
}

TEST(EnvironmentBlockTest, EachVariableEndsWithNulAndTheBlockWithAnother) {
  EXPECT_EQ(EnvironmentBlock({"A=b", "C=d"}), "A=b\0C=d\0\0"s);
  EXPECT_EQ(EnvironmentBlock({}), "\0\0"s);
  // An empty string would end the block early.
  EXPECT_EQ(EnvironmentBlock({"A=1", "", "B=2"}), "A=1\0B=2\0\0"s);
  EXPECT_EQ(Utf16(EnvironmentBlock({"NAME=ü 😀", "BAD=\xff"})), u"NAME=ü 😀\0BAD=\uFFFD\0\0"s);
}

}  // namespace
