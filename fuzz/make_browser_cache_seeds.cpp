// Writes seed entries for the cache2 and simple-cache fuzzers into
// <dir>/cache2 and <dir>/simple-cache: plain, large, alt-data, key forms,
// bodies in each Content-Encoding.
#include <filesystem>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "platform/sources/testing/ProfileWriter.h"

using namespace sources::testing;

namespace {

// "<p>fuzz body</p><p>fuzz body</p>" in each Content-Encoding we decode.
std::vector<std::pair<std::string, std::string>> EncodedBodies() {
  return {
      {"gzip", std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\x03\xb3\x29\xb0\x4b\x2b\xad"
                           "\xaa\x52\x48\xca\x4f\xa9\xb4\xd1\x2f\xb0\xb3\x41\xe3\x03\x00\x48"
                           "\xdd\x28\xe1\x20\x00\x00\x00",
                           39)},
      {"br", std::string("\x1b\x1f\x00\x00\x44\x27\x47\x7a\x82\xef\x06\x5f\x4b\x4b\x82\x5e"
                         "\xc2\x00\x55\xc3\x5a\x5c\xf5\x25\xf0\xd4\x27\xe6\x05",
                         29)},
      {"zstd", std::string("\x28\xb5\x2f\xfd\x20\x20\xb5\x00\x00\x80\x3c\x70\x3e\x66\x75\x7a"
                           "\x7a\x20\x62\x6f\x64\x79\x3c\x2f\x70\x3e\x01\x00\x06\x99\x4b",
                           31)},
  };
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: browser-cache-seeds DIR\n";
    return 2;
  }
  const std::string dir = argv[1];
  Cache2EntrySpec cache2;
  cache2.key = "O^partitionKey=%28https%2Ca.test%29,:https://a.test/img/x.png";
  cache2.body = "body";
  cache2.responseHead = ResponseHead(200, "image/png", {"Content-Length: 4"});
  WriteFile(dir + "/cache2/plain", Cache2EntryBytes(cache2));
  cache2.key = ":https://a.test/app.js";
  cache2.altData = "1;2,javascript/moz-bytecode";
  WriteFile(dir + "/cache2/alt-data", Cache2EntryBytes(cache2));
  cache2.altData.clear();
  cache2.body = std::string(262145, 'b');
  WriteFile(dir + "/cache2/two-chunks", Cache2EntryBytes(cache2));
  for (const auto& [coding, body] : EncodedBodies()) {
    cache2.key = ":https://a.test/" + coding;
    cache2.body = body;
    cache2.responseHead = ResponseHead(200, "text/html", {"Content-Encoding: " + coding});
    WriteFile(dir + "/cache2/" + coding, Cache2EntryBytes(cache2));
  }

  SimpleEntrySpec simple;
  simple.key = "1/0/_dk_https://a.test https://a.test https://a.test/s.css";
  simple.body = "body{}";
  simple.responseHead = ResponseHead(200, "text/css");
  WriteFile(dir + "/simple-cache/dk", SimpleCacheEntryBytes(simple));
  simple.key = "http://old.test/a.gif";
  simple.keySha256 = false;
  WriteFile(dir + "/simple-cache/bare-url", SimpleCacheEntryBytes(simple));
  simple.keySha256 = true;
  for (const auto& [coding, body] : EncodedBodies()) {
    simple.key = "1/0/_dk_https://a.test https://a.test https://a.test/" + coding;
    simple.body = body;
    simple.responseHead = ResponseHead(200, "text/html", {"Content-Encoding: " + coding});
    WriteFile(dir + "/simple-cache/" + coding, SimpleCacheEntryBytes(simple));
  }
  return 0;
}
