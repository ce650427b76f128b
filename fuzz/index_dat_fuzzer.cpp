// libFuzzer target: arbitrary bytes as a WinINet container, read whole
// through the disk stand-in, TIECache and the analyzer.
#include <cstddef>
#include <cstdint>

#include "fuzz/ContainerReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::ContainerReader reader;
  reader.Read(data, size);
  return 0;
}
