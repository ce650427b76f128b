#include "ui/HistoryTarget.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "platform/testing/TempDir.h"

namespace {

using fixture::TempDir;

void Write(const std::string& path, const std::string& text, mode_t mode = 0644) {
  std::ofstream(path, std::ios::binary) << text;
  chmod(path.c_str(), mode);
}

TEST(HistoryTarget, WebAddressesOpenOtherSchemesDoNot) {
  for (const char* open :
       {"http://a.example/", "HTTPS://a.example/x?y", "ftp://f.example/pub", "Http:relative"})
    EXPECT_TRUE(MayOpenHistoryTarget(open)) << open;
  for (const char* refused :
       {"", "smb://server/share/setup.exe", "mailto:a@b.example", "javascript:alert(1)",
        "ms-settings:", "x-custom-handler://run?cmd=rm", "Visited: site.example/plain",
        "/etc/passwd", "site.example/page", ":http://a", "1http://a", "ht tp://a",
        "sftp://host/file", "ftps://host/file"})
    EXPECT_FALSE(MayOpenHistoryTarget(refused)) << refused;
}

TEST(HistoryTarget, FileUrlOpensOnlyAPlainExistingDocument) {
  TempDir dir;
  Write(dir / "page one.html", "<p>hi</p>");
  Write(dir / "script.sh", "#!/bin/sh\n", 0744);
  Write(dir / "group.txt", "#!/bin/sh\n", 0654);
  Write(dir / "launcher.DESKTOP", "x");
  Write(dir / "disguised.txt", "# comment\n[Desktop Entry]\nExec=evil\n");
  mkfifo((dir / "fifo").c_str(), 0644);
  symlink((dir / "script.sh").c_str(), (dir / "link.txt").c_str());

  EXPECT_TRUE(MayOpenHistoryTarget("file://" + dir / "page%20one.html"));
  EXPECT_TRUE(MayOpenHistoryTarget("file:" + dir / "page one.html"));
  EXPECT_TRUE(MayOpenHistoryTarget("FILE://localhost" + dir / "page one.html#top"));
  for (const std::string& refused :
       {"file://" + dir / "missing.html", "file://" + dir.path(), "file://" + dir / "script.sh",
        "file://" + dir / "group.txt", "file://" + dir / "launcher.DESKTOP",
        "file://" + dir / "disguised.txt", "file://" + dir / "fifo", "file://" + dir / "link.txt",
        "file://server" + dir / "page one.html", "file://" + dir / "page%2",
        "file://" + dir / "page%00one.html", std::string("file:relative.html")})
    EXPECT_FALSE(MayOpenHistoryTarget(refused)) << refused;
}

}  // namespace
