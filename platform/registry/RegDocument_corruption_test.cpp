// Damaged store files: refused whole, never half read, never a crash.
#include <gtest/gtest.h>

#include <string>

#include "platform/registry/RegDocument.h"

namespace regfile {
namespace {

const std::string kGood =
    "REGEDIT4\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\Brightmoor\\Tidewell]\r\n"
    "\"SecLevel\"=dword:00000002\r\n"
    "\"Name\"=\"a \\\"quoted\\\" text\"\r\n"
    "\"Bin\"=hex:01,02,\\\r\n"
    "  03\r\n";

TEST(RegDocumentCorruptionTest, RefusesWhatItCouldNotWriteBackExactly) {
  const char* damaged[] = {
      "",
      "Windows Registry Editor Version 5.00\r\n",
      "REGEDIT\r\n",
      "REGEDIT4\r\n\"SecLevel\"=dword:00000002\r\n",  // a value outside any key
      "REGEDIT4\r\n[A]\r\n[a]\r\n",                   // a key given twice
      "REGEDIT4\r\n[-A]\r\n",                         // a deletion
      "REGEDIT4\r\n[A]\r\n\"X\"=-\r\n",
      "REGEDIT4\r\n[]\r\n",
      "REGEDIT4\r\n[A\r\n",
      "REGEDIT4\r\n[A]\r\nSecLevel=dword:1\r\n",
      "REGEDIT4\r\n[A]\r\n\"X\"=dword:123456789\r\n",
      "REGEDIT4\r\n[A]\r\n\"X\"=dword:\r\n",
      "REGEDIT4\r\n[A]\r\n\"X\"=dword:12g\r\n",
      "REGEDIT4\r\n[A]\r\n\"X\"=\"open\r\n",
      "REGEDIT4\r\n[A]\r\n\"X\"=\"bad \\n escape\"\r\n",
      "REGEDIT4\r\n[A]\r\n\"X\"=\"text\" trailing\r\n",
      "REGEDIT4\r\n[A]\r\n\"X\"=hex:1,,2\r\n",
      "REGEDIT4\r\n[A]\r\n\"X\"=hex:123\r\n",
      "REGEDIT4\r\n[A]\r\n\"X\"=hex(zz):01\r\n",
      "REGEDIT4\r\n[A]\r\n\"X\"=hex:01,\\\r\n",  // a continuation that never comes
      "REGEDIT4\r\n[A]\r\n\"X\"=quad:1\r\n",
      "REGEDIT4\r\n[A]\r\n\"X\"dword:1\r\n",
  };
  for (const char* text : damaged) EXPECT_FALSE(RegDocument::Parse(text)) << text;
  const char withZero[] = "REGEDIT4\r\n[A]\r\n\"X\"=\"a\0b\"\r\n";
  EXPECT_FALSE(RegDocument::Parse(std::string(withZero, sizeof withZero - 1)));
}

// Every cut and every flipped byte of a good file is either refused or read
// back to exactly the same text.
TEST(RegDocumentCorruptionTest, DamagedCopiesOfAGoodFileAreRefusedOrKeptExactly) {
  ASSERT_TRUE(RegDocument::Parse(kGood));
  for (std::size_t length = 0; length <= kGood.size(); ++length) {
    std::string cut = kGood.substr(0, length);
    if (auto document = RegDocument::Parse(cut)) {
      EXPECT_EQ(document->Text(), cut);
    }
  }
  for (std::size_t i = 0; i < kGood.size(); ++i) {
    for (char replacement : {'\0', '\n', '"', '\\', '[', ']', '=', ',', 'x', '@'}) {
      std::string flipped = kGood;
      flipped[i] = replacement;
      if (auto document = RegDocument::Parse(flipped)) {
        EXPECT_EQ(document->Text(), flipped);
      }
    }
  }
}

}  // namespace
}  // namespace regfile
