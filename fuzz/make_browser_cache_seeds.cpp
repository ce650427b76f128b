// Writes seed entries for the cache2 and simple-cache fuzzers into
// <dir>/cache2 and <dir>/simple-cache: plain, large, alt-data, key forms.
#include <filesystem>
#include <iostream>

#include "platform/sources/testing/ProfileWriter.h"

using namespace sources::testing;

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

  SimpleEntrySpec simple;
  simple.key = "1/0/_dk_https://a.test https://a.test https://a.test/s.css";
  simple.body = "body{}";
  simple.responseHead = ResponseHead(200, "text/css");
  WriteFile(dir + "/simple-cache/dk", SimpleCacheEntryBytes(simple));
  simple.key = "http://old.test/a.gif";
  simple.keySha256 = false;
  WriteFile(dir + "/simple-cache/bare-url", SimpleCacheEntryBytes(simple));
  return 0;
}
