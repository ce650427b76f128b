#include "platform/common/NameInFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/testing/TempDir.h"

namespace {

using platform::FindNameIgnoringCase;

TEST(FindNameIgnoringCaseTest, ExactSpellingFirstElseTheFirstInOrder) {
  fixture::TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  for (const char* name : {"index.DAT", "Index.dat", "INDEX.DAT", "other"})
    std::ofstream(dir / name) << "x";
  EXPECT_EQ(FindNameIgnoringCase(dir.path(), "index.DAT"), "index.DAT");
  // Not spelled so on disk: the candidate that sorts first, however the
  // folder lists them.
  EXPECT_EQ(FindNameIgnoringCase(dir.path(), "index.dat"), "INDEX.DAT");
  EXPECT_EQ(FindNameIgnoringCase(dir.path(), "OTHER"), "other");
}

TEST(FindNameIgnoringCaseTest, OnlyAsciiLettersFoldAndMissingThingsGiveNone) {
  fixture::TempDir dir;
  std::ofstream(dir / "caf\xc3\xa9") << "x";
  EXPECT_EQ(FindNameIgnoringCase(dir.path(), "CAF\xc3\xa9"), "caf\xc3\xa9");
  EXPECT_EQ(FindNameIgnoringCase(dir.path(), "caf\xc3\x89"), std::nullopt);
  EXPECT_EQ(FindNameIgnoringCase(dir.path(), "cafe"), std::nullopt);
  EXPECT_EQ(FindNameIgnoringCase(dir / "no-such-folder", "x"), std::nullopt);
}

}  // namespace
