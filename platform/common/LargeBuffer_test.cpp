#include "platform/common/LargeBuffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <utility>

namespace {

using platform::LargeBuffer;

TEST(LargeBuffer, SmallAndLargeBuffersHoldWhatIsWrittenAcrossMoves) {
  for (const std::size_t size : {std::size_t{2}, std::size_t{4096}, LargeBuffer::kHugePage + 3}) {
    LargeBuffer buffer(size);
    ASSERT_EQ(buffer.size(), size);
    std::memset(buffer.data(), 'x', size);
    buffer.data()[size - 1] = 'y';
    LargeBuffer moved(std::move(buffer));
    EXPECT_TRUE(buffer.empty());
    EXPECT_EQ(buffer.data(), nullptr);
    LargeBuffer assigned(16);
    assigned = std::move(moved);
    ASSERT_EQ(assigned.size(), size);
    EXPECT_EQ(assigned.data()[0], 'x');
    EXPECT_EQ(assigned.data()[size - 1], 'y');
  }
}

TEST(LargeBuffer, LargeBuffersStartAtAHugePageBoundary) {
  LargeBuffer buffer(3 * LargeBuffer::kHugePage);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer.data()) % LargeBuffer::kHugePage, 0u);
}

TEST(LargeBuffer, AnEmptyBufferOwnsNothing) {
  LargeBuffer buffer(0);
  EXPECT_TRUE(buffer.empty());
  EXPECT_EQ(buffer.data(), nullptr);
}

TEST(LargeBuffer, PagesMadePresentInPartsOrPastTheEndKeepTheBytes) {
  for (const auto pages : {LargeBuffer::Pages::kAsUsed, LargeBuffer::Pages::kAtOnce}) {
    const std::size_t size = LargeBuffer::kSmallPagesFrom * 3 + 5;
    LargeBuffer buffer(size, pages);
    std::memset(buffer.data(), 'a', 100);
    buffer.MakePresent(50, 70'000);
    buffer.MakePresent(70'000, size + 4 * LargeBuffer::kHugePage);
    std::memset(buffer.data() + 100, 'b', size - 100);
    EXPECT_EQ(buffer.data()[99], 'a');
    EXPECT_EQ(buffer.data()[100], 'b');
    EXPECT_EQ(buffer.data()[size - 1], 'b');
  }
}

}  // namespace
