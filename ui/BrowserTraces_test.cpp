// Browser traces in the window: written out of the browser's cache when an
// action needs them, on a copy of the browsers fixture laid out as the home.
#include <gtest/gtest.h>
#include <shellapi.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QImage>
#include <QMenu>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "platform/shell/testing/RecordingLauncher.h"
#include "platform/sources/BrowserProvider.h"
#include "platform/sources/view/ViewFolder.h"
#include "platform/testing/FolderState.h"
#include "platform/testing/TempDir.h"
#include "ui/CachedSitesFrame.h"
#include "ui/EmbeddedWB.h"
#include "ui/ListBox.h"
#include "ui/ShellContextMenu.h"
#include "ui/UiTestSupport.h"

namespace {

namespace fs = std::filesystem;
using shell::LaunchRequest;

const std::string kFixture = std::string(SITELORE_SHARED_DIR) + "/fixtures/browsers-basic";
const std::string kSite = kFixture + "/source/site";

// The image the fixture's server sent for a cached image's file name.
std::optional<std::string> ServedImage(const std::string& name) {
  if (name == "photo[1].jpg") return kSite + "/www.gamma.test/img/photo.jpg";
  if (name == "big[1].png") return kSite + "/www.gamma.test/img/big.png";
  if (name == "pixel[1].png") return kSite + "/www.gamma.test/img/pixel";
  return std::nullopt;
}

class BrowserTracesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy(kFixture + "/home", Home(), fs::copy_options::recursive);
    fs::create_directory(Scratch("run"));
    before_ = fixture::FolderState(Home());
  }
  void TearDown() override {
    SetShellMenuPresenter(nullptr);
    frame_.FreeAnalyzer();
    urlcache::SetProvider(nullptr);
    machine_.reset();
    // Previewing and opening left every browser file as it was.
    EXPECT_EQ(fixture::FolderState(Home()), before_);
  }

  // Starts the window's scan over the copied home, with the view folder
  // below `runtimeDir` (else a mkdtemp one in `tempDir`).
  void Start(const std::string& runtimeDir, const std::string& tempDir) {
    view_.emplace(runtimeDir, tempDir, getpid());
    machine_ = sources::MakeMachineProvider({Home().string(), "", ""}, view_->Path());
    urlcache::SetProvider(machine_.get());
    frame_.CreateAnalyzer();
    frame_.AnalyzeCache();
  }
  void Start() { Start(Scratch("run").string(), temp_.path()); }

  fs::path Scratch(const std::string& name) const { return fs::path(temp_.path()) / name; }
  fs::path Home() const { return Scratch("home"); }

  void SelectSite(const std::string& key) {
    const auto& lines = frame_.lbxSites->Lines();
    const auto found = std::find(lines.begin(), lines.end(), key);
    ASSERT_NE(found, lines.end()) << key;
    frame_.lbxSites->SetItemIndex(static_cast<int>(found - lines.begin()));
    frame_.lbxSitesClick(frame_.lbxSites);
  }

  // Previews line `line` of the image list; the path it previewed.
  std::string Preview(int line) {
    frame_.pgcSiteInfo->setCurrentIndex(pgImages);
    frame_.lbxImages->SetItemIndex(line);
    frame_.lbxImagesClick(frame_.lbxImages);
    return frame_.imgPreview->DocumentPath();
  }

  // Double-clicks line `line` of `page`; the request the launcher got, if any.
  std::optional<LaunchRequest> Open(TSiteInfoPage page, TListBox* list, int line) {
    const std::size_t before = recorder_.requests.size();
    frame_.pgcSiteInfo->setCurrentIndex(page);
    list->SetItemIndex(line);
    frame_.OpenSelFile(list);
    if (recorder_.requests.size() == before) return std::nullopt;
    return recorder_.requests.back();
  }

  TSiteloreApplication* application_ = uitest::Application();  // before any widget
  TframeCachedSites frame_;
  shell::RecordingLauncher recorder_;
  shell::ScopedLauncher launcher_{recorder_};
  fixture::TempDir temp_;
  std::map<std::string, std::string> before_;
  std::optional<sources::view::ViewFolder> view_;
  std::unique_ptr<sources::MachineSources> machine_;
};

TEST_F(BrowserTracesTest, EachCachedImageOfBothBrowsersPreviewsAsTheServedImage) {
  Start();
  std::set<std::string> previewed;
  for (const std::string& site : std::vector<std::string>(frame_.lbxSites->Lines())) {
    SelectSite(site);
    for (int line = 0; line < frame_.lbxImages->Count(); ++line) {
      const std::string path = Preview(line);
      ASSERT_EQ(path.rfind(view_->Path() + "/", 0), 0u) << path;
      EXPECT_TRUE(frame_.imgPreview->HasPreview()) << path;
      const std::optional<std::string> served = ServedImage(std::string(FileNamePart(path)));
      ASSERT_TRUE(served) << path;
      const QImage expected = QImage(QString::fromStdString(*served));
      ASSERT_FALSE(expected.isNull()) << *served;
      EXPECT_EQ(frame_.imgPreview->ImageSize(), expected.size()) << path;
      EXPECT_EQ(QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_ARGB32),
                expected.convertToFormat(QImage::Format_ARGB32))
          << path;
      previewed.insert(path);
    }
  }
  // Four per browser: the photo twice (also as the cross-site image), the
  // pixel and the large noise picture, which is written on a worker thread.
  EXPECT_EQ(previewed.size(), 8u);
}

TEST_F(BrowserTracesTest, TheGzipPageOpensAsItsDecodedHtmlFromAnExistingAbsolutePath) {
  Start();
  SelectSite("media.delta.test:8931");
  int opened = 0;
  for (int line = 0; line < frame_.lbxPages->Count(); ++line) {
    if (frame_.lbxPages->Line(line) != "page[1].html") continue;
    const std::optional<LaunchRequest> request = Open(pgPages, frame_.lbxPages, line);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->kind, LaunchRequest::kOpen);
    ASSERT_EQ(request->target.front(), '/');
    EXPECT_EQ(fixture::FileBytes(request->target),
              fixture::FileBytes(kSite + "/media.delta.test/page.html"));
    EXPECT_EQ(request->directory, request->target.substr(0, request->target.rfind('/') + 1));
    ++opened;
  }
  EXPECT_EQ(opened, 2);  // one per browser
}

TEST_F(BrowserTracesTest, ACookieSheetListsTheCookieNamesAndShowInFolderSelectsIt) {
  Start();
  SelectSite("gamma.test:8931");
  std::string sheets;
  for (int line = 0; line < frame_.lbxCookies->Count(); ++line) {
    const std::optional<LaunchRequest> request = Open(pgCookies, frame_.lbxCookies, line);
    ASSERT_TRUE(request);
    sheets += fixture::FileBytes(request->target);
  }
  EXPECT_NE(sheets.find("\nsid\n"), std::string::npos) << sheets;
  EXPECT_NE(sheets.find("\npref\n"), std::string::npos) << sheets;

  // The context menu's "Show in Folder" on a trace not yet written out.
  SetShellMenuPresenter([](QMenu& menu, const QPoint&) -> QAction* {
    for (QAction* action : menu.actions())
      if (action->text() == QStringLiteral("Show in &Folder")) return action;
    return nullptr;
  });
  frame_.pgcSiteInfo->setCurrentIndex(pgImages);
  frame_.lbxImages->SetItemIndex(0);
  bool handled = false;
  frame_.lbxImagesContextPopup(frame_.lbxImages, QPoint(2, 2), handled);
  EXPECT_TRUE(handled);
  ASSERT_FALSE(recorder_.requests.empty());
  const LaunchRequest& shown = recorder_.requests.back();
  EXPECT_EQ(shown.kind, LaunchRequest::kShowInFolder);
  EXPECT_EQ(shown.target.rfind(view_->Path() + "/", 0), 0u) << shown.target;
  EXPECT_TRUE(fs::is_regular_file(shown.target)) << shown.target;
}

TEST_F(BrowserTracesTest, ALinkAtATraceNameIsNeverFollowedAndTheOtherTracesStillWork) {
  Start();
  SelectSite("gamma.test:8931");
  // The first image's name is taken by a link to a file of the user's.
  const std::string linked = Preview(0);
  ASSERT_TRUE(frame_.imgPreview->HasPreview());
  const fs::path secret = Scratch("secret.jpg");
  std::ofstream(secret) << "not for the viewer";
  fs::remove(linked);
  fs::create_symlink(secret, linked);

  EXPECT_EQ(Preview(0), linked);
  EXPECT_FALSE(frame_.imgPreview->HasPreview());
  EXPECT_FALSE(Open(pgImages, frame_.lbxImages, 0)) << "the opener got the link";
  bool handled = false;
  int menus = 0;
  SetShellMenuPresenter([&menus](QMenu&, const QPoint&) -> QAction* {
    ++menus;
    return nullptr;
  });
  frame_.lbxImagesContextPopup(frame_.lbxImages, QPoint(2, 2), handled);
  EXPECT_TRUE(handled);
  EXPECT_EQ(menus, 0);
  EXPECT_TRUE(fs::is_symlink(linked));
  EXPECT_EQ(fixture::FileBytes(secret), "not for the viewer");

  Preview(1);
  EXPECT_TRUE(frame_.imgPreview->HasPreview());
  EXPECT_TRUE(Open(pgImages, frame_.lbxImages, 1));
}

TEST_F(BrowserTracesTest, AViewFolderThatCannotBeMadeMakesTracesMissingAndTheProgramGoesOn) {
  // Neither the runtime folder nor the temporary folder can hold a folder.
  const std::string blocked = Scratch("blocked").string();
  std::ofstream(blocked) << "a file";
  Start(blocked, blocked);
  ASSERT_FALSE(view_->Usable());
  ASSERT_EQ(frame_.lbxSites->Count(), 3);
  SelectSite("gamma.test:8931");
  ASSERT_GT(frame_.lbxImages->Count(), 0);
  Preview(0);
  EXPECT_FALSE(frame_.imgPreview->HasPreview());
  EXPECT_FALSE(Open(pgImages, frame_.lbxImages, 0));
  EXPECT_FALSE(Open(pgCookies, frame_.lbxCookies, 0));
  EXPECT_EQ(reinterpret_cast<std::intptr_t>(ShellExecuteA(
                nullptr, "open", frame_.imgPreview->DocumentPath().c_str(), "", "", SW_SHOWNORMAL)),
            SE_ERR_FNF);
  // History entries do not need the view folder.
  ASSERT_GT(frame_.lbxHistory->Count(), 0);
  const std::optional<LaunchRequest> history = Open(pgHistory, frame_.lbxHistory, 0);
  ASSERT_TRUE(history);
  EXPECT_EQ(history->target.rfind("http://", 0), 0u) << history->target;
  EXPECT_EQ(fixture::FileBytes(blocked), "a file");
}

}  // namespace
