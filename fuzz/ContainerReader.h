// Runs the whole read path on the bytes of one container file: the bytes
// become the index.dat of all three containers of a scratch user folder,
// and the URL-cache stand-in, TIECache and the analyzer read them as they
// read a real cache. Shared by the fuzz target and the replay of its
// regression corpus.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/testing/TempDir.h"

namespace fuzz {

// What one read found; the same bytes always give the same counts.
struct ReadSummary {
  std::size_t delivered = 0;    // by a TIECache walk of all three containers
  std::int32_t totals[6] = {};  // images, pages, media, other, cookies, history
  std::size_t sites = 0;
};

class ContainerReader {
 public:
  // Makes the scratch user folder below $TMPDIR (or /tmp) and points the
  // URL-cache stand-in at it.
  ContainerReader();
  // Removes the scratch folder.
  ~ContainerReader();
  ContainerReader(const ContainerReader&) = delete;
  ContainerReader& operator=(const ContainerReader&) = delete;

  // Writes `data` as the containers and reads them whole. Aborts when the
  // analyzer and the enumerator disagree, or when the same bytes give
  // different entries in different containers, so that the fuzzer reports it.
  ReadSummary Read(const std::uint8_t* data, std::size_t size);

 private:
  fixture::TempDir scratch_;  // removed with the containers in it
  std::string root_;
  std::string file_;  // the one index.dat, linked into every container folder
};

}  // namespace fuzz
