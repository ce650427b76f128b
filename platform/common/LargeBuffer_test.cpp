#include "platform/common/LargeBuffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using platform::LargeBuffer;
using platform::PreferHugePages;

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

// Where huge pages are preferred, buffers below a huge page share huge
// pages: each holds its own bytes, and a freed one serves the next of its
// size instead of new memory.
TEST(LargeBuffer, PooledBuffersKeepTheirBytesAndAreReused) {
  PreferHugePages(true);
  std::vector<LargeBuffer> buffers;
  const std::size_t sizes[] = {LargeBuffer::kSmallPagesFrom, 100'000, LargeBuffer::kHugePage / 2,
                               LargeBuffer::kHugePage - 1};
  for (int round = 0; round < 6; ++round)
    for (std::size_t size : sizes) {
      buffers.emplace_back(size, LargeBuffer::Pages::kAsUsed);
      std::memset(buffers.back().data(), 'a' + static_cast<int>(buffers.size() % 26), size);
    }
  for (std::size_t i = 0; i < buffers.size(); ++i) {
    const LargeBuffer& buffer = buffers[i];
    const char expected = static_cast<char>('a' + (i + 1) % 26);
    EXPECT_EQ(buffer.data()[0], expected) << i;
    EXPECT_EQ(buffer.data()[buffer.size() - 1], expected) << i;
  }
  const char* const freed = buffers[1].data();  // 100,000 bytes: the 128 KiB size
  buffers[1] = LargeBuffer();
  LargeBuffer next(120'000);
  EXPECT_EQ(next.data(), freed);
  PreferHugePages(false);
  LargeBuffer own(100'000);  // back to a mapping of its own
  EXPECT_NE(own.data(), freed);
}

// Where huge pages are preferred, the huge pages of a freed large buffer
// serve the next buffers, large or pooled, from its head, with their
// boundary kept; they hold what is written into them.
TEST(LargeBuffer, FreedHugePagesServeTheNextBuffers) {
  PreferHugePages(true);
  // An unusual length, so that no run kept by another test fits better.
  const std::size_t length = 13 * LargeBuffer::kHugePage;
  auto first = std::make_unique<LargeBuffer>(length);
  char* const pages = first->data();
  std::memset(pages, 'x', length);
  first.reset();
  LargeBuffer head(12 * LargeBuffer::kHugePage - 5);
  EXPECT_EQ(head.data(), pages);
  LargeBuffer tail(LargeBuffer::kHugePage);
  EXPECT_EQ(tail.data(), pages + 12 * LargeBuffer::kHugePage);
  std::memset(head.data(), 'h', head.size());
  std::memset(tail.data(), 't', tail.size());
  EXPECT_EQ(head.data()[head.size() - 1], 'h');
  EXPECT_EQ(tail.data()[0], 't');
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(tail.data()) % LargeBuffer::kHugePage, 0u);
  PreferHugePages(false);
}

// A string on the allocator holds what is appended as it grows from the
// heap into huge pages, and where huge pages are preferred its large block
// comes from those a freed buffer left.
TEST(LargeBuffer, HugePageAllocatorGrowsAStringAndReusesKeptPages) {
  using Text = std::basic_string<char, std::char_traits<char>, platform::HugePageAllocator<char>>;
  for (const bool huge : {false, true}) {
    PreferHugePages(huge);
    Text text;
    for (int i = 0; text.size() < 3 * LargeBuffer::kHugePage; ++i) text += std::to_string(i % 10);
    for (std::size_t i = 0; i < text.size(); i += 4099)
      ASSERT_EQ(text[i], static_cast<char>('0' + i % 10)) << i;
  }
  const std::size_t length = 11 * LargeBuffer::kHugePage;
  auto freed = std::make_unique<LargeBuffer>(length);
  char* const pages = freed->data();
  freed.reset();
  Text kept;
  kept.reserve(length - 1);
  EXPECT_EQ(kept.data(), pages);
  PreferHugePages(false);
}

}  // namespace
