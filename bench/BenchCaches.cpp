#include "bench/BenchCaches.h"

#include <sys/stat.h>

#include <algorithm>
#include <random>
#include <unordered_map>
#include <vector>

#include "analysis/TraceKind.h"
#include "platform/wininet/testing/IndexDatWriter.h"

namespace bench {
namespace {

constexpr std::size_t kBlock = 128;
constexpr std::size_t kMaxBlocks = (0x4000 - 0x250) * 8;
constexpr std::size_t kHashItems = (32 * kBlock - 16) / 8;
constexpr std::size_t kRecordTextsStart = 0x68;

const char* const kSyllables[] = {"ka", "lo", "mi", "ne", "su", "ra", "to",  "vi",  "de",  "po",
                                  "an", "el", "is", "or", "ul", "be", "chi", "for", "gal", "hum"};
const char* const kTlds[] = {".com", ".net", ".org", ".de", ".co.uk", ".io", ".fr", ".info"};
const char* const kHostPrefixes[] = {"www.", "www.", "www.", "", "static.", "img.", "cdn."};

struct Kind {
  const char* extension;
  const char* mime;
};
// Weighted like a browser cache: mostly images, then scripts and styles,
// pages, and a few media files.
const Kind kContentKinds[] = {
    {"gif", "image/gif"},      {"jpg", "image/jpeg"},
    {"jpg", "image/jpeg"},     {"png", "image/png"},
    {"png", "image/png"},      {"gif", "image/gif"},
    {"js", "text/javascript"}, {"js", "text/javascript"},
    {"css", "text/css"},       {"htm", "text/html"},
    {"html", "text/html"},     {"php", "text/html"},
    {"ico", "image/x-icon"},   {"swf", "application/x-shockwave-flash"},
    {"", "application/json"},  {"mp3", "audio/mpeg"},
};

class EntryGenerator {
 public:
  EntryGenerator(std::size_t sites, std::uint64_t seed) : random_(seed) {
    hosts_.reserve(sites);
    keys_.reserve(sites);
    for (std::size_t i = 0; i < sites; ++i) {
      std::string name = Word(2, 4) + std::to_string(i);
      std::string host =
          kHostPrefixes[Pick(std::size(kHostPrefixes))] + name + kTlds[Pick(std::size(kTlds))];
      keys_.push_back(SiteFromURL("http://" + host + "/"));
      hosts_.push_back(std::move(host));
    }
  }

  // Half the entries go round every site; the other half favour a few sites
  // heavily, as a browser's favourites do.
  std::size_t NextSite() {
    if (++turn_ % 2) return (turn_ / 2) % hosts_.size();
    const double u = std::uniform_real_distribution<double>(0.0, 1.0)(random_);
    return std::min(hosts_.size() - 1, static_cast<std::size_t>(u * u * u * u * hosts_.size()));
  }

  const std::string& Host(std::size_t site) const { return hosts_[site]; }
  const std::string& Key(std::size_t site) const { return keys_[site]; }

  // A path of one to five folders, a file name and sometimes a query.
  std::string Path(const char* extension) {
    std::string path = "/";
    for (std::size_t i = 0, n = 1 + Pick(5); i < n; ++i) path += Word(1, 5) + "/";
    path += Word(2, 8);
    if (*extension) path += std::string(".") + extension;
    if (Pick(100) < 35) path += "?v=" + std::to_string(random_() % 100000) + "&r=" + Word(2, 20);
    return path;
  }

  std::string Word(std::size_t least, std::size_t most) {
    std::string word;
    for (std::size_t i = 0, n = least + Pick(most - least + 1); i < n; ++i)
      word += kSyllables[Pick(std::size(kSyllables))];
    return word;
  }

  std::string Header(const char* mime) {
    std::string header = "HTTP/1.1 200 OK\r\nContent-Type: " + std::string(mime) + "\r\n";
    if (Pick(2)) header += "ETag: \"" + Word(4, 12) + "\"\r\n";
    if (Pick(2))
      header += "Cache-Control: max-age=" + std::to_string(random_() % 10000000) + "\r\n";
    return header + "\r\n";
  }

  std::size_t Pick(std::size_t n) { return static_cast<std::size_t>(random_() % n); }

 private:
  std::mt19937_64 random_;
  std::vector<std::string> hosts_;
  std::vector<std::string> keys_;
  std::size_t turn_ = 0;
};

// The entry's file name in the cache directory: the last path component
// before any query, with the copy number the cache adds.
std::string CacheFileName(const std::string& path, const char* extension) {
  std::string name = path.substr(0, path.find('?'));
  name = name.substr(name.rfind('/') + 1);
  name = name.substr(0, name.find('.'));
  return name + "[1]" + (*extension ? std::string(".") + extension : std::string());
}

std::size_t Align4(std::size_t n) {
  return (n + 3) & ~std::size_t{3};
}

// Blocks of the record the fixture writer makes for `e`.
std::size_t RecordBlocks(const fixture::EntryFixture& e) {
  std::size_t at = kRecordTextsStart + Align4(e.url.size() + 1);
  if (!e.fileName.empty()) at += Align4(e.fileName.size() + 1);
  if (!e.header.empty()) at += Align4(e.header.size() + 1);
  if (!e.extension.empty()) at += Align4(e.extension.size() + 1);
  return (at + kBlock - 1) / kBlock;
}

// Adds entries from `make` while the container still has 1% of its blocks
// to spare.
template <typename Make>
void FillToCapacity(fixture::ContainerFixture& spec, Make make) {
  std::size_t blocks = 0;
  for (;;) {
    fixture::EntryFixture e = make();
    const std::size_t tables = (spec.entries.size() + 1 + kHashItems - 1) / kHashItems;
    if (blocks + RecordBlocks(e) + tables * 32 > kMaxBlocks * 99 / 100) return;
    blocks += RecordBlocks(e);
    spec.entries.push_back(std::move(e));
  }
}

const char* const kDirectories[] = {"J95PGS3G", "NHI2JCZ1", "RPWFMVVN", "VWASQFQ8",
                                    "0A1B2C3D", "QX7ZL0PM", "B4N6T8RE", "KD93JSL2"};

}  // namespace

bool WriteFullProfile(const std::string& userFolder, FullProfile& profile, std::string& error) {
  // A full content container holds some 40,000 entries; one site per 20.
  EntryGenerator gen(2000, 1);
  fixture::ProfileFixture spec;
  spec.layout = fixture::ProfileLayout::Wine;
  std::unordered_map<std::size_t, std::size_t> perSite;
  FillToCapacity(spec.content, [&] {
    const std::size_t site = gen.NextSite();
    ++perSite[site];
    const Kind& kind = kContentKinds[gen.Pick(std::size(kContentKinds))];
    fixture::EntryFixture e;
    const std::string path = gen.Path(kind.extension);
    e.url = "http://" + gen.Host(site) + path;
    e.fileName = CacheFileName(path, kind.extension);
    e.directory = kDirectories[gen.Pick(std::size(kDirectories))];
    e.writeFile = false;
    e.header = gen.Header(kind.mime);
    e.size = 100 + gen.Pick(200000);
    e.hitRate = 1 + gen.Pick(20);
    e.lastModified = fixture::FileTimeOf(2024, 1 + gen.Pick(12), 1 + gen.Pick(28), 12, 0, 0);
    e.lastAccess = fixture::FileTimeOf(2025, 1 + gen.Pick(12), 1 + gen.Pick(28), 9, 30, 0);
    e.expireFat = fixture::FatDateTime(2026, 1, 1, 0, 0, 0);
    e.syncFat = fixture::FatDateTime(2025, 6, 1, 8, 0, 0);
    return e;
  });
  FillToCapacity(spec.history, [&] {
    fixture::EntryFixture e;
    e.url = "Visited: ann@http://" + gen.Host(gen.NextSite()) + gen.Path("htm");
    e.type = URLHISTORY_CACHE_ENTRY;
    e.lastAccess = fixture::FileTimeOf(2025, 1 + gen.Pick(12), 1 + gen.Pick(28), 9, 30, 0);
    return e;
  });
  std::size_t cookie = 0;
  FillToCapacity(spec.cookies, [&] {
    fixture::EntryFixture e;
    const std::size_t site = gen.NextSite();
    std::string key = gen.Key(site);
    e.url = "Cookie:ann@" + key + "/" + (gen.Pick(4) ? "" : gen.Word(1, 3) + "/");
    e.fileName =
        "ann@" + key.substr(0, key.find('.')) + "[" + std::to_string(++cookie % 9) + "].txt";
    e.type = COOKIE_CACHE_ENTRY;
    e.writeFile = false;
    return e;
  });

  if (!fixture::WriteProfile(userFolder, spec, &error)) return false;
  const fixture::ContainerFixture* containers[3] = {&spec.cookies, &spec.history, &spec.content};
  profile.userFolder = userFolder;
  for (int c = 0; c < 3; ++c) {
    profile.files[c] =
        userFolder + "/" + fixture::ContainerPath(fixture::ProfileLayout::Wine, c) + "/index.dat";
    profile.entries[c] = containers[c]->entries.size();
    struct stat st {};
    stat(profile.files[c].c_str(), &st);
    profile.fileBytes[c] = static_cast<std::size_t>(st.st_size);
  }
  profile.sites = perSite.size();
  const auto largest = std::max_element(perSite.begin(), perSite.end(),
                                        [](auto& a, auto& b) { return a.second < b.second; });
  profile.largestSite = gen.Key(largest->first);
  return true;
}

GrowthCache FillGrowthCache(fixture::MemoryUrlCache& cache, std::size_t entries) {
  const std::size_t sites = std::max<std::size_t>(1, entries / 20);
  EntryGenerator gen(sites, entries);
  std::vector<std::size_t> perSite(sites);
  const std::string folder = "/home/ann/.wine/drive_c/users/ann/AppData/Local/Microsoft/Windows/";
  for (std::size_t i = 0; i < entries; ++i) {
    const std::size_t slot = i % 10;
    const std::size_t site = gen.NextSite();
    urlcache::EntryView e;
    std::string url, local, header;
    if (slot < 6) {
      ++perSite[site];
      const Kind& kind = kContentKinds[gen.Pick(std::size(kContentKinds))];
      const std::string path = gen.Path(kind.extension);
      url = "http://" + gen.Host(site) + path;
      local = folder + "INetCache/Content.IE5/" + kDirectories[gen.Pick(std::size(kDirectories))] +
              "/" + CacheFileName(path, kind.extension);
      header = gen.Header(kind.mime);
      e.cacheEntryType = NORMAL_CACHE_ENTRY;
      e.extension = kind.extension;
    } else if (slot < 9) {
      url = "Visited: ann@http://" + gen.Host(site) + gen.Path("htm");
      e.cacheEntryType = URLHISTORY_CACHE_ENTRY;
    } else {
      const std::string& key = gen.Key(site);
      url = "Cookie:ann@" + key + "/";
      local = folder + "INetCookies/ann@" + key.substr(0, key.find('.')) + "[1].txt";
      e.cacheEntryType = COOKIE_CACHE_ENTRY;
    }
    e.url = url;
    e.localFile = local;
    e.header = header;
    e.lastAccess = fixture::FileTimeOf(2025, 1 + i % 12, 1 + i % 28, 9, 30, 0);
    e.lastModified = fixture::FileTimeOf(2024, 1 + i % 12, 1 + i % 28, 12, 0, 0);
    cache.Add(slot < 6   ? fixture::MemoryUrlCache::kContent
              : slot < 9 ? fixture::MemoryUrlCache::kHistory
                         : fixture::MemoryUrlCache::kCookies,
              e);
  }
  GrowthCache result;
  result.sites = static_cast<std::size_t>(
      std::count_if(perSite.begin(), perSite.end(), [](std::size_t n) { return n > 0; }));
  result.largestSite = gen.Key(
      static_cast<std::size_t>(std::max_element(perSite.begin(), perSite.end()) - perSite.begin()));
  return result;
}

}  // namespace bench
