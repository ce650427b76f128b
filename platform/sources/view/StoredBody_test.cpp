#include "platform/sources/view/StoredBody.h"

#include <gtest/gtest.h>

#include "platform/sources/testing/ProfileWriter.h"

namespace sources::view {
namespace {

std::string Cache2Bytes(const std::string& body, const std::string& altData = "") {
  testing::Cache2EntrySpec spec;
  spec.key = "O^partitionKey=%28https%2Ca.test%29,:https://a.test/x.png";
  spec.body = body;
  spec.responseHead = testing::ResponseHead(200, "image/png");
  spec.altData = altData;
  return testing::Cache2EntryBytes(spec);
}

std::string SimpleBytes(const std::string& body) {
  testing::SimpleEntrySpec spec;
  spec.key = "1/0/_dk_https://a.test https://a.test https://a.test/x.png";
  spec.body = body;
  spec.responseHead = testing::ResponseHead(200, "image/png");
  return testing::SimpleCacheEntryBytes(spec);
}

void PutLe32(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
}

void PutBe32(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * (3 - i)));
}

std::optional<StoredBody> Read(const std::string& bytes, BrowserKind layout,
                               std::uint64_t limit = kMaxStoredBody) {
  std::string problem;
  return ReadStoredBody(MemoryBytes(bytes), layout, limit, problem);
}

TEST(StoredBodyTest, BothLayoutsGiveTheStoredBodyUrlAndHead) {
  const std::string body = "\x89PNG\r\n\x1a\n" + std::string(300000, 'p');  // two cache2 chunks
  for (auto [bytes, layout] : {std::pair{Cache2Bytes(body), BrowserKind::kFirefox},
                               std::pair{SimpleBytes(body), BrowserKind::kChromium}}) {
    auto stored = Read(bytes, layout);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->bytes, body);
    EXPECT_EQ(stored->url, "https://a.test/x.png");
    EXPECT_NE(stored->responseHead.find("image/png"), std::string::npos);
  }
  auto empty = Read(SimpleBytes(""), BrowserKind::kChromium);
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->bytes, "");
}

TEST(StoredBodyTest, AFirefoxBodyIsCutAtItsAltDataLength) {
  auto stored = Read(Cache2Bytes("real-bodyALTERNATIVE", "1;9,javascript/moz-script-bytecode"),
                     BrowserKind::kFirefox);
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->bytes, "real-body");
  EXPECT_FALSE(Read(Cache2Bytes("short", "1;99,x"), BrowserKind::kFirefox));
}

TEST(StoredBodyTest, ABodyClaimingASizePastTheEndOfTheFileIsRefused) {
  std::string firefox = Cache2Bytes("body");
  PutBe32(firefox, firefox.size() - 4, static_cast<std::uint32_t>(firefox.size() + 100));
  EXPECT_FALSE(Read(firefox, BrowserKind::kFirefox));

  const std::string chromiumBody = "body";
  std::string chromium = SimpleBytes(chromiumBody);
  const std::size_t key =
      std::string("1/0/_dk_https://a.test https://a.test https://a.test/x.png").size();
  const std::size_t streamEnd = 24 + key + chromiumBody.size();
  PutLe32(chromium, streamEnd + 16, static_cast<std::uint32_t>(chromium.size()));
  EXPECT_FALSE(Read(chromium, BrowserKind::kChromium));
  // The same file cut short: the end records no longer fit.
  EXPECT_FALSE(Read(SimpleBytes(chromiumBody).substr(0, streamEnd + 10), BrowserKind::kChromium));
}

TEST(StoredBodyTest, ABodyOverTheLimitOrOfTheOtherLayoutIsRefused) {
  EXPECT_FALSE(Read(Cache2Bytes(std::string(2000, 'x')), BrowserKind::kFirefox, 1999));
  EXPECT_TRUE(Read(Cache2Bytes(std::string(2000, 'x')), BrowserKind::kFirefox, 2000));
  EXPECT_FALSE(Read(SimpleBytes("x"), BrowserKind::kFirefox));
  EXPECT_FALSE(Read(Cache2Bytes("x"), BrowserKind::kChromium));
}

}  // namespace
}  // namespace sources::view
