// write-index-dat: writes a WinINet container (index.dat, cache directories,
// cached files) from a JSON description, for tests and hand-made samples.
//
//   write-index-dat FOLDER < entries.json
//
// {"directories": ["AB12CD34"], "entries": [{"url": "http://a.b/x.gif",
//   "file": "x[1].gif", "directory": "AB12CD34", "contents": "GIF89a...",
//   "header": "...", "extension": "gif", "type": 1, "size": 42}]}
#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/wininet/testing/IndexDatWriter.h"
#include "tools/ToolCommandLine.h"

int main(int argc, char** argv) {
  CLI::App app{"Writes a WinINet container from a JSON description read from standard input.",
               "write-index-dat"};
  std::string folder;
  app.add_option("FOLDER", folder, "Folder of the container")->required();
  if (std::optional<int> code = ParseToolCommandLine(app, argc, argv)) return *code;
  fixture::ContainerFixture spec;
  try {
    const nlohmann::json input = nlohmann::json::parse(std::cin);
    spec.directories = input.value("directories", std::vector<std::string>{});
    for (const nlohmann::json& item : input.at("entries")) {
      fixture::EntryFixture e;
      e.url = item.at("url").get<std::string>();
      e.fileName = item.value("file", "");
      e.directory = item.value("directory", "");
      e.contents = item.value("contents", "");
      e.header = item.value("header", "");
      e.extension = item.value("extension", "");
      e.type = item.value("type", DWORD{NORMAL_CACHE_ENTRY});
      e.size = item.value("size", std::uint64_t{0});
      e.useCount = item.value("use", DWORD{0});
      e.hitRate = item.value("hits", DWORD{0});
      spec.entries.push_back(std::move(e));
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "write-index-dat: bad input: %s\n", error.what());
    return 1;
  }
  std::string error;
  if (!fixture::WriteContainer(folder, spec, &error)) {
    std::fprintf(stderr, "write-index-dat: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
