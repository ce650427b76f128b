#include "platform/common/LargeArray.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>

namespace {

using platform::LargeArray;

// Values survive every growth, in both kinds of store, and clear starts over.
TEST(LargeArray, KeepsEveryValueAcrossGrowth) {
  for (const bool huge : {false, true}) {
    platform::PreferHugePages(huge);
    LargeArray<std::uint32_t> values;
    EXPECT_TRUE(values.empty());
    for (std::uint32_t i = 0; i < 300'000; ++i) values.push_back(i * 3);
    ASSERT_EQ(values.size(), 300'000u);
    std::uint64_t sum = std::accumulate(values.begin(), values.end(), std::uint64_t{0});
    EXPECT_EQ(sum, 3ull * 299'999 * 300'000 / 2);
    EXPECT_EQ(values[12'345], 37'035u);
    EXPECT_EQ(values.back(), 899'997u);
    values.clear();
    EXPECT_TRUE(values.empty());
    values.reserve(10);
    values.push_back(7);
    EXPECT_EQ(values[0], 7u);
  }
  platform::PreferHugePages(false);
}

// Resizing keeps the values before the old end, past a growth too, and
// the new ones take what is written.
TEST(LargeArray, ResizeKeepsTheValuesHeld) {
  LargeArray<std::uint32_t> values;
  for (std::uint32_t i = 0; i < 100; ++i) values.push_back(i);
  values.resize(50'000);
  ASSERT_EQ(values.size(), 50'000u);
  for (std::uint32_t i = 100; i < 50'000; ++i) values[i] = i;
  for (std::uint32_t i = 0; i < 50'000; ++i) ASSERT_EQ(values[i], i);
  values.resize(10);
  EXPECT_EQ(values.size(), 10u);
  EXPECT_EQ(values.back(), 9u);
}

}  // namespace
