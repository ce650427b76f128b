#include "platform/wininet/testing/IndexDatWriter.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "platform/common/Calendar.h"
#include "platform/wininet/ContainerLocator.h"

namespace fixture {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kBlock = 128;
constexpr std::size_t kFirstBlock = 0x4000;
constexpr std::size_t kBitmapOffset = 0x250;
constexpr std::size_t kMaxBlocks = (kFirstBlock - kBitmapOffset) * 8;
constexpr std::size_t kHashBlocks = 32;
constexpr std::size_t kHashItems = (kHashBlocks * kBlock - 16) / 8;
constexpr std::size_t kUrlTextsStart = 0x68;
constexpr std::size_t kMaxDirectories = (kBitmapOffset - 76) / 12;
constexpr char kSignature[] = "Client UrlCache MMF Ver 5.2";

void PutU32(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xff);
}

void PutFileTime(std::string& bytes, std::size_t at, const FILETIME& ft) {
  PutU32(bytes, at, ft.dwLowDateTime);
  PutU32(bytes, at + 4, ft.dwHighDateTime);
}

std::size_t Align4(std::size_t n) {
  return (n + 3) & ~std::size_t{3};
}

// FNV-1a with the flag nibble cleared: an in-use item pointing to a URL.
std::uint32_t UrlHash(const std::string& url) {
  std::uint32_t hash = 2166136261u;
  for (unsigned char c : url) hash = (hash ^ c) * 16777619u;
  hash &= ~0xfu;
  return hash ? hash : 0x10;
}

std::uint64_t RecordedSize(const EntryFixture& e) {
  return e.size ? e.size : e.contents.size();
}

struct Texts {
  std::size_t url, name, header, extension, end;
};

Texts LayOutTexts(const EntryFixture& e) {
  Texts t{};
  std::size_t at = kUrlTextsStart;
  t.url = at;
  at = Align4(at + e.url.size() + 1);
  if (!e.fileName.empty()) {
    t.name = at;
    at = Align4(at + e.fileName.size() + 1);
  }
  if (!e.header.empty()) {
    t.header = at;
    at = Align4(at + e.header.size() + 1);
  }
  if (!e.extension.empty()) {
    t.extension = at;
    at = Align4(at + e.extension.size() + 1);
  }
  t.end = at;
  return t;
}

void PutText(std::string& bytes, std::size_t at, const std::string& text) {
  std::memcpy(bytes.data() + at, text.data(), text.size());
  bytes[at + text.size()] = '\0';
}

void WriteUrlRecord(std::string& bytes, std::size_t at, std::size_t blocks, const EntryFixture& e,
                    std::uint8_t directoryIndex, const Texts& t) {
  std::memcpy(bytes.data() + at, "URL ", 4);
  PutU32(bytes, at + 4, static_cast<std::uint32_t>(blocks));
  PutFileTime(bytes, at + 8, e.lastModified);
  PutFileTime(bytes, at + 16, e.lastAccess);
  PutU32(bytes, at + 24, e.expireFat);
  const std::uint64_t size = RecordedSize(e);
  PutU32(bytes, at + 32, static_cast<std::uint32_t>(size));
  PutU32(bytes, at + 36, static_cast<std::uint32_t>(size >> 32));
  PutU32(bytes, at + 44, e.exemptDelta);
  PutU32(bytes, at + 52, static_cast<std::uint32_t>(t.url));
  bytes[at + 56] = static_cast<char>(directoryIndex);
  PutU32(bytes, at + 60, static_cast<std::uint32_t>(t.name));
  PutU32(bytes, at + 64, e.type);
  PutU32(bytes, at + 68, static_cast<std::uint32_t>(t.header));
  PutU32(bytes, at + 72, static_cast<std::uint32_t>(e.header.size()));
  PutU32(bytes, at + 76, static_cast<std::uint32_t>(t.extension));
  PutU32(bytes, at + 80, e.syncFat);
  PutU32(bytes, at + 84, e.hitRate);
  PutU32(bytes, at + 88, e.useCount);
  PutU32(bytes, at + 92, e.syncFat);
  PutText(bytes, at + t.url, e.url);
  if (t.name) PutText(bytes, at + t.name, e.fileName);
  if (t.header) PutText(bytes, at + t.header, e.header);
  if (t.extension) PutText(bytes, at + t.extension, e.extension);
}

std::vector<std::string> DirectoryTable(const ContainerFixture& spec) {
  std::vector<std::string> table = spec.directories;
  for (const EntryFixture& e : spec.entries)
    if (!e.directory.empty() && std::find(table.begin(), table.end(), e.directory) == table.end())
      table.push_back(e.directory);
  return table;
}

bool Fail(std::string* error, const std::string& message) {
  if (error) *error = message;
  return false;
}

bool WriteFile(const fs::path& path, const std::string& bytes, std::string* error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) return Fail(error, "cannot write " + path.string());
  return true;
}

}  // namespace

bool BuildIndexDat(const ContainerFixture& spec, std::string& bytes, std::string* error) {
  const std::vector<std::string> directories = DirectoryTable(spec);
  if (directories.size() > kMaxDirectories) return Fail(error, "too many cache directories");

  // Plan the blocks: hash tables as they fill, each record after its item.
  struct Placed {
    std::size_t offset, blocks;
    Texts texts;
  };
  std::vector<Placed> placed;
  std::vector<std::size_t> hashTables;
  std::size_t nextBlock = 0;
  const std::size_t tableCount =
      std::max<std::size_t>(1, (spec.entries.size() + kHashItems - 1) / kHashItems);
  for (std::size_t t = 0; t < tableCount; ++t) {
    hashTables.push_back(kFirstBlock + nextBlock * kBlock);
    nextBlock += kHashBlocks;
    const std::size_t end = std::min(spec.entries.size(), (t + 1) * kHashItems);
    for (std::size_t i = t * kHashItems; i < end; ++i) {
      const Texts texts = LayOutTexts(spec.entries[i]);
      const std::size_t blocks = (texts.end + kBlock - 1) / kBlock;
      placed.push_back({kFirstBlock + nextBlock * kBlock, blocks, texts});
      nextBlock += blocks;
    }
  }
  if (nextBlock > kMaxBlocks) return Fail(error, "entries do not fit in one container");

  const std::size_t used = kFirstBlock + nextBlock * kBlock;
  const std::size_t fileSize =
      std::max<std::size_t>(0x8000, (used + 0x3fff) & ~std::size_t{0x3fff});
  bytes.assign(fileSize, '\0');
  std::memcpy(bytes.data(), kSignature, sizeof kSignature);
  PutU32(bytes, 28, static_cast<std::uint32_t>(fileSize));
  PutU32(bytes, 32, static_cast<std::uint32_t>(hashTables.front()));
  PutU32(bytes, 36, static_cast<std::uint32_t>((fileSize - kFirstBlock) / kBlock));
  PutU32(bytes, 40, static_cast<std::uint32_t>(nextBlock));
  PutU32(bytes, 48, 0x03200000);  // cache limit, 50 MB
  PutU32(bytes, 72, static_cast<std::uint32_t>(directories.size()));
  std::map<std::string, std::uint32_t> filesPerDirectory;
  for (const EntryFixture& e : spec.entries)
    if (!e.fileName.empty()) ++filesPerDirectory[e.directory];
  for (std::size_t d = 0; d < directories.size(); ++d) {
    PutU32(bytes, 76 + d * 12, filesPerDirectory[directories[d]]);
    std::memcpy(bytes.data() + 80 + d * 12, directories[d].data(),
                std::min<std::size_t>(8, directories[d].size()));
  }
  for (std::size_t block = 0; block < nextBlock; ++block)
    bytes[kBitmapOffset + block / 8] =
        static_cast<char>(bytes[kBitmapOffset + block / 8] | (1 << (block % 8)));

  for (std::size_t t = 0; t < hashTables.size(); ++t) {
    const std::size_t at = hashTables[t];
    std::memcpy(bytes.data() + at, "HASH", 4);
    PutU32(bytes, at + 4, kHashBlocks);
    PutU32(bytes, at + 8,
           t + 1 < hashTables.size() ? static_cast<std::uint32_t>(hashTables[t + 1]) : 0);
    PutU32(bytes, at + 12, static_cast<std::uint32_t>(t));
    for (std::size_t item = 0; item < kHashItems; ++item) {
      const std::size_t index = t * kHashItems + item;
      const std::size_t itemAt = at + 16 + item * 8;
      if (index < spec.entries.size()) {
        PutU32(bytes, itemAt, UrlHash(spec.entries[index].url));
        PutU32(bytes, itemAt + 4, static_cast<std::uint32_t>(placed[index].offset));
      } else {
        PutU32(bytes, itemAt, 3);
        PutU32(bytes, itemAt + 4, 3);
      }
    }
  }
  for (std::size_t i = 0; i < spec.entries.size(); ++i) {
    const EntryFixture& e = spec.entries[i];
    std::uint8_t directoryIndex = 0xfe;
    if (!e.directory.empty())
      directoryIndex = static_cast<std::uint8_t>(
          std::find(directories.begin(), directories.end(), e.directory) - directories.begin());
    WriteUrlRecord(bytes, placed[i].offset, placed[i].blocks, e, directoryIndex, placed[i].texts);
  }
  return true;
}

bool WriteContainer(const std::string& folder, const ContainerFixture& spec, std::string* error) {
  std::string bytes;
  if (!BuildIndexDat(spec, bytes, error)) return false;
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) return Fail(error, "cannot create " + folder + ": " + ec.message());
  for (const std::string& directory : DirectoryTable(spec)) {
    fs::create_directories(fs::path(folder) / directory, ec);
    if (ec) return Fail(error, "cannot create " + directory + ": " + ec.message());
  }
  for (const EntryFixture& e : spec.entries) {
    if (e.fileName.empty() || !e.writeFile) continue;
    const fs::path file = fs::path(folder) / e.directory / e.fileName;
    if (!WriteFile(file, e.contents, error)) return false;
  }
  return WriteFile(fs::path(folder) / "index.dat", bytes, error);
}

std::string ContainerPath(ProfileLayout layout, int container) {
  const urlcache::ContainerLayout& paths = urlcache::kContainerLayouts[static_cast<int>(layout)];
  const char* const kContainers[] = {paths.cookies, paths.history, paths.content};
  return kContainers[container];
}
bool WriteProfile(const std::string& userFolder, const ProfileFixture& spec, std::string* error) {
  const ContainerFixture* containers[3] = {&spec.cookies, &spec.history, &spec.content};
  for (int c = 0; c < 3; ++c) {
    const std::string folder = userFolder + "/" + ContainerPath(spec.layout, c);
    if (!WriteContainer(folder, *containers[c], error)) return false;
  }
  return true;
}

std::uint32_t FatDateTime(int year, int month, int day, int hour, int minute, int second) {
  const std::uint32_t date = static_cast<std::uint32_t>(((year - 1980) << 9) | (month << 5) | day);
  const std::uint32_t time =
      static_cast<std::uint32_t>((hour << 11) | (minute << 5) | (second / 2));
  return date | (time << 16);
}

FILETIME FileTimeOf(int year, int month, int day, int hour, int minute, int second) {
  const std::int64_t days =
      calendar::DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
      calendar::kDaysFrom1601To1970;
  const std::uint64_t seconds =
      static_cast<std::uint64_t>(days) * 86400 + hour * 3600 + minute * 60 + second;
  const std::uint64_t ticks = seconds * 10000000ULL;
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

}  // namespace fixture
