#include "platform/sources/files/ReadOnlyFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/sources/testing/ProfileWriter.h"
#include "platform/testing/TempDir.h"

namespace sources {
namespace {

TEST(ReadOnlyFileTest, OnlyRegularFilesOpenAndAFifoNeverBlocks) {
  fixture::TempDir dir;
  testing::WriteFile(dir / "file", "0123456789");
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  std::filesystem::create_symlink(dir / "file", dir / "link");

  ReadOnlyFile file(dir / "file");
  ASSERT_TRUE(file.IsOpen());
  std::string out;
  EXPECT_TRUE(file.ReadAt(8, 2, out));
  EXPECT_EQ(out, "89");
  EXPECT_FALSE(file.ReadAt(8, 3, out));
  EXPECT_FALSE(file.ReadAll(9, out));
  EXPECT_FALSE(ReadOnlyFile(dir / "fifo").IsOpen());
  EXPECT_FALSE(ReadOnlyFile(dir / "link").IsOpen());
  EXPECT_FALSE(ReadOnlyFile(dir.path()).IsOpen());
  ReadOnlyFile missing(dir / "missing");
  EXPECT_FALSE(missing.IsOpen());
  EXPECT_EQ(missing.Error(), ENOENT);
}

void ExpectEveryRangeAsFromTheSource(const ByteSource& source, const WindowedBytes& windowed) {
  ASSERT_EQ(windowed.Size(), source.Size());
  for (std::size_t offset = 0; offset <= source.Size() + 2; ++offset)
    for (std::size_t length = 0; length <= source.Size() + 2; ++length) {
      std::string expected, actual;
      bool ok = source.ReadAt(offset, length, expected);
      ASSERT_EQ(windowed.ReadAt(offset, length, actual), ok) << offset << "+" << length;
      if (ok) {
        ASSERT_EQ(actual, expected);
      }
    }
}

// Every range reads the same through the windows as from the file itself,
// whether it lies in the head, the tail, between them or across a boundary,
// also when the windows' buffers last held a longer or shorter file.
TEST(ReadOnlyFileTest, WindowedBytesAnswerEveryRangeLikeTheFile) {
  std::string bytes;
  for (int i = 0; i < 40; ++i) bytes += static_cast<char>('A' + i);
  MemoryBytes longer(bytes);
  MemoryBytes shorter(std::string("0123456789ab"));
  WindowBuffers shared;
  for (const ByteSource* source : {&longer, &shorter, &longer})
    for (std::size_t head : {0u, 5u, 40u})
      for (std::size_t tail : {0u, 7u}) {
        ExpectEveryRangeAsFromTheSource(*source, WindowedBytes(*source, head, tail));
        ExpectEveryRangeAsFromTheSource(*source, WindowedBytes(*source, head, tail, shared));
      }
}

}  // namespace
}  // namespace sources
