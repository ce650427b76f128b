// Runs the built sitelore-report on the Wine fixture and on writer-made
// caches and checks its output byte for byte.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "platform/sources/testing/ProfileWriter.h"
#include "platform/testing/FolderState.h"
#include "platform/testing/TempDir.h"
#include "platform/wininet/testing/IndexDatWriter.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

const std::string kFixture = std::string(SITELORE_SHARED_DIR) + "/fixtures/wine-basic/prefix";
const std::string kWineUser = kFixture + "/drive_c/users/root/AppData/Local/Microsoft/Windows";
const std::string kTotalLine =
    "Total: 2 images, 1 pages, 1 media files, 1 unknown files,2 cookies, 2 history entires\n";

struct Result {
  int code = -1;
  std::string out, err;
};

class ReportTest : public ::testing::Test {
 protected:
  // Runs the program with a clean environment whose home and settings
  // folders lie in the test's temporary folder.
  // With `fileSizeLimit`, the child runs under that RLIMIT_FSIZE (ulimit -f).
  Result Run(const std::vector<std::string>& args, const std::string& winePrefix = "",
             rlim_t fileSizeLimit = RLIM_INFINITY) {
    fs::create_directories(home());
    fs::create_directories(config());
    fs::create_directories(runtime());
    fs::create_directories(tmp());
    const fs::path out = Scratch("stdout"), err = Scratch("stderr");
    std::vector<std::string> env = {"HOME=" + home().string(),
                                    "XDG_CONFIG_HOME=" + config().string(),
                                    "XDG_RUNTIME_DIR=" + runtime().string(),
                                    "TMPDIR=" + tmp().string(),
                                    "USER=tester",
                                    "PATH=/usr/bin:/bin",
                                    "LC_ALL=C"};
    if (!winePrefix.empty()) env.push_back("WINEPREFIX=" + winePrefix);
    std::vector<std::string> argv = {std::string(SITELORE_BIN_DIR) + "/sitelore-report"};
    argv.insert(argv.end(), args.begin(), args.end());

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> argp, envp;
    for (std::string& a : argv) argp.push_back(a.data());
    for (std::string& e : env) envp.push_back(e.data());
    argp.push_back(nullptr);
    envp.push_back(nullptr);
    Result result;
    pid_t pid = 0;
    rlimit oldLimit{};
    getrlimit(RLIMIT_FSIZE, &oldLimit);
    rlimit limit = oldLimit;
    limit.rlim_cur = fileSizeLimit;
    setrlimit(RLIMIT_FSIZE, &limit);
    const int spawned = posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    setrlimit(RLIMIT_FSIZE, &oldLimit);
    if (spawned == 0) {
      int status = 0;
      waitpid(pid, &status, 0);
      result.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    result.out = fixture::FileBytes(out);
    result.err = fixture::FileBytes(err);
    return result;
  }

  fs::path home() const { return Scratch("home"); }
  fs::path config() const { return Scratch("config"); }
  fs::path runtime() const { return Scratch("run"); }
  fs::path tmp() const { return Scratch("tmp"); }
  fs::path Scratch(const std::string& name) const { return fs::path(temp_.path()) / name; }

  fixture::TempDir temp_;
};

// One line, ended by a line feed, that names the program.
void ExpectOneErrorLine(const Result& result) {
  EXPECT_EQ(result.code, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err.rfind("sitelore-report: ", 0), 0u) << result.err;
  EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  EXPECT_EQ(result.err.back(), '\n');
}

void ExpectUsageError(const Result& result) {
  EXPECT_EQ(result.code, 2);
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find("Usage: sitelore-report"), std::string::npos) << result.err;
}

TEST_F(ReportTest, WinePrefixGivesSitesAndTotals) {
  const Result result = Run({"--profile", kFixture});
  EXPECT_EQ(result.code, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, "cdn.other.org:8080\nexample.com\nnews.example.com\n" + kTotalLine);
}

TEST_F(ReportTest, SiteKeyIsLoweredAndListsSixSections) {
  const std::string content = kWineUser + "/INetCache/Content.IE5/";
  const Result result = Run({"--profile", kFixture, "--site", "EXAMPLE.Com"});
  EXPECT_EQ(result.code, 0) << result.err;
  EXPECT_EQ(result.out,
            "cdn.other.org:8080\nexample.com\nnews.example.com\n" + kTotalLine + "[Images]\n" +
                content + "J95PGS3G/PHOTO[0].JPG\n" + content +
                "J95PGS3G/logo[0].gif\n"
                "[Pages]\n" +
                content +
                "RPWFMVVN/index[0].html\n"
                "[Media]\n"
                "[Other]\n" +
                content +
                "NHI2JCZ1/x[0].js\n"
                "[Cookies]\n" +
                kWineUser +
                "/INetCookies/8GL4JCZ1.txt\n"
                "[History]\n"
                "Visited: user@http://www.example.com/index.html\n"
                "Selected site:: 2 images, 1 pages, 0 media files, 1 unknown files, 1 cookies, "
                "1 history entires\n");
}

// Only keys of the site list are sites; anything else would print empty
// sections that look like an answer.
TEST_F(ReportTest, SiteNotInTheListIsAnError) {
  for (const char* key : {"nowhere.test", "example", ""}) {
    for (bool json : {false, true}) {
      std::vector<std::string> args = {"--profile", kFixture, "--site", key};
      if (json) args.push_back("--json");
      const Result result = Run(args);
      ExpectOneErrorLine(result);
      EXPECT_NE(result.err.find("no such site"), std::string::npos) << result.err;
    }
  }
}

TEST_F(ReportTest, AllSitesInTextLabelsEachSite) {
  const Result result = Run({"--profile", kFixture, "--all-sites"});
  EXPECT_EQ(result.code, 0);
  const std::string media = kWineUser + "/INetCache/Content.IE5/VWASQFQ8/movie[0].swf\n";
  const std::string other = kWineUser + "/INetCache/Content.IE5/NHI2JCZ1/x[0].js\n";
  const std::string head = "cdn.other.org:8080\nexample.com\nnews.example.com\n" + kTotalLine;
  ASSERT_EQ(result.out.rfind(head, 0), 0u) << result.out;
  EXPECT_EQ(result.out.substr(head.size(), result.out.find("[Site]\nexample.com") - head.size()),
            "[Site]\ncdn.other.org:8080\n[Images]\n[Pages]\n[Media]\n" + media +
                "[Other]\n[Cookies]\n[History]\nVisited: user@http://cdn.other.org:8080/a/\n"
                "Selected site:: 0 images, 0 pages, 1 media files, 0 unknown files, 0 cookies, "
                "1 history entires\n");
  const std::string last = "[Site]\nnews.example.com\n[Images]\n[Pages]\n[Media]\n[Other]\n" +
                           other +
                           "[Cookies]\n[History]\n"
                           "Selected site:: 0 images, 0 pages, 0 media files, 1 unknown files, "
                           "0 cookies, 0 history entires\n";
  ASSERT_GE(result.out.size(), last.size());
  EXPECT_EQ(result.out.substr(result.out.size() - last.size()), last);
  std::size_t labels = 0;
  for (std::size_t at = 0; (at = result.out.find("[Site]\n", at)) != std::string::npos; ++at)
    ++labels;
  EXPECT_EQ(labels, 3u);
}

TEST_F(ReportTest, JsonWithSite) {
  const Result result = Run({"--profile", kFixture, "--json", "--site", "example.com"});
  EXPECT_EQ(result.code, 0) << result.err;
  const nlohmann::json report = nlohmann::json::parse(result.out);
  EXPECT_EQ(report["sites"],
            nlohmann::json({"cdn.other.org:8080", "example.com", "news.example.com"}));
  EXPECT_EQ(report["totals"], nlohmann::json({{"images", 2},
                                              {"pages", 1},
                                              {"media", 1},
                                              {"other", 1},
                                              {"cookies", 2},
                                              {"history", 2}}));
  const nlohmann::json& site = report["site"];
  EXPECT_EQ(site["key"], "example.com");
  EXPECT_EQ(site["images"],
            nlohmann::json({kWineUser + "/INetCache/Content.IE5/J95PGS3G/PHOTO[0].JPG",
                            kWineUser + "/INetCache/Content.IE5/J95PGS3G/logo[0].gif"}));
  EXPECT_EQ(site["pages"].size(), 1u);
  EXPECT_EQ(site["media"], nlohmann::json::array());
  EXPECT_EQ(site["cookies"], nlohmann::json({kWineUser + "/INetCookies/8GL4JCZ1.txt"}));
  EXPECT_EQ(site["history"], nlohmann::json({"Visited: user@http://www.example.com/index.html"}));
  EXPECT_EQ(site["counts"], nlohmann::json({{"images", 2},
                                            {"pages", 1},
                                            {"media", 0},
                                            {"other", 1},
                                            {"cookies", 1},
                                            {"history", 1}}));
  EXPECT_FALSE(report.contains("per_site"));
}

TEST_F(ReportTest, JsonWithoutSiteHasOnlySitesAndTotals) {
  const Result result = Run({"--profile", kFixture, "--json"});
  EXPECT_EQ(result.code, 0);
  const nlohmann::json report = nlohmann::json::parse(result.out);
  EXPECT_EQ(report.size(), 3u);
  EXPECT_EQ(report["totals"]["cookies"], 2);
  EXPECT_EQ(report["sources"],
            nlohmann::json::parse(R"([{"kind": "wininet", "label": "wininet", "profile": ")" +
                                  kFixture + R"(", "cache": "", "entries": {"cookies": 2,
                                  "history": 2, "content": 5}, "problems": []}])"));
}

TEST_F(ReportTest, JsonAllSitesFollowsTheSiteList) {
  const Result result = Run({"--profile", kFixture, "--json", "--all-sites"});
  EXPECT_EQ(result.code, 0);
  const nlohmann::json report = nlohmann::json::parse(result.out);
  ASSERT_EQ(report["per_site"].size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(report["per_site"][i]["key"], report["sites"][i]);
  EXPECT_EQ(report["per_site"][2]["counts"]["other"], 1);
  EXPECT_EQ(report["per_site"][0]["media"].size(), 1u);
}

fixture::EntryFixture Entry(const std::string& url, const std::string& file,
                            const std::string& directory = "ABCD1234") {
  fixture::EntryFixture e;
  e.url = url;
  e.fileName = file;
  e.directory = file.empty() ? "" : directory;
  e.contents = "x";
  return e;
}

// A Windows user folder in the XP layout, given directly (not a prefix),
// with bytes that are not UTF-8 in a URL and a file name.
class WrittenProfileTest : public ReportTest {
 protected:
  void SetUp() override {
    user_ = Scratch("Documents and Settings/Ann").string();
    fixture::ProfileFixture spec;
    spec.layout = fixture::ProfileLayout::XP;
    spec.content.entries = {Entry("http://www.caf\xe9.test/men\xfc.htm", "men\xfc[1].htm"),
                            Entry("http://b.test/x.png", "x[1].png"),
                            Entry("http://b.test/nofile", "")};
    fixture::EntryFixture cookie = Entry("Cookie:ann@b.test/", "ann@b[1].txt");
    cookie.directory.clear();
    cookie.type = COOKIE_CACHE_ENTRY;
    spec.cookies.entries = {cookie};
    fixture::EntryFixture visit = Entry("Visited: ann@http://www.caf\xe9.test/", "");
    visit.type = URLHISTORY_CACHE_ENTRY;
    spec.history.entries = {visit};
    std::string error;
    ASSERT_TRUE(fixture::WriteProfile(user_, spec, &error)) << error;
  }

  std::string Content(const std::string& name) const {
    return user_ + "/Local Settings/Temporary Internet Files/Content.IE5/ABCD1234/" + name;
  }

  std::string user_;
};

TEST_F(WrittenProfileTest, TextKeepsBytesAsStored) {
  const Result result = Run({"--profile", user_, "--site", "caf\xe9.test"});
  EXPECT_EQ(result.code, 0) << result.err;
  EXPECT_EQ(result.out,
            "b.test\ncaf\xe9.test\n"
            "Total: 1 images, 1 pages, 0 media files, 1 unknown files,1 cookies, 1 history "
            "entires\n"
            "[Images]\n[Pages]\n" +
                Content("men\xfc[1].htm") +
                "\n[Media]\n[Other]\n[Cookies]\n[History]\n"
                "Visited: ann@http://www.caf\xe9.test/\n"
                "Selected site:: 0 images, 1 pages, 0 media files, 0 unknown files, 0 cookies, "
                "1 history entires\n");
}

// An entry without a local file is counted in the totals but lists nothing.
TEST_F(WrittenProfileTest, EntryWithoutFileIsCountedNotListed) {
  const Result result = Run({"--profile", user_, "--site", "b.test"});
  EXPECT_EQ(result.code, 0);
  EXPECT_NE(result.out.find("[Other]\n[Cookies]\n" + user_ + "/Cookies/ann@b[1].txt\n[History]\n"),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("Selected site:: 1 images, 0 pages, 0 media files, 0 unknown files, "
                            "1 cookies, 0 history entires\n"),
            std::string::npos);
}

TEST_F(WrittenProfileTest, JsonReplacesBytesThatAreNotUtf8) {
  const Result result = Run({"--profile", user_, "--json", "--all-sites"});
  EXPECT_EQ(result.code, 0) << result.err;
  nlohmann::json report;
  ASSERT_NO_THROW(report = nlohmann::json::parse(result.out)) << result.out;
  const std::string replaced = "caf\xef\xbf\xbd.test";
  EXPECT_EQ(report["sites"], nlohmann::json({"b.test", replaced}));
  EXPECT_EQ(report["per_site"][1]["key"], replaced);
  EXPECT_EQ(report["per_site"][1]["pages"], nlohmann::json({Content("men\xef\xbf\xbd[1].htm")}));
  EXPECT_EQ(report["per_site"][1]["history"],
            nlohmann::json({"Visited: ann@http://www." + replaced + "/"}));
  // The same lists again, bytes kept: percent-escaped where not UTF-8.
  EXPECT_EQ(report["per_site"][1]["pages_escaped"], nlohmann::json({Content("men%FC[1].htm")}));
  EXPECT_EQ(report["per_site"][1]["history_escaped"],
            nlohmann::json({"Visited: ann@http://www.caf%E9.test/"}));
  EXPECT_FALSE(report["per_site"][1].contains("images_escaped"));
  EXPECT_FALSE(report["per_site"][0].contains("cookies_escaped"));
}

TEST_F(WrittenProfileTest, EscapedFieldKeepsPercentSignsAndValidUtf8) {
  fixture::ProfileFixture spec;
  spec.layout = fixture::ProfileLayout::XP;
  spec.content.entries = {Entry("http://d.test/a", "100%\xc3\xa9\xed\xa0\x80\xc3[1].htm")};
  const std::string user = Scratch("second").string();
  ASSERT_TRUE(fixture::WriteProfile(user, spec));
  const Result result = Run({"--profile", user, "--json", "--site", "d.test"});
  EXPECT_EQ(result.code, 0) << result.err;
  const nlohmann::json report = nlohmann::json::parse(result.out);
  const std::string folder =
      user + "/Local Settings/Temporary Internet Files/Content.IE5/ABCD1234/";
  // An encoded surrogate and a cut sequence are not UTF-8; '%' is escaped.
  EXPECT_EQ(report["site"]["pages_escaped"],
            nlohmann::json({folder + "100%25\xc3\xa9%ED%A0%80%C3[1].htm"}));
}

// Nothing found must not look like an empty cache.
TEST_F(ReportTest, NoCacheAnywhereSaysWhereItLooked) {
  Result result = Run({});  // HOME has no .wine
  ExpectOneErrorLine(result);
  EXPECT_NE(result.err.find((home() / ".wine").string()), std::string::npos) << result.err;

  const fs::path prefix = Scratch("prefix");
  fs::create_directories(prefix / "drive_c/users/tester/AppData/Local");
  result = Run({}, prefix.string());
  ExpectOneErrorLine(result);
  EXPECT_NE(result.err.find((prefix / "drive_c/users/tester").string()), std::string::npos)
      << result.err;
}

// One container that cannot be opened: named, exit 3, the rest reported.
TEST_F(WrittenProfileTest, UnreadableContainerIsNamedAndTheRestReported) {
  const std::string history = user_ + "/Local Settings/History/History.IE5/index.dat";
  fs::remove(history);
  fs::create_symlink("index.dat", history);  // opening fails with ELOOP, also for root
  for (bool json : {false, true}) {
    std::vector<std::string> args = {"--profile", user_};
    if (json) args.push_back("--json");
    const Result result = Run(args);
    EXPECT_EQ(result.code, 3);
    EXPECT_EQ(result.err.rfind("sitelore-report: " + history + ": ", 0), 0u) << result.err;
    EXPECT_NE(result.out.find("b.test"), std::string::npos) << result.out;
    if (!json) continue;
    EXPECT_EQ(nlohmann::json::parse(result.out)["unreadable"].size(), 1u) << result.out;
  }
}

TEST_F(ReportTest, FolderThatCannotBeListedIsNamed) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  const fs::path prefix = Scratch("prefix");
  fs::create_directories(prefix / "drive_c/users");
  chmod((prefix / "drive_c/users").c_str(), 0);
  const Result result = Run({"--profile", prefix.string()});
  chmod((prefix / "drive_c/users").c_str(), 0700);
  EXPECT_EQ(result.code, 3);
  EXPECT_NE(result.err.find((prefix / "drive_c/users").string()), std::string::npos);
}

// A container of a layout that is passed over is named; the exit is kept.
TEST_F(WrittenProfileTest, ContainerOfAnotherLayoutIsNamedAsNotRead) {
  fixture::ContainerFixture other;
  other.entries = {Entry("http://hidden.test/x.png", "x[1].png")};
  const std::string wine = user_ + "/" + fixture::ContainerPath(fixture::ProfileLayout::Wine, 2);
  ASSERT_TRUE(fixture::WriteContainer(wine, other));
  // The Wine layout comes first, so the XP content container is passed over.
  const std::string xp = user_ + "/Local Settings/Temporary Internet Files/Content.IE5/index.dat";
  const Result text = Run({"--profile", user_});
  EXPECT_EQ(text.code, 0) << text.err;
  EXPECT_NE(text.err.find(xp), std::string::npos) << text.err;
  EXPECT_NE(text.out.find("hidden.test"), std::string::npos);
  const Result json = Run({"--profile", user_, "--json"});
  EXPECT_EQ(json.code, 0);
  EXPECT_EQ(nlohmann::json::parse(json.out)["not_read"], nlohmann::json::array({xp}));
}

// Under ulimit -f the write fails and is said to fail; the process is not
// killed by SIGXFSZ.
TEST_F(ReportTest, FileSizeLimitMakesAWriteErrorNotADeath) {
  const Result result = Run({"--profile", kFixture, "--json", "--all-sites"}, "", 200);
  EXPECT_EQ(result.code, 1);
  EXPECT_NE(result.err.find("cannot write"), std::string::npos) << result.err;
}

// Hosts holding line breaks stay one site each: with the full key in JSON,
// escaped on one line in the text report, never split into a site of their
// own (the second would otherwise pass for a site "total: 99 images").
TEST_F(ReportTest, HostsWithLineBreaksAreOneSiteEach) {
  const std::string user = Scratch("user").string();
  fixture::ProfileFixture spec;
  spec.content.entries = {Entry("http://evil\r\nfake.test/b.gif", "b[1].gif"),
                          Entry("http://crlf.test\r\nTotal: 99 images/x.htm", "x[1].htm"),
                          Entry("http://plain.test/c.gif", "c[1].gif")};
  std::string error;
  ASSERT_TRUE(fixture::WriteProfile(user, spec, &error)) << error;

  const Result text = Run({"--profile", user, "--all-sites"});
  EXPECT_EQ(text.code, 0) << text.err;
  EXPECT_EQ(text.out.substr(0, text.out.find("Total: ")),
            "crlf.test\\r\\ntotal: 99 images\nevil\\r\\nfake.test\nplain.test\n");
  EXPECT_NE(text.out.find("[Site]\nevil\\r\\nfake.test\n[Images]\n"), std::string::npos)
      << text.out;

  const Result json = Run({"--profile", user, "--json", "--all-sites"});
  EXPECT_EQ(json.code, 0) << json.err;
  nlohmann::json report;
  ASSERT_NO_THROW(report = nlohmann::json::parse(json.out)) << json.out;
  EXPECT_EQ(report["sites"],
            nlohmann::json({"crlf.test\r\ntotal: 99 images", "evil\r\nfake.test", "plain.test"}));
  ASSERT_EQ(report["per_site"].size(), 3u);
  EXPECT_EQ(report["per_site"][1]["key"], "evil\r\nfake.test");
  EXPECT_EQ(report["per_site"][1]["counts"]["images"], 1);
}

// The default location is $WINEPREFIX's user folder; the report then reads
// the same cache as with --profile.
TEST_F(ReportTest, DefaultLocationIsTheWinePrefix) {
  const Result result = Run({}, kFixture);
  EXPECT_EQ(result.code, 0);
  EXPECT_EQ(result.out, "cdn.other.org:8080\nexample.com\nnews.example.com\n" + kTotalLine);
}

TEST_F(ReportTest, ReadsWithoutWritingAnything) {
  const fs::path prefix = Scratch("prefix");
  fs::create_directories(prefix / "drive_c/users/tester");
  fixture::ProfileFixture spec;
  spec.layout = fixture::ProfileLayout::Vista;
  spec.content.entries = {Entry("http://a.test/i.gif", "i[1].gif")};
  ASSERT_TRUE(fixture::WriteProfile((prefix / "drive_c/users/tester").string(), spec));
  const auto before = fixture::FolderState(prefix);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--profile", prefix.string(), "--all-sites"},
        std::vector<std::string>{"--profile", prefix.string(), "--json", "--all-sites"}}) {
    const Result result = Run(args);
    EXPECT_EQ(result.code, 0);
    EXPECT_NE(result.out.find("a.test"), std::string::npos);
  }
  EXPECT_EQ(fixture::FolderState(prefix), before);
  EXPECT_TRUE(fs::is_empty(home())) << "the report wrote below HOME";
  EXPECT_TRUE(fs::is_empty(config())) << "the report touched the settings store";
}

TEST_F(ReportTest, MissingFolderIsOneErrorLine) {
  const Result result = Run({"--profile", Scratch("missing").string()});
  ExpectOneErrorLine(result);
  EXPECT_NE(result.err.find(Scratch("missing").string()), std::string::npos);
}

TEST_F(ReportTest, FolderWithoutContainerIsOneErrorLine) {
  fs::create_directories(Scratch("empty"));
  ExpectOneErrorLine(Run({"--profile", Scratch("empty").string()}));
  // A prefix whose only user has no URL cache.
  fs::create_directories(Scratch("prefix/drive_c/users/someone/AppData/Local"));
  ExpectOneErrorLine(Run({"--profile", Scratch("prefix").string()}));
  // A file is not a folder.
  std::ofstream(Scratch("file")) << "x";
  ExpectOneErrorLine(Run({"--profile", Scratch("file").string()}));
  ExpectOneErrorLine(Run({"--profile", ""}));
}

TEST_F(ReportTest, BadUsageShowsUsageAndExitsWith2) {
  ExpectUsageError(Run({"--bogus"}));
  ExpectUsageError(Run({"extra"}));
  ExpectUsageError(Run({"--profile"}));
  ExpectUsageError(Run({"--profile", kFixture, "--site"}));
  ExpectUsageError(Run({"--profile", kFixture, "--site", "a", "--all-sites"}));
}

TEST_F(ReportTest, HelpGoesToStandardOutput) {
  const Result result = Run({"--help"});
  EXPECT_EQ(result.code, 0);
  EXPECT_NE(result.out.find("--all-sites"), std::string::npos);
  EXPECT_EQ(result.err, "");
}

namespace browsers {

const std::string kBrowsersHome =
    std::string(SITELORE_SHARED_DIR) + "/fixtures/browsers-basic/home";
const std::string kFirefoxProfile = "/.mozilla/firefox/q7x4k2m9.default-esr";
const std::string kFirefoxCache = "/.cache/mozilla/firefox/q7x4k2m9.default-esr/cache2";
const std::string kChromiumProfile = "/.config/chromium/Default";
const std::string kChromiumCache = "/.cache/chromium/Default/Cache/Cache_Data";

class BrowsersReportTest : public ReportTest {
 protected:
  void SetUp() override {
    copy_ = Scratch("copy").string();
    fs::copy(kBrowsersHome, copy_, fs::copy_options::recursive);
  }
  std::string copy_;
};

TEST_F(BrowsersReportTest, ACopiedHomeGivesItsSitesAndTracesAndStaysAsItWas) {
  const auto before = fixture::FolderState(copy_);
  const Result text = Run({"--home", copy_});
  EXPECT_EQ(text.code, 0) << text.err;
  EXPECT_EQ(text.err, "");
  EXPECT_EQ(text.out,
            "epsilon.test:8931\ngamma.test:8931\nmedia.delta.test:8931\n"
            "Total: 8 images, 12 pages, 2 media files, 8 unknown files,5 cookies, 8 history "
            "entires\n");

  const Result json = Run({"--home", copy_, "--json", "--all-sites"});
  ASSERT_EQ(json.code, 0) << json.err;
  const nlohmann::json report = nlohmann::json::parse(json.out);
  const auto& sources = report["sources"];
  ASSERT_EQ(sources.size(), 2u);
  EXPECT_EQ(sources[0]["label"], "firefox");
  EXPECT_EQ(sources[0]["profile"], copy_ + kFirefoxProfile);
  EXPECT_EQ(sources[0]["cache"], copy_ + kFirefoxCache);
  EXPECT_EQ(sources[0]["entries"],
            nlohmann::json({{"cookies", 1}, {"history", 4}, {"content", 15}}));
  EXPECT_EQ(sources[1]["kind"], "chromium");
  EXPECT_EQ(sources[1]["entries"],
            nlohmann::json({{"cookies", 4}, {"history", 4}, {"content", 15}}));
  EXPECT_EQ(sources[1]["problems"], nlohmann::json::array());
  ASSERT_EQ(report["per_site"].size(), 3u);
  // Each cached file names the entry file it was read from.
  const nlohmann::json& gamma = report["per_site"][1];
  ASSERT_EQ(gamma["key"], "gamma.test:8931");
  std::size_t named = 0;
  for (const char* kind : {"images", "pages", "media", "other"})
    for (const auto& item : gamma[kind]) {
      const std::string file = gamma["cache_files"].value(item.get<std::string>(), "");
      EXPECT_TRUE(file.rfind(copy_ + kFirefoxCache + "/", 0) == 0 ||
                  file.rfind(copy_ + kChromiumCache + "/", 0) == 0)
          << item << " " << file;
      ++named;
    }
  EXPECT_GT(named, 0u);
  EXPECT_EQ(named, gamma["cache_files"].size());

  EXPECT_EQ(fixture::FolderState(copy_), before);
  EXPECT_TRUE(fs::is_empty(home())) << "the report wrote below HOME";
  EXPECT_TRUE(fs::is_empty(runtime())) << "without --extract no view folder is made";
  EXPECT_TRUE(fs::is_empty(tmp())) << "without --extract no view folder is made";
}

// Every regular file below `root`, by its path relative to it.
std::map<std::string, std::string> FilesBelow(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file())
      files[fs::relative(entry.path(), root).string()] = fixture::FileBytes(entry.path());
  return files;
}

const std::string kSite = std::string(SITELORE_SHARED_DIR) + "/fixtures/browsers-basic/source/site";

TEST_F(BrowsersReportTest, ExtractWritesTheDecodedTracesOneFolderPerSource) {
  const auto before = fixture::FolderState(copy_);
  const std::string out = Scratch("out").string();
  const Result result = Run({"--home", copy_, "--extract", out});
  ASSERT_EQ(result.code, 0) << result.err;
  EXPECT_EQ(result.err, "");
  const std::string section = "[Extracted]\nfirefox: 16 files in " + out +
                              "/firefox, 0 missing\nchromium: 19 files in " + out +
                              "/chromium, 0 missing\n";
  ASSERT_GE(result.out.size(), section.size());
  EXPECT_EQ(result.out.substr(result.out.size() - section.size()), section) << result.out;

  const auto files = FilesBelow(out);
  ASSERT_EQ(files.size(), 35u);
  std::map<std::string, int> seen;
  for (const auto& [name, bytes] : files) {
    const std::string label = name.substr(0, name.find('/'));
    ASSERT_TRUE(label == "firefox" || label == "chromium") << name;
    const std::string file = name.substr(name.rfind('/') + 1);
    // The gzip-encoded page is served decoded; the others as sent.
    for (const auto& [extracted, served] :
         {std::pair{"page[1].html", "/media.delta.test/page.html"},
          std::pair{"photo[1].jpg", "/www.gamma.test/img/photo.jpg"},
          std::pair{"big[1].png", "/www.gamma.test/img/big.png"},
          std::pair{"pixel[1].png", "/www.gamma.test/img/pixel"}})
      if (file == extracted) {
        EXPECT_EQ(bytes, fixture::FileBytes(kSite + served)) << name;
        ++seen[label + " " + file];
      }
    if (file.find('@') != std::string::npos) {
      EXPECT_EQ(file.rfind(label + "@", 0), 0u) << name;
      EXPECT_NE(bytes.find("values are not read"), std::string::npos) << name;
    }
  }
  for (const char* label : {"firefox", "chromium"}) {
    EXPECT_EQ(seen[std::string(label) + " page[1].html"], 1) << label;
    EXPECT_EQ(seen[std::string(label) + " photo[1].jpg"], 2) << label;  // also cross-site
    EXPECT_EQ(seen[std::string(label) + " big[1].png"], 1) << label;
  }
  struct stat st {};
  ASSERT_EQ(stat((out + "/firefox").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  EXPECT_EQ(fixture::FolderState(copy_), before);
  // The view folder the files passed through is gone.
  EXPECT_TRUE(FilesBelow(runtime()).empty());
  EXPECT_FALSE(fs::exists(runtime() / "sitelore" / "") && !fs::is_empty(runtime() / "sitelore"));
  EXPECT_TRUE(fs::is_empty(tmp()));
  EXPECT_TRUE(fs::is_empty(home()));
}

TEST_F(BrowsersReportTest, ExtractIntoAFolderThatCannotBeMadeIsOneErrorLine) {
  ExpectOneErrorLine(Run({"--home", copy_, "--extract", Scratch("no/such/parent").string()}));
  sources::testing::WriteFile(Scratch("a-file").string(), "x");
  ExpectOneErrorLine(Run({"--home", copy_, "--extract", Scratch("a-file").string()}));
  fs::create_directory(Scratch("real"));
  fs::create_directory_symlink(Scratch("real"), Scratch("link"));
  ExpectOneErrorLine(Run({"--home", copy_, "--extract", Scratch("link").string()}));
  EXPECT_TRUE(fs::is_empty(Scratch("real")));
}

TEST_F(ReportTest, NoCookieValueReachesTheReportTheJsonOrAnExtractedFile) {
  using namespace sources::testing;
  const std::vector<std::string> values = {"Zq7-firefox-secret-VALUE", "Xk4-chromium-SECRET-value",
                                           "Wm2-second-path-value"};
  FirefoxProfileSpec firefox;
  firefox.name = firefox.folder = "p";
  firefox.cookies = {{"shop.test", "/", "session", values[0], -1, 1800000000000000},
                     {".shop.test", "/cart", "basket", values[2], -1, 0}};
  WriteFirefoxProfiles(home() / ".mozilla/firefox", {firefox});
  Cache2EntrySpec entry;
  entry.key = ":https://shop.test/logo.png";
  entry.body = "logo";
  entry.responseHead = ResponseHead(200, "image/png");
  WriteCache2Entry(home() / ".cache/mozilla/firefox/p/cache2", "entries/AB", entry);
  ChromiumProfileSpec chromium;
  chromium.cookies = {{"shop.test", "/", "token", values[1], 8443, 0}};
  WriteChromiumUserData(config() / "chromium", {chromium});

  const std::string out = Scratch("out").string();
  for (const auto& args : {std::vector<std::string>{"--all-sites", "--extract", out},
                           std::vector<std::string>{"--json", "--all-sites", "--extract", out}}) {
    const Result result = Run(args);
    ASSERT_EQ(result.code, 0) << result.err;
    for (const std::string& value : values) {
      EXPECT_EQ(result.out.find(value), std::string::npos) << value;
      EXPECT_EQ(result.err.find(value), std::string::npos) << value;
    }
  }
  const auto files = FilesBelow(out);
  std::string sheets;
  for (const auto& [name, bytes] : files) {
    for (const std::string& value : values) EXPECT_EQ(bytes.find(value), std::string::npos) << name;
    if (name.find('@') != std::string::npos) sheets += bytes;
  }
  for (const char* name : {"session", "basket", "token"})
    EXPECT_NE(sheets.find(name), std::string::npos) << name;
  EXPECT_EQ(files.at("firefox/AB/logo[1].png"), "logo");
}

TEST_F(BrowsersReportTest, SourcesListsWhatWouldBeReadAndReadsNothingElse) {
  const Result result = Run({"--home", copy_, "--sources"});
  EXPECT_EQ(result.code, 0) << result.err;
  EXPECT_EQ(result.out, "firefox\tfirefox\t" + copy_ + kFirefoxProfile + "\t" + copy_ +
                            kFirefoxCache + "\nchromium\tchromium\t" + copy_ + kChromiumProfile +
                            "\t" + copy_ + kChromiumCache + "\n");
  // Without --home, $HOME (empty here) has nothing to read.
  EXPECT_EQ(Run({"--sources"}).out, "");

  // The copied home's Wine prefix comes first, and its traces join the rest.
  fs::copy(kFixture, copy_ + "/.wine", fs::copy_options::recursive);
  const Result withWine = Run({"--home", copy_, "--sources"});
  EXPECT_EQ(withWine.out.rfind("wininet\twininet\t" + copy_ + "/.wine\t-\nfirefox\t", 0), 0u)
      << withWine.out;
  EXPECT_NE(Run({"--home", copy_}).out.find("Total: 10 images, 13 pages, 3 media files"),
            std::string::npos);
}

TEST_F(BrowsersReportTest, ProfilesGivenByFolderAreKnownByTheirContent) {
  // Chromium given first still comes after Firefox; the cache follows its
  // own home.
  const Result result = Run({"--profile", copy_ + kChromiumProfile, "--profile",
                             copy_ + kFirefoxProfile, "--profile", kFixture, "--sources"});
  EXPECT_EQ(result.code, 0) << result.err;
  EXPECT_EQ(result.out, "wininet\twininet\t" + kFixture + "\t-\nfirefox\tfirefox\t" + copy_ +
                            kFirefoxProfile + "\t" + copy_ + kFirefoxCache +
                            "\nchromium\tchromium\t" + copy_ + kChromiumProfile + "\t" + copy_ +
                            kChromiumCache + "\n");
  // A cache elsewhere is given with --cache after its profile.
  const std::string moved = Scratch("moved-cache").string();
  fs::rename(copy_ + kFirefoxCache, moved);
  const Result json = Run({"--profile", copy_ + kFirefoxProfile, "--cache", moved, "--json"});
  ASSERT_EQ(json.code, 0) << json.err;
  const nlohmann::json report = nlohmann::json::parse(json.out);
  EXPECT_EQ(report["sources"][0]["cache"], moved);
  EXPECT_EQ(report["sources"][0]["entries"]["content"], 15);

  ExpectUsageError(Run({"--cache", moved, "--profile", copy_ + kFirefoxProfile}));
  ExpectUsageError(Run({"--home", copy_, "--profile", copy_ + kFirefoxProfile}));
  ExpectOneErrorLine(Run({"--profile", kFixture, "--cache", moved}));
}

TEST_F(BrowsersReportTest, AnUnreadableSourceIsNamedNotShownEmpty) {
  const std::string places = copy_ + kFirefoxProfile + "/places.sqlite";
  fs::remove(places + "-wal");
  sources::testing::WriteFile(places, std::string(4096, 'g'));
  const Result result = Run({"--home", copy_, "--json"});
  EXPECT_EQ(result.code, 0);
  EXPECT_EQ(result.err.rfind("sitelore-report: firefox: " + places + ": ", 0), 0u) << result.err;
  const nlohmann::json report = nlohmann::json::parse(result.out);
  ASSERT_EQ(report["sources"][0]["problems"].size(), 1u);
  EXPECT_EQ(report["sources"][0]["entries"]["history"], 0);
  EXPECT_EQ(report["totals"]["history"], 4);  // Chromium's are still there
}

}  // namespace browsers

}  // namespace
