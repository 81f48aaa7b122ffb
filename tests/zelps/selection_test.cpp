// Which processes zelps keeps, and in which order it lists them.
#include "zelps/selection.h"

#include <gtest/gtest.h>

#include <vector>

#include "zelps/columns.h"
#include "zelps/cpu_usage.h"
#include "zelps/process_facts.h"

namespace {

zelps::ProcessRow Row(unsigned id, std::string owner, std::string name = "") {
  zelps::ProcessRow row;
  row.id = id;
  row.owner = std::move(owner);
  row.name = std::move(name);
  return row;
}

std::vector<unsigned> Ids(const std::vector<zelps::ProcessRow>& rows) {
  std::vector<unsigned> ids;
  for (const auto& row : rows) ids.push_back(row.id);
  return ids;
}

TEST(ZelpsSelection, OwnerWithOrWithoutItsDomain) {
  EXPECT_TRUE(zelps::OwnerIs(R"(vm\root)", "root", false));
  EXPECT_TRUE(zelps::OwnerIs(R"(vm\root)", R"(vm\root)", false));
  EXPECT_FALSE(zelps::OwnerIs(R"(vm\root)", R"(other\root)", false));
  EXPECT_FALSE(zelps::OwnerIs(R"(vm\root)", "roo", false));
  EXPECT_FALSE(zelps::OwnerIs(R"(vm\root)", "vm", false));
  EXPECT_FALSE(zelps::OwnerIs(R"(vm\root)", "Root", false));
  EXPECT_TRUE(zelps::OwnerIs(R"(NT AUTHORITY\SYSTEM)", R"(nt authority\system)", true));
  // A domain compares without case, also where the user's name does not.
  EXPECT_TRUE(zelps::OwnerIs(R"(vm\root)", R"(VM\root)", false));
  EXPECT_FALSE(zelps::OwnerIs(R"(vm\root)", R"(VM\Root)", false));
  EXPECT_FALSE(zelps::OwnerIs("root", R"(vm\root)", false));
  // An owner that could not be read belongs to no one.
  EXPECT_FALSE(zelps::OwnerIs("", "", false));
}

zelps::Selection Only(std::vector<unsigned> ids, std::vector<std::string> users = {}) {
  zelps::Selection selection;
  selection.ids = std::move(ids);
  selection.users = std::move(users);
  return selection;
}

TEST(ZelpsSelection, KeepsWhatEveryCriterionGivenKeeps) {
  const std::vector rows{Row(1, R"(vm\root)"), Row(2, R"(vm\www)"), Row(3, R"(vm\root)"),
                         Row(4, "")};
  EXPECT_EQ(Ids(zelps::Select(rows, {})), (std::vector<unsigned>{1, 2, 3, 4}));
  EXPECT_EQ(Ids(zelps::Select(rows, Only({3, 2, 99}))), (std::vector<unsigned>{2, 3}));
  EXPECT_EQ(Ids(zelps::Select(rows, Only({}, {"root"}))), (std::vector<unsigned>{1, 3}));
  EXPECT_EQ(Ids(zelps::Select(rows, Only({2, 3}, {"root"}))), std::vector<unsigned>{3});
  EXPECT_EQ(Ids(zelps::Select(rows, Only({}, {"www", "nobody"}))), std::vector<unsigned>{2});
  EXPECT_TRUE(zelps::Select(rows, Only({99})).empty());
  // On Linux a number is a user ID too; on Windows only a name.
  std::vector byId{Row(5, R"(vm\www)"), Row(6, R"(vm\33)"), Row(7, "")};
  byId[0].userId = 33;
#ifdef _WIN32
  const std::vector<unsigned> by33{6};
#else
  const std::vector<unsigned> by33{5, 6};
#endif
  EXPECT_EQ(zelps::ByUserId(Only({}, {"root", "33"})), by33.size() == 2);
  EXPECT_EQ(Ids(zelps::Select(byId, Only({}, {"33"}))), by33);
  // On Windows -u takes a SID for the account it names.
#ifdef _WIN32
  EXPECT_EQ(zelps::AccountOfSid("S-1-5-18"), R"(NT AUTHORITY\SYSTEM)");
#endif
  EXPECT_EQ(zelps::AccountOfSid("S-1-5-no-such"), std::nullopt);
}

TEST(ZelpsSorting, ByValueStableAndDescending) {
  std::vector rows{Row(10, "", "b"), Row(9, "", "a"), Row(100, "", "b"), Row(8, "", "B")};
  rows[0].workingSet = 1 << 20;
  rows[1].workingSet = 4096;
  rows[2].workingSet = 1 << 30;
  rows[3].workingSet = 4096;
  using zelps::Column;
  zelps::SortRows(rows, {{Column::Id}});
  EXPECT_EQ(Ids(rows), (std::vector<unsigned>{8, 9, 10, 100}));  // not "10" < "8"
  zelps::SortRows(rows, {{Column::Name}});
  EXPECT_EQ(Ids(rows), (std::vector<unsigned>{8, 9, 10, 100}));  // ties keep their order
  zelps::SortRows(rows, {{Column::WorkingSet, true}});
  EXPECT_EQ(Ids(rows), (std::vector<unsigned>{100, 10, 8, 9}));
  // A later key orders what the earlier ones leave tied.
  zelps::SortRows(rows, {{Column::WorkingSet, false}, {Column::Id, true}});
  EXPECT_EQ(Ids(rows), (std::vector<unsigned>{9, 8, 10, 100}));
}

TEST(ZelpsCpuUsage, TimeUsedBetweenSnapshotsPerCore) {
  auto row = [](unsigned id, std::uint64_t created, std::uint64_t user, std::uint64_t kernel) {
    zelps::ProcessRow r;
    r.id = id;
    r.created = zelps::AsFileTime(created);
    r.userTicks = user;
    r.kernelTicks = kernel;
    return r;
  };
  const std::vector before{row(1, 5, 100, 100), row(2, 5, 0, 0), row(3, 5, 900, 0)};
  // A second of wall time: 1 busy at 1.5 cores, 2 idle, 3's ID reused by a
  // younger process that has run for a quarter second, 4 new.
  std::vector now{row(1, 5, 10'000'100, 5'000'100), row(2, 5, 0, 0), row(3, 7, 2'500'000, 0),
                  row(4, 9, 1'000'000, 0)};
  zelps::SetCpuPercent(now, before, 10'000'000);
  EXPECT_DOUBLE_EQ(*now[0].cpuPercent, 150.0);
  EXPECT_DOUBLE_EQ(*now[1].cpuPercent, 0.0);
  EXPECT_DOUBLE_EQ(*now[2].cpuPercent, 25.0);
  EXPECT_DOUBLE_EQ(*now[3].cpuPercent, 10.0);
  // The CPU % column then sorts the busiest first, and one without a value last.
  now[1].cpuPercent.reset();
  zelps::SortRows(now, {{zelps::Column::CpuPercent, true}});
  EXPECT_EQ(Ids(now), (std::vector<unsigned>{1, 3, 4, 2}));
}

TEST(ZelpsCpuUsage, LifetimeShareAsPsGivesIt) {
  zelps::ProcessRow busy, unknown;
  const std::uint64_t start = zelps::kTicksFrom1601To1970 + 500 * zelps::kTicksPerSecond;
  busy.created = zelps::AsFileTime(start);
  busy.sampled = unknown.sampled = start + 10 * zelps::kTicksPerSecond;
  busy.userTicks = 20'000'000;  // 3 s of CPU in 10 s
  busy.kernelTicks = 10'000'000;
  unknown.userTicks = 1;  // no start time
  std::vector rows{busy, unknown};
  zelps::SetLifetimeCpuPercent(rows);
  EXPECT_DOUBLE_EQ(*rows[0].cpuPercent, 30.0);
  EXPECT_FALSE(rows[1].cpuPercent.has_value());
}

}  // namespace
