// Replays the fuzzer's regression corpus (fuzz/regression: every input that
// ever crashed the reader, and damaged containers made by hand) through the
// whole read path, and checks what the reader makes of known damage.
#include "fuzz/ContainerReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const fs::path kCorpus = fs::path(SITELORE_SOURCE_DIR) / "fuzz" / "regression";

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::vector<std::string> CorpusFiles() {
  std::vector<std::string> names;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(kCorpus, error))
    if (entry.is_regular_file() && entry.path().filename() != "README.md")
      names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

fuzz::ReadSummary ReadBytes(fuzz::ContainerReader& reader, const std::string& bytes) {
  return reader.Read(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

bool operator==(const fuzz::ReadSummary& a, const fuzz::ReadSummary& b) {
  return a.delivered == b.delivered &&
         std::equal(std::begin(a.totals), std::end(a.totals), std::begin(b.totals)) &&
         a.sites == b.sites;
}

class RegressionCorpus : public ::testing::TestWithParam<std::string> {};

// Every file reads to the end without a fault (the sanitizer build catches
// what the plain build cannot), and reads the same twice.
TEST_P(RegressionCorpus, ReadsWholeAndTheSameTwice) {
  const std::string bytes = ReadFile(kCorpus / GetParam());
  fuzz::ContainerReader reader;
  const fuzz::ReadSummary first = ReadBytes(reader, bytes);
  EXPECT_TRUE(ReadBytes(reader, bytes) == first);
}

std::string TestName(const ::testing::TestParamInfo<std::string>& info) {
  std::string name = info.param;
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Files, RegressionCorpus, ::testing::ValuesIn(CorpusFiles()), TestName);

TEST(RegressionCorpusTest, IsNeverEmpty) {
  EXPECT_GE(CorpusFiles().size(), 10u);
}

// What each hand-made damaged file keeps: the content entries delivered,
// images, pages, media, other files and sites. The undamaged container holds
// a.test/1.gif, b.test/2.htm, c.test:81/3.swf, a history URL without a file
// and a cookie URL with u@e[1].txt (a page by its extension).
struct Kept {
  std::size_t entries;
  std::int32_t images, pages, media, other;
  std::size_t sites;
};

TEST(RegressionCorpusTest, DamageCostsOnlyTheDamagedEntries) {
  const std::map<std::string, Kept> expected = {
      {"hash-chain-loop.dat", {5, 1, 2, 1, 1, 5}},
      {"hash-chain-back-link.dat", {600, 0, 0, 0, 600, 40}},
      {"hash-offsets-outside.dat", {5, 1, 2, 1, 1, 5}},
      {"hash-items-same-record.dat", {1, 1, 0, 0, 0, 1}},  // a record is delivered once
      {"record-block-counts.dat", {2, 0, 1, 0, 1, 2}},
      {"records-not-url.dat", {0, 0, 0, 0, 0, 0}},
      {"url-unterminated.dat", {3, 0, 1, 1, 1, 3}},
      {"truncated-in-record.dat", {2, 1, 1, 0, 0, 2}},
      {"truncated-in-hash-table.dat", {0, 0, 0, 0, 0, 0}},
      {"shorter-than-header.dat", {0, 0, 0, 0, 0, 0}},
      {"empty-file.dat", {0, 0, 0, 0, 0, 0}},
      // Unsafe directory and file names give no local file; a directory
      // index beyond the table means the container folder.
      {"directories-hostile.dat", {5, 0, 0, 1, 4, 5}},
      {"text-offsets-edge.dat", {5, 0, 2, 1, 2, 5}},
      {"times-extreme.dat", {5, 1, 2, 1, 1, 5}},
  };
  fuzz::ContainerReader reader;
  for (const auto& [name, kept] : expected) {
    SCOPED_TRACE(name);
    const fuzz::ReadSummary s = ReadBytes(reader, ReadFile(kCorpus / name));
    // The same bytes stand in all three containers.
    EXPECT_EQ(s.delivered, 3 * kept.entries);
    EXPECT_EQ(s.totals[0], kept.images);
    EXPECT_EQ(s.totals[1], kept.pages);
    EXPECT_EQ(s.totals[2], kept.media);
    EXPECT_EQ(s.totals[3], kept.other);
    EXPECT_EQ(s.sites, kept.sites);
  }
}

// The reader itself on a container that Wine wrote.
TEST(ContainerReaderTest, ReadsTheWineFixture) {
  const fs::path content = fs::path(SITELORE_SHARED_DIR) /
                           "fixtures/wine-basic/prefix/drive_c/users/root/AppData/Local/"
                           "Microsoft/Windows/INetCache/Content.IE5/index.dat";
  fuzz::ContainerReader reader;
  const fuzz::ReadSummary s = ReadBytes(reader, ReadFile(content));
  EXPECT_EQ(s.delivered, 15u);
  EXPECT_EQ(s.totals[0], 2);  // PHOTO[0].JPG, logo[0].gif
  EXPECT_EQ(s.totals[1], 1);
  EXPECT_EQ(s.totals[2], 1);
  EXPECT_EQ(s.totals[3], 1);
  EXPECT_EQ(s.totals[4], 5);
  EXPECT_EQ(s.totals[5], 5);
  EXPECT_EQ(s.sites, 3u);
}

}  // namespace
