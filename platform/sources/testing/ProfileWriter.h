// Writes synthetic Firefox and Chromium profiles and cache entries for tests,
// tools and benchmarks: the cases a real fixture cannot show on demand (rows
// only in the log, large and alt-data entries, old key forms, damaged
// entries, layouts we do not read, Flatpak and Snap installs).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sources::testing {

struct VisitSpec {
  std::string url;
  std::uint32_t visits = 1;          // 0: a bookmark-only place / a URL without visits
  std::int64_t lastVisitMicros = 0;  // since 1970
};

struct CookieSpec {
  std::string host;
  std::string path = "/";
  std::string name;
  std::string value;              // written, so that tests can prove it is never read
  int port = -1;                  // Chromium only
  std::int64_t expiryMicros = 0;  // since 1970; 0: a session cookie
};

struct FirefoxProfileSpec {
  std::string name;    // Name= in profiles.ini
  std::string folder;  // Path=, relative to the profiles root
  std::vector<VisitSpec> visits;
  std::vector<CookieSpec> cookies;
  // Leave every row in places.sqlite-wal and cookies.sqlite-wal.
  bool rowsOnlyInWal = true;
};

// Writes <root>/profiles.ini listing `profiles` and their databases.
void WriteFirefoxProfiles(const std::string& root, const std::vector<FirefoxProfileSpec>& profiles);

struct ChromiumProfileSpec {
  std::string folder = "Default";
  std::vector<VisitSpec> visits;
  std::vector<CookieSpec> cookies;
  bool listedInLocalState = true;
  bool cookiesInNetworkFolder = true;
};

// Writes <userData>/Local State and each profile's History and Cookies.
void WriteChromiumUserData(const std::string& userData,
                           const std::vector<ChromiumProfileSpec>& profiles);

// "HTTP/1.1 <status>\r\nContent-Type: <type>\r\n...\r\n" (no type line when
// `contentType` is empty).
std::string ResponseHead(int status, const std::string& contentType,
                         const std::vector<std::string>& moreHeaders = {});

struct Cache2EntrySpec {
  std::string key;  // e.g. "O^partitionKey=%28https%2Ca.test%29,:https://a.test/x.png"
  std::string body;
  std::string responseHead;
  std::string altData;  // the "alt-data" element's value; empty for none
  std::uint32_t fetchCount = 1;
  std::uint32_t lastFetched = 1700000000;  // seconds since 1970
  std::uint32_t lastModified = 1700000000;
  std::uint32_t expiration = 0xffffffff;
};

// The bytes of a cache2 entry file (version 4, with one chunk hash per
// 256 KiB of body).
std::string Cache2EntryBytes(const Cache2EntrySpec& spec);
// Writes it as <cache2>/<relative> (e.g. "entries/<40 hex>", "doomed/12").
std::string WriteCache2Entry(const std::string& cache2, const std::string& relative,
                             const Cache2EntrySpec& spec);

struct SimpleEntrySpec {
  std::string key;  // e.g. "1/0/_dk_https://a.test https://a.test https://a.test/x.png"
  std::string body;
  std::string responseHead;  // CRLF lines, stored as NUL-ended lines
  std::int64_t responseTime1601Micros = 13350000000000000;
  bool keySha256 = true;
};

std::string SimpleCacheEntryBytes(const SimpleEntrySpec& spec);
// Writes it as <cacheData>/<16 hex of the key>_0; returns the file name.
std::string WriteSimpleCacheEntry(const std::string& cacheData, const SimpleEntrySpec& spec);

// Layouts we do not read, for the reports that name them.
void WriteBlockfileCache(const std::string& cacheData);
void WriteSqlBackedCache(const std::string& cacheData);

// Writes `bytes` to `path`, creating the folders above it.
void WriteFile(const std::string& path, const std::string& bytes);

}  // namespace sources::testing
