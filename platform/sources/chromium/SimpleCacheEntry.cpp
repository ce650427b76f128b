#include "platform/sources/chromium/SimpleCacheEntry.h"

namespace sources::chromium {

namespace {

constexpr std::uint64_t kEntryMagic = 0xfcfb6d1ba7725c30ULL;
constexpr std::uint64_t kEndMagic = 0xf4fa6f45970d41d8ULL;
constexpr std::uint32_t kEntryVersion = 5;
constexpr std::size_t kHeaderSize = 24;
constexpr std::size_t kEndRecordSize = 24;
constexpr std::uint32_t kEndHasKeySha256 = 2;
constexpr std::size_t kKeySha256Size = 32;
constexpr std::uint32_t kInfoHasExtraFlags = 1u << 31;

std::uint64_t LittleEndian(const std::string& bytes, std::size_t at, int width) {
  std::uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i)
    value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
  return value;
}

std::uint32_t Le32(const std::string& bytes, std::size_t at) {
  return static_cast<std::uint32_t>(LittleEndian(bytes, at, 4));
}

struct EndRecord {
  std::uint32_t flags = 0;
  std::uint32_t streamSize = 0;
};

bool ReadEndRecord(const ByteSource& file, std::uint64_t at, EndRecord& record) {
  std::string bytes;
  if (!file.ReadAt(at, kEndRecordSize, bytes) || LittleEndian(bytes, 0, 8) != kEndMagic)
    return false;
  record.flags = Le32(bytes, 8);
  record.streamSize = Le32(bytes, 16);
  return true;
}

bool IsDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

FileTime TimeAt(const std::string& info, std::size_t at) {
  auto micros = static_cast<std::int64_t>(LittleEndian(info, at, 8));
  return FileTimeFrom1601Micros(micros);
}

}  // namespace

std::string UrlOfSimpleCacheKey(const std::string& key) {
  std::string_view rest = key;
  // "<n>/<n>/": the upload and credentials prefixes of newer keys.
  std::size_t first = rest.find('/');
  if (first != std::string_view::npos && IsDigits(rest.substr(0, first))) {
    std::size_t second = rest.find('/', first + 1);
    if (second != std::string_view::npos && IsDigits(rest.substr(first + 1, second - first - 1)))
      rest = rest.substr(second + 1);
  }
  if (rest.rfind("_dk_", 0) == 0) {
    std::size_t space = rest.rfind(' ');
    if (space == std::string_view::npos) return {};
    rest = rest.substr(space + 1);
  }
  return std::string(rest);
}

bool ParseResponseInfo(const std::string& info, std::string& head, FileTime& requestTime,
                       FileTime& responseTime) {
  // A pickle: payload size, flags, [extra flags], request time, response
  // time, then the headers as a length-prefixed string of NUL-ended lines.
  if (info.size() < 8) return false;
  std::size_t at = 8;
  if (Le32(info, 4) & kInfoHasExtraFlags) at += 4;
  if (info.size() >= at + 16) {
    requestTime = TimeAt(info, at);
    responseTime = TimeAt(info, at + 8);
  }
  for (std::size_t found = info.find("HTTP/", at); found != std::string::npos;
       found = info.find("HTTP/", found + 1)) {
    if (found < 4) continue;
    std::uint32_t length = Le32(info, found - 4);
    if (length > info.size() - found) continue;
    std::string_view block(info.data() + found, length);
    head.clear();
    std::size_t line = 0;
    while (line < block.size()) {
      std::size_t end = block.find('\0', line);
      if (end == std::string_view::npos) end = block.size();
      if (end == line) break;  // the empty line that ends the headers
      head.append(block.substr(line, end - line)).append("\r\n");
      line = end + 1;
    }
    return true;
  }
  return false;
}

std::optional<CachedResponse> ParseSimpleCacheEntry(const ByteSource& file, std::string& problem) {
  const std::uint64_t size = file.Size();
  std::string header;
  if (size < kHeaderSize + 2 * kEndRecordSize || !file.ReadAt(0, kHeaderSize, header) ||
      LittleEndian(header, 0, 8) != kEntryMagic) {
    problem = "not a simple cache entry";
    return std::nullopt;
  }
  const std::uint32_t version = Le32(header, 8);
  const std::uint32_t keyLength = Le32(header, 12);
  if (version != kEntryVersion) {
    problem = "entry version " + std::to_string(version) + " not read";
    return std::nullopt;
  }
  const std::uint64_t bodyOffset = kHeaderSize + static_cast<std::uint64_t>(keyLength);
  EndRecord last;
  if (keyLength == 0 || keyLength > kMaxSimpleKey || bodyOffset + 2 * kEndRecordSize > size ||
      !ReadEndRecord(file, size - kEndRecordSize, last)) {
    problem = "entry header or end record damaged";
    return std::nullopt;
  }
  const std::uint64_t shaSize = (last.flags & kEndHasKeySha256) ? kKeySha256Size : 0;
  const std::uint64_t tail = kEndRecordSize + shaSize + last.streamSize;
  EndRecord bodyEnd;
  // Stream 1 runs from the key to its end record; the record's own size
  // field is 0 in the files Chromium writes, so only a non-zero one is checked.
  if (last.streamSize > kMaxResponseInfo || tail + kEndRecordSize + bodyOffset > size ||
      !ReadEndRecord(file, size - tail - kEndRecordSize, bodyEnd) ||
      (bodyEnd.streamSize != 0 &&
       bodyOffset + bodyEnd.streamSize != size - tail - kEndRecordSize)) {
    problem = "stream sizes do not fit the file";
    return std::nullopt;
  }
  std::string key, info;
  if (!file.ReadAt(kHeaderSize, keyLength, key) ||
      !file.ReadAt(size - tail, last.streamSize, info)) {
    problem = "entry unreadable";
    return std::nullopt;
  }
  CachedResponse response;
  FileTime requestTime = 0;
  FileTime responseTime = 0;
  if (!ParseResponseInfo(info, response.responseHead, requestTime, responseTime)) {
    problem = "no response headers";
    return std::nullopt;
  }
  response.key = std::move(key);
  response.url = UrlOfSimpleCacheKey(response.key);
  response.bodyOffset = bodyOffset;
  response.bodyLength = size - tail - kEndRecordSize - bodyOffset;
  response.lastFetched = responseTime;
  response.lastModified = responseTime;
  // The simple cache keeps no count; an entry on disk was fetched once.
  response.fetchCount = 1;
  return response;
}

}  // namespace sources::chromium
