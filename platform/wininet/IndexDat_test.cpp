#include "platform/wininet/IndexDat.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/wininet/testing/IndexDatWriter.h"

namespace {

using urlcache::IndexDat;
using urlcache::UrlRecord;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string WineContent() {
  return ReadFile(std::string(SITELORE_SHARED_DIR) +
                  "/fixtures/wine-basic/prefix/drive_c/users/root/AppData/Local/Microsoft/"
                  "Windows/INetCache/Content.IE5/index.dat");
}

std::uint64_t Ticks(const FILETIME& ft) {
  return (std::uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime;
}

TEST(IndexDat, ReadsWineFileInHashTableOrder) {
  IndexDat index(WineContent());
  ASSERT_TRUE(index.SignatureKnown());
  EXPECT_EQ(index.DirectoryNames(),
            (std::vector<std::string>{"NHI2JCZ1", "J95PGS3G", "VWASQFQ8", "RPWFMVVN"}));
  std::vector<std::string> urls;
  for (std::uint32_t offset : index.EntryOffsets()) {
    UrlRecord record;
    ASSERT_TRUE(index.ReadEntry(offset, record));
    urls.emplace_back(record.url);
  }
  EXPECT_EQ(urls, (std::vector<std::string>{
                      "http://www.example.com/PHOTO.JPG", "http://cdn.other.org:8080/a/movie.swf",
                      "http://news.example.com/x.js", "http://www.example.com/logo.gif",
                      "http://www.example.com/index.html"}));

  UrlRecord logo;
  ASSERT_TRUE(index.ReadEntry(index.EntryOffsets()[3], logo));
  EXPECT_EQ(logo.localName, "logo[0].gif");
  EXPECT_EQ(logo.directoryIndex, 1);
  EXPECT_EQ(logo.header, "HTTP/1.1 200 OK\r\nContent-Type: image/gif\r\n\r\n");
  EXPECT_EQ(logo.extension, "gif");
  EXPECT_EQ(logo.sizeLow, 42u);
  EXPECT_EQ(Ticks(logo.lastModified), 0x01db8b4b4a204b00u);
  EXPECT_EQ(Ticks(logo.expire), 0x01e280d967119400u);
  EXPECT_EQ(Ticks(logo.lastSync), 0x01dd874d22f9a300u);
}

TEST(IndexDat, FatTimesAreUtcAndInvalidOnesAreZero) {
  EXPECT_EQ(Ticks(urlcache::FatDateTimeToFileTime(0)), 0u);
  EXPECT_EQ(Ticks(urlcache::FatDateTimeToFileTime(fixture::FatDateTime(2031, 5, 17, 12, 30, 0))),
            0x01e280d967119400u);
  // Month 13, day 0, 25 o'clock.
  EXPECT_EQ(Ticks(urlcache::FatDateTimeToFileTime((45u << 9) | (13u << 5) | 1u)), 0u);
  EXPECT_EQ(Ticks(urlcache::FatDateTimeToFileTime((45u << 9) | (1u << 5))), 0u);
  EXPECT_EQ(Ticks(urlcache::FatDateTimeToFileTime(((45u << 9) | (1u << 5) | 1u) | (25u << 27))),
            0u);
  EXPECT_EQ(Ticks(urlcache::FatDateTimeToFileTime(fixture::FatDateTime(2024, 2, 29, 0, 0, 0))),
            Ticks(fixture::FileTimeOf(2024, 2, 29, 0, 0, 0)));
}

TEST(IndexDat, UnsafeNamesAreNotPathComponents) {
  for (const char* bad : {"", ".", "..", "a/b", "a\\b", "x\ny", "\x7f"})
    EXPECT_FALSE(urlcache::IsSafePathComponent(bad)) << bad;
  for (const char* good : {"logo[1].gif", "...", "a b", "$(x);"})
    EXPECT_TRUE(urlcache::IsSafePathComponent(good)) << good;
  // Names read eight bytes at a time: every byte at every place of names
  // shorter and longer than eight.
  const auto allowed = [](unsigned char c) {
    return c >= 0x20 && c != 0x7f && c != '/' && c != '\\';
  };
  for (std::size_t length = 1; length <= 20; ++length) {
    for (std::size_t at = 0; at < length; ++at) {
      for (int byte = 0; byte < 256; ++byte) {
        std::string name(length, 'a');
        name[at] = static_cast<char>(byte);
        const bool expected = allowed(static_cast<unsigned char>(byte)) && name != ".";
        ASSERT_EQ(urlcache::IsSafePathComponent(name), expected)
            << "length " << length << " at " << at << " byte " << byte;
      }
    }
  }
}

TEST(IndexDat, SpillsIntoChainedHashTablesInOrder) {
  fixture::ContainerFixture spec;
  for (int i = 0; i < 1200; ++i) {
    fixture::EntryFixture e;
    e.url = "http://site" + std::to_string(i) + ".test/";
    spec.entries.push_back(e);
  }
  std::string bytes;
  ASSERT_TRUE(fixture::BuildIndexDat(spec, bytes));
  IndexDat index(std::move(bytes));
  ASSERT_EQ(index.EntryOffsets().size(), 1200u);
  UrlRecord last;
  ASSERT_TRUE(index.ReadEntry(index.EntryOffsets().back(), last));
  EXPECT_EQ(last.url, "http://site1199.test/");
}

// One record decoded after another into the same UrlRecord keeps nothing of
// the one before: what the second lacks is absent, not left over.
TEST(IndexDat, DecodingAnotherRecordLeavesNothingOfTheFirst) {
  IndexDat index(WineContent());
  UrlRecord record;
  ASSERT_TRUE(index.ReadEntry(index.EntryOffsets()[3], record));
  ASSERT_TRUE(record.hasHeader && record.hasExtension && record.hasLocalName);

  fixture::ContainerFixture spec;
  fixture::EntryFixture bare;
  bare.url = "http://bare.test/";
  spec.entries.push_back(bare);
  std::string bytes;
  ASSERT_TRUE(fixture::BuildIndexDat(spec, bytes));
  IndexDat other(std::move(bytes));
  ASSERT_TRUE(other.ReadEntry(other.EntryOffsets()[0], record));
  EXPECT_EQ(record.url, "http://bare.test/");
  EXPECT_FALSE(record.hasHeader);
  EXPECT_TRUE(record.header.empty());
  EXPECT_FALSE(record.hasExtension);
  EXPECT_TRUE(record.extension.empty());
  EXPECT_FALSE(record.hasLocalName);
  EXPECT_TRUE(record.localName.empty());
  EXPECT_EQ(record.sizeLow, 0u);
  EXPECT_EQ(Ticks(record.lastSync), 0u);
}

TEST(IndexDat, UnknownSignatureHasNoEntries) {
  std::string bytes = WineContent();
  bytes.replace(0, 4, "XINE");
  IndexDat index(std::move(bytes));
  EXPECT_FALSE(index.SignatureKnown());
  EXPECT_TRUE(index.EntryOffsets().empty());
  EXPECT_TRUE(index.DirectoryNames().empty());
}

}  // namespace
