#include "ZelError.h"

#include <gtest/gtest.h>

#include <type_traits>

TEST(ZelError, HoldsTheLastCodeSet) {
  CZelError error;
  EXPECT_EQ(error.GetError(), 0u);
  EXPECT_EQ(error.SetError(5), 1);
  EXPECT_EQ(error.SetError(0xFFFFFFFFu), 1);
  EXPECT_EQ(error.GetError(), 0xFFFFFFFFu);
}

TEST(ZelError, CopiesCarryTheCode) {
  static_assert(
      std::is_same_v<decltype(std::declval<CZelError&>() = std::declval<const CZelError&>()),
                     const CZelError&>);
  CZelError source;
  source.SetError(42);
  CZelError copy(source);
  EXPECT_EQ(copy.GetError(), 42u);

  CZelError assigned;
  EXPECT_EQ(&(assigned = source), &assigned);
  EXPECT_EQ(assigned.GetError(), 42u);
  source.SetError(7);
  EXPECT_EQ(assigned.GetError(), 42u);

  const CZelError& alias = assigned;
  assigned = alias;
  EXPECT_EQ(assigned.GetError(), 42u);
}
