// index-dat-seeds: writes the seed corpus of the index.dat fuzzer, one
// container file per seed, made by the fixture writer.
//
//   index-dat-seeds DIR
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/wininet/testing/IndexDatWriter.h"
#include "tools/ToolCommandLine.h"

namespace {

using fixture::ContainerFixture;
using fixture::EntryFixture;

EntryFixture Content(const std::string& url, const std::string& file, const std::string& dir) {
  EntryFixture e;
  e.url = url;
  e.fileName = file;
  e.directory = dir;
  e.size = 1234;
  e.lastModified = fixture::FileTimeOf(2024, 2, 29, 23, 59, 58);
  e.lastAccess = fixture::FileTimeOf(2025, 7, 1, 12, 0, 0);
  e.expireFat = fixture::FatDateTime(2026, 1, 31, 10, 30, 0);
  e.syncFat = fixture::FatDateTime(2025, 7, 1, 12, 0, 2);
  return e;
}

std::vector<std::pair<std::string, ContainerFixture>> Seeds() {
  std::vector<std::pair<std::string, ContainerFixture>> seeds;
  seeds.push_back({"empty", {}});

  ContainerFixture content;
  content.directories = {"J95PGS3G", "NHI2JCZ1"};
  content.entries = {
      Content("http://www.example.com/logo.gif", "logo[1].gif", "J95PGS3G"),
      Content("https://news.example.com:8443/a/b.html?q=1", "b[1].html", "NHI2JCZ1"),
      Content("http://cdn.other.org/movie.swf", "movie[1].swf", "J95PGS3G"),
      Content("about:blank", "", ""),
      Content("http://user@www.caf\xe9.test/men\xfc.PHP", "men\xfc[2].PHP", "NHI2JCZ1")};
  content.entries[0].header = "HTTP/1.1 200 OK\r\nContent-Type: image/gif\r\n\r\n";
  content.entries[0].extension = "gif";
  content.entries[1].type = NORMAL_CACHE_ENTRY | STICKY_CACHE_ENTRY;
  content.entries[1].exemptDelta = 86400;
  content.entries[2].size = 0x100000005ULL;
  seeds.push_back({"content", content});

  ContainerFixture cookies;
  for (const char* site : {"example.com", "other.org", "www.a.b", "x.y:8080"}) {
    EntryFixture e;
    e.url = std::string("Cookie:ann@") + site + "/";
    e.fileName = std::string("ann@") + site + "[1].txt";
    e.type = COOKIE_CACHE_ENTRY;
    e.hitRate = 3;
    cookies.entries.push_back(e);
  }
  seeds.push_back({"cookies", cookies});

  ContainerFixture history;
  for (const char* url : {"http://www.example.com/", "https://a.b/c?d=e", "file:///C:/x.txt"}) {
    EntryFixture e;
    e.url = std::string("Visited: ann@") + url;
    e.type = URLHISTORY_CACHE_ENTRY;
    e.lastAccess = fixture::FileTimeOf(2025, 12, 31, 23, 59, 59);
    history.entries.push_back(e);
  }
  seeds.push_back({"history", history});

  // More entries than one hash table holds, with short records.
  ContainerFixture chained;
  for (int i = 0; i < 600; ++i) {
    EntryFixture e;
    e.url = "http://s" + std::to_string(i % 40) + ".t/" + std::to_string(i);
    chained.entries.push_back(e);
  }
  seeds.push_back({"two-hash-tables", chained});

  // Every cache directory the header has room for.
  ContainerFixture directories;
  for (int i = 0; i < 43; ++i) {
    char name[9];
    std::snprintf(name, sizeof name, "DIR%05d", i);
    directories.entries.push_back(
        Content("http://d" + std::to_string(i) + ".test/f.jpg", "f[1].jpg", name));
  }
  seeds.push_back({"directories", directories});
  return seeds;
}

bool Write(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Writes the seed corpus of the index.dat fuzzer.", "index-dat-seeds"};
  std::string folder;
  app.add_option("DIR", folder, "Folder for the seeds")->required();
  if (std::optional<int> code = ParseToolCommandLine(app, argc, argv)) return *code;
  const std::filesystem::path dir = folder;
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  for (const auto& [name, spec] : Seeds()) {
    std::string bytes, message;
    if (!fixture::BuildIndexDat(spec, bytes, &message)) {
      std::fprintf(stderr, "index-dat-seeds: %s: %s\n", name.c_str(), message.c_str());
      return 1;
    }
    if (!Write(dir / (name + ".dat"), bytes)) return 1;
    // The same container as Wine signs it.
    if (name == "content") {
      const char wine[] = "WINE URLCache Ver 0.2012001";
      std::memcpy(bytes.data(), wine, sizeof wine);
      if (!Write(dir / "content-wine.dat", bytes)) return 1;
    }
  }
  return 0;
}
