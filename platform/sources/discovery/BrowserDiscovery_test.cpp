#include "platform/sources/discovery/BrowserDiscovery.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/sources/firefox/ProfilesIni.h"
#include "platform/sources/testing/ProfileWriter.h"
#include "platform/testing/TempDir.h"

namespace sources {
namespace {

namespace fs = std::filesystem;
using testing::ChromiumProfileSpec;
using testing::FirefoxProfileSpec;

ChromiumProfileSpec Chromium(const std::string& folder, bool listed = true) {
  ChromiumProfileSpec spec;
  spec.folder = folder;
  spec.listedInLocalState = listed;
  return spec;
}

FirefoxProfileSpec Firefox(const std::string& name, const std::string& folder) {
  FirefoxProfileSpec spec;
  spec.name = name;
  spec.folder = folder;
  return spec;
}

std::vector<std::string> Labels(const std::vector<BrowserProfile>& profiles) {
  std::vector<std::string> labels;
  for (const auto& p : profiles) labels.push_back(p.label);
  return labels;
}

TEST(ProfilesIniTest, ReadsRelativeAndAbsoluteProfilesAndRefusesEscapes) {
  auto profiles = firefox::ParseProfilesIni(
      "/r",
      "[Install4F96D1932A9F858E]\nDefault=x.default\n\n"
      "[Profile1]\r\nName=work\r\nIsRelative=1\r\nPath=Profiles/x.work\r\n\n"
      "[Profile0]\nName=elsewhere\nIsRelative=0\nPath=/data/ff\n"
      "[Profile2]\nName=escape\nIsRelative=1\nPath=../../etc\n"
      "[Profile3]\nName=nopath\n"
      "[General]\nPath=not-a-profile\n");
  ASSERT_EQ(profiles.size(), 2u);
  EXPECT_EQ(profiles[0].name, "work");
  EXPECT_EQ(profiles[0].path, "/r/Profiles/x.work");
  EXPECT_EQ(profiles[0].relativePath, "Profiles/x.work");
  EXPECT_EQ(profiles[1].path, "/data/ff");
  EXPECT_EQ(profiles[1].relativePath, "");
}

TEST(BrowserDiscoveryTest, FindsFlatpakAndSnapInstallsWithTheirCaches) {
  fixture::TempDir home;
  testing::WriteFirefoxProfiles(home / ".var/app/org.mozilla.firefox/.mozilla/firefox",
                                {Firefox("default", "a.default")});
  testing::WriteFirefoxProfiles(home / "snap/firefox/common/.mozilla/firefox",
                                {Firefox("default", "b.default")});
  testing::WriteChromiumUserData(
      home / ".var/app/com.brave.Browser/config/BraveSoftware/Brave-Browser",
      {Chromium("Default")});
  testing::WriteChromiumUserData(home / "snap/chromium/common/chromium", {Chromium("Default")});

  auto profiles = DiscoverProfiles({home.path(), "", ""});
  EXPECT_EQ(Labels(profiles), (std::vector<std::string>{"firefox-flatpak", "firefox-snap",
                                                        "chromium-snap", "brave-flatpak"}));
  ASSERT_EQ(profiles.size(), 4u);
  EXPECT_EQ(profiles[0].cacheDir,
            home / ".var/app/org.mozilla.firefox/cache/mozilla/firefox/a.default/cache2");
  EXPECT_EQ(profiles[1].cacheDir,
            home / "snap/firefox/common/.cache/mozilla/firefox/b.default/cache2");
  EXPECT_EQ(profiles[2].cacheDir,
            home / "snap/chromium/common/.cache/chromium/Default/Cache/Cache_Data");
  EXPECT_EQ(
      profiles[3].cacheDir,
      home /
          ".var/app/com.brave.Browser/cache/BraveSoftware/Brave-Browser/Default/Cache/Cache_Data");
  EXPECT_EQ(profiles[3].kind, BrowserKind::kChromium);
}

TEST(BrowserProfileAtTest, AProfileFolderIsFoundWithTheCacheOfItsOwnHome) {
  fixture::TempDir home;
  testing::WriteFirefoxProfiles(home / "snap/firefox/common/.mozilla/firefox",
                                {Firefox("b", "b.default")});
  testing::WriteChromiumUserData(
      home / ".var/app/com.brave.Browser/config/BraveSoftware/Brave-Browser",
      {Chromium("Profile 1", false)});
  auto firefox = BrowserProfileAt(home / "snap/firefox/common/.mozilla/firefox/b.default");
  ASSERT_TRUE(firefox);
  EXPECT_EQ(firefox->kind, BrowserKind::kFirefox);
  EXPECT_EQ(firefox->install, "snap");
  EXPECT_EQ(firefox->cacheDir,
            home / "snap/firefox/common/.cache/mozilla/firefox/b.default/cache2");
  auto brave = BrowserProfileAt(
      home / ".var/app/com.brave.Browser/config/BraveSoftware/Brave-Browser/Profile 1/");
  ASSERT_TRUE(brave);
  EXPECT_EQ(brave->kind, BrowserKind::kChromium);
  EXPECT_EQ(brave->browser, "brave");
  EXPECT_EQ(brave->profileName, "Profile 1");

  // Moved out of any home: the profile alone, without a cache folder.
  fs::rename(home / "snap/firefox/common/.mozilla/firefox/b.default", home / "loose");
  auto loose = BrowserProfileAt(home / "loose");
  ASSERT_TRUE(loose);
  EXPECT_EQ(loose->browser, "firefox");
  EXPECT_EQ(loose->profileDir, home / "loose");
  EXPECT_EQ(loose->cacheDir, "");

  EXPECT_FALSE(BrowserProfileAt(home / "snap"));
  EXPECT_FALSE(BrowserProfileAt(home / "missing"));
  EXPECT_FALSE(BrowserProfileAt(""));
}

TEST(BrowserDiscoveryTest, SeveralProfilesOfOneInstallAreLabelledByNameAndOrderedStably) {
  fixture::TempDir home;
  testing::WriteFirefoxProfiles(home / ".config/mozilla/firefox",
                                {Firefox("work@home", "w.work"), Firefox("a:b/c\\d", "x.odd")});
  testing::WriteChromiumUserData(
      home / ".config/google-chrome",
      {Chromium("Profile 1"), Chromium("Default"), Chromium("Unlisted", false)});
  fs::create_directories(home / ".config/google-chrome/Crashpad");  // no History: not a profile
  testing::WriteChromiumUserData(home / ".config/microsoft-edge", {Chromium("Default")});

  auto profiles = DiscoverProfiles({home.path(), "", ""});
  EXPECT_EQ(Labels(profiles),
            (std::vector<std::string>{"firefox.work_home", "firefox.a_b_c_d", "chrome.Default",
                                      "chrome.Profile 1", "chrome.Unlisted", "edge"}));
  for (const auto& profile : profiles)
    EXPECT_EQ(profile.label.find_first_of("@:/\\"), std::string::npos);
  EXPECT_EQ(profiles[0].cacheDir, home / ".cache/mozilla/firefox/w.work/cache2");
}

TEST(BrowserDiscoveryTest, EqualLabelsAreMadeUnique) {
  std::vector<BrowserProfile> profiles(3);
  for (auto& p : profiles) {
    p.browser = "firefox";
    p.profileName = "same";
  }
  profiles[2].profileName = "same~2";
  AssignLabels(profiles);
  EXPECT_EQ(Labels(profiles),
            (std::vector<std::string>{"firefox.same", "firefox.same~2", "firefox.same~2~2"}));
}

TEST(BrowserDiscoveryTest, AnEmptyHomeFindsNothingAndADamagedLocalStateIsSurvived) {
  fixture::TempDir home;
  EXPECT_TRUE(DiscoverProfiles({home.path(), "", ""}).empty());
  EXPECT_TRUE(DiscoverProfiles({"", "", ""}).empty());
  testing::WriteChromiumUserData(home / ".config/chromium", {Chromium("Default")});
  testing::WriteFile(home / ".config/chromium/Local State", "{\"profile\": {\"info_cache\": [1,");
  auto profiles = DiscoverProfiles({home.path(), "", ""});
  ASSERT_EQ(profiles.size(), 1u);
  EXPECT_EQ(profiles[0].profileName, "Default");
}

}  // namespace
}  // namespace sources
