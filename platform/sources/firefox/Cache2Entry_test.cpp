#include "platform/sources/firefox/Cache2Entry.h"

#include <gtest/gtest.h>

#include "platform/sources/testing/ProfileWriter.h"

namespace sources::firefox {
namespace {

using testing::Cache2EntryBytes;
using testing::Cache2EntrySpec;
using testing::ResponseHead;

std::optional<CachedResponse> Parse(const std::string& bytes, std::string* problem = nullptr) {
  std::string ignored;
  return ParseCache2Entry(MemoryBytes(bytes), problem ? *problem : ignored);
}

Cache2EntrySpec Spec(std::string key, std::string body) {
  Cache2EntrySpec spec;
  spec.key = std::move(key);
  spec.body = std::move(body);
  spec.responseHead = ResponseHead(200, "image/png", {"Content-Length: 3"});
  return spec;
}

TEST(Cache2EntryTest, KeysWithAndWithoutAttributesGiveTheUrl) {
  EXPECT_EQ(UrlOfCache2Key("O^partitionKey=%28https%2Ca.test%29,:https://a.test/x"),
            "https://a.test/x");
  EXPECT_EQ(UrlOfCache2Key(":http://b.test/"), "http://b.test/");
  EXPECT_EQ(UrlOfCache2Key("a,:http://c.test/?q=1,2"), "http://c.test/?q=1,2");
  EXPECT_EQ(UrlOfCache2Key(":about:home"), "about:home");
  EXPECT_EQ(UrlOfCache2Key("O^x=1"), "");
  EXPECT_EQ(UrlOfCache2Key(""), "");
}

TEST(Cache2EntryTest, ReadsTheMetadataBehindTheBody) {
  Cache2EntrySpec spec = Spec("a,:https://a.test/img/x.png", "PNG");
  spec.fetchCount = 7;
  spec.lastFetched = 1700000100;
  spec.lastModified = 1600000000;
  auto response = Parse(Cache2EntryBytes(spec));
  ASSERT_TRUE(response);
  EXPECT_EQ(response->url, "https://a.test/img/x.png");
  EXPECT_EQ(response->key, spec.key);
  EXPECT_EQ(response->responseHead, spec.responseHead);
  EXPECT_EQ(response->bodyOffset, 0u);
  EXPECT_EQ(response->bodyLength, 3u);
  EXPECT_EQ(response->fetchCount, 7u);
  EXPECT_EQ(response->lastFetched, FileTimeFromUnixSeconds(1700000100));
  EXPECT_EQ(response->lastModified, FileTimeFromUnixSeconds(1600000000));
  EXPECT_EQ(response->expire, 0u);  // never expires
}

TEST(Cache2EntryTest, ABodyOverOneChunkHasAHashPerChunk) {
  for (std::size_t size : {262144u, 262145u, 600000u}) {
    auto response =
        Parse(Cache2EntryBytes(Spec(":https://a.test/big.bin", std::string(size, 'b'))));
    ASSERT_TRUE(response) << size;
    EXPECT_EQ(response->bodyLength, size);
    EXPECT_EQ(response->url, "https://a.test/big.bin");
  }
}

TEST(Cache2EntryTest, AltDataCutsTheBodyToItsLength) {
  Cache2EntrySpec spec = Spec(":https://a.test/app.js", std::string(100, 'j'));
  spec.altData = "1;60,javascript/moz-script-bytecode";
  auto response = Parse(Cache2EntryBytes(spec));
  ASSERT_TRUE(response);
  EXPECT_EQ(response->bodyLength, 60u);
  EXPECT_EQ(response->altDataType, "javascript/moz-script-bytecode");

  spec.altData = "1;101,too-long";
  EXPECT_FALSE(Parse(Cache2EntryBytes(spec)));
  spec.altData = "garbage";
  EXPECT_FALSE(Parse(Cache2EntryBytes(spec)));
}

TEST(Cache2EntryTest, DamagedEntriesAreRejected) {
  const std::string good = Cache2EntryBytes(Spec(":https://a.test/x.png", std::string(500, 'x')));
  ASSERT_TRUE(Parse(good));
  std::string problem;
  EXPECT_FALSE(Parse("", &problem));
  EXPECT_FALSE(problem.empty());
  EXPECT_FALSE(Parse(good.substr(0, 7)));
  // Cut anywhere: the trailer no longer points at metadata that fits.
  for (std::size_t cut = 1; cut < good.size(); cut += 37)
    EXPECT_FALSE(Parse(good.substr(0, good.size() - cut))) << cut;
  std::string offsetPastEnd = good;
  offsetPastEnd[offsetPastEnd.size() - 3] = '\x7f';
  EXPECT_FALSE(Parse(offsetPastEnd));
  std::string keyTooLong = good;
  keyTooLong[500 + 6 + 24] = '\x40';  // the key size's high byte
  EXPECT_FALSE(Parse(keyTooLong));
  std::string badVersion = good;
  badVersion[500 + 6 + 3] = 9;
  EXPECT_FALSE(Parse(badVersion));
  std::string unterminated = good;
  unterminated[unterminated.size() - 9] = 'x';  // the last element's NUL
  EXPECT_FALSE(Parse(unterminated));
}

}  // namespace
}  // namespace sources::firefox
