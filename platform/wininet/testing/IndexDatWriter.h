// Writes WinINet containers in the Windows 5.2 layout (index.dat, its cache
// directories and the cached files) from a list of entries: for tests,
// benchmarks and the demo sample. Entries are enumerated back in the order
// given.
#pragma once

#include <wininet.h>

#include <cstdint>
#include <string>
#include <vector>

namespace fixture {

struct EntryFixture {
  std::string url;
  std::string fileName;   // bare name of the cached file; empty: no local file
  std::string directory;  // cache directory (up to 8 characters); empty: the container folder
  std::string contents;   // bytes written to the cached file
  bool writeFile = true;  // false: the record names a file that is not on disk
  std::string header;     // response header text; empty: none
  std::string extension;  // empty: none (as Windows writes)
  DWORD type = NORMAL_CACHE_ENTRY;
  DWORD useCount = 0;
  DWORD hitRate = 0;
  std::uint64_t size = 0;  // recorded size; contents.size() when 0 and contents is not empty
  DWORD exemptDelta = 0;
  FILETIME lastModified{};
  FILETIME lastAccess{};
  std::uint32_t expireFat = 0;  // FAT date (low word) and time (high word)
  std::uint32_t syncFat = 0;
};

struct ContainerFixture {
  // Cache directories in table order; entries name them by `directory`.
  // Directories that entries name but that are missing here are appended.
  std::vector<std::string> directories;
  std::vector<EntryFixture> entries;
};

// The bytes of an index.dat holding `spec`. Fails (false, with `error`) when
// the entries do not fit in one container.
bool BuildIndexDat(const ContainerFixture& spec, std::string& bytes, std::string* error = nullptr);

// Writes `folder`/index.dat, the cache directories and the cached files;
// creates missing folders. False with `error` on failure.
bool WriteContainer(const std::string& folder, const ContainerFixture& spec,
                    std::string* error = nullptr);

enum class ProfileLayout { Wine, Vista, XP };

// A whole Windows user folder with the three containers in `layout`.
struct ProfileFixture {
  ProfileLayout layout = ProfileLayout::Wine;
  ContainerFixture cookies;
  ContainerFixture history;
  ContainerFixture content;
};

// Writes the three containers below `userFolder`. Empty containers are still
// written (an index.dat without entries).
bool WriteProfile(const std::string& userFolder, const ProfileFixture& spec,
                  std::string* error = nullptr);

// The folder of each container in `layout`, relative to the user folder.
std::string ContainerPath(ProfileLayout layout, int container /*0 cookies, 1 history, 2 content*/);

// A FAT date and time word pair for the given UTC calendar time.
std::uint32_t FatDateTime(int year, int month, int day, int hour, int minute, int second);

// FILETIME of the given UTC calendar time.
FILETIME FileTimeOf(int year, int month, int day, int hour, int minute, int second);

}  // namespace fixture
