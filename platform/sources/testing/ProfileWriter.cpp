#include "platform/sources/testing/ProfileWriter.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "platform/sources/testing/SqliteWriter.h"

namespace sources::testing {

namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kMicrosFrom1601To1970 = 11644473600000000;

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("''") : std::string(1, c);
  return quoted + "'";
}

void PutBigEndian32(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(value >> shift);
}

void PutLittleEndian(std::string& out, std::uint64_t value, int width) {
  for (int i = 0; i < width; ++i) out += static_cast<char>(value >> (8 * i));
}

std::uint64_t Fnv1a(const std::string& text) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (unsigned char c : text) hash = (hash ^ c) * 0x100000001b3ULL;
  return hash;
}

void WritePlaces(const std::string& path, const FirefoxProfileSpec& spec) {
  SqliteWriter db(path, SqliteWriter::Mode::kWal);
  db.Exec(
      "CREATE TABLE moz_places(id INTEGER PRIMARY KEY, url LONGVARCHAR, title LONGVARCHAR,"
      " visit_count INTEGER DEFAULT 0, hidden INTEGER DEFAULT 0, last_visit_date INTEGER);"
      "CREATE TABLE moz_historyvisits(id INTEGER PRIMARY KEY, from_visit INTEGER,"
      " place_id INTEGER, visit_date INTEGER, visit_type INTEGER);");
  if (spec.rowsOnlyInWal) db.Checkpoint();
  db.Exec("BEGIN");
  for (const VisitSpec& visit : spec.visits) {
    db.Exec("INSERT INTO moz_places(url, visit_count, last_visit_date) VALUES (" +
            Quoted(visit.url) + ", " + std::to_string(visit.visits) + ", " +
            (visit.visits ? std::to_string(visit.lastVisitMicros) : "NULL") + ")");
    for (std::uint32_t i = 0; i < visit.visits; ++i)
      db.Exec(
          "INSERT INTO moz_historyvisits(place_id, visit_date, visit_type) VALUES "
          "((SELECT max(id) FROM moz_places), " +
          std::to_string(visit.lastVisitMicros - i) + ", 1)");
  }
  db.Exec("COMMIT");
  if (!spec.rowsOnlyInWal) db.Checkpoint();
}

void WriteFirefoxCookies(const std::string& path, const FirefoxProfileSpec& spec) {
  SqliteWriter db(path, SqliteWriter::Mode::kWal);
  db.Exec(
      "CREATE TABLE moz_cookies(id INTEGER PRIMARY KEY, originAttributes TEXT NOT NULL DEFAULT '',"
      " name TEXT, value TEXT, host TEXT, path TEXT, expiry INTEGER, lastAccessed INTEGER,"
      " creationTime INTEGER, isSecure INTEGER, isHttpOnly INTEGER, inBrowserElement INTEGER"
      " DEFAULT 0, sameSite INTEGER DEFAULT 0)");
  if (spec.rowsOnlyInWal) db.Checkpoint();
  db.Exec("BEGIN");
  for (const CookieSpec& c : spec.cookies)
    db.Exec(
        "INSERT INTO moz_cookies(name, value, host, path, expiry, lastAccessed, creationTime,"
        " isSecure, isHttpOnly) VALUES (" +
        Quoted(c.name) + ", " + Quoted(c.value) + ", " + Quoted(c.host) + ", " + Quoted(c.path) +
        ", " + std::to_string(c.expiryMicros / 1000) + ", " + std::to_string(c.expiryMicros / 2) +
        ", " + std::to_string(c.expiryMicros / 3) + ", 0, 0)");
  db.Exec("COMMIT");
  if (!spec.rowsOnlyInWal) db.Checkpoint();
}

std::int64_t To1601(std::int64_t unixMicros) {
  return unixMicros ? unixMicros + kMicrosFrom1601To1970 : 0;
}

void WriteHistory(const std::string& path, const ChromiumProfileSpec& spec) {
  SqliteWriter db(path, SqliteWriter::Mode::kRollback);
  db.Exec(
      "CREATE TABLE urls(id INTEGER PRIMARY KEY AUTOINCREMENT, url LONGVARCHAR, title LONGVARCHAR,"
      " visit_count INTEGER DEFAULT 0 NOT NULL, typed_count INTEGER DEFAULT 0 NOT NULL,"
      " last_visit_time INTEGER NOT NULL, hidden INTEGER DEFAULT 0 NOT NULL);"
      "CREATE TABLE visits(id INTEGER PRIMARY KEY, url INTEGER NOT NULL, visit_time INTEGER NOT"
      " NULL, from_visit INTEGER, transition INTEGER DEFAULT 0 NOT NULL);"
      "BEGIN;");
  for (const VisitSpec& visit : spec.visits) {
    db.Exec("INSERT INTO urls(url, visit_count, last_visit_time) VALUES (" + Quoted(visit.url) +
            ", " + std::to_string(visit.visits) + ", " +
            std::to_string(visit.visits ? To1601(visit.lastVisitMicros) : 0) + ")");
    for (std::uint32_t i = 0; i < visit.visits; ++i)
      db.Exec("INSERT INTO visits(url, visit_time) VALUES ((SELECT max(id) FROM urls), " +
              std::to_string(To1601(visit.lastVisitMicros) - i) + ")");
  }
  db.Exec("COMMIT");
}

void WriteChromiumCookies(const std::string& path, const ChromiumProfileSpec& spec) {
  SqliteWriter db(path, SqliteWriter::Mode::kRollback);
  db.Exec(
      "CREATE TABLE cookies(creation_utc INTEGER NOT NULL, host_key TEXT NOT NULL,"
      " top_frame_site_key TEXT NOT NULL DEFAULT '', name TEXT NOT NULL, value TEXT NOT NULL,"
      " encrypted_value BLOB NOT NULL, path TEXT NOT NULL, expires_utc INTEGER NOT NULL,"
      " is_secure INTEGER NOT NULL DEFAULT 0, is_httponly INTEGER NOT NULL DEFAULT 0,"
      " last_access_utc INTEGER NOT NULL, has_expires INTEGER NOT NULL DEFAULT 1,"
      " is_persistent INTEGER NOT NULL DEFAULT 1, priority INTEGER NOT NULL DEFAULT 1,"
      " samesite INTEGER NOT NULL DEFAULT -1, source_scheme INTEGER NOT NULL DEFAULT 1,"
      " source_port INTEGER NOT NULL DEFAULT -1); BEGIN;");
  for (const CookieSpec& c : spec.cookies)
    db.Exec(
        "INSERT INTO cookies(creation_utc, host_key, name, value, encrypted_value, path,"
        " expires_utc, last_access_utc, source_port) VALUES (" +
        std::to_string(To1601(1700000000000000)) + ", " + Quoted(c.host) + ", " + Quoted(c.name) +
        ", " + Quoted(c.value) + ", X'763130" + std::string(c.value.size() * 2, 'a') + "', " +
        Quoted(c.path) + ", " + std::to_string(To1601(c.expiryMicros)) + ", " +
        std::to_string(To1601(1700000000000000)) + ", " + std::to_string(c.port) + ")");
  db.Exec("COMMIT");
}

}  // namespace

void WriteFile(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

void WriteFirefoxProfiles(const std::string& root,
                          const std::vector<FirefoxProfileSpec>& profiles) {
  std::string ini;
  for (std::size_t i = 0; i < profiles.size(); ++i) {
    const auto& spec = profiles[i];
    ini += "[Profile" + std::to_string(i) + "]\nName=" + spec.name +
           "\nIsRelative=1\nPath=" + spec.folder + "\n\n";
    const std::string folder = root + "/" + spec.folder;
    fs::create_directories(folder);
    WritePlaces(folder + "/places.sqlite", spec);
    WriteFirefoxCookies(folder + "/cookies.sqlite", spec);
    fs::remove(folder + "/places.sqlite-shm");
    fs::remove(folder + "/cookies.sqlite-shm");
  }
  WriteFile(root + "/profiles.ini", ini + "[General]\nStartWithLastProfile=1\nVersion=2\n");
}

void WriteChromiumUserData(const std::string& userData,
                           const std::vector<ChromiumProfileSpec>& profiles) {
  std::string infoCache;
  for (const auto& spec : profiles) {
    const std::string folder = userData + "/" + spec.folder;
    fs::create_directories(folder + "/Network");
    WriteHistory(folder + "/History", spec);
    WriteChromiumCookies(folder + (spec.cookiesInNetworkFolder ? "/Network/Cookies" : "/Cookies"),
                         spec);
    if (spec.listedInLocalState)
      infoCache += std::string(infoCache.empty() ? "" : ",") + "\"" + spec.folder +
                   "\":{\"name\":\"Person\"}";
  }
  WriteFile(userData + "/Local State", "{\"profile\":{\"info_cache\":{" + infoCache + "}}}");
}

std::string ResponseHead(int status, const std::string& contentType,
                         const std::vector<std::string>& moreHeaders) {
  std::string head =
      "HTTP/1.1 " + std::to_string(status) + (status == 200 ? " OK" : " Other") + "\r\n";
  if (!contentType.empty()) head += "Content-Type: " + contentType + "\r\n";
  for (const auto& header : moreHeaders) head += header + "\r\n";
  return head;
}

std::string Cache2EntryBytes(const Cache2EntrySpec& spec) {
  std::string bytes = spec.body;
  const std::size_t chunks = (spec.body.size() + 262143) / 262144;
  PutBigEndian32(bytes, 0x5a5a5a5a);  // metadata hash: not checked by the reader
  for (std::size_t i = 0; i < chunks; ++i) bytes += std::string("\x12\x34", 2);
  for (std::uint32_t value : {4u, spec.fetchCount, spec.lastFetched, spec.lastModified, 1000u,
                              spec.expiration, static_cast<std::uint32_t>(spec.key.size()), 0u})
    PutBigEndian32(bytes, value);
  bytes += spec.key;
  bytes += '\0';
  auto element = [&](const std::string& name, const std::string& value) {
    bytes += name;
    bytes += '\0';
    bytes += value;
    bytes += '\0';
  };
  element("request-method", "GET");
  element("response-head", spec.responseHead);
  if (!spec.altData.empty()) element("alt-data", spec.altData);
  PutBigEndian32(bytes, 4);
  PutBigEndian32(bytes, static_cast<std::uint32_t>(spec.body.size()));
  return bytes;
}

std::string WriteCache2Entry(const std::string& cache2, const std::string& relative,
                             const Cache2EntrySpec& spec) {
  const std::string path = cache2 + "/" + relative;
  WriteFile(path, Cache2EntryBytes(spec));
  return path;
}

std::string SimpleCacheEntryBytes(const SimpleEntrySpec& spec) {
  std::string bytes;
  PutLittleEndian(bytes, 0xfcfb6d1ba7725c30ULL, 8);
  PutLittleEndian(bytes, 5, 4);
  PutLittleEndian(bytes, spec.key.size(), 4);
  PutLittleEndian(bytes, Fnv1a(spec.key) & 0xffffffff, 4);
  PutLittleEndian(bytes, 0, 4);
  bytes += spec.key + spec.body;
  auto endRecord = [&](std::uint32_t flags, std::uint32_t size) {
    PutLittleEndian(bytes, 0xf4fa6f45970d41d8ULL, 8);
    PutLittleEndian(bytes, flags, 4);
    PutLittleEndian(bytes, 0, 4);  // CRC32: not checked by the reader
    PutLittleEndian(bytes, size, 4);
    PutLittleEndian(bytes, 0, 4);
  };
  endRecord(1, 0);
  // The response info: a pickle of flags, extra flags, the request and
  // response times, and the headers as NUL-ended lines.
  std::string headers;
  for (std::size_t at = 0; at < spec.responseHead.size();) {
    std::size_t end = spec.responseHead.find("\r\n", at);
    if (end == std::string::npos) end = spec.responseHead.size();
    headers += spec.responseHead.substr(at, end - at) + '\0';
    at = end + 2;
  }
  headers += '\0';
  std::string payload;
  PutLittleEndian(payload, 0x88040003, 4);
  PutLittleEndian(payload, 6, 4);
  PutLittleEndian(payload, static_cast<std::uint64_t>(spec.responseTime1601Micros - 1000), 8);
  PutLittleEndian(payload, static_cast<std::uint64_t>(spec.responseTime1601Micros), 8);
  PutLittleEndian(payload, headers.size(), 4);
  payload += headers;
  payload.resize((payload.size() + 3) / 4 * 4, '\0');
  std::string info;
  PutLittleEndian(info, payload.size(), 4);
  info += payload;
  bytes += info;
  if (spec.keySha256) bytes += std::string(32, '\x5a');
  endRecord(spec.keySha256 ? 3 : 1, static_cast<std::uint32_t>(info.size()));
  return bytes;
}

std::string WriteSimpleCacheEntry(const std::string& cacheData, const SimpleEntrySpec& spec) {
  char name[32];
  std::snprintf(name, sizeof name, "%016llx_0", static_cast<unsigned long long>(Fnv1a(spec.key)));
  WriteFile(cacheData + "/" + name, SimpleCacheEntryBytes(spec));
  return name;
}

void WriteBlockfileCache(const std::string& cacheData) {
  WriteFile(cacheData + "/index", std::string("\xC3\xCA\x03\xC1", 4) + std::string(252, '\0'));
  for (int i = 0; i < 4; ++i)
    WriteFile(cacheData + "/data_" + std::to_string(i), std::string(8192, '\0'));
  WriteFile(cacheData + "/f_000001", "a cached body");
}

void WriteSqlBackedCache(const std::string& cacheData) {
  fs::create_directories(cacheData);
  SqliteWriter db(cacheData + "/sqldb0", SqliteWriter::Mode::kRollback);
  db.Exec("CREATE TABLE resources(cache_key TEXT, head BLOB)");
}

}  // namespace sources::testing
