#include "platform/sources/firefox/Cache2Entry.h"

#include <cstdlib>

namespace sources::firefox {

namespace {

constexpr std::uint64_t kChunkSize = 256 * 1024;
constexpr std::size_t kHeaderSize = 32;
constexpr std::uint32_t kNeverExpires = 0xffffffff;

std::uint32_t BigEndian32(const std::string& bytes, std::size_t at) {
  auto b = [&](std::size_t i) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i]));
  };
  return b(0) << 24 | b(1) << 16 | b(2) << 8 | b(3);
}

struct Elements {
  std::string responseHead;
  std::string altData;
  bool hasAltData = false;
};

// Name/value pairs, each NUL-terminated; false when they are not whole pairs.
bool ParseElements(const std::string& bytes, std::size_t begin, std::size_t end, Elements& out) {
  std::size_t at = begin;
  while (at < end) {
    std::size_t nameEnd = bytes.find('\0', at);
    if (nameEnd == std::string::npos || nameEnd >= end) return false;
    std::size_t valueEnd = bytes.find('\0', nameEnd + 1);
    if (valueEnd == std::string::npos || valueEnd >= end) return false;
    std::string_view name(bytes.data() + at, nameEnd - at);
    std::string_view value(bytes.data() + nameEnd + 1, valueEnd - nameEnd - 1);
    if (name == "response-head") out.responseHead = value;
    if (name == "alt-data") {
      out.altData = value;
      out.hasAltData = true;
    }
    at = valueEnd + 1;
  }
  return true;
}

// "1;<length>,<type>": the real body is only the first <length> bytes.
bool ParseAltData(const std::string& value, std::uint64_t& length, std::string& type) {
  std::size_t semicolon = value.find(';');
  std::size_t comma = value.find(',');
  if (semicolon == std::string::npos || comma == std::string::npos || comma < semicolon + 2)
    return false;
  std::string digits = value.substr(semicolon + 1, comma - semicolon - 1);
  if (digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 18)
    return false;
  length = std::strtoull(digits.c_str(), nullptr, 10);
  type = value.substr(comma + 1);
  return true;
}

FileTime CacheTime(std::uint32_t seconds) {
  return seconds == kNeverExpires ? 0 : FileTimeFromUnixSeconds(seconds);
}

}  // namespace

std::string UrlOfCache2Key(const std::string& key) {
  std::size_t at = 0;
  while (at < key.size()) {
    if (key[at] == ':') return key.substr(at + 1);
    std::size_t comma = key.find(',', at);
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  return {};
}

std::optional<CachedResponse> ParseCache2Entry(const ByteSource& file, std::string& problem) {
  const std::uint64_t size = file.Size();
  std::string trailer;
  if (size < 8 || !file.ReadAt(size - 4, 4, trailer)) {
    problem = "too short for an entry";
    return std::nullopt;
  }
  const std::uint64_t offset = BigEndian32(trailer, 0);
  if (offset > size - 4 || size - 4 - offset > kMaxCache2Metadata) {
    problem = "metadata offset out of range";
    return std::nullopt;
  }
  std::string metadata;
  if (!file.ReadAt(offset, static_cast<std::size_t>(size - 4 - offset), metadata)) {
    problem = "metadata unreadable";
    return std::nullopt;
  }
  const std::size_t chunks = static_cast<std::size_t>((offset + kChunkSize - 1) / kChunkSize);
  const std::size_t header = 4 + 2 * chunks;
  if (metadata.size() < header + kHeaderSize) {
    problem = "metadata too short";
    return std::nullopt;
  }
  const std::uint32_t version = BigEndian32(metadata, header);
  const std::uint32_t keySize = BigEndian32(metadata, header + 24);
  const std::size_t keyStart = header + kHeaderSize;
  if (version < 2 || version > 4 || keySize >= metadata.size() - keyStart ||
      metadata[keyStart + keySize] != '\0') {
    problem = "metadata header damaged";
    return std::nullopt;
  }
  // Version 4 files end their metadata with a copy of the version.
  std::size_t elementsEnd = metadata.size();
  if (elementsEnd >= 4 && BigEndian32(metadata, elementsEnd - 4) == version &&
      elementsEnd - 4 >= keyStart + keySize + 1)
    elementsEnd -= 4;
  Elements elements;
  if (!ParseElements(metadata, keyStart + keySize + 1, elementsEnd, elements)) {
    problem = "metadata elements damaged";
    return std::nullopt;
  }

  CachedResponse response;
  response.key = metadata.substr(keyStart, keySize);
  response.url = UrlOfCache2Key(response.key);
  response.responseHead = std::move(elements.responseHead);
  response.fetchCount = BigEndian32(metadata, header + 4);
  response.lastFetched = CacheTime(BigEndian32(metadata, header + 8));
  response.lastModified = CacheTime(BigEndian32(metadata, header + 12));
  response.expire = CacheTime(BigEndian32(metadata, header + 20));
  response.bodyLength = offset;
  if (elements.hasAltData) {
    std::uint64_t length = 0;
    if (!ParseAltData(elements.altData, length, response.altDataType) || length > offset) {
      problem = "alt-data damaged";
      return std::nullopt;
    }
    response.bodyLength = length;
  }
  return response;
}

}  // namespace sources::firefox
