#include "tools/JsonStream.h"

#include <charconv>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <nlohmann/json.hpp>

namespace {

constexpr std::size_t kFlushBytes = 64 << 10;

// True when every byte stands in a JSON string as it is: printable ASCII
// (DEL included) other than the quote and the backslash.
bool NeedsNoEscape(std::string_view text) {
#if defined(__SSE2__)
  const __m128i space = _mm_set1_epi8(' ');
  const __m128i quote = _mm_set1_epi8('"');
  const __m128i backslash = _mm_set1_epi8('\\');
  const auto plain16 = [&](const char* at) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    // Signed: bytes from 0x80 up count as below the blank too.
    const __m128i bad =
        _mm_or_si128(_mm_cmplt_epi8(bytes, space),
                     _mm_or_si128(_mm_cmpeq_epi8(bytes, quote), _mm_cmpeq_epi8(bytes, backslash)));
    return _mm_movemask_epi8(bad) == 0;
  };
  if (text.size() >= 16) {
    // The last sixteen bytes overlap those before them rather than being
    // checked one by one.
    for (std::size_t at = 0; at + 16 < text.size(); at += 16)
      if (!plain16(text.data() + at)) return false;
    return plain16(text.data() + text.size() - 16);
  }
#endif
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte > 0x7f || c == '"' || c == '\\') return false;
  }
  return true;
}

}  // namespace

JsonStream::JsonStream(std::FILE* out) : out_(out) {
  buffer_.reserve(kFlushBytes + 4096);
}

JsonStream::JsonStream(AfterValue where, std::size_t room)
    : out_(nullptr), levels_(where.depth, Level{false}) {
  // Room for megabytes of text, held only as filled, on huge pages: growing
  // through fresh small pages costs a fault every 4 KiB.
  buffer_.reserve(room);
}

JsonStream::~JsonStream() {
  Flush();
}

void JsonStream::Flush() {
  if (!out_) return;  // a part keeps its text until taken
  if (!buffer_.empty()) std::fwrite(buffer_.data(), 1, buffer_.size(), out_);
  buffer_.clear();
}

void JsonStream::Append(std::string_view text) {
  if (out_ && text.size() >= kFlushBytes) {
    // A large text (a part written apart) goes out as it is.
    Flush();
    std::fwrite(text.data(), 1, text.size(), out_);
    return;
  }
  buffer_.append(text);
  if (buffer_.size() >= kFlushBytes) Flush();
}

void JsonStream::BeforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (levels_.empty()) return;
  Level& level = levels_.back();
  // The separator, the line break and the indent, as one copy where the
  // indent is not deeper than the spaces here.
  static constexpr std::string_view kBreak =
      ",\n                                                                ";
  const std::size_t from = level.empty ? 1 : 0;  // no separator before the first
  const std::size_t indent = 2 * levels_.size();
  if (2 + indent <= kBreak.size()) {
    buffer_.append(kBreak.substr(from, 2 - from + indent));
  } else {
    buffer_.append(kBreak.substr(from, 2 - from));
    buffer_.append(indent, ' ');
  }
  level.empty = false;
}

void JsonStream::BeginContainer(char open) {
  BeforeValue();
  buffer_.push_back(open);
  levels_.push_back(Level{});
}

void JsonStream::EndContainer(char close) {
  const bool empty = levels_.back().empty;
  levels_.pop_back();
  if (!empty) {
    buffer_.push_back('\n');
    buffer_.append(2 * levels_.size(), ' ');
  }
  buffer_.push_back(close);
  if (buffer_.size() >= kFlushBytes) Flush();
}

void JsonStream::BeginObject() {
  BeginContainer('{');
}

void JsonStream::EndObject() {
  EndContainer('}');
}

void JsonStream::BeginArray() {
  BeginContainer('[');
}

void JsonStream::EndArray() {
  EndContainer(']');
}

void JsonStream::Key(std::string_view name) {
  BeforeValue();
  Quoted(name);
  buffer_.append(": ");
  afterKey_ = true;
}

bool JsonStream::String(std::string_view text) {
  BeforeValue();
  const bool plain = Quoted(text);
  if (buffer_.size() >= kFlushBytes) Flush();
  return plain;
}

// Plain texts go as they are; any other is escaped by the library itself,
// so that control characters and bad bytes come out exactly as a dumped
// document has them.
bool JsonStream::Quoted(std::string_view text) {
  if (NeedsNoEscape(text)) {
    buffer_.push_back('"');
    buffer_.append(text);
    buffer_.push_back('"');
    return true;
  }
  buffer_.append(
      nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
  return false;
}

void JsonStream::Number(std::int64_t value) {
  BeforeValue();
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  buffer_.append(digits, result.ptr);
}

void JsonStream::Raw(std::string_view text) {
  Append(text);
}
