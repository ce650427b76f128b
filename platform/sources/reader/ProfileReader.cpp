#include "platform/sources/reader/ProfileReader.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "platform/common/LargeBuffer.h"
#include "platform/sources/chromium/ChromiumDatabases.h"
#include "platform/sources/chromium/SimpleCacheEntry.h"
#include "platform/sources/chromium/SimpleCacheFolder.h"
#include "platform/sources/firefox/Cache2Entry.h"
#include "platform/sources/firefox/Cache2Folder.h"
#include "platform/sources/firefox/FirefoxDatabases.h"
#include "platform/sources/naming/ContentNames.h"

namespace sources {

namespace {

bool IsWebUrl(const std::string& url) {
  auto startsWith = [&](std::string_view prefix) {
    if (url.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
      if (static_cast<char>(url[i] | 0x20) != prefix[i] && url[i] != prefix[i]) return false;
    return true;
  };
  return startsWith("http://") || startsWith("https://");
}

// Enough for an entry's header and key, and for the metadata or response
// info at its end, in most entries.
constexpr std::size_t kHeadWindow = 4096;
constexpr std::size_t kTailWindow = 16384;

int EffectivePort(int port) {
  return port > 0 && port != 80 && port != 443 ? port : -1;
}

std::string HostWithoutDot(const std::string& host) {
  return !host.empty() && host.front() == '.' ? host.substr(1) : host;
}

// The folder that keeps one cached file apart from the others of its source.
std::string EntryFolder(const std::string& relative) {
  std::string folder = relative;
  if (folder.rfind("entries/", 0) == 0) folder = folder.substr(8);
  if (folder.size() > 2 && folder.compare(folder.size() - 2, 2, "_0") == 0)
    folder.resize(folder.size() - 2);
  std::replace(folder.begin(), folder.end(), '/', '-');
  return SafeComponent(folder, 120);
}

// Reads a database through a snapshot; false when absent or unreadable (the
// latter named in `problems`).
template <typename Reader>
bool ReadDatabase(const std::string& path, const ReadContext& context, Reader read,
                  std::vector<std::string>& problems) {
  sqlite::Snapshot snapshot = sqlite::OpenSnapshot(path, context.snapshot);
  if (snapshot.status == sqlite::Snapshot::Status::kAbsent) return false;
  if (snapshot.status == sqlite::Snapshot::Status::kUnreadable) {
    problems.push_back(path + ": " + snapshot.problem);
    return false;
  }
  std::string problem;
  if (!read(snapshot.database->Handle(), problem)) {
    problems.push_back(path + ": " + problem);
    return false;
  }
  return true;
}

template <typename Parser>
void ReadCacheFiles(const std::string& cacheDir, const std::vector<std::string>& files,
                    const std::string& label, const ReadContext& context, Parser parse,
                    ProfileRead& out) {
  std::size_t damaged = 0;
  platform::ReserveOnHugePages(out.entries.content, out.entries.content.size() + files.size());
  WindowBuffers buffers;
  for (const std::string& relative : files) {
    std::string path = cacheDir + "/" + relative;
    ReadOnlyFile file(path);
    std::string problem;
    std::optional<CachedResponse> response;
    if (file.IsOpen())
      response = parse(WindowedBytes(file, kHeadWindow, kTailWindow, buffers), problem);
    // An entry evicted since the listing is simply gone.
    if (!file.IsOpen() && file.Error() == ENOENT) continue;
    if (!response) {
      ++damaged;
      continue;
    }
    SourceEntry entry;
    if (ContentEntry(std::move(*response), std::move(path), relative, label, context, entry))
      out.entries.content.push_back(std::move(entry));
  }
  if (damaged > 0)
    out.problems.push_back(cacheDir + ": " + std::to_string(damaged) +
                           " damaged or unreadable entry files skipped");
}

void ReadFirefox(const BrowserProfile& profile, const ReadContext& context, ProfileRead& out) {
  const std::string places = profile.profileDir + "/places.sqlite";
  std::vector<HistoryRow> history;
  if (ReadDatabase(
          places, context,
          [&](sqlite3* db, std::string& p) { return firefox::ReadPlaces(db, history, p); },
          out.problems))
    out.entries.history = HistoryEntries(std::move(history), profile.label);

  const std::string cookies = profile.profileDir + "/cookies.sqlite";
  if (ReadDatabase(
          cookies, context,
          [&](sqlite3* db, std::string& p) { return firefox::ReadCookies(db, out.cookies, p); },
          out.problems))
    out.entries.cookies = CookieEntries(out.cookies, profile.label, context.viewFolder);

  firefox::Cache2Folder folder = firefox::ScanCache2Folder(profile.cacheDir);
  out.problems.insert(out.problems.end(), folder.problems.begin(), folder.problems.end());
  ReadCacheFiles(profile.cacheDir, folder.entryFiles, profile.label, context,
                 firefox::ParseCache2Entry, out);
}

void ReadChromium(const BrowserProfile& profile, const ReadContext& context, ProfileRead& out) {
  const std::string historyPath = profile.profileDir + "/History";
  std::vector<HistoryRow> history;
  if (ReadDatabase(
          historyPath, context,
          [&](sqlite3* db, std::string& p) { return chromium::ReadUrls(db, history, p); },
          out.problems))
    out.entries.history = HistoryEntries(std::move(history), profile.label);

  std::string cookies = profile.profileDir + "/Network/Cookies";
  FileIdentity ignored;
  if (!StatRegularFile(cookies, ignored)) cookies = profile.profileDir + "/Cookies";
  if (ReadDatabase(
          cookies, context,
          [&](sqlite3* db, std::string& p) { return chromium::ReadCookies(db, out.cookies, p); },
          out.problems))
    out.entries.cookies = CookieEntries(out.cookies, profile.label, context.viewFolder);

  chromium::SimpleCacheFolder folder = chromium::ScanSimpleCacheFolder(profile.cacheDir);
  out.problems.insert(out.problems.end(), folder.problems.begin(), folder.problems.end());
  ReadCacheFiles(profile.cacheDir, folder.entryFiles, profile.label, context,
                 chromium::ParseSimpleCacheEntry, out);
}

}  // namespace

std::vector<SourceEntry> HistoryEntries(std::vector<HistoryRow> rows, const std::string& label) {
  std::vector<SourceEntry> entries;
  platform::ReserveOnHugePages(entries, rows.size());
  for (HistoryRow& row : rows) {
    SourceEntry entry;
    entry.url = HistoryEntryUrl(label, row.url);
    // Freed at once, so that the strings that follow reuse its memory rather
    // than grow the heap.
    std::string().swap(row.url);
    entry.entryType = kHistoryEntry;
    entry.hitCount = row.visitCount;
    entry.lastAccess = row.lastVisit;
    entry.lastSync = row.lastVisit;
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::vector<SourceEntry> CookieEntries(const std::vector<CookieRow>& rows, const std::string& label,
                                       const std::string& viewFolder) {
  using Key = std::tuple<std::string, std::string, int>;  // host, path, port
  std::map<Key, std::size_t> index;
  std::vector<Key> keys;
  std::vector<SourceEntry> entries;
  for (const CookieRow& row : rows) {
    Key key{HostWithoutDot(row.host), row.path, EffectivePort(row.port)};
    auto [found, added] = index.emplace(key, entries.size());
    if (added) {
      keys.push_back(key);
      SourceEntry entry;
      entry.url = CookieEntryUrl(label, row.host, std::get<2>(key), row.path);
      entry.entryType = kCookieEntry;
      entries.push_back(std::move(entry));
    }
    SourceEntry& entry = entries[found->second];
    entry.lastModified = std::max(entry.lastModified, row.creation);
    entry.lastAccess = std::max(entry.lastAccess, row.lastAccess);
    entry.lastSync = entry.lastAccess;
    entry.expire = std::max(entry.expire, row.expiry);
  }
  // Sheets are numbered per host in path order, as WinINet numbers its
  // cookie files.
  std::map<std::string, int> perHost;
  for (const auto& [key, position] : index) {
    int n = ++perHost[std::get<0>(key)];
    entries[position].localFileName = viewFolder + "/" + CookieFileName(label, std::get<0>(key), n);
  }
  return entries;
}

bool ContentEntry(CachedResponse response, std::string file, const std::string& relative,
                  const std::string& label, const ReadContext& context, SourceEntry& entry) {
  if (!IsWebUrl(response.url)) return false;
  static const MimeGlobs kNoGlobs = MimeGlobs::FromText("");
  const MimeGlobs& globs = context.globs ? *context.globs : kNoGlobs;
  const std::string folder = EntryFolder(relative);
  const std::string name = CachedFileName(response.url, response.responseHead, globs);
  std::string& local = entry.localFileName;
  local.reserve(context.viewFolder.size() + label.size() + folder.size() + name.size() + 3);
  local.append(context.viewFolder).append(1, '/').append(label).append(1, '/');
  local.append(folder).append(1, '/').append(name);
  entry.url = std::move(response.url);
  entry.entryType = kNormalEntry;
  entry.hitCount = response.fetchCount;
  entry.size = response.bodyLength;
  entry.lastModified = response.lastModified;
  entry.expire = response.expire;
  entry.lastAccess = response.lastFetched;
  entry.lastSync = response.lastFetched;
  entry.headerInfo = std::move(response.responseHead);
  entry.sourceFile = std::move(file);
  entry.bodyOffset = response.bodyOffset;
  return true;
}

ProfileRead ReadProfile(const BrowserProfile& profile, const ReadContext& context) {
  ProfileRead read;
  if (profile.kind == BrowserKind::kFirefox)
    ReadFirefox(profile, context, read);
  else
    ReadChromium(profile, context, read);
  return read;
}

}  // namespace sources
