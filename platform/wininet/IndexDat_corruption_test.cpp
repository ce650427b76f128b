// Damaged container files: each must give the intact entries and nothing
// else, without a crash, a hang or a read out of bounds.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string_view>
#include <tuple>
#include <vector>

#include "platform/wininet/IndexDat.h"
#include "platform/wininet/testing/IndexDatWriter.h"

namespace {

using urlcache::IndexDat;
using urlcache::UrlRecord;

constexpr std::uint32_t kHashTable = 0x4000;
constexpr std::uint32_t kFirstItem = kHashTable + 16;

void PutU32(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

std::uint32_t GetU32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i)
    value |= std::uint32_t(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  return value;
}

std::string ThreeEntries() {
  fixture::ContainerFixture spec;
  for (const char* name : {"one", "two", "three"}) {
    fixture::EntryFixture e;
    e.url = std::string("http://") + name + ".test/page.html";
    e.fileName = std::string(name) + "[1].html";
    e.directory = "ABCDEFGH";
    e.header = "HTTP/1.1 200 OK\r\n";
    spec.entries.push_back(e);
  }
  std::string bytes;
  fixture::BuildIndexDat(spec, bytes);
  return bytes;
}

std::uint32_t RecordOffset(const std::string& bytes, int item) {
  return GetU32(bytes, kFirstItem + 8 * item + 4);
}

// Every field of two decodings, the texts as views of the same bytes.
void ExpectSameRecord(const UrlRecord& a, const UrlRecord& b) {
  const auto same = [](std::string_view x, std::string_view y) {
    return x.data() == y.data() && x.size() == y.size();
  };
  EXPECT_TRUE(same(a.url, b.url) && same(a.localName, b.localName) && same(a.header, b.header) &&
              same(a.extension, b.extension));
  EXPECT_EQ(std::tie(a.hasLocalName, a.hasHeader, a.hasExtension, a.directoryIndex),
            std::tie(b.hasLocalName, b.hasHeader, b.hasExtension, b.directoryIndex));
  const auto numbers = [](const UrlRecord& r) {
    const auto ticks = [](const FILETIME& t) {
      return std::uint64_t{t.dwHighDateTime} << 32 | t.dwLowDateTime;
    };
    return std::vector<std::uint64_t>{r.cacheEntryType,
                                      r.useCount,
                                      r.hitRate,
                                      r.sizeLow,
                                      r.sizeHigh,
                                      r.exemptDelta,
                                      ticks(r.lastModified),
                                      ticks(r.expire),
                                      ticks(r.lastAccess),
                                      ticks(r.lastSync)};
  };
  EXPECT_EQ(numbers(a), numbers(b));
}

// The URLs of the listed records. Each listed record decodes, and decodes
// from the listing as from its offset.
std::vector<std::string> Urls(std::string bytes) {
  IndexDat index(std::move(bytes));
  std::vector<std::string> urls;
  for (std::size_t i = 0; i < index.EntryOffsets().size(); ++i) {
    UrlRecord record, listed;
    EXPECT_TRUE(index.ReadEntry(index.EntryOffsets()[i], record));
    index.ReadListedEntry(i, listed);
    ExpectSameRecord(listed, record);
    urls.emplace_back(record.url);
  }
  return urls;
}

TEST(IndexDatCorruption, TruncatedAnywhereKeepsTheRecordsThatFit) {
  const std::string whole = ThreeEntries();
  const std::vector<std::string> all = Urls(whole);
  ASSERT_EQ(all.size(), 3u);
  for (std::size_t length = 0; length <= whole.size(); length += (length < 0x4100 ? 61 : 7)) {
    std::vector<std::string> expected;
    for (int i = 0; i < 3; ++i) {
      const std::uint32_t at = RecordOffset(whole, i);
      if (at + GetU32(whole, at + 4) * 128 <= length) expected.push_back(all[i]);
    }
    EXPECT_EQ(Urls(whole.substr(0, length)), expected) << "length " << length;
  }
}

TEST(IndexDatCorruption, LoopingHashChainsEnd) {
  std::string selfLoop = ThreeEntries();
  PutU32(selfLoop, kHashTable + 8, kHashTable);
  EXPECT_EQ(Urls(selfLoop).size(), 3u);

  // Two tables pointing at each other: the second is a copy of the first,
  // whose records were delivered already.
  std::string twoLoop = ThreeEntries();
  const std::size_t second = twoLoop.size();
  twoLoop += twoLoop.substr(kHashTable, 4096);
  PutU32(twoLoop, kHashTable + 8, static_cast<std::uint32_t>(second));
  PutU32(twoLoop, second + 8, kHashTable);
  EXPECT_EQ(Urls(twoLoop).size(), 3u);
}

// What the walk delivers: entries and the bytes of their URLs.
struct Yield {
  std::size_t entries = 0, urlBytes = 0;
};

Yield YieldOf(std::string bytes) {
  IndexDat index(std::move(bytes));
  Yield yield;
  for (std::uint32_t offset : index.EntryOffsets()) {
    UrlRecord record;
    if (!index.ReadEntry(offset, record)) continue;
    ++yield.entries;
    yield.urlBytes += record.url.size();
  }
  return yield;
}

// One record with a 32 KB URL and every hash item of the table naming it:
// a small file that once yielded an entry (and a URL copy) per item.
TEST(IndexDatCorruption, ARecordNamedByEveryHashItemIsDeliveredOnce) {
  fixture::ContainerFixture spec;
  fixture::EntryFixture big;
  big.url = "http://big.test/" + std::string(32 * 1024, 'u');
  spec.entries.push_back(big);
  std::string bytes;
  ASSERT_TRUE(fixture::BuildIndexDat(spec, bytes));
  const std::uint32_t record = RecordOffset(bytes, 0);
  for (std::size_t item = kFirstItem; item + 8 <= kHashTable + 4096; item += 8) {
    PutU32(bytes, item, 0x100);
    PutU32(bytes, item + 4, record);
  }
  const Yield yield = YieldOf(bytes);
  EXPECT_EQ(yield.entries, 1u);
  EXPECT_EQ(yield.urlBytes, big.url.size());
}

// Records planted in the blocks of a long header, each claiming the rest of
// the file and naming the same 64 KB URL further on: once every item gave a
// copy of that URL. The URLs delivered must still fit in the file.
TEST(IndexDatCorruption, OverlappingRecordsYieldNoMoreThanTheFileHolds) {
  fixture::ContainerFixture spec;
  fixture::EntryFixture pad, big;
  pad.url = "http://pad.test/";
  pad.header = std::string(400 * 128, ' ');
  big.url = "http://big.test/" + std::string(64 * 1024, 'u');
  spec.entries = {pad, big};
  std::string bytes;
  ASSERT_TRUE(fixture::BuildIndexDat(spec, bytes));
  const std::uint32_t padAt = RecordOffset(bytes, 0);
  const std::uint32_t bigAt = RecordOffset(bytes, 1);
  const std::uint32_t bigUrl = bigAt + GetU32(bytes, bigAt + 52);
  std::size_t item = kFirstItem;
  for (std::uint32_t at = padAt + 128 * 8; at + 128 < bigAt; at += 128, item += 8) {
    std::memcpy(bytes.data() + at, "URL ", 4);
    PutU32(bytes, at + 4, static_cast<std::uint32_t>((bytes.size() - at) / 128));
    PutU32(bytes, at + 52, bigUrl - at);
    PutU32(bytes, item, 0x100);
    PutU32(bytes, item + 4, at);
  }
  ASSERT_GT((item - kFirstItem) / 8 * big.url.size(), 4 * bytes.size());
  const Yield yield = YieldOf(bytes);
  EXPECT_GE(yield.entries, 1u);
  EXPECT_LE(yield.urlBytes, bytes.size());
}

TEST(IndexDatCorruption, OffsetsOutsideTheFileOrOffGridAreSkipped) {
  std::string bytes = ThreeEntries();
  PutU32(bytes, kFirstItem + 4, 0x7fffff80);                      // past the end
  PutU32(bytes, kFirstItem + 8 + 4, RecordOffset(bytes, 1) + 4);  // not on a block
  EXPECT_EQ(Urls(bytes), (std::vector<std::string>{"http://three.test/page.html"}));

  std::string header = ThreeEntries();
  PutU32(header, 32, 0xfffff000);  // first hash table past the end
  EXPECT_TRUE(Urls(header).empty());
  PutU32(header, 32, 0x1000);  // inside the header
  EXPECT_TRUE(Urls(header).empty());
}

TEST(IndexDatCorruption, RecordClaimingMoreBlocksThanTheFileIsSkipped) {
  std::string bytes = ThreeEntries();
  PutU32(bytes, RecordOffset(bytes, 2) + 4, 0x01000000);
  PutU32(bytes, RecordOffset(bytes, 0) + 4, 0);
  EXPECT_EQ(Urls(bytes), (std::vector<std::string>{"http://two.test/page.html"}));
}

TEST(IndexDatCorruption, TextsWithoutTerminatorOrOutsideTheRecord) {
  std::string bytes = ThreeEntries();
  // The first URL runs to the end of its record without a zero byte.
  const std::uint32_t first = RecordOffset(bytes, 0);
  const std::uint32_t size = GetU32(bytes, first + 4) * 128;
  const std::uint32_t urlAt = GetU32(bytes, first + 52);
  for (std::uint32_t i = urlAt; i < size; ++i) bytes[first + i] = 'x';
  // The second record's file name, header and extension point outside it.
  const std::uint32_t second = RecordOffset(bytes, 1);
  PutU32(bytes, second + 60, 0x10000);
  PutU32(bytes, second + 68, 100);
  PutU32(bytes, second + 72, 0xffffff00);
  PutU32(bytes, second + 76, GetU32(bytes, second + 4) * 128);

  IndexDat index(bytes);
  ASSERT_EQ(index.EntryOffsets().size(), 2u);
  UrlRecord record;
  ASSERT_TRUE(index.ReadEntry(index.EntryOffsets()[0], record));
  EXPECT_EQ(record.url, "http://two.test/page.html");
  EXPECT_FALSE(record.hasLocalName);
  EXPECT_FALSE(record.hasHeader);
  EXPECT_FALSE(record.hasExtension);
  EXPECT_FALSE(index.ReadEntry(first, record));
}

TEST(IndexDatCorruption, DirectoryTableDamage) {
  std::string bytes = ThreeEntries();
  PutU32(bytes, 72, 0xffffffff);
  IndexDat many(bytes);
  EXPECT_LE(many.DirectoryNames().size(), 43u);
  EXPECT_EQ(many.EntryOffsets().size(), 3u);

  std::string dots = ThreeEntries();
  dots.replace(80, 8, std::string("..\0\0\0\0\0\0", 8));
  IndexDat unsafe(dots);
  ASSERT_EQ(unsafe.DirectoryNames().size(), 1u);
  EXPECT_EQ(unsafe.DirectoryNames()[0], "");
}

TEST(IndexDatCorruption, RandomDamageNeverReadsOutOfBounds) {
  const std::string whole = ThreeEntries();
  std::mt19937 random(20261208);
  for (int round = 0; round < 3000; ++round) {
    std::string bytes = whole;
    const int flips = 1 + static_cast<int>(random() % 16);
    for (int f = 0; f < flips; ++f) {
      // Damage lands mostly in the hash table and the records.
      const std::size_t at = round % 3 == 0 ? random() % bytes.size()
                                            : kHashTable + random() % (bytes.size() - kHashTable);
      bytes[at] = static_cast<char>(random());
    }
    if (round % 5 == 0) bytes.resize(random() % bytes.size());
    IndexDat index(std::move(bytes));
    for (std::uint32_t offset : index.EntryOffsets()) {
      UrlRecord record;
      ASSERT_TRUE(index.ReadEntry(offset, record));
    }
    ASSERT_LE(index.EntryOffsets().size(), 510u * 8);
  }
}

}  // namespace
