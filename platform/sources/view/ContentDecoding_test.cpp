#include "platform/sources/view/ContentDecoding.h"

#include <brotli/encode.h>
#include <gtest/gtest.h>
#include <zlib.h>
#include <zstd.h>

namespace sources::view {
namespace {

// What deflate makes of `data` with `flush`.
std::string DeflateStep(z_stream& z, const std::string& data, int flush) {
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  std::string out;
  char buffer[65536];
  int rc = Z_OK;
  do {
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = sizeof buffer;
    rc = deflate(&z, flush);
    out.append(buffer, sizeof buffer - z.avail_out);
  } while (z.avail_out == 0 || (flush == Z_FINISH && rc != Z_STREAM_END));
  return out;
}

// zlib's deflate with `windowBits` (31 gzip, 15 zlib, -15 raw).
std::string Deflate(const std::string& data, int windowBits) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, windowBits, 9, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out = DeflateStep(z, data, Z_FINISH);
  deflateEnd(&z);
  return out;
}

void AppendLe32(std::string& out, uLong value) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xff);
}

// A valid gzip stream of `mebibytes` MiB of zeros, made cheaply: a
// full flush makes each MiB's segment independent of the ones before, so one
// segment is repeated, and the trailer is computed.
std::string GzipOfZeros(int mebibytes) {
  const std::string zeros(1 << 20, '\0');
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, 31, 9, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out = DeflateStep(z, zeros, Z_FULL_FLUSH);
  const std::string segment = DeflateStep(z, zeros, Z_FULL_FLUSH);
  std::string end = DeflateStep(z, "", Z_FINISH);
  deflateEnd(&z);
  for (int i = 1; i < mebibytes; ++i) out += segment;
  out += end.substr(0, end.size() - 8);
  const uLong one = crc32(0, reinterpret_cast<const Bytef*>(zeros.data()), 1 << 20);
  uLong crc = one;
  for (int i = 1; i < mebibytes; ++i) crc = crc32_combine(crc, one, 1 << 20);
  AppendLe32(out, crc);
  AppendLe32(out, static_cast<uLong>(mebibytes) << 20);
  return out;
}

std::string Gzip(const std::string& data) {
  return Deflate(data, 31);
}

std::string Brotli(const std::string& data) {
  std::string out(BrotliEncoderMaxCompressedSize(data.size()) + 16, '\0');
  std::size_t size = out.size();
  EXPECT_TRUE(BrotliEncoderCompress(5, BROTLI_DEFAULT_WINDOW, BROTLI_MODE_GENERIC, data.size(),
                                    reinterpret_cast<const std::uint8_t*>(data.data()), &size,
                                    reinterpret_cast<std::uint8_t*>(out.data())));
  out.resize(size);
  return out;
}

std::string Zstd(const std::string& data) {
  std::string out(ZSTD_compressBound(data.size()), '\0');
  const std::size_t size = ZSTD_compress(out.data(), out.size(), data.data(), data.size(), 3);
  EXPECT_FALSE(ZSTD_isError(size));
  out.resize(size);
  return out;
}

const std::string kHtml = [] {
  std::string html = "<!doctype html><title>t</title>";
  for (int i = 0; i < 200; ++i) html += "<p>line " + std::to_string(i) + "</p>\n";
  return html;
}();

DecodeStatus Decode(const std::string& codings, const std::string& stored, std::string& out,
                    const DecodeLimits& limits = {}) {
  return DecodeBody(ContentCodingsOf("HTTP/1.1 200 OK\r\nContent-Encoding: " + codings + "\r\n"),
                    stored, limits, out);
}

TEST(ContentDecodingTest, CodingsComeFromEveryContentEncodingLineInOrder) {
  EXPECT_EQ(ContentCodingsOf("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n"),
            std::vector<std::string>{});
  EXPECT_EQ(ContentCodingsOf("HTTP/1.1 200 OK\r\ncontent-encoding: GZip\r\n"),
            std::vector<std::string>{"gzip"});
  EXPECT_EQ(ContentCodingsOf("HTTP/1.1 200 OK\r\nContent-Encoding: deflate , identity,br\r\n"
                             "X-Content-Encoding: zstd\r\nCONTENT-ENCODING: zstd\r\n"),
            (std::vector<std::string>{"deflate", "br", "zstd"}));
}

TEST(ContentDecodingTest, EachSupportedCodingRoundTrips) {
  struct Case {
    const char* coding;
    std::string stored;
  };
  const Case cases[] = {
      {"gzip", Gzip(kHtml)},
      {"x-gzip", Gzip(kHtml)},
      {"deflate", Deflate(kHtml, 15)},
      {"deflate", Deflate(kHtml, -15)},
      {"br", Brotli(kHtml)},
      {"zstd", Zstd(kHtml)},
      {"identity", kHtml},
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(Decode(c.coding, c.stored, out), DecodeStatus::kDecoded) << c.coding;
    EXPECT_EQ(out, kHtml) << c.coding;
  }
}

TEST(ContentDecodingTest, StackedCodingsAndConcatenatedGzipMembersDecode) {
  std::string out;
  EXPECT_EQ(Decode("deflate, br", Brotli(Deflate(kHtml, 15)), out), DecodeStatus::kDecoded);
  EXPECT_EQ(out, kHtml);
  EXPECT_EQ(Decode("gzip", Gzip("first ") + Gzip("second"), out), DecodeStatus::kDecoded);
  EXPECT_EQ(out, "first second");
}

TEST(ContentDecodingTest, DamagedTruncatedAndUnknownBodiesAreRefusedAndLeaveNothing) {
  const std::string gzip = Gzip(kHtml);
  std::string damaged = gzip;
  damaged[damaged.size() / 2] ^= 0x55;
  struct Case {
    const char* coding;
    std::string stored;
    DecodeStatus expected;
  };
  const Case cases[] = {
      {"gzip", gzip.substr(0, gzip.size() - 12), DecodeStatus::kDamaged},
      {"gzip", damaged, DecodeStatus::kDamaged},
      {"gzip", "", DecodeStatus::kDamaged},
      {"gzip", kHtml, DecodeStatus::kDamaged},
      {"br", Brotli(kHtml).substr(0, 20), DecodeStatus::kDamaged},
      {"br", "\xff\xff\xff\xff", DecodeStatus::kDamaged},
      {"zstd", Zstd(kHtml).substr(0, 30), DecodeStatus::kDamaged},
      {"zstd", "", DecodeStatus::kDamaged},
      {"compress", kHtml, DecodeStatus::kUnsupported},
      {"gzip, sdch", Gzip(kHtml), DecodeStatus::kUnsupported},
  };
  for (const Case& c : cases) {
    std::string out = "left over";
    EXPECT_EQ(Decode(c.coding, c.stored, out), c.expected) << c.coding << " " << c.stored.size();
    EXPECT_TRUE(out.empty());
  }
}

TEST(ContentDecodingTest, TheCapCountsExactlyAndAppliesToEveryStage) {
  DecodeLimits limits;
  limits.maxOutput = 1000;
  limits.maxRatio = 1000000;
  std::string out;
  EXPECT_EQ(Decode("gzip", Gzip(std::string(1000, 'a')), out, limits), DecodeStatus::kDecoded);
  EXPECT_EQ(out.size(), 1000u);
  EXPECT_EQ(Decode("gzip", Gzip(std::string(1001, 'a')), out, limits), DecodeStatus::kTooLarge);
  EXPECT_EQ(Decode("identity", std::string(1001, 'a'), out, limits), DecodeStatus::kTooLarge);
  // The last stage undone expands past the cap.
  EXPECT_EQ(Decode("gzip, br", Brotli(Gzip(std::string(5000, 'a'))), out, limits),
            DecodeStatus::kTooLarge);
  EXPECT_TRUE(out.empty());
}

TEST(ContentDecodingTest, RatioCapHasAFloorAndStopsSmallBombs) {
  DecodeLimits limits;
  EXPECT_EQ(limits.CapFor(10), std::uint64_t{1} << 20);
  EXPECT_EQ(limits.CapFor(4096), 4096u * 1024);
  EXPECT_EQ(limits.CapFor(std::uint64_t{1} << 40), std::uint64_t{256} << 20);
  // 16 MiB of zeros in a few hundred bytes.
  const std::string zeros(16 << 20, '\0');
  std::string out;
  EXPECT_EQ(Decode("zstd", Zstd(zeros), out), DecodeStatus::kTooLarge);
  EXPECT_EQ(Decode("br", Brotli(zeros), out), DecodeStatus::kTooLarge);
  EXPECT_TRUE(out.empty());
}

TEST(ContentDecodingTest, ASmallGzipThatExpandsPast256MiBIsRefused) {
  std::string out;
  ASSERT_EQ(Decode("gzip", GzipOfZeros(3), out), DecodeStatus::kDecoded);
  EXPECT_EQ(out, std::string(3 << 20, '\0'));
  const std::string bomb = GzipOfZeros(257);
  ASSERT_LT(bomb.size(), 300u * 1024);
  // Only the absolute cap, not the ratio, stands in its way.
  DecodeLimits noRatio;
  noRatio.maxRatio = std::uint64_t{1} << 30;
  EXPECT_EQ(Decode("gzip", bomb, out, noRatio), DecodeStatus::kTooLarge);
  EXPECT_TRUE(out.empty());
}

}  // namespace
}  // namespace sources::view
