#include "platform/registry/RegDocument.h"

#include <gtest/gtest.h>

#include <string>

namespace regfile {
namespace {

constexpr char kKey[] = "HKEY_CURRENT_USER\\Software\\Brightmoor\\Tidewell";

RegValue Dword(DWORD number) {
  return {REG_DWORD, {BYTE(number), BYTE(number >> 8), BYTE(number >> 16), BYTE(number >> 24)}};
}

RegValue Text(const std::string& text) {
  RegValue value{REG_SZ, {text.begin(), text.end()}};
  value.data.push_back(0);
  return value;
}

TEST(RegDocumentTest, ReadsEveryValueForm) {
  auto document = RegDocument::Parse(
      "REGEDIT4\r\n"
      "\r\n"
      "[hkey_current_user\\software\\brightmoor\\tidewell]\r\n"
      "\"SecLevel\"=dword:00000002\r\n"
      "\"Short\" = DWORD:2a\r\n"
      "\"Name\"=\"say \\\"hi\\\" C:\\\\x\"\r\n"
      "@=\"default\"\r\n"
      "\"Bin\"=hex:01,ff,\\\r\n"
      "  10\r\n"
      "\"Multi\"=hex(7):61,00,00\r\n"
      "\"Empty\"=hex:\r\n"
      "\"Twice\"=dword:00000001\r\n"
      "\"TWICE\"=dword:00000003\r\n");
  ASSERT_TRUE(document);
  ASSERT_TRUE(document->HasKey(kKey));
  EXPECT_EQ(*document->Find(kKey, "seclevel"), Dword(2));
  EXPECT_EQ(*document->Find(kKey, "Short"), Dword(42));
  EXPECT_EQ(*document->Find(kKey, "Name"), Text("say \"hi\" C:\\x"));
  EXPECT_EQ(*document->Find(kKey, ""), Text("default"));
  EXPECT_EQ(*document->Find(kKey, "Bin"), (RegValue{REG_BINARY, {0x01, 0xff, 0x10}}));
  EXPECT_EQ(*document->Find(kKey, "Multi"), (RegValue{REG_MULTI_SZ, {'a', 0, 0}}));
  EXPECT_EQ(*document->Find(kKey, "Empty"), (RegValue{REG_BINARY, {}}));
  EXPECT_EQ(*document->Find(kKey, "Twice"), Dword(3));  // the last one wins, as in regedit
  EXPECT_EQ(document->Find(kKey, "Missing"), nullptr);
  EXPECT_EQ(document->Find("HKEY_CURRENT_USER\\Software\\Other", "SecLevel"), nullptr);
}

TEST(RegDocumentTest, SetChangesOnlyTheLinesOfTheValuesSet) {
  const std::string before =
      "REGEDIT4\n"
      "; kept by hand\n"
      "[HKEY_CURRENT_USER\\Software\\Other]\n"
      "\"SecLevel\"=dword:00000009\n"
      "\n"
      "[HKEY_CURRENT_USER\\Software\\Brightmoor\\Tidewell]\n"
      "  \"seclevel\" =  dword:7\n"
      "\"Note\"=hex(2):41,\\\n"
      "    42,00\n"
      "\n"
      "[HKEY_CURRENT_USER\\Software\\Brightmoor\\Tidewell\\Sub]\n"
      "\"X\"=\"y\"";
  auto document = RegDocument::Parse(before);
  ASSERT_TRUE(document);
  ASSERT_EQ(document->Text(), before);

  ASSERT_TRUE(document->Set(kKey, "SecLevel", Dword(3)));
  ASSERT_TRUE(document->Set(kKey, "Added", Text("a \"b\"")));
  ASSERT_TRUE(document->Set(kKey, "Note", RegValue{REG_BINARY, {0xab}}));
  ASSERT_TRUE(
      document->Set("HKEY_CURRENT_USER\\Software\\Brightmoor\\Tidewell\\Sub", "Z", Text("w")));
  EXPECT_EQ(document->Text(),
            "REGEDIT4\n"
            "; kept by hand\n"
            "[HKEY_CURRENT_USER\\Software\\Other]\n"
            "\"SecLevel\"=dword:00000009\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\Brightmoor\\Tidewell]\n"
            "\"seclevel\"=dword:00000003\n"
            "\"Note\"=hex:ab\n"
            "\"Added\"=\"a \\\"b\\\"\"\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\Brightmoor\\Tidewell\\Sub]\n"
            "\"X\"=\"y\"\n"
            "\"Z\"=\"w\"\n");
  EXPECT_EQ(*document->Find(kKey, "Note"), (RegValue{REG_BINARY, {0xab}}));
}

TEST(RegDocumentTest, NewKeysAndValuesFollowTheFilesLineEnds) {
  RegDocument fresh = RegDocument::New();
  fresh.AddKey(kKey);
  ASSERT_TRUE(fresh.Set(kKey, "SecLevel", Dword(2)));
  EXPECT_EQ(fresh.Text(),
            "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Brightmoor\\Tidewell]\r\n"
            "\"SecLevel\"=dword:00000002\r\n");

  auto unix = RegDocument::Parse("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Other]");
  ASSERT_TRUE(unix);
  unix->AddKey(kKey);
  EXPECT_EQ(unix->Text(),
            "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Other]\n\n[HKEY_CURRENT_USER\\Software\\"
            "Brightmoor\\Tidewell]\n");
}

TEST(RegDocumentTest, EveryTypeRoundTripsThroughItsText) {
  const RegValue values[] = {
      Dword(0xdeadbeef),
      Text(""),
      Text("line one\r\nline two"),  // not one line: kept as hex(1)
      RegValue{REG_SZ, {'n', 'o', 'z', 'e', 'r', 'o'}},
      RegValue{REG_DWORD, {1, 2}},
      RegValue{REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
      RegValue{REG_NONE, {}},
  };
  RegDocument document = RegDocument::New();
  document.AddKey(kKey);
  for (std::size_t i = 0; i < std::size(values); ++i) {
    ASSERT_TRUE(document.Set(kKey, "v" + std::to_string(i), values[i]));
  }
  auto reread = RegDocument::Parse(document.Text());
  ASSERT_TRUE(reread);
  for (std::size_t i = 0; i < std::size(values); ++i) {
    EXPECT_EQ(*reread->Find(kKey, "v" + std::to_string(i)), values[i]) << i;
  }
  EXPECT_FALSE(document.Set(kKey, "two\nlines", Dword(1)));
  EXPECT_EQ(reread->Text(), document.Text());
}

}  // namespace
}  // namespace regfile
