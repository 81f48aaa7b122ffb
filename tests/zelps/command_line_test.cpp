// zelps' options as getopt_long parses them, on glibc and on mingw-w64.
#include "zelps/command_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <tuple>
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
  // ps' habits that zelps does not take get a hint; -e is taken.
  EXPECT_EQ(Error({"-ef"}),
            "unknown option '-f'; for 'ps -ef', try zelps -e -o user,pid,ppid,pcpu,start,time,cmd");
  EXPECT_EQ(
      Error({"-aux"}),
      "unknown option '-a'; for 'ps aux', try zelps -e -o user,pid,pcpu,vsz,rss,start,time,cmd");
}

TEST(ZelpsCommandLine, NumbersAreCheckedNotWrapped) {
  for (const char* id : {"-1", "4294967297", "4294967295", "12abc", "", "0x10", "+5"})
    EXPECT_EQ(Error({"-p", id}), std::string("not a process ID: '") + id + "'");
  EXPECT_EQ(Error({"-p", "3,,4"}), "not a process ID: ''");
  EXPECT_EQ(Parse({"-p", "4294967294"}).options.selection.ids, std::vector<unsigned>{4294967294u});
  EXPECT_EQ(Error({"--env", "-1"}), "not a process ID: '-1'");
  EXPECT_EQ(Error({"-s", "-n", "0"}), "not a number of tables: '0'");
  // What follows -s and starts as a number is its interval, never a name.
  for (const char* seconds : {"0", "0.0", "86401", "-1", "-.5", "1e3", "5s"})
    EXPECT_EQ(
        Error({"-s", seconds, "bash"}),
        std::string("not an interval of more than 0 and at most 86400 seconds: '") + seconds + "'");
  EXPECT_EQ(Error({"--watch=nan"}),
            "not an interval of more than 0 and at most 86400 seconds: 'nan'");
  EXPECT_EQ(Parse({"-s", "nan"}).options.patterns, std::vector<std::string>{"nan"});
  EXPECT_EQ(Parse({"-s", "86400"}).options.watchSeconds, 86400.0);
  EXPECT_EQ(Parse({"-s", ".5"}).options.watchSeconds, 0.5);
}

std::vector<std::pair<Column, bool>> SortKeys(const zelps::Options& options) {
  std::vector<std::pair<Column, bool>> keys;
  for (const auto& key : options.sortKeys) keys.emplace_back(key.column, key.descending);
  return keys;
}

TEST(ZelpsCommandLine, ColumnsAndSortKeys) {
  auto parsed = Parse({"-o", "pid,COMM,rss,time", "--sort", "-ws"});
  EXPECT_EQ(parsed.options.columns,
            (std::vector{Column::Id, Column::Name, Column::WorkingSet, Column::CpuTime}));
  EXPECT_EQ(parsed.options.headers, (std::vector<std::string>{"PID", "NAME", "WS(K)", "TIME"}));
  EXPECT_EQ(SortKeys(parsed.options), (std::vector{std::pair{Column::WorkingSet, true}}));
  EXPECT_EQ(SortKeys(Parse({"--sort=+name"}).options),
            (std::vector{std::pair{Column::Name, false}}));
  // Several keys, in one option or in several.
  for (const auto& several :
       {Parse({"--sort=-ws,pid,+name"}), Parse({"--sort=-ws", "--sort", "pid,name"})})
    EXPECT_EQ(SortKeys(several.options),
              (std::vector{std::pair{Column::WorkingSet, true}, std::pair{Column::Id, false},
                           std::pair{Column::Name, false}}));
  EXPECT_EQ(Error({"--sort", "ws,"}), "unknown sort key ''");
  // As ps: several -o add up, and KEY=TITLE names the header, the rest of
  // the option with its commas; KEY= leaves it empty.
  parsed = Parse({"-o", "pid=", "-o", "ppid,name=Image, or name", "--cmdline"});
  EXPECT_EQ(parsed.options.columns,
            (std::vector{Column::Id, Column::Parent, Column::Name, Column::CommandLine}));
  EXPECT_EQ(parsed.options.headers,
            (std::vector<std::string>{"", "PPID", "Image, or name", "COMMAND"}));
  EXPECT_EQ(Error({"-o", "pid,size=SIZE"}), "unknown column 'size'");
  EXPECT_EQ(Parse({"-o", "vsz,etime,ni,pid"}).options.columns,
            (std::vector{Column::VirtualSize, Column::Elapsed, Column::Nice, Column::Id}));
  // The user ID is Linux's alone.
#ifdef _WIN32
  EXPECT_EQ(Error({"-o", "uid"}), "unknown column 'uid'");
#else
  EXPECT_EQ(Parse({"-o", "uid"}).options.columns, std::vector{Column::UserId});
#endif
  EXPECT_TRUE(Parse({"--no-headers"}).options.noHeaders);
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
  EXPECT_EQ(parsed.options.patterns, (std::vector<std::string>{"s*", "w*"}));
  // ps' ways to say every process; empty patterns add no condition.
  for (const auto& every : {Parse({"-e"}), Parse({"-A"}), Parse({""}), Parse({";;", ""})}) {
    EXPECT_EQ(every.action, Action::List);
    EXPECT_TRUE(every.options.patterns.empty());
  }
  EXPECT_EQ(Parse({"a;;b;"}).options.patterns, (std::vector<std::string>{"a", "b"}));
  // The metrics have no place for threads or a tree; CSV carries them.
  EXPECT_EQ(Error({"--format=openmetrics", "--tree"}),
            "the metrics have one series a process: no --threads or --tree");
  EXPECT_EQ(Error({"--format=prometheus", "-d"}),
            "the metrics have one series a process: no --threads or --tree");
  EXPECT_EQ(Parse({"--format=csv", "-d", "-t"}).action, Action::List);
  // ps' BSD options typed without a dash are name patterns ("mc", "lua"
  // and "vlc" are programs), which get a hint when they select nothing.
  EXPECT_EQ(Parse({"mc", "lua"}).options.patterns, (std::vector<std::string>{"mc", "lua"}));
  for (const auto& [patterns, hinted] : {std::pair{std::vector<std::string>{"aux"}, true},
                                         {{"bash", "ax"}, true},
                                         {{"x"}, true},
                                         {{"vlc"}, true},
                                         {{"bash"}, false},
                                         {{"a*"}, false},
                                         {{"auxiliary"}, false},
                                         {{}, false}})
    EXPECT_EQ(zelps::BsdStyleHint(patterns).has_value(), hinted) << patterns.size();
  EXPECT_EQ(*zelps::BsdStyleHint({"aux"}),
            "no process is named 'aux'; zelps takes ps' standard options, not BSD-style words: "
            "for 'ps aux', try zelps -e -o user,pid,pcpu,vsz,rss,start,time,cmd");
  EXPECT_EQ(Parse({"--output", "-"}).options.outputFile, "");  // standard output
  EXPECT_EQ(Parse({"--output=./-"}).options.outputFile, "./-");
  EXPECT_EQ(Error({"--output="}), "--output needs a file name");
  const auto environment = Parse({"--json", "--env", "56"});
  EXPECT_EQ(environment.action, Action::Environment);
  EXPECT_EQ(environment.options.environmentOf, 56u);
  // -m as tasklist /m: the next argument is its pattern (empty ones in the
  // list add no condition), and the modules column comes last.
  for (const auto& [parsed, modules, patterns] :
       {std::tuple{Parse({"-m", "kernel32.dll"}), "kernel32.dll", std::vector<std::string>{}},
        {Parse({"-m", "ld-*;;libc*", "bash"}), "ld-*;libc*", {"bash"}},
        {Parse({"bash", "--modules=ld-*"}), "ld-*", {"bash"}},
        {Parse({"-m", "-p", "1"}), "", {}},
        {Parse({"-o", "pid,modules", "-m", "--", "bash"}), "", {"bash"}}}) {
    EXPECT_EQ(parsed.options.modules, modules);
    EXPECT_EQ(parsed.options.patterns, patterns);
    EXPECT_EQ(parsed.options.columns.back(), Column::Modules);
    EXPECT_EQ(
        std::count(parsed.options.columns.begin(), parsed.options.columns.end(), Column::Modules),
        1);
  }
  EXPECT_FALSE(Parse({"-o", "modules"}).options.modules.has_value());
  EXPECT_EQ(Error({"--format=prometheus", "-m"}), "the metrics have no modules: no --modules");
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
  EXPECT_EQ(SortKeys(parsed.options), (std::vector{std::pair{Column::CpuPercent, true}}));
  // A plain listing sorts by CPU % only when asked: no refresh mode, no
  // default key.
  const auto plain = Parse({"-o", "pid,pcpu"});
  EXPECT_FALSE(plain.options.watchSeconds.has_value());
  EXPECT_TRUE(plain.options.sortKeys.empty());
  EXPECT_EQ(Error({"-n", "2"}), "--iterations needs --watch");
}

}  // namespace
