// The WinINet provider on disk: what it opens and how much it reads.
#include "platform/wininet/DiskUrlCache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/testing/TempDir.h"
#include "platform/wininet/testing/IndexDatWriter.h"

namespace {

namespace fs = std::filesystem;
using urlcache::Container;

std::vector<std::string> Urls(urlcache::Provider& provider, Container container) {
  std::vector<std::string> urls;
  std::unique_ptr<urlcache::Cursor> cursor = provider.Open(container);
  urlcache::EntryView entry;
  for (; cursor && cursor->Current(entry); cursor->Advance()) urls.emplace_back(entry.url);
  return urls;
}

fixture::ContainerFixture Entries(const std::string& site, int count) {
  fixture::ContainerFixture spec;
  for (int i = 0; i < count; ++i) {
    fixture::EntryFixture e;
    e.url = "http://" + site + "/" + std::to_string(i);
    spec.entries.push_back(e);
  }
  return spec;
}

std::string ContentFolder(const std::string& user) {
  return user + "/" + fixture::ContainerPath(fixture::ProfileLayout::Wine, 2);
}

TEST(DiskUrlCache, ReadsTheFolderItWasMadeWith) {
  fixture::TempDir one, two;
  fixture::ProfileFixture a, b;
  a.content = Entries("one.test", 2);
  b.content = Entries("two.test", 1);
  ASSERT_TRUE(fixture::WriteProfile(one.path(), a));
  ASSERT_TRUE(fixture::WriteProfile(two.path(), b));
  urlcache::DiskUrlCache first(one.path()), second(two.path());
  EXPECT_EQ(Urls(first, Container::kContent),
            (std::vector<std::string>{"http://one.test/0", "http://one.test/1"}));
  EXPECT_EQ(Urls(second, Container::kContent), (std::vector<std::string>{"http://two.test/0"}));
  EXPECT_TRUE(Urls(first, Container::kCookies).empty());
  fixture::TempDir none;
  urlcache::DiskUrlCache missing(none / "nothing");
  EXPECT_EQ(missing.Open(Container::kContent), nullptr);
}

// A FIFO in the file's place must not hang the walk (its open would block
// until a writer came).
TEST(DiskUrlCache, AFifoNamedIndexDatGivesNoEntriesAndDoesNotBlock) {
  fixture::TempDir user;
  fixture::ProfileFixture spec;
  spec.content = Entries("a.test", 1);
  ASSERT_TRUE(fixture::WriteProfile(user.path(), spec));
  const std::string file = ContentFolder(user.path()) + "/index.dat";
  ASSERT_EQ(unlink(file.c_str()), 0);
  ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
  urlcache::DiskUrlCache disk(user.path());
  EXPECT_TRUE(Urls(disk, Container::kContent).empty());
}

// Bytes past the size the header declares are not read: a record placed
// there is not delivered, and a link to a huge sparse file costs no more
// than the container it starts with.
TEST(DiskUrlCache, ReadsNoMoreThanTheHeaderDeclares) {
  fixture::TempDir user;
  fixture::ProfileFixture spec;
  spec.content = Entries("a.test", 3);
  ASSERT_TRUE(fixture::WriteProfile(user.path(), spec));
  const std::string file = ContentFolder(user.path()) + "/index.dat";
  const auto declared = fs::file_size(file);
  urlcache::DiskUrlCache disk(user.path());
  ASSERT_EQ(Urls(disk, Container::kContent).size(), 3u);

  // The declared size shrunk below the third record: it is left unread.
  std::string bytes;
  {
    std::ifstream in(file, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  const std::uint32_t third = std::uint8_t(bytes[0x4000 + 16 + 2 * 8 + 4]) |
                              std::uint8_t(bytes[0x4000 + 16 + 2 * 8 + 5]) << 8 |
                              std::uint8_t(bytes[0x4000 + 16 + 2 * 8 + 6]) << 16;
  for (int i = 0; i < 4; ++i) bytes[28 + i] = static_cast<char>(third >> (8 * i));
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  urlcache::FlushSnapshots();
  EXPECT_EQ(Urls(disk, Container::kContent),
            (std::vector<std::string>{"http://a.test/0", "http://a.test/1"}));

  // A link to a container grown to 64 GB of holes reads as the container.
  for (int i = 0; i < 4; ++i) bytes[28 + i] = static_cast<char>(declared >> (8 * i));
  const std::string sparse = user / "sparse.dat";
  {
    std::ofstream out(sparse, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  ASSERT_EQ(truncate(sparse.c_str(), off_t{64} << 30), 0);
  fs::remove(file);
  fs::create_symlink(sparse, file);
  urlcache::FlushSnapshots();
  EXPECT_EQ(Urls(disk, Container::kContent).size(), 3u);
}

// Counting without delivering gives what a walk delivers, from any
// position, also where records are damaged.
TEST(DiskUrlCache, CountingTheRestGivesWhatTheWalkDelivers) {
  fixture::TempDir user;
  fixture::ProfileFixture spec;
  spec.content = Entries("a.test", 6);
  ASSERT_TRUE(fixture::WriteProfile(user.path(), spec));
  const std::string file = ContentFolder(user.path()) + "/index.dat";
  std::string bytes;
  {
    std::ifstream in(file, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  // One record loses its signature, one its size, one its URL's terminator.
  std::vector<std::size_t> records;
  for (std::size_t at = bytes.find("URL ", 0x4000); at != std::string::npos;
       at = bytes.find("URL ", at + 4))
    if (at % 128 == 0) records.push_back(at);
  ASSERT_EQ(records.size(), 6u);
  bytes.replace(records[1], 4, "XRL ");
  bytes.replace(records[4] + 4, 4, "\xff\xff\xff\x7f");
  const std::uint32_t urlOffset = std::uint8_t(bytes[records[2] + 52]);
  const std::uint32_t blocks = std::uint8_t(bytes[records[2] + 4]);
  std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(records[2] + urlOffset),
            bytes.begin() + static_cast<std::ptrdiff_t>(records[2] + blocks * 128), 'x');
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  urlcache::FlushSnapshots();
  urlcache::DiskUrlCache disk(user.path());
  const std::size_t delivered = Urls(disk, Container::kContent).size();
  EXPECT_EQ(delivered, 3u);
  for (std::size_t skipped = 0; skipped <= delivered + 1; ++skipped) {
    SCOPED_TRACE(skipped);
    std::unique_ptr<urlcache::Cursor> cursor = disk.Open(Container::kContent);
    ASSERT_NE(cursor, nullptr);
    urlcache::EntryView entry;
    for (std::size_t i = 0; i < skipped && cursor->Current(entry); ++i) cursor->Advance();
    EXPECT_EQ(cursor->CountRest(), delivered - std::min(skipped, delivered));
    EXPECT_FALSE(cursor->Current(entry));
  }
}

}  // namespace
