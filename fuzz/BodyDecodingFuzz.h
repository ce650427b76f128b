// What the entry fuzzers run on every input after parsing it: the body
// extracted and decoded as the view folder writes it, and the stored body
// through every decoder, under a cap that keeps one input's memory small.
#pragma once

#include <string>

#include "platform/sources/view/ContentDecoding.h"
#include "platform/sources/view/StoredBody.h"

namespace fuzz {

inline void ExtractAndDecodeBody(const sources::ByteSource& file, sources::BrowserKind layout) {
  sources::view::DecodeLimits limits;
  limits.maxOutput = 16 << 20;
  std::string problem;
  auto body = sources::view::ReadStoredBody(file, layout, sources::view::kMaxStoredBody, problem);
  if (!body) return;
  if (body->bytes.size() > file.Size()) __builtin_trap();
  std::string decoded;
  const auto codings = sources::view::ContentCodingsOf(body->responseHead);
  if (sources::view::DecodeBody(codings, body->bytes, limits, decoded) ==
          sources::view::DecodeStatus::kDecoded &&
      decoded.size() > limits.CapFor(body->bytes.size()) && !codings.empty())
    __builtin_trap();
  for (const char* coding : {"gzip", "deflate", "br", "zstd"}) {
    if (sources::view::DecodeBody({coding}, body->bytes, limits, decoded) ==
            sources::view::DecodeStatus::kDecoded &&
        decoded.size() > limits.CapFor(body->bytes.size()))
      __builtin_trap();
  }
}

}  // namespace fuzz
