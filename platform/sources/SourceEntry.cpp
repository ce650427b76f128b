#include "platform/sources/SourceEntry.h"

#include <limits>

namespace sources {

namespace {

constexpr std::int64_t kMaxFileTime = std::numeric_limits<std::int64_t>::max();

FileTime Scaled(std::int64_t value, std::int64_t factor, std::uint64_t offset) {
  if (value <= 0) return 0;
  if (value > (kMaxFileTime - static_cast<std::int64_t>(offset)) / factor) return 0;
  return static_cast<FileTime>(value) * static_cast<FileTime>(factor) + offset;
}

}  // namespace

FileTime FileTimeFromUnixMicros(std::int64_t micros) {
  return Scaled(micros, 10, kUnixEpochAsFileTime);
}

FileTime FileTimeFromUnixSeconds(std::int64_t seconds) {
  return Scaled(seconds, 10000000, kUnixEpochAsFileTime);
}

FileTime FileTimeFrom1601Micros(std::int64_t micros) {
  return Scaled(micros, 10, 0);
}

}  // namespace sources
