// The JSON that zelps --json prints: string escapes and the shape of each
// object.
#include "zelps/process_json.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

using namespace std::string_literals;

using zelps::AsFileTime;

// 2024-02-29T13:45:07Z, in 100 ns since 1601.
constexpr std::uint64_t kLeapDay = 133536879070000000ULL;

TEST(ZelpsJsonString, EscapesQuotesAndBackslashes) {
  EXPECT_EQ(zelps::JsonString(R"(VM\root)"), R"("VM\\root")");
  EXPECT_EQ(zelps::JsonString(R"("C:\Program Files\a.exe" -x "\\")"),
            R"("\"C:\\Program Files\\a.exe\" -x \"\\\\\"")");
  EXPECT_EQ(zelps::JsonString(""), R"("")");
}

TEST(ZelpsJsonString, EscapesEveryControlCharacterAsItsCodePoint) {
  EXPECT_EQ(zelps::JsonString("a\nb\tc\rd"), R"("a\u000Ab\u0009c\u000Dd")");
  EXPECT_EQ(zelps::JsonString("\x01\x1f"), R"("\u0001\u001F")");
  // A NUL inside the text is a character like the others, not its end.
  EXPECT_EQ(zelps::JsonString("x\0y"s), R"("x\u0000y")");
  // Space and DEL need no escape.
  EXPECT_EQ(zelps::JsonString(" \x7f"), "\" \x7f\"");
}

TEST(ZelpsJsonString, KeepsNonAsciiAsUtf8) {
  // Two-, three- and four-byte sequences, whose bytes are all 0x80 or above.
  const std::string text = "Zo\u00eb \u65e5\u672c \U0001F600";
  EXPECT_EQ(zelps::JsonString(text), "\"" + text + "\"");
}

zelps::ProcessRow Process() {
  zelps::ProcessRow row;
  row.id = 348;
  row.parentId = 40;
  row.threadCount = 2;
  row.basePriority = 8;
  row.name = "zelps.exe";
  row.created = AsFileTime(kLeapDay);
  return row;
}

TEST(ZelpsProcessJson, HoldsTheFactsOfTheTableWithoutOptions) {
  EXPECT_EQ(zelps::ProcessJson(Process(), {}, false),
            R"({"id":348,"parentId":40,"threadCount":2,"basePriority":8,)"
            R"("name":"zelps.exe","createTime":"2024-02-29T13:45:07Z"})");
}

TEST(ZelpsProcessJson, AddsWhatTheOptionsRead) {
  zelps::ProcessRow row = Process();
  row.owner = R"(VM\root)";
  row.commandLine = R"("Z:\bin\zelps.exe" --json)";
  row.threads = {{352, AsFileTime(kLeapDay)}, {356, AsFileTime(0)}};
  row.depth = 1;
  row.wow64 = true;
  EXPECT_EQ(zelps::ProcessJson(row, {.threads = true, .commandLine = true, .owner = true}, true),
            R"({"id":348,"parentId":40,"threadCount":2,"basePriority":8,)"
            R"("name":"zelps.exe","createTime":"2024-02-29T13:45:07Z","wow64":true,"depth":1,)"
            R"("owner":"VM\\root","commandLine":"\"Z:\\bin\\zelps.exe\" --json",)"
            R"("threads":[{"id":352,"created":"2024-02-29T13:45:07Z"},)"
            R"({"id":356,"created":null}]})");
}

TEST(ZelpsProcessJson, KeepsEmptyAndUnknownValuesAsValues) {
  // A system process: no creation time, an owner and a command line that
  // could not be read, no threads listed, a negative priority.
  zelps::ProcessRow row;
  row.basePriority = -2;
  EXPECT_EQ(zelps::ProcessJson(row, {.threads = true, .commandLine = true, .owner = true}, false),
            R"({"id":0,"parentId":0,"threadCount":0,"basePriority":-2,"name":"",)"
            R"("createTime":null,"owner":"","commandLine":"","threads":[]})");
}

TEST(ZelpsProcessJson, AddsTheCountersOfTheColumnsShown) {
  zelps::ProcessRow row;
  row.userTicks = 15'000'000;
  row.kernelTicks = 10'000'000;
  row.workingSet = 8192;
  using zelps::Column;
  EXPECT_TRUE(zelps::ProcessJson(row, {}, false,
                                 {Column::Name, Column::CpuTime, Column::WorkingSet,
                                  Column::IoBytes, Column::CpuPercent})
                  .ends_with(R"("createTime":null,"cpuTime":2.5,"workingSetBytes":8192,)"
                             R"("ioBytes":null,"cpuPercent":null})"));
  // What is not known is null; the nice value is a number on Linux and the
  // priority class's name on Windows.
  EXPECT_TRUE(
      zelps::ProcessJson(row, {}, false,
                         {Column::Elapsed, Column::Nice, Column::UserId, Column::VirtualSize})
          .ends_with(R"("elapsedSeconds":null,"nice":null,"uid":null,"virtualBytes":0})"));
  row.created = AsFileTime(kLeapDay);
  row.sampled = kLeapDay + 25'000'000;
  row.nice = 6;
#ifdef _WIN32
  const char* const kNice = R"("elapsedSeconds":2.5,"nice":"below normal"})";
#else
  const char* const kNice = R"("elapsedSeconds":2.5,"nice":6})";
#endif
  EXPECT_TRUE(zelps::ProcessJson(row, {}, false, {Column::Elapsed, Column::Nice}).ends_with(kNice));
  // In the refresh mode, when its table was read, to the millisecond.
  EXPECT_TRUE(zelps::ProcessJson(row, {}, false, {}, true)
                  .starts_with(R"({"sampled":"2024-02-29T13:45:09.500Z","id":0,)"));
  row.ioBytes = 1 << 20;
  EXPECT_TRUE(
      zelps::ProcessJson(row, {}, false, {Column::IoBytes}).ends_with(R"("ioBytes":1048576})"));
  // The modules, as read; null with the reason where they could not be.
  row.modules = {{"ntdll.dll", R"(C:\windows\system32\ntdll.dll)", 0x7FFD00000000, 0x1F8000}};
  row.modulesCut = true;
  EXPECT_TRUE(
      zelps::ProcessJson(row, {}, false, {Column::Modules})
          .ends_with(R"("modules":[{"name":"ntdll.dll",)"
                     R"("path":"C:\\windows\\system32\\ntdll.dll",)"
                     R"("base":140724603453440,"size":2064384}],"modulesTruncated":true})"));
  row.modulesError = 5;
  EXPECT_TRUE(zelps::ProcessJson(row, {}, false, {Column::Modules})
                  .ends_with(R"("modules":null,"modulesError":"access denied"})"));
}

TEST(ZelpsProcessJson, EscapesWhatIsReadOutOfProcesses) {
  zelps::ProcessRow row = Process();
  row.name = "a\"b\\c\x01.exe";
  row.commandLine = "run\0hidden"s;
  const std::string json = zelps::ProcessJson(row, {.commandLine = true}, false);
  EXPECT_NE(json.find(R"("name":"a\"b\\c\u0001.exe")"), std::string::npos) << json;
  EXPECT_NE(json.find(R"("commandLine":"run\u0000hidden")"), std::string::npos) << json;
  EXPECT_EQ(json.find('\0'), std::string::npos);
}

TEST(ZelpsEnvironmentJson, ListsTheVariablesInOrderAndWhetherTheyWereCut) {
  EXPECT_EQ(zelps::EnvironmentJson(56, {"=C:=C:\\", "PATH=C:\\windows;C:\\bin", "E="}, true),
            R"({"id":56,"environment":["=C:=C:\\","PATH=C:\\windows;C:\\bin","E="],)"
            R"("truncated":true})");
  EXPECT_EQ(zelps::EnvironmentJson(7, {}), R"({"id":7,"environment":[],"truncated":false})");
}

}  // namespace
