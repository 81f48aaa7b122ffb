// CSV, the metrics text for Prometheus, and output files written whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <fstream>
#include <sstream>
#include <string>

#include "zelps/csv.h"
#include "zelps/environment_block.h"
#include "zelps/listing.h"
#include "zelps/openmetrics.h"
#include "zelps/output_file.h"

namespace {

TEST(ZelpsCsv, QuotesEveryFieldAndDoublesQuotes) {
  EXPECT_EQ(zelps::CsvRecord({"zelps.exe", "348", ""}), "\"zelps.exe\",\"348\",\"\"\r\n");
  EXPECT_EQ(zelps::CsvRecord({R"("C:\a b\x.exe" -n "1,2")"}),
            "\"\"\"C:\\a b\\x.exe\"\" -n \"\"1,2\"\"\"\r\n");
  EXPECT_EQ(zelps::CsvRecord({"two\r\nlines"}), "\"two\r\nlines\"\r\n");
}

TEST(ZelpsCsv, LeavesWhatIsNotKnownEmpty) {
  zelps::ProcessRow known;
  known.id = 7;
  known.ioBytes = 4096;
  zelps::ProcessRow unknown;  // no I/O counters, no start time
  unknown.id = 1;
  zelps::Options options;
  options.format = zelps::Format::Csv;
  options.columns = {zelps::Column::Id, zelps::Column::IoBytes, zelps::Column::StartTime};
  options.headers = {"PID", "IO(K)", "START"};
  EXPECT_EQ(zelps::Render({known, unknown}, options),
            "\"PID\",\"IO(K)\",\"START\"\r\n\"7\",\"4\",\"\"\r\n\"1\",\"\",\"\"\r\n");
  // The modules as tasklist /m /FO CSV writes them, the table's ", " as ",".
  known.modules = {{"ntdll.dll", "", 0, 0}, {"KERNEL32.DLL", "", 0, 0}};
  unknown.modulesError = 5;
  options.columns = {zelps::Column::Id, zelps::Column::Modules};
  options.headers = {"PID", "MODULES"};
  EXPECT_EQ(zelps::Render({known, unknown}, options),
            "\"PID\",\"MODULES\"\r\n\"7\",\"ntdll.dll,KERNEL32.DLL\"\r\n"
            "\"1\",\"access denied\"\r\n");
  options.format = zelps::Format::Table;
  EXPECT_EQ(zelps::Render({known, unknown}, options),
            "PID  MODULES\n  7  ntdll.dll, KERNEL32.DLL\n  1  access denied\n");
}

TEST(ZelpsCsv, CarriesTheTreeAndARecordAThread) {
  zelps::ProcessRow parent;
  parent.id = 7;
  parent.threads = {{8, {}}, {9, {}}};
  zelps::ProcessRow child;  // no threads listed
  child.id = 12;
  child.depth = 1;
  zelps::Options options;
  options.format = zelps::Format::Csv;
  options.columns = {zelps::Column::Id};
  options.headers = {"PID"};
  options.tree = options.threads = true;
  EXPECT_EQ(zelps::Render({parent, child}, options),
            "\"PID\",\"DEPTH\",\"TID\",\"TSTART\"\r\n"
            "\"7\",\"0\",\"8\",\"\"\r\n\"7\",\"0\",\"9\",\"\"\r\n"
            "\"12\",\"1\",\"\",\"\"\r\n");
  // A thread's record carries its process's ID where no column shows it.
  options.columns = {zelps::Column::Name};
  options.headers = {"NAME"};
  options.tree = false;
  EXPECT_EQ(zelps::Render({child}, options),
            "\"NAME\",\"PID\",\"TID\",\"TSTART\"\r\n\"\",\"12\",\"\",\"\"\r\n");
  options.columns = {zelps::Column::Id};
  // Without headers, or when every header is empty, as ps.
  options.headers = {""};
  options.tree = options.threads = false;
  EXPECT_EQ(zelps::Render({parent}, options), "\"7\"\r\n");
  options.headers = {"PID"};
  options.noHeaders = true;
  EXPECT_EQ(zelps::Render({parent}, options), "\"7\"\r\n");
}

TEST(ZelpsOpenMetrics, EscapesLabelValues) {
  EXPECT_EQ(zelps::EscapeLabelValue(R"(VM\root)"), R"(VM\\root)");
  EXPECT_EQ(zelps::EscapeLabelValue("a\"b\nc\td"), "a\\\"b\\nc\td");
  EXPECT_EQ(zelps::EscapeLabelValue("\u65e5\u672c"), "\u65e5\u672c");
}

TEST(ZelpsOpenMetrics, OneSeriesPerProcessAndMode) {
  zelps::ProcessRow row;
  row.id = 42;
  row.parentId = 1;
  row.name = "a\"b";
  row.owner = R"(vm\root)";
  row.threadCount = 3;
  row.userTicks = 25'000'000;
  row.kernelTicks = 5'000'000;
  row.workingSet = 8192;
  row.privateBytes = 4096;
  // 2024-02-29T13:45:07.5Z in 100 ns since 1601.
  const std::uint64_t created = 133536879075000000ULL;
  row.created = zelps::AsFileTime(created);
  zelps::ProcessRow idle;  // no start time
  using zelps::MetricsFormat;
  const std::string text = zelps::MetricsText({row, idle}, MetricsFormat::OpenMetrics);
  const std::string labels = R"({pid="42",ppid="1",name="a\"b",user="vm\\root")";
  for (const std::string& line :
       {std::string("# TYPE zelps_process_cpu_seconds counter"),
        "zelps_process_cpu_seconds_total" + labels + R"(,mode="user"} 2.5)",
        "zelps_process_cpu_seconds_total" + labels + R"(,mode="kernel"} 0.5)",
        std::string("# TYPE zelps_process_working_set_bytes gauge"),
        "zelps_process_working_set_bytes" + labels + "} 8192",
        "zelps_process_private_bytes" + labels + "} 4096", "zelps_process_threads" + labels + "} 3",
        "zelps_process_start_time_seconds" + labels + "} 1709214307.5"})
    EXPECT_NE(text.find(line + "\n"), std::string::npos) << line << "\n" << text;
  EXPECT_EQ(text.find(R"(zelps_process_start_time_seconds{pid="0")"), std::string::npos);
  EXPECT_TRUE(text.ends_with("\n# EOF\n"));
  // Prometheus' format: the same samples, the counter's family named as
  // they are, no "# EOF".
  const std::string prometheus = zelps::MetricsText({row, idle}, MetricsFormat::Prometheus);
  EXPECT_NE(prometheus.find("# TYPE zelps_process_cpu_seconds_total counter\n"), std::string::npos);
  EXPECT_EQ(prometheus.find("# EOF"), std::string::npos);
  EXPECT_EQ(prometheus.substr(prometheus.find("\nzelps")),
            text.substr(text.find("\nzelps"), prometheus.size() - prometheus.find("\nzelps")));
  // Every family keeps its HELP and TYPE lines when no process is selected.
  const std::string empty = zelps::MetricsText({}, MetricsFormat::OpenMetrics);
  EXPECT_EQ(std::count(empty.begin(), empty.end(), '\n'), 11);
}

std::string Contents(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// A new directory of the test's own, as mktemp -d makes: runs side by side
// do not share it.
std::filesystem::path NewTemporaryDirectory() {
  std::random_device random;
  for (;;) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("zelps_output_file_test." + std::to_string(random()));
    if (std::filesystem::create_directory(dir)) return dir;
  }
}

TEST(ZelpsOutputFile, ReplacesTheFileWholeAndLeavesNothingBehind) {
  const auto dir = NewTemporaryDirectory();
  const auto path = dir / "zelps.prom";
  std::string error;
  ASSERT_TRUE(zelps::WriteFileWhole(path.string(), "first\n", error)) << error;
  ASSERT_TRUE(zelps::WriteFileWhole(path.string(), "second\n", error)) << error;
  EXPECT_EQ(Contents(path), "second\n");
  EXPECT_FALSE(zelps::WriteFileWhole((dir / "missing" / "x.prom").string(), "x", error));
  EXPECT_NE(error.find("missing"), std::string::npos) << error;
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir)) ++files;
  EXPECT_EQ(files, 1u);
  std::filesystem::remove_all(dir);
}

TEST(ZelpsEnvironment, SaysWhenTheCopyCutTheBlock) {
  const unsigned short whole[] = {'A', '=', '1', 0, 'B', '=', 0, 0, 'C', 0};
  auto split = zelps::SplitEnvironment(reinterpret_cast<const unsigned char*>(whole), sizeof whole);
  EXPECT_EQ(split.variables, (std::vector<std::string>{"A=1", "B="}));
  EXPECT_FALSE(split.truncated);
  const unsigned short cut[] = {'A', '=', '1', 0, 'B', '=', '2'};
  split = zelps::SplitEnvironment(reinterpret_cast<const unsigned char*>(cut), sizeof cut);
  EXPECT_EQ(split.variables, std::vector<std::string>{"A=1"});
  EXPECT_TRUE(split.truncated);
}

}  // namespace
