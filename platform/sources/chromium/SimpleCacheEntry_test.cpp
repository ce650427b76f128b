#include "platform/sources/chromium/SimpleCacheEntry.h"

#include <gtest/gtest.h>

#include "platform/sources/testing/ProfileWriter.h"

namespace sources::chromium {
namespace {

using testing::ResponseHead;
using testing::SimpleCacheEntryBytes;
using testing::SimpleEntrySpec;

std::optional<CachedResponse> Parse(const std::string& bytes) {
  std::string problem;
  return ParseSimpleCacheEntry(MemoryBytes(bytes), problem);
}

SimpleEntrySpec Spec(std::string key, std::string body) {
  SimpleEntrySpec spec;
  spec.key = std::move(key);
  spec.body = std::move(body);
  spec.responseHead = ResponseHead(200, "text/css", {"Cache-Control: max-age=60"});
  return spec;
}

TEST(SimpleCacheEntryTest, EveryKeyFormGivesItsUrl) {
  EXPECT_EQ(UrlOfSimpleCacheKey("1/0/_dk_https://a.test https://a.test https://a.test/x.css"),
            "https://a.test/x.css");
  EXPECT_EQ(UrlOfSimpleCacheKey("1/0/_dk_s_http://d.test http://d.test http://m.d.test/page"),
            "http://m.d.test/page");
  EXPECT_EQ(UrlOfSimpleCacheKey("1/0/https://a.test/y"), "https://a.test/y");
  EXPECT_EQ(UrlOfSimpleCacheKey("https://a.test/old"), "https://a.test/old");
  EXPECT_EQ(UrlOfSimpleCacheKey("1/0/_dk_nospace"), "");
}

TEST(SimpleCacheEntryTest, ReadsBodyPlaceHeadersAndTime) {
  for (bool sha : {true, false}) {
    SimpleEntrySpec spec =
        Spec("1/0/_dk_https://a.test https://a.test https://a.test/s.css", "body{}");
    spec.keySha256 = sha;
    auto response = Parse(SimpleCacheEntryBytes(spec));
    ASSERT_TRUE(response);
    EXPECT_EQ(response->url, "https://a.test/s.css");
    EXPECT_EQ(response->bodyOffset, 24 + spec.key.size());
    EXPECT_EQ(response->bodyLength, 6u);
    EXPECT_EQ(response->responseHead, spec.responseHead);
    EXPECT_EQ(response->lastFetched, FileTimeFrom1601Micros(spec.responseTime1601Micros));
  }
}

TEST(SimpleCacheEntryTest, TheOldBareUrlKeyAndALargeBodyAreRead) {
  auto response =
      Parse(SimpleCacheEntryBytes(Spec("http://old.test/a.png", std::string(300000, 'p'))));
  ASSERT_TRUE(response);
  EXPECT_EQ(response->url, "http://old.test/a.png");
  EXPECT_EQ(response->bodyLength, 300000u);
}

TEST(SimpleCacheEntryTest, DamagedEntriesAreRejected) {
  const std::string good = SimpleCacheEntryBytes(Spec("https://a.test/x", std::string(200, 'x')));
  ASSERT_TRUE(Parse(good));
  EXPECT_FALSE(Parse(""));
  for (std::size_t cut = 1; cut < good.size(); cut += 29)
    EXPECT_FALSE(Parse(good.substr(0, good.size() - cut))) << cut;
  std::string badMagic = good;
  badMagic[0] ^= 1;
  EXPECT_FALSE(Parse(badMagic));
  std::string otherVersion = good;
  otherVersion[8] = 6;
  EXPECT_FALSE(Parse(otherVersion));
  std::string hugeKey = good;
  hugeKey[15] = '\x7f';
  EXPECT_FALSE(Parse(hugeKey));
  std::string hugeStream0 = good;
  hugeStream0[hugeStream0.size() - 6] = '\x7f';  // the final record's stream size
  EXPECT_FALSE(Parse(hugeStream0));
  std::string noBodyRecord = good;
  noBodyRecord[24 + 16 + 200] ^= 1;  // the body's end record magic
  EXPECT_FALSE(Parse(noBodyRecord));
}

TEST(SimpleCacheEntryTest, AResponseInfoWithoutHeadersIsRejected) {
  std::string head;
  FileTime request = 0, response = 0;
  EXPECT_FALSE(ParseResponseInfo("", head, request, response));
  EXPECT_FALSE(ParseResponseInfo(std::string(64, '\0'), head, request, response));
  // A length that claims more than there is.
  std::string info(16, '\0');
  info += "\xff\xff\x00\x00HTTP/1.1 200 OK";
  EXPECT_FALSE(ParseResponseInfo(info, head, request, response));
}

}  // namespace
}  // namespace sources::chromium
