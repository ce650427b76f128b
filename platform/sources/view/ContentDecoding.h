// Undoes a response's Content-Encoding (gzip, deflate, br, zstd) within
// bounds, so that a decoding bomb costs neither memory nor disk.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sources::view {

// The decoded body may be at most `maxOutput` bytes and at most `maxRatio`
// times the stored size (`ratioFloor` bytes are always allowed, so that tiny
// bodies of repeated bytes still decode). Deflate itself cannot exceed about
// 1032:1; brotli and zstd can reach millions to one, which only a bomb needs.
struct DecodeLimits {
  std::uint64_t maxOutput = std::uint64_t{256} << 20;
  std::uint64_t maxRatio = 1024;
  std::uint64_t ratioFloor = std::uint64_t{1} << 20;

  // The most output allowed for `storedSize` stored bytes.
  std::uint64_t CapFor(std::uint64_t storedSize) const;
};

enum class DecodeStatus {
  kDecoded,
  kUnsupported,  // a coding we do not decode (the body is not served raw)
  kDamaged,      // not a valid or complete stream
  kTooLarge,     // over the limits: refused, nothing kept
};

// The codings named by the head's Content-Encoding lines, in the order the
// server applied them, lower-cased, "identity" left out.
std::vector<std::string> ContentCodingsOf(const std::string& responseHead);

// Decodes `stored` through `codings` (undone last to first) into `out`.
// `out` holds the decoded body only when kDecoded is returned; with no
// codings it is `stored` itself.
DecodeStatus DecodeBody(const std::vector<std::string>& codings, std::string_view stored,
                        const DecodeLimits& limits, std::string& out);

}  // namespace sources::view
