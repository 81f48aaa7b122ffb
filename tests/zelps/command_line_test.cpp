// zelps' options as getopt_long parses them, on glibc and on mingw-w64.
#include "zelps/command_line.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace {

using zelps::Column;
using Action = zelps::CommandLine::Action;

zelps::CommandLine Parse(std::initializer_list<const char*> args) {
  std::vector<std::string> text{"zelps"};
  text.insert(text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : text) argv.push_back(arg.data());
  argv.push_back(nullptr);
  return zelps::ParseCommandLine(static_cast<int>(text.size()), argv.data());
}

std::string Error(std::initializer_list<const char*> args) {
  const auto parsed = Parse(args);
  EXPECT_EQ(parsed.action, Action::Fail);
  return parsed.error;
}

TEST(ZelpsCommandLine, TakesShortLongAndAttachedValuesAnywhere) {
  for (const auto& parsed : {Parse({"-p", "7,9", "s*", "-u", "root", "w*"}),
                             Parse({"--pid=7,9", "s*", "--user", "root", "w*"}),
                             Parse({"s*", "-p7,9", "-uroot", "w*"})}) {
    EXPECT_EQ(parsed.action, Action::List) << parsed.error;
    EXPECT_EQ(parsed.options.selection.ids, (std::vector<unsigned>{7, 9}));
    EXPECT_EQ(parsed.options.selection.users, std::vector<std::string>{"root"});
    EXPECT_EQ(parsed.options.patterns, (std::vector<std::string>{"s*", "w*"}));
  }
  EXPECT_EQ(Parse({"-p", "1", "-p", "2"}).options.selection.ids, (std::vector<unsigned>{1, 2}));
}

TEST(ZelpsCommandLine, HelpAndVersionWinOverTheRest) {
  EXPECT_EQ(Parse({"-p", "1", "--help"}).action, Action::Help);
  EXPECT_EQ(Parse({"-h"}).action, Action::Help);
  EXPECT_EQ(Parse({"-V"}).action, Action::Version);
  EXPECT_EQ(Parse({"--version"}).action, Action::Version);
}

TEST(ZelpsCommandLine, NamesTheOptionItRefuses) {
  EXPECT_EQ(Error({"--bogus"}), "unknown option '--bogus'");
  EXPECT_EQ(Error({"-t", "-x"}), "unknown option '-x'");
  EXPECT_EQ(Error({"--tree", "-tx"}), "unknown option '-x'");
  EXPECT_EQ(Error({"--pid"}), "option '--pid' needs a value");
  EXPECT_EQ(Error({"-p"}), "option '-p' needs a value");
  EXPECT_EQ(Error({"--tree=yes"}), "option '--tree' takes no value");
}

TEST(ZelpsCommandLine, NumbersAreCheckedNotWrapped) {
  for (const char* id : {"-1", "4294967297", "4294967295", "12abc", "", "0x10", "+5"})
    EXPECT_EQ(Error({"-p", id}), std::string("not a process ID: '") + id + "'");
  EXPECT_EQ(Error({"-p", "3,,4"}), "not a process ID: ''");
  EXPECT_EQ(Parse({"-p", "4294967294"}).options.selection.ids, std::vector<unsigned>{4294967294u});
  EXPECT_EQ(Error({"--env", "-1"}), "not a process ID: '-1'");
  EXPECT_EQ(Error({"-s", "-n", "0"}), "not a number of tables: '0'");
  EXPECT_EQ(Error({"--watch=0"}), "not a number of seconds: '0'");
  EXPECT_EQ(Error({"--watch=nan"}), "not a number of seconds: 'nan'");
}

TEST(ZelpsCommandLine, ColumnsAndSortKeys) {
  auto parsed = Parse({"-o", "pid,COMM,rss,time", "--sort", "-ws"});
  EXPECT_EQ(parsed.options.columns,
            (std::vector{Column::Id, Column::Name, Column::WorkingSet, Column::CpuTime}));
  EXPECT_EQ(parsed.options.sortKey, Column::WorkingSet);
  EXPECT_TRUE(parsed.options.descending);
  parsed = Parse({"--sort=+name"});
  EXPECT_EQ(parsed.options.sortKey, Column::Name);
  EXPECT_FALSE(parsed.options.descending);
  EXPECT_EQ(Error({"-o", "pid,size"}), "unknown column 'size'");
  EXPECT_EQ(Error({"--sort", "-"}), "unknown sort key ''");
  EXPECT_EQ(Error({"--format", "xml"}),
            "unknown format 'xml' (table, json, csv, openmetrics, prometheus)");
}

TEST(ZelpsCommandLine, TodaysFlagsKeepWorking) {
  const auto parsed = Parse({"--json", "--threads", "--cmdline", "--tree", "s*;w*"});
  EXPECT_EQ(parsed.options.format, zelps::Format::Json);
  EXPECT_TRUE(parsed.options.threads && parsed.options.tree);
  EXPECT_EQ(parsed.options.columns.back(), Column::CommandLine);
  EXPECT_EQ(parsed.options.patterns, std::vector<std::string>{"s*;w*"});
  EXPECT_EQ(Parse({"--output", "-"}).options.outputFile, "");  // standard output
  EXPECT_EQ(Parse({"--output=./-"}).options.outputFile, "./-");
  EXPECT_EQ(Error({"--output="}), "--output needs a file name");
  const auto environment = Parse({"--json", "--env", "56"});
  EXPECT_EQ(environment.action, Action::Environment);
  EXPECT_EQ(environment.options.environmentOf, 56u);
  // --user used to add the owner column; what follows it is no owner.
  EXPECT_EQ(Error({"--tree", "--user", "--cmdline"}),
            "--user takes an owner's name, not '--cmdline' (the owner column is -o user)");
}

TEST(ZelpsCommandLine, RefreshModeTakesItsIntervalAsPsListAndTopDo) {
  EXPECT_EQ(Parse({"-s"}).options.watchSeconds, 1.0);
  EXPECT_EQ(Parse({"-s", "5", "bash"}).options.watchSeconds, 5.0);
  EXPECT_EQ(Parse({"-s", "5", "bash"}).options.patterns, std::vector<std::string>{"bash"});
  EXPECT_EQ(Parse({"bash", "-s", "5", "sh"}).options.patterns,
            (std::vector<std::string>{"bash", "sh"}));
  EXPECT_EQ(Parse({"-s0.5"}).options.watchSeconds, 0.5);
  EXPECT_EQ(Parse({"--watch", "bash"}).options.patterns, std::vector<std::string>{"bash"});
  const auto parsed = Parse({"--watch=2", "-n", "3"});
  EXPECT_EQ(parsed.options.iterations, 3u);
  EXPECT_EQ(parsed.options.sortKey, Column::CpuPercent);
  EXPECT_TRUE(parsed.options.descending);
  // A plain listing has one snapshot only.
  EXPECT_EQ(Error({"-o", "pid,cpu"}), "CPU % compares two snapshots: it needs --watch");
  EXPECT_EQ(Error({"--sort", "cpu"}), "CPU % compares two snapshots: it needs --watch");
  EXPECT_EQ(Error({"-n", "2"}), "--iterations needs --watch");
}

}  // namespace
