// The actions on one trace of the selected site: preview, open, context menu.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QContextMenuEvent>
#include <QImage>
#include <QMenu>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <fstream>

#include <sys/stat.h>

#include "platform/shell/testing/RecordingLauncher.h"
#include "platform/testing/TempDir.h"
#include "ui/CachedSitesFrame.h"
#include "ui/EmbeddedWB.h"
#include "ui/ListBox.h"
#include "ui/ShellContextMenu.h"
#include "ui/SiteloreAd.h"
#include "ui/SiteloreMain.h"
#include "ui/UiTestSupport.h"

namespace {

using shell::LaunchRequest;
using uitest::Content;
using uitest::Cookie;
using uitest::Visit;

class TraceActionsTest : public ::testing::Test {
 protected:
  TraceActionsTest() : cache_(Spec()), launcher_(recorder_) {
    frame_.show();
    frame_.CreateAnalyzer();
    frame_.AnalyzeCache();
    // The menu is not run modally: the test sees where it would open and
    // picks its first command ("Open"), or dismisses it.
    SetShellMenuPresenter([this](QMenu& menu, const QPoint& screenPoint) -> QAction* {
      menuPoints_.push_back(screenPoint);
      return chooseFromMenu_ ? menu.actions().value(0) : nullptr;
    });
  }
  ~TraceActionsTest() override {
    SetShellMenuPresenter(nullptr);
    frame_.FreeAnalyzer();
  }

  static fixture::ProfileFixture Spec() {
    fixture::ProfileFixture spec;
    spec.content.entries = {
        Content("http://www.site.example/a.png", "AAAA1111", "logo[1].png"),
        Content("http://www.site.example/b/logo.png", "BBBB2222", "logo[1].png"),
        Content("http://site.example/index.htm", "AAAA1111", "index[1].htm"),
        Content("http://site.example/clip.swf", "BBBB2222", "clip[1].swf"),
        Content("http://site.example/app.js", "AAAA1111", "app[1].js"),
        Content("http://zz.example/only.gif", "AAAA1111", "only[1].gif"),
    };
    spec.cookies.entries = {Cookie("Cookie:u@site.example/", "u@site[1].txt")};
    spec.history.entries = {Visit("Visited: u@http://site.example/page"),
                            Visit("Visited: u@http://site.example/a@b"),
                            Visit("Visited: site.example/plain"), Visit("Visited: site.example@")};
    return spec;
  }

  std::string File(const std::string& directory, const std::string& name) const {
    return cache_.ContentFile(directory, name);
  }
  static std::string Folder(const std::string& path) { return path.substr(0, path.rfind('/') + 1); }

  void Show(TSiteInfoPage page, TListBox* list, int line) {
    frame_.pgcSiteInfo->setCurrentIndex(page);
    if (list) list->SetItemIndex(line);
  }

  void DoubleClick(TListBox& list, int line) {
    const QRect rect = list.visualRect(list.model()->index(line, 0));
    ASSERT_TRUE(rect.isValid());
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, rect.center());
  }

  // A right-click at `pos` of `receiver`; true when the frame handled it.
  bool RightClick(QWidget* receiver, QPoint pos) {
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, receiver->mapToGlobal(pos));
    QCoreApplication::sendEvent(receiver, &event);
    return event.isAccepted();
  }

  struct ApplicationFirst {
    ApplicationFirst() { uitest::Application(); }
  } application_;
  uitest::ScratchCache cache_;
  shell::RecordingLauncher recorder_;
  shell::ScopedLauncher launcher_;
  TframeCachedSites frame_;
  std::vector<QPoint> menuPoints_;
  bool chooseFromMenu_ = true;
};

TEST_F(TraceActionsTest, DoubleClickOpensTheTraceOfEveryPageInItsFolder) {
  ASSERT_EQ(frame_.lbxSites->Line(0), "site.example");
  const struct {
    TSiteInfoPage page;
    TListBox* list;
    std::string path;
  } pages[] = {
      {pgImages, frame_.lbxImages, File("BBBB2222", "logo[1].png")},
      {pgPages, frame_.lbxPages, File("AAAA1111", "index[1].htm")},
      {pgMedia, frame_.lbxMedia, File("BBBB2222", "clip[1].swf")},
      {pgOther, frame_.lbxOther, File("AAAA1111", "app[1].js")},
      {pgCookies, frame_.lbxCookies,
       cache_.UserFolder() + "/" + fixture::ContainerPath(fixture::ProfileLayout::Wine, 0) +
           "/u@site[1].txt"},
  };
  for (const auto& page : pages) {
    recorder_.requests.clear();
    frame_.pgcSiteInfo->setCurrentIndex(page.page);
    DoubleClick(*page.list, page.list->Count() - 1);
    ASSERT_EQ(recorder_.requests.size(), 1u) << page.path;
    EXPECT_EQ(recorder_.requests[0].target, page.path);
    EXPECT_EQ(recorder_.requests[0].directory, Folder(page.path));
  }
  // The two images share a file name; each line opens its own file.
  recorder_.requests.clear();
  Show(pgImages, frame_.lbxImages, 0);
  frame_.OpenSelFile(frame_.lbxImages);
  ASSERT_EQ(recorder_.requests.size(), 1u);
  EXPECT_EQ(recorder_.requests[0].target, File("AAAA1111", "logo[1].png"));
}

TEST_F(TraceActionsTest, TheActivePageChoosesTheTraceNotTheSender) {
  Show(pgMedia, frame_.lbxMedia, 0);
  frame_.lbxImages->SetItemIndex(1);
  frame_.OpenSelFile(frame_.lbxImages);
  ASSERT_EQ(recorder_.requests.size(), 1u);
  EXPECT_EQ(recorder_.requests[0].target, File("BBBB2222", "clip[1].swf"));
}

TEST_F(TraceActionsTest, HistoryOpensWhatFollowsTheFirstAt) {
  ASSERT_EQ(frame_.lbxHistory->Count(), 4);
  const std::string expected[] = {"http://site.example/page", "http://site.example/a@b"};
  for (int line = 0; line < 2; ++line) {
    recorder_.requests.clear();
    Show(pgHistory, frame_.lbxHistory, line);
    frame_.OpenSelFile(frame_.lbxHistory);
    ASSERT_EQ(recorder_.requests.size(), 1u) << line;
    EXPECT_EQ(recorder_.requests[0].target, expected[line]);
    EXPECT_EQ(recorder_.requests[0].directory, "");
  }
  // A line without "@" is taken whole, which is no web address here; a line
  // ending with "@" gives an empty target: nothing opens.
  recorder_.requests.clear();
  for (int line : {2, 3}) {
    Show(pgHistory, frame_.lbxHistory, line);
    frame_.OpenSelFile(frame_.lbxHistory);
  }
  EXPECT_TRUE(recorder_.requests.empty());
}

// A history entry is text written by web pages: only web addresses and
// plain documents reach the shell.
TEST(HistoryDoubleClick, OpensWebAddressesAndPlainFilesAndRefusesTheRest) {
  uitest::Application();
  fixture::TempDir dir;
  std::ofstream(dir / "saved.html") << "<p>saved</p>";
  std::ofstream(dir / "run.sh") << "#!/bin/sh\n";
  chmod((dir / "run.sh").c_str(), 0755);
  fixture::ProfileFixture spec;
  // The fragments put the file URLs into the site's history.
  const std::string saved = "file://" + dir / "saved.html#h.example";
  const std::vector<std::string> targets = {
      "https://h.example/", saved, "file://" + dir / "run.sh#h.example",
      "smb://h.example/share/x.exe", "x-handler://h.example/run"};
  for (const std::string& target : targets)
    spec.history.entries.push_back(Visit("Visited: u@" + target));
  spec.content.entries = {Content("http://h.example/i.png", "AAAA1111", "i[1].png")};
  uitest::ScratchCache cache(spec);
  shell::RecordingLauncher recorder;
  shell::ScopedLauncher launcher(recorder);
  TframeCachedSites frame;
  frame.CreateAnalyzer();
  frame.AnalyzeCache();
  frame.pgcSiteInfo->setCurrentIndex(pgHistory);
  std::vector<std::string> opened;
  for (int line = 0; line < frame.lbxHistory->Count(); ++line) {
    frame.lbxHistory->SetItemIndex(line);
    recorder.requests.clear();
    frame.OpenSelFile(frame.lbxHistory);
    for (const LaunchRequest& request : recorder.requests) opened.push_back(request.target);
  }
  frame.FreeAnalyzer();
  EXPECT_EQ(opened, (std::vector<std::string>{"https://h.example/", saved}));
}

TEST_F(TraceActionsTest, NothingSelectedOrOutOfBoundsOpensNothing) {
  for (TSiteInfoPage page : {pgImages, pgPages, pgMedia, pgOther, pgCookies, pgHistory}) {
    frame_.pgcSiteInfo->setCurrentIndex(page);
    frame_.OpenSelFile(nullptr);
  }
  // An empty list: the second site has no cookies.
  frame_.lbxSites->SetItemIndex(1);
  frame_.RefreshSiteInfo();
  Show(pgCookies, frame_.lbxCookies, 0);
  frame_.OpenSelFile(frame_.lbxCookies);
  EXPECT_TRUE(recorder_.requests.empty());

  // A selected line at or past the site's count of its kind is no trace.
  frame_.lbxSites->SetItemIndex(0);
  frame_.RefreshSiteInfo();
  Show(pgImages, frame_.lbxImages, 1);
  TItemList fewer;
  const_cast<TCacheAnalyzer*>(TframeCachedSitesPeer::Analyzer(frame_))->GetImages("a.png", fewer);
  ASSERT_EQ(fewer.size(), 1u);
  frame_.OpenSelFile(frame_.lbxImages);
  bool handled = false;
  frame_.lbxImagesContextPopup(frame_.lbxImages, QPoint(1, 1), handled);
  EXPECT_FALSE(handled);
  EXPECT_TRUE(recorder_.requests.empty());
  EXPECT_TRUE(menuPoints_.empty());
}

TEST_F(TraceActionsTest, RightClickShowsTheMenuOfTheSelectedLineAtThePointer) {
  Show(pgMedia, frame_.lbxMedia, 0);
  const QPoint pos(7, 30);  // below the only line: the selection stays
  EXPECT_TRUE(RightClick(frame_.lbxMedia->viewport(), pos));
  ASSERT_EQ(menuPoints_.size(), 1u);
  EXPECT_EQ(menuPoints_[0], frame_.lbxMedia->viewport()->mapToGlobal(pos));
  EXPECT_EQ(frame_.lbxMedia->ItemIndex(), 0);
  ASSERT_EQ(recorder_.requests.size(), 1u);
  EXPECT_EQ(recorder_.requests[0].target, File("BBBB2222", "clip[1].swf"));

  // The cookie page has its menu too.
  recorder_.requests.clear();
  Show(pgCookies, frame_.lbxCookies, 0);
  EXPECT_TRUE(RightClick(frame_.lbxCookies->viewport(), QPoint(3, 3)));
  ASSERT_EQ(recorder_.requests.size(), 1u);
  EXPECT_TRUE(recorder_.requests[0].target.ends_with("/u@site[1].txt"));
}

TEST_F(TraceActionsTest, RightClickOnTheTabButtonsUsesTheActivePage) {
  Show(pgImages, frame_.lbxImages, 1);
  chooseFromMenu_ = false;  // dismissed: still handled
  QTabBar* tabs = frame_.pgcSiteInfo->tabBar();
  const QPoint onTab = tabs->tabRect(3).center();
  EXPECT_TRUE(RightClick(tabs, onTab));
  ASSERT_EQ(menuPoints_.size(), 1u);
  EXPECT_EQ(menuPoints_[0], tabs->mapToGlobal(onTab));
  EXPECT_EQ(frame_.pgcSiteInfo->currentIndex(), pgImages);
  EXPECT_TRUE(recorder_.requests.empty());
}

// What a mouse button does to a line of `list`: pressed and released, then,
// for the right button, the context-menu request the window system sends.
void ClickWith(TListBox& list, Qt::MouseButton button, int line) {
  const QPoint at = list.visualRect(list.model()->index(line, 0)).center();
  QTest::mousePress(list.viewport(), button, {}, at);
  QTest::mouseRelease(list.viewport(), button, {}, at);
  if (button == Qt::RightButton) {
    QContextMenuEvent request(QContextMenuEvent::Mouse, at, list.viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(list.viewport(), &request);
  }
}

TEST_F(TraceActionsTest, RightClickOnAnotherLineKeepsSelectionPreviewAndLists) {
  const TPathList images = TframeCachedSitesPeer::ImagePaths(frame_);
  ASSERT_EQ(images.size(), 2u);
  Show(pgImages, frame_.lbxImages, 0);
  frame_.lbxImagesClick(frame_.lbxImages);
  const std::string preview = frame_.imgPreview->Document().toStdString();

  ClickWith(*frame_.lbxImages, Qt::RightButton, 1);
  EXPECT_EQ(frame_.lbxImages->ItemIndex(), 0);
  EXPECT_EQ(frame_.imgPreview->Document().toStdString(), preview);
  ASSERT_EQ(recorder_.requests.size(), 1u);
  EXPECT_EQ(recorder_.requests[0].target, images[0]);

  // On the site list a right-click neither switches the site nor refreshes
  // (a refresh would clear the image selection).
  recorder_.requests.clear();
  ASSERT_EQ(frame_.lbxSites->Count(), 2);
  ClickWith(*frame_.lbxSites, Qt::RightButton, 1);
  EXPECT_EQ(frame_.lbxSites->ItemIndex(), 0);
  EXPECT_EQ(frame_.lbxImages->ItemIndex(), 0);
  EXPECT_EQ(TframeCachedSitesPeer::ImagePaths(frame_), images);
  EXPECT_TRUE(recorder_.requests.empty());

  // The middle button selects nothing either; the left one does.
  ClickWith(*frame_.lbxImages, Qt::MiddleButton, 1);
  EXPECT_EQ(frame_.lbxImages->ItemIndex(), 0);
  ClickWith(*frame_.lbxImages, Qt::LeftButton, 1);
  EXPECT_EQ(frame_.lbxImages->ItemIndex(), 1);
  EXPECT_NE(frame_.imgPreview->Document().toStdString(), preview);
}

TEST_F(TraceActionsTest, OnlyTheLeftButtonsDoubleClickOpens) {
  Show(pgPages, frame_.lbxPages, 0);
  const QPoint at = frame_.lbxPages->visualRect(frame_.lbxPages->model()->index(0, 0)).center();
  for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton})
    QTest::mouseDClick(frame_.lbxPages->viewport(), button, {}, at);
  EXPECT_TRUE(recorder_.requests.empty());
  EXPECT_EQ(frame_.lbxPages->ItemIndex(), 0);
  DoubleClick(*frame_.lbxPages, 0);
  EXPECT_EQ(recorder_.requests.size(), 1u);
}

TEST_F(TraceActionsTest, NoMenuForHistoryOrAnUnselectedList) {
  Show(pgHistory, frame_.lbxHistory, 0);
  EXPECT_FALSE(RightClick(frame_.lbxHistory->viewport(), QPoint(3, 3)));
  Show(pgPages, frame_.lbxPages, -1);
  EXPECT_FALSE(RightClick(frame_.lbxPages->viewport(), QPoint(3, 3)));
  EXPECT_TRUE(menuPoints_.empty());
}

TEST_F(TraceActionsTest, RemovedFileGivesNoMenuButTheRequestIsHandled) {
  Show(pgOther, frame_.lbxOther, 0);
  ASSERT_TRUE(std::filesystem::remove(File("AAAA1111", "app[1].js")));
  bool handled = false;
  frame_.lbxImagesContextPopup(frame_.lbxOther, QPoint(2, 2), handled);
  EXPECT_TRUE(handled);
  EXPECT_TRUE(menuPoints_.empty());
  // Opening still hands the path to the shell, which finds nothing.
  frame_.OpenSelFile(frame_.lbxOther);
  ASSERT_EQ(recorder_.requests.size(), 1u);
  EXPECT_EQ(recorder_.requests[0].target, File("AAAA1111", "app[1].js"));
}

TEST_F(TraceActionsTest, SelectingAnImagePreviewsItAndThePreviewKeepsIt) {
  EXPECT_TRUE(frame_.imgPreview->Document().isEmpty());
  frame_.lbxImages->setFocus();
  frame_.lbxImages->SetItemIndex(0);
  QTest::keyClick(frame_.lbxImages, Qt::Key_Down);
  ASSERT_EQ(frame_.lbxImages->ItemIndex(), 1);
  const QString second = QString::fromStdString(File("BBBB2222", "logo[1].png"));
  EXPECT_EQ(frame_.imgPreview->Document(), second);

  // Another page's selection and another site leave the preview alone.
  Show(pgPages, frame_.lbxPages, 0);
  frame_.lbxSites->SetItemIndex(1);
  frame_.lbxSitesClick(frame_.lbxSites);
  EXPECT_EQ(frame_.imgPreview->Document(), second);
  EXPECT_EQ(frame_.lbxImages->ItemIndex(), -1);
}

// The bytes of a file name go from the cache to the preview and the menu
// unchanged, also when they are not UTF-8.
TEST(TraceNameNotUtf8, PreviewAndMenuWorkOnTheExactBytes) {
  uitest::Application();
  fixture::ProfileFixture spec;
  fixture::EntryFixture image = Content("http://q.example/a.png", "AAAA1111", "caf\xe9[1].png");
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  QImage(4, 4, QImage::Format_RGB32).save(&buffer, "PNG");
  image.contents = png.toStdString();
  spec.content.entries = {image};
  uitest::ScratchCache cache(spec);
  const std::string path = cache.ContentFile("AAAA1111", "caf\xe9[1].png");
  shell::RecordingLauncher recorder;
  shell::ScopedLauncher launcher(recorder);
  SetShellMenuPresenter(
      [](QMenu& menu, const QPoint&) -> QAction* { return menu.actions().value(0); });
  TframeCachedSites frame;
  frame.CreateAnalyzer();
  frame.AnalyzeCache();
  frame.pgcSiteInfo->setCurrentIndex(pgImages);
  frame.lbxImages->SetItemIndex(0);
  frame.lbxImagesClick(frame.lbxImages);
  EXPECT_TRUE(frame.imgPreview->HasPreview());
  EXPECT_EQ(frame.imgPreview->DocumentPath(), path);
  bool handled = false;
  frame.lbxImagesContextPopup(frame.lbxImages, QPoint(2, 2), handled);
  SetShellMenuPresenter(nullptr);
  frame.FreeAnalyzer();
  EXPECT_TRUE(handled);
  ASSERT_EQ(recorder.requests.size(), 1u) << "no menu, or Open did nothing";
  EXPECT_EQ(recorder.requests[0].target, path);
}

TEST(MainWindowButtons, HowToGetRidOpensAFreshAdvertisementEachTime) {
  uitest::Application();
  shell::RecordingLauncher recorder;
  shell::ScopedLauncher scoped(recorder);
  urlcache::SetUrlCacheProfile(uitest::WineBasicPrefix());
  TfrmSiteloreMain window;
  urlcache::SetUrlCacheProfile("");
  std::vector<QWidget*> dialogs;
  for (int opening = 0; opening < 2; ++opening) {
    QTimer::singleShot(0, [&] {
      auto* ad = qobject_cast<TfrmAd*>(QApplication::activeModalWidget());
      ASSERT_NE(ad, nullptr);
      dialogs.push_back(ad);
      ad->Button1->click();
    });
    window.Button1->click();
  }
  ASSERT_EQ(dialogs.size(), 2u);
  EXPECT_TRUE(window.findChildren<TfrmAd*>().isEmpty());
  EXPECT_TRUE(recorder.requests.empty());
}

}  // namespace
