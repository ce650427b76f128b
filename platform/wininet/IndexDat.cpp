#include "platform/wininet/IndexDat.h"

#include <cstring>
#include <unordered_set>

#include "platform/common/Calendar.h"

namespace urlcache {
namespace {

constexpr std::size_t kSignatureSize = 28;
constexpr std::size_t kFileSizeOffset = 28;
constexpr std::size_t kDirectoryCountOffset = 72;
constexpr std::size_t kDirectoryTableOffset = 76;
constexpr std::size_t kDirectoryRecordSize = 12;
constexpr std::size_t kDirectoryNameSize = 8;
constexpr std::size_t kBitmapOffset = 0x250;
constexpr std::size_t kMaxDirectories =
    (kBitmapOffset - kDirectoryTableOffset) / kDirectoryRecordSize;
constexpr std::size_t kFirstHashTableField = 32;
constexpr std::size_t kHashHeaderSize = 16;
constexpr std::size_t kHashItemSize = 8;
constexpr std::size_t kHashRecordSize = 4096;
constexpr std::size_t kUrlFixedSize = 96;

// The little-endian word at `at`, which the caller has bounds-checked.
std::uint32_t LoadU32(const char* at) {
  const auto* p = reinterpret_cast<const unsigned char*>(at);
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint32_t ReadU32(std::string_view bytes, std::size_t at) {
  return at + 4 <= bytes.size() ? LoadU32(bytes.data() + at) : 0;
}

bool HasSignature(std::string_view bytes, std::size_t at, const char (&signature)[5]) {
  return at + 4 <= bytes.size() && std::memcmp(bytes.data() + at, signature, 4) == 0;
}

// A zero-terminated text at `offset` from a record of `recordSize` bytes at
// `record`. Absent when the offset is 0, outside the record, or the text has
// no terminator inside the record.
bool ReadText(std::string_view bytes, std::size_t record, std::size_t recordSize,
              std::uint32_t offset, std::string_view& text) {
  if (offset == 0 || offset >= recordSize) return false;
  const char* begin = bytes.data() + record + offset;
  const void* end = std::memchr(begin, '\0', recordSize - offset);
  if (!end) return false;
  text = std::string_view(begin, static_cast<const char*>(end) - begin);
  return true;
}

platform::LargeBuffer CopyOf(std::string_view bytes) {
  platform::LargeBuffer copy(bytes.size());
  if (!bytes.empty()) std::memcpy(copy.data(), bytes.data(), bytes.size());
  return copy;
}

bool HasKnownSignature(std::string_view header) {
  if (header.size() < IndexDat::kFirstBlock) return false;
  const std::string_view signature = header.substr(0, kSignatureSize);
  return signature.starts_with("Client UrlCache MMF Ver 5.2") ||
         signature.starts_with("WINE URLCache Ver ");
}

}  // namespace

bool IsSafePathComponent(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  // Eight bytes at a time: the test finds a lane that is zero, or below
  // 0x20, exactly when there is one (it may misplace it, never invent it).
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL, kHighs = 0x8080808080808080ULL;
  const auto below = [](std::uint64_t v, std::uint64_t n) { return (v - kOnes * n) & ~v & kHighs; };
  const auto unsafe = [&](std::uint64_t v) {
    return (below(v, 0x20) | below(v ^ (kOnes * 0x7f), 1) | below(v ^ (kOnes * '/'), 1) |
            below(v ^ (kOnes * '\\'), 1)) != 0;
  };
  const auto eightAt = [&](std::size_t at) {
    std::uint64_t v;
    std::memcpy(&v, name.data() + at, 8);
    return v;
  };
  if (name.size() < 8) {
    std::uint64_t v = kOnes * 'a';  // a safe byte in the lanes past the name
    std::memcpy(&v, name.data(), name.size());
    return !unsafe(v);
  }
  for (std::size_t at = 0; at + 8 < name.size(); at += 8)
    if (unsafe(eightAt(at))) return false;
  return !unsafe(eightAt(name.size() - 8));  // the last eight, overlapping
}

FILETIME FatDateTimeToFileTime(std::uint32_t fatDateTime) {
  const unsigned date = fatDateTime & 0xffff;
  const unsigned time = fatDateTime >> 16;
  if (fatDateTime == 0) return FILETIME{};
  const unsigned day = date & 0x1f, month = (date >> 5) & 0x0f, year = 1980 + (date >> 9);
  const unsigned seconds = (time & 0x1f) * 2, minutes = (time >> 5) & 0x3f, hours = time >> 11;
  static constexpr unsigned kMonthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1 || day > kMonthDays[month - 1] || hours > 23 ||
      minutes > 59 || seconds > 59)
    return FILETIME{};
  const std::int64_t days =
      calendar::DaysFromCivil(year, month, day) + calendar::kDaysFrom1601To1970;
  const std::uint64_t secondsSince1601 =
      static_cast<std::uint64_t>(days) * 86'400 + hours * 3600 + minutes * 60 + seconds;
  const std::uint64_t ticks = secondsSince1601 * 10'000'000ULL;
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

IndexDat::IndexDat(std::string_view bytes) : IndexDat(CopyOf(bytes), bytes.size()) {}

IndexDat::IndexDat(platform::LargeBuffer bytes, std::size_t size)
    : storage_(std::move(bytes)), bytes_(storage_.data(), size) {
  ReadHeader();
  if (signatureKnown_) WalkHashTables();
}

std::size_t IndexDat::DeclaredSize(std::string_view header) {
  if (!HasKnownSignature(header)) return 0;
  const auto* p = reinterpret_cast<const unsigned char*>(header.data() + kFileSizeOffset);
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::size_t>(p[3]) << 24);
}

void IndexDat::ReadHeader() {
  signatureKnown_ = HasKnownSignature(bytes_);
  if (!signatureKnown_) return;
  std::size_t count = ReadU32(bytes_, kDirectoryCountOffset);
  if (count > kMaxDirectories) count = kMaxDirectories;
  directoryNames_.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const char* name = bytes_.data() + kDirectoryTableOffset + i * kDirectoryRecordSize + 4;
    std::string_view text(name, kDirectoryNameSize);
    text = text.substr(0, text.find('\0'));
    directoryNames_.emplace_back(IsSafePathComponent(text) ? std::string(text) : std::string());
  }
}

void IndexDat::WalkHashTables() {
  std::unordered_set<std::uint32_t> visited;
  // A record is delivered once however many hash items name it, and the
  // records delivered span at most the file's bytes in all: a file whose
  // items all name one large record, or records overlapping each other,
  // yields no more text than the file holds.
  std::vector<bool> delivered(bytes_.size() / kBlockSize, false);
  std::uint64_t recordBytesLeft = bytes_.size();
  std::uint32_t table = ReadU32(bytes_, kFirstHashTableField);
  // Each table is visited once at most, so a looping chain ends.
  while (table != 0 && table >= kFirstBlock && table % kBlockSize == 0 && table < bytes_.size() &&
         visited.insert(table).second && HasSignature(bytes_, table, "HASH")) {
    const std::size_t end = std::min(bytes_.size(), std::size_t{table} + kHashRecordSize);
    for (std::size_t item = table + kHashHeaderSize; item + kHashItemSize <= end;
         item += kHashItemSize) {
      const std::uint32_t hash = ReadU32(bytes_, item);
      const std::uint32_t offset = ReadU32(bytes_, item + 4);
      std::string_view url;
      if ((hash & 0xf) != 0 || !IsUsableUrlRecord(offset, url)) continue;
      const std::uint64_t recordBytes = std::uint64_t{ReadU32(bytes_, offset + 4)} * kBlockSize;
      if (delivered[offset / kBlockSize] || recordBytes > recordBytesLeft) continue;
      delivered[offset / kBlockSize] = true;
      recordBytesLeft -= recordBytes;
      entryOffsets_.push_back(offset);
      urlSizes_.push_back(static_cast<std::uint32_t>(url.size()));
    }
    table = ReadU32(bytes_, table + 8);
  }
}

bool IndexDat::IsUsableUrlRecord(std::uint32_t offset, std::string_view& url) const {
  if (offset < kFirstBlock || offset % kBlockSize != 0 || offset >= bytes_.size()) return false;
  if (!HasSignature(bytes_, offset, "URL ")) return false;
  const std::uint64_t size = std::uint64_t{ReadU32(bytes_, offset + 4)} * kBlockSize;
  if (size < kUrlFixedSize || offset + size > bytes_.size()) return false;
  return ReadText(bytes_, offset, size, ReadU32(bytes_, offset + 52), url);
}

bool IndexDat::ReadEntry(std::uint32_t offset, UrlRecord& r) const {
  std::string_view url;
  if (!IsUsableUrlRecord(offset, url)) return false;
  Decode(offset, url, r);
  return true;
}

void IndexDat::ReadListedEntry(std::size_t index, UrlRecord& r) const {
  const std::uint32_t offset = entryOffsets_[index];
  const char* url = bytes_.data() + offset + ReadU32(bytes_, offset + 52);
  Decode(offset, std::string_view(url, urlSizes_[index]), r);
}

void IndexDat::Decode(std::uint32_t offset, std::string_view url, UrlRecord& r) const {
  // An intact record holds the fixed fields whole: they are read unchecked.
  const char* const record = bytes_.data() + offset;
  const auto field = [record](std::size_t at) { return LoadU32(record + at); };
  const auto fileTime = [&](std::size_t at) { return FILETIME{field(at), field(at + 4)}; };
  const std::size_t size = std::size_t{field(4)} * kBlockSize;
  // Every field is set below, with no clearing of the whole record first:
  // a decode per entry, and clearing it took as long as a third of the rest.
  r.url = url;
  r.lastModified = fileTime(8);
  r.lastAccess = fileTime(16);
  r.expire = FatDateTimeToFileTime(field(24));
  r.sizeLow = field(32);
  r.sizeHigh = field(36);
  r.exemptDelta = field(44);
  r.directoryIndex = static_cast<std::uint8_t>(record[56]);
  r.hasLocalName =
      ReadText(bytes_, offset, size, field(60), r.localName) && IsSafePathComponent(r.localName);
  if (!r.hasLocalName) r.localName = {};
  r.cacheEntryType = field(64);
  const std::uint32_t headerOffset = field(68);
  const std::uint32_t headerSize = field(72);
  r.hasHeader = headerOffset != 0 && headerOffset < size && headerSize <= size - headerOffset;
  r.header = r.hasHeader ? std::string_view(record + headerOffset, headerSize) : std::string_view();
  r.hasExtension = ReadText(bytes_, offset, size, field(76), r.extension);
  if (!r.hasExtension) r.extension = {};
  r.lastSync = FatDateTimeToFileTime(field(80));
  r.hitRate = field(84);
  r.useCount = field(88);
}

}  // namespace urlcache
