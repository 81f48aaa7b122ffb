// The process tree that zelps prints.
#include <gtest/gtest.h>

#include "zelps/process_rows.h"

namespace {

zelps::ProcessRow Row(unsigned id, unsigned parent, std::uint64_t created) {
  zelps::ProcessRow row;
  row.id = id;
  row.parentId = parent;
  row.created = zelps::AsFileTime(created);
  return row;
}

using Shape = std::vector<std::pair<unsigned, int>>;  // each row's ID and depth

Shape ShapeOf(const std::vector<zelps::ProcessRow>& rows) {
  Shape shape;
  for (const auto& r : rows) shape.emplace_back(r.id, r.depth);
  return shape;
}

struct TreeCase {
  const char* what;
  std::vector<zelps::ProcessRow> rows;
  Shape tree;
};

TEST(ZelpsTree, OrdersEachCase) {
  const TreeCase cases[] = {
      {"children follow their parents in snapshot order",
       {Row(1, 0, 10), Row(5, 1, 20), Row(9, 5, 30), Row(7, 1, 25), Row(3, 99, 5)},
       {{1, 0}, {5, 1}, {9, 2}, {7, 1}, {3, 0}}},
      // Process 8 died and its ID went to a process younger than 12.
      {"a reused ID does not adopt older processes",
       {Row(8, 0, 500), Row(12, 8, 100), Row(13, 8, 600), Row(4, 4, 1)},
       {{8, 0}, {13, 1}, {12, 0}, {4, 0}}},
      // 6 and 7 name each other as parents and were created at the same time;
      // 9 is a child of the cycle, 3 its own parent.
      {"cycles of parents lose no row",
       {Row(1, 0, 10), Row(6, 7, 50), Row(7, 6, 50), Row(9, 7, 60), Row(3, 3, 70)},
       {{1, 0}, {3, 0}, {6, 0}, {7, 1}, {9, 2}}},
  };
  for (const TreeCase& c : cases) EXPECT_EQ(ShapeOf(zelps::AsTree(c.rows)), c.tree) << c.what;
}

TEST(ZelpsTree, LongChainsNeedNoRecursion) {
  std::vector<zelps::ProcessRow> rows;
  for (unsigned i = 1; i <= 100000; ++i) rows.push_back(Row(i, i - 1, i));
  auto tree = zelps::AsTree(std::move(rows));
  ASSERT_EQ(tree.size(), 100000u);
  EXPECT_EQ(tree.back().depth, 99999);
}

}  // namespace
