#include "tools/Tools.h"

#include <gtest/gtest.h>

namespace tavi {
namespace {

TEST(Tools, MyToolsExistsBeforeMain) { ASSERT_NE(MyTools, nullptr); }

TEST(Tools, CalculateGaugeRoundsHalfToEven) {
  EXPECT_EQ(MyTools->CalculateGauge(1, 0, 8), 12);
  EXPECT_EQ(MyTools->CalculateGauge(3, 0, 8), 38);
  EXPECT_EQ(MyTools->CalculateGauge(7, 5, 5), 100);
}

}  // namespace
}  // namespace tavi
