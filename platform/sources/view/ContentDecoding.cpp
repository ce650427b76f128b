#include "platform/sources/view/ContentDecoding.h"

#include <brotli/decode.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <memory>

namespace sources::view {

namespace {

constexpr std::size_t kChunk = 64 * 1024;
constexpr std::size_t kMaxCodings = 4;
// Browsers cap the zstd window at 8 MiB; larger windows cost memory we do
// not grant a stored body.
constexpr int kZstdWindowLogMax = 23;

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) {
    return static_cast<char>(c | (c >= 'A' && c <= 'Z' ? 0x20 : 0));
  });
  return lower;
}

std::string_view Trim(std::string_view text) {
  std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  std::size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

// Appends `chunk` unless that would pass `cap`.
bool AppendWithin(std::string& out, const char* chunk, std::size_t size, std::uint64_t cap) {
  if (out.size() + size > cap) return false;
  out.append(chunk, size);
  return true;
}

bool StartsGzipMember(std::string_view rest) {
  return rest.size() >= 2 && static_cast<unsigned char>(rest[0]) == 0x1f &&
         static_cast<unsigned char>(rest[1]) == 0x8b;
}

bool HasZlibHeader(std::string_view in) {
  if (in.size() < 2) return false;
  const unsigned cmf = static_cast<unsigned char>(in[0]);
  const unsigned flg = static_cast<unsigned char>(in[1]);
  return (cmf & 0x0f) == 8 && (cmf >> 4) <= 7 && (cmf * 256 + flg) % 31 == 0;
}

// zlib's inflate for gzip (concatenated members included), zlib and raw
// deflate streams; bytes after the last stream are ignored, as browsers do.
DecodeStatus Inflate(std::string_view in, int windowBits, std::uint64_t cap, std::string& out) {
  z_stream z{};
  if (inflateInit2(&z, windowBits) != Z_OK) return DecodeStatus::kDamaged;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z.avail_in = static_cast<uInt>(in.size());
  char buffer[kChunk];
  DecodeStatus status = DecodeStatus::kDamaged;
  for (;;) {
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = kChunk;
    const int rc = inflate(&z, Z_NO_FLUSH);
    if (!AppendWithin(out, buffer, kChunk - z.avail_out, cap)) {
      status = DecodeStatus::kTooLarge;
      break;
    }
    if (rc == Z_STREAM_END) {
      std::string_view rest(reinterpret_cast<const char*>(z.next_in), z.avail_in);
      if (windowBits > 15 && StartsGzipMember(rest) && inflateReset(&z) == Z_OK) continue;
      status = DecodeStatus::kDecoded;
      break;
    }
    if (rc != Z_OK) break;  // damaged, or input ended inside the stream
  }
  inflateEnd(&z);
  return status;
}

DecodeStatus Unbrotli(std::string_view in, std::uint64_t cap, std::string& out) {
  std::unique_ptr<BrotliDecoderState, decltype(&BrotliDecoderDestroyInstance)> state(
      BrotliDecoderCreateInstance(nullptr, nullptr, nullptr), BrotliDecoderDestroyInstance);
  if (!state) return DecodeStatus::kDamaged;
  const auto* next_in = reinterpret_cast<const std::uint8_t*>(in.data());
  std::size_t available_in = in.size();
  std::uint8_t buffer[kChunk];
  for (;;) {
    std::uint8_t* next_out = buffer;
    std::size_t available_out = kChunk;
    const BrotliDecoderResult result = BrotliDecoderDecompressStream(
        state.get(), &available_in, &next_in, &available_out, &next_out, nullptr);
    if (!AppendWithin(out, reinterpret_cast<const char*>(buffer), kChunk - available_out, cap))
      return DecodeStatus::kTooLarge;
    if (result == BROTLI_DECODER_RESULT_SUCCESS) return DecodeStatus::kDecoded;
    if (result != BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT) return DecodeStatus::kDamaged;
  }
}

DecodeStatus Unzstd(std::string_view in, std::uint64_t cap, std::string& out) {
  std::unique_ptr<ZSTD_DCtx, decltype(&ZSTD_freeDCtx)> context(ZSTD_createDCtx(), ZSTD_freeDCtx);
  if (!context ||
      ZSTD_isError(ZSTD_DCtx_setParameter(context.get(), ZSTD_d_windowLogMax, kZstdWindowLogMax)))
    return DecodeStatus::kDamaged;
  ZSTD_inBuffer input{in.data(), in.size(), 0};
  char buffer[kChunk];
  for (;;) {
    ZSTD_outBuffer output{buffer, kChunk, 0};
    const std::size_t left = ZSTD_decompressStream(context.get(), &output, &input);
    if (ZSTD_isError(left)) return DecodeStatus::kDamaged;
    if (!AppendWithin(out, buffer, output.pos, cap)) return DecodeStatus::kTooLarge;
    const bool inputDone = input.pos == input.size;
    const bool outputFull = output.pos == output.size;
    if (inputDone && !outputFull)
      return left == 0 ? DecodeStatus::kDecoded : DecodeStatus::kDamaged;
  }
}

DecodeStatus DecodeOne(const std::string& coding, std::string_view in, std::uint64_t cap,
                       std::string& out) {
  out.clear();
  if (coding == "gzip" || coding == "x-gzip") return Inflate(in, 16 + MAX_WBITS, cap, out);
  if (coding == "deflate") return Inflate(in, HasZlibHeader(in) ? MAX_WBITS : -MAX_WBITS, cap, out);
  if (coding == "br") return Unbrotli(in, cap, out);
  if (coding == "zstd") return Unzstd(in, cap, out);
  return DecodeStatus::kUnsupported;
}

bool IsDecodable(const std::string& coding) {
  return coding == "gzip" || coding == "x-gzip" || coding == "deflate" || coding == "br" ||
         coding == "zstd";
}

}  // namespace

std::uint64_t DecodeLimits::CapFor(std::uint64_t storedSize) const {
  const std::uint64_t byRatio = storedSize > maxOutput / std::max<std::uint64_t>(maxRatio, 1)
                                    ? maxOutput
                                    : storedSize * maxRatio;
  return std::min(maxOutput, std::max(ratioFloor, byRatio));
}

std::vector<std::string> ContentCodingsOf(const std::string& responseHead) {
  static constexpr std::string_view kName = "content-encoding:";
  std::vector<std::string> codings;
  std::size_t at = 0;
  while (at < responseHead.size()) {
    std::size_t end = responseHead.find('\n', at);
    if (end == std::string::npos) end = responseHead.size();
    std::string_view line(responseHead.data() + at, end - at);
    at = end + 1;
    if (line.size() < kName.size() || Lower(line.substr(0, kName.size())) != kName) continue;
    std::string_view list = line.substr(kName.size());
    while (!list.empty()) {
      std::size_t comma = list.find(',');
      std::string coding = Lower(Trim(list.substr(0, comma)));
      if (!coding.empty() && coding != "identity") codings.push_back(std::move(coding));
      list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    }
  }
  return codings;
}

DecodeStatus DecodeBody(const std::vector<std::string>& codings, std::string_view stored,
                        const DecodeLimits& limits, std::string& out) {
  out.clear();
  if (codings.size() > kMaxCodings) return DecodeStatus::kUnsupported;
  for (const std::string& coding : codings)
    if (!IsDecodable(coding)) return DecodeStatus::kUnsupported;
  if (codings.empty()) {
    if (stored.size() > limits.maxOutput) return DecodeStatus::kTooLarge;
    out.assign(stored);
    return DecodeStatus::kDecoded;
  }
  const std::uint64_t cap = limits.CapFor(stored.size());
  std::string input(stored);
  for (auto coding = codings.rbegin(); coding != codings.rend(); ++coding) {
    std::string decoded;
    const DecodeStatus status = DecodeOne(*coding, input, cap, decoded);
    if (status != DecodeStatus::kDecoded) {
      out.clear();
      return status;
    }
    input = std::move(decoded);
  }
  out = std::move(input);
  return DecodeStatus::kDecoded;
}

}  // namespace sources::view
