// libFuzzer target: arbitrary bytes as a Firefox cache2 entry file, parsed
// and, when accepted, named as the view folder would name it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/sources/firefox/Cache2Entry.h"
#include "platform/sources/naming/ContentNames.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const sources::MimeGlobs globs;
  sources::MemoryBytes file(std::string(reinterpret_cast<const char*>(data), size));
  std::string problem;
  auto response = sources::firefox::ParseCache2Entry(file, problem);
  if (response) {
    if (response->bodyOffset + response->bodyLength > size) __builtin_trap();
    sources::CachedFileName(response->url, response->responseHead, globs);
  }
  return 0;
}
