// Realistic URL caches for the benchmarks: containers written to disk near
// their capacity, and large in-memory caches for the growth measurements.
// Everything is generated from fixed seeds, so every run measures the same.
#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "platform/wininet/testing/MemoryUrlCache.h"

namespace bench {

// Containers in the order cookies, history, content.
struct FullProfile {
  std::string userFolder;
  std::array<std::string, 3> files;  // the three index.dat paths
  std::array<std::size_t, 3> entries{};
  std::array<std::size_t, 3> fileBytes{};
  std::size_t sites = 0;    // distinct site keys of the content entries
  std::string largestSite;  // the key with the most content entries
};

// Writes a Wine-layout user folder whose three containers are each filled
// to about 99% of the blocks one container can hold: content entries with
// response headers in 2 to 4 blocks, about one site per 20 of them. The
// cached files themselves are not written. False with `error` on failure.
bool WriteFullProfile(const std::string& userFolder, FullProfile& profile, std::string& error);

struct GrowthCache {
  std::size_t sites = 0;
  std::string largestSite;
};

// Fills `cache` with `entries` entries (60% content, 30% history, 10%
// cookies) with about one site per 20 entries.
GrowthCache FillGrowthCache(fixture::MemoryUrlCache& cache, std::size_t entries);

}  // namespace bench
