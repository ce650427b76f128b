#include "ui/CachedSitesFrame.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QSplitter>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/wininet/testing/MemoryUrlCache.h"
#include "ui/EmbeddedWB.h"
#include "ui/ListBox.h"
#include "ui/UiTestSupport.h"

namespace {

using Lines = std::vector<std::string>;
using uitest::Content;
using uitest::Cookie;
using uitest::Visit;

class FrameTest : public ::testing::Test {
 protected:
  void SetUp() override { uitest::Application(); }

  // A frame as the main window prepares it: analyzer created, cache scanned.
  std::unique_ptr<TframeCachedSites> Analyzed() {
    auto frame = std::make_unique<TframeCachedSites>();
    frame->show();
    frame->CreateAnalyzer();
    frame->AnalyzeCache();
    return frame;
  }

  static std::vector<TListBox*> TraceLists(const TframeCachedSites& f) {
    return {f.lbxImages, f.lbxPages, f.lbxMedia, f.lbxOther, f.lbxCookies, f.lbxHistory};
  }

  static void ClickLine(TListBox& list, int row) {
    const QRect line = list.visualRect(list.model()->index(row, 0));
    ASSERT_TRUE(line.isValid());
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, line.center());
  }
};

TEST(FileNamePartTest, TakesTheTextAfterTheLastSeparator) {
  EXPECT_EQ(FileNamePart("/home/u/Content.IE5/AB12CD34/logo[1].gif"), "logo[1].gif");
  EXPECT_EQ(FileNamePart("C:\\Cache\\AB12CD34\\page[1].htm"), "page[1].htm");
  EXPECT_EQ(FileNamePart("C:page.htm"), "page.htm");
  EXPECT_EQ(FileNamePart("a\\b/c:d"), "d");
  EXPECT_EQ(FileNamePart("no separator.txt"), "no separator.txt");
  EXPECT_EQ(FileNamePart("ends/"), "");
}

TEST_F(FrameTest, ControlsCarryTheirNamesCaptionsAndHints) {
  TframeCachedSites f;
  for (const char* name :
       {"lblTotal",    "lblCurrent", "pnl1",      "Label4",     "lbxSites",  "pnl2",
        "pgcSiteInfo", "tabImages",  "lbxImages", "TabSheet4",  "lbxPages",  "tbcMedia",
        "TabSheet1",   "lbxOther",   "TabSheet2", "lbxCookies", "TabSheet3", "lbxHistory",
        "Label1",      "Splitter1",  "lbxMedia",  "Splitter2",  "imgPreview"})
    EXPECT_NE(f.findChild<QWidget*>(QLatin1String(name)), nullptr) << name;

  const QStringList captions = {"Images", "Pages", "Media", "Other", "Cookies", "History"};
  const QList<QWidget*> pages = {f.tabImages, f.TabSheet4, f.tbcMedia,
                                 f.TabSheet1, f.TabSheet2, f.TabSheet3};
  ASSERT_EQ(f.pgcSiteInfo->count(), 6);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(f.pgcSiteInfo->tabText(i), captions[i]);
    EXPECT_EQ(f.pgcSiteInfo->widget(i), pages[i]);
  }
  EXPECT_EQ(f.pgcSiteInfo->currentIndex(), pgImages);
  EXPECT_EQ(f.Label4->text(), "Select site to view traces:");
  EXPECT_EQ(f.Label1->text(), "Traces already on your hard drive:");
  EXPECT_EQ(f.lbxSites->toolTip(), "Select site to view traces from it");
  EXPECT_TRUE(f.lbxImages->toolTip().isEmpty());
  EXPECT_TRUE(f.lbxPages->toolTip().isEmpty());
  for (TListBox* list : {f.lbxMedia, f.lbxOther, f.lbxCookies, f.lbxHistory})
    EXPECT_EQ(list->toolTip(), "Double-click to view file");
  for (TListBox* list : TraceLists(f)) {
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_TRUE(list->uniformItemSizes());
  }
  // The preview sits under the image list, divided by Splitter2.
  EXPECT_EQ(f.Splitter2->widget(0), f.lbxImages);
  EXPECT_EQ(f.Splitter2->widget(1), f.imgPreview);
  EXPECT_EQ(f.Splitter1->widget(0), f.pnl1);
  EXPECT_EQ(f.Splitter1->widget(1), f.pnl2);
}

TEST_F(FrameTest, SplitterKeepsTheDesignWidthsAndTheCaptionGivesWay) {
  TframeCachedSites f;
  f.resize(522, 369);
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  // The bold caption is wider than the site list's design width.
  ASSERT_GT(f.Label4->fontMetrics().horizontalAdvance(f.Label4->text()), 185);
  EXPECT_EQ(f.Splitter1->sizes(), (QList<int>{185, 334}));
  EXPECT_EQ(f.Label4->width(), 185);
  EXPECT_EQ(f.Label4->text(), "Select site to view traces:");
}

TEST_F(FrameTest, EmptyCacheLeavesEverythingEmpty) {
  // Cookies and history without any content entry give no site, so no
  // totals either.
  fixture::ProfileFixture spec;
  spec.cookies.entries = {Cookie("Cookie:u@a.example/", "u@a[1].txt")};
  spec.history.entries = {Visit("Visited: u@http://a.example/")};
  uitest::ScratchCache cache(spec);
  auto f = Analyzed();
  EXPECT_EQ(f->lbxSites->Count(), 0);
  EXPECT_EQ(f->lbxSites->ItemIndex(), -1);
  for (TListBox* list : TraceLists(*f)) EXPECT_EQ(list->Count(), 0);
  EXPECT_EQ(f->lblTotal->text(), "");
  EXPECT_EQ(f->lblCurrent->text(), "");
}

TEST_F(FrameTest, WineCacheShowsTheFirstSiteAndTheTotals) {
  urlcache::SetUrlCacheProfile(uitest::WineBasicPrefix());
  auto f = Analyzed();
  urlcache::SetUrlCacheProfile("");

  EXPECT_EQ(f->lbxSites->Lines(), (Lines{"cdn.other.org:8080", "example.com", "news.example.com"}));
  EXPECT_EQ(f->lbxSites->ItemIndex(), 0);
  EXPECT_EQ(f->lbxImages->Count(), 0);
  EXPECT_EQ(f->lbxPages->Count(), 0);
  EXPECT_EQ(f->lbxMedia->Lines(), Lines{"movie[0].swf"});
  EXPECT_EQ(f->lbxOther->Count(), 0);
  EXPECT_EQ(f->lbxCookies->Count(), 0);
  EXPECT_EQ(f->lbxHistory->Lines(), Lines{"Visited: user@http://cdn.other.org:8080/a/"});
  EXPECT_EQ(f->lblTotal->text(),
            "Total: 2 images, 1 pages, 1 media files, 1 unknown files,2 cookies, 2 history "
            "entires");
  EXPECT_EQ(f->lblCurrent->text(),
            "Selected site:: 0 images, 0 pages, 1 media files, 0 unknown files, 0 cookies, 1 "
            "history entires");
  const TPathList& media = TframeCachedSitesPeer::MediaPaths(*f);
  ASSERT_EQ(media.size(), 1u);
  EXPECT_EQ(media[0].front(), '/');
  EXPECT_TRUE(media[0].ends_with("/movie[0].swf")) << media[0];

  // "example.com" is a part of news.example.com's URLs too.
  ClickLine(*f->lbxSites, 1);
  EXPECT_EQ(f->lbxImages->Lines(), (Lines{"PHOTO[0].JPG", "logo[0].gif"}));
  EXPECT_EQ(f->lbxPages->Lines(), Lines{"index[0].html"});
  EXPECT_EQ(f->lbxMedia->Count(), 0);
  EXPECT_EQ(f->lbxOther->Lines(), Lines{"x[0].js"});
  EXPECT_EQ(f->lbxCookies->Lines(), Lines{"8GL4JCZ1.txt"});
  EXPECT_EQ(f->lbxHistory->Lines(), Lines{"Visited: user@http://www.example.com/index.html"});
  EXPECT_EQ(f->lblCurrent->text(),
            "Selected site:: 2 images, 1 pages, 0 media files, 1 unknown files, 1 cookies, 1 "
            "history entires");
  EXPECT_EQ(f->lblTotal->text(),
            "Total: 2 images, 1 pages, 1 media files, 1 unknown files,2 cookies, 2 history "
            "entires");
}

class TwoSitesTest : public FrameTest {
 protected:
  TwoSitesTest() : cache_(Spec()) {}

  static fixture::ProfileFixture Spec() {
    fixture::ProfileFixture spec;
    spec.content.entries = {
        Content("http://www.alpha.example/a.png", "AAAA1111", "a[1].png"),
        Content("http://www.alpha.example/b.png", "AAAA1111", "b[1].png"),
        Content("http://www.alpha.example/index.htm", "AAAA1111", "index[1].htm"),
        Content("http://beta.example/c.gif", "BBBB2222", "c[1].gif"),
        Content("http://beta.example/d.js", "BBBB2222", "d[1].js"),
    };
    spec.cookies.entries = {Cookie("Cookie:u@beta.example/", "u@beta[1].txt")};
    spec.history.entries = {Visit("Visited: u@http://beta.example/"),
                            Visit("Visited: u@http://www.alpha.example/index.htm")};
    return spec;
  }

  uitest::ScratchCache cache_;
};

TEST_F(TwoSitesTest, MouseAndKeyboardSelectionRefresh) {
  auto f = Analyzed();
  ASSERT_EQ(f->lbxSites->Lines(), (Lines{"alpha.example", "beta.example"}));
  EXPECT_EQ(f->lbxImages->Lines(), (Lines{"a[1].png", "b[1].png"}));

  ClickLine(*f->lbxSites, 1);
  EXPECT_EQ(f->lbxSites->ItemIndex(), 1);
  EXPECT_EQ(f->lbxImages->Lines(), Lines{"c[1].gif"});
  EXPECT_EQ(f->lbxCookies->Lines(), Lines{"u@beta[1].txt"});

  QTest::keyClick(f->lbxSites, Qt::Key_Up);
  EXPECT_EQ(f->lbxSites->ItemIndex(), 0);
  EXPECT_EQ(f->lbxImages->Lines(), (Lines{"a[1].png", "b[1].png"}));
  EXPECT_EQ(f->lbxCookies->Count(), 0);

  QTest::keyClick(f->lbxSites, Qt::Key_Down);
  EXPECT_EQ(f->lbxSites->ItemIndex(), 1);
  EXPECT_EQ(f->lbxOther->Lines(), Lines{"d[1].js"});

  // A click below the last line, or a Ctrl-click on the selected one, keeps
  // the selected site.
  QTest::mouseClick(f->lbxSites->viewport(), Qt::LeftButton, {},
                    QPoint(10, f->lbxSites->viewport()->height() - 3));
  EXPECT_EQ(f->lbxSites->ItemIndex(), 1);
  const QRect selected = f->lbxSites->visualRect(f->lbxSites->model()->index(1, 0));
  QTest::mouseClick(f->lbxSites->viewport(), Qt::LeftButton, Qt::ControlModifier,
                    selected.center());
  EXPECT_EQ(f->lbxSites->ItemIndex(), 1);
  EXPECT_EQ(f->lbxOther->Lines(), Lines{"d[1].js"});
  EXPECT_EQ(f->lblCurrent->text(),
            "Selected site:: 1 images, 0 pages, 0 media files, 1 unknown files, 1 cookies, 1 "
            "history entires");
}

TEST_F(TwoSitesTest, SwitchingSitesKeepsThePageAndPreviewAndClearsSelections) {
  auto f = Analyzed();
  f->pgcSiteInfo->setCurrentIndex(pgHistory);
  ClickLine(*f->lbxHistory, 0);
  ASSERT_EQ(f->lbxHistory->ItemIndex(), 0);
  f->lbxImages->SetItemIndex(1);
  f->imgPreview->Navigate(QStringLiteral("/some/where/b[1].png"));

  QTest::keyClick(f->lbxSites, Qt::Key_Down);
  EXPECT_EQ(f->pgcSiteInfo->currentIndex(), pgHistory);
  EXPECT_EQ(f->lbxHistory->Lines(), Lines{"Visited: u@http://beta.example/"});
  for (TListBox* list : TraceLists(*f))
    EXPECT_EQ(list->ItemIndex(), -1) << list->objectName().toStdString();
  EXPECT_EQ(f->imgPreview->Document(), "/some/where/b[1].png");
}

TEST_F(TwoSitesTest, ProgramSelectionAndDeselectionFollowTheRules) {
  auto f = Analyzed();
  // Selecting in code raises no click: the lists stay as they are.
  f->lbxSites->SetItemIndex(1);
  EXPECT_EQ(f->lbxImages->Lines(), (Lines{"a[1].png", "b[1].png"}));
  // With no site selected a refresh empties the lists and keeps the labels.
  const QString current = f->lblCurrent->text();
  f->lbxSites->SetItemIndex(-1);
  f->RefreshSiteInfo();
  for (TListBox* list : TraceLists(*f)) EXPECT_EQ(list->Count(), 0);
  EXPECT_EQ(f->lblCurrent->text(), current);
}

TEST_F(FrameTest, CountLinesWithoutCookies) {
  fixture::ProfileFixture spec;
  spec.content.entries = {Content("http://site.example/p.htm", "PPPP0000", "p[1].htm")};
  uitest::ScratchCache cache(spec);
  auto f = Analyzed();
  EXPECT_EQ(f->lbxCookies->Count(), 0);
  EXPECT_EQ(f->lblTotal->text(),
            "Total: 0 images, 1 pages, 0 media files, 0 unknown files,0 cookies, 0 history "
            "entires");
  EXPECT_EQ(f->lblCurrent->text(),
            "Selected site:: 0 images, 1 pages, 0 media files, 0 unknown files, 0 cookies, 0 "
            "history entires");
}

TEST_F(FrameTest, CountLinesPutEveryCountInItsOwnSlot) {
  // The selected site: 3 images, 1 page, no media, 2 other files, no
  // cookies, 5 history entries. A second site adds to the totals only.
  fixture::ProfileFixture spec;
  spec.content.entries = {
      Content("http://a.example/1.jpg", "AAAA0000", "1[1].jpg"),
      Content("http://a.example/2.bmp", "AAAA0000", "2[1].bmp"),
      Content("http://a.example/3.xbm", "AAAA0000", "3[1].xbm"),
      Content("http://a.example/", "AAAA0000", "index[1].html"),
      Content("http://a.example/x.css", "AAAA0000", "x[1].css"),
      Content("http://a.example/y", "AAAA0000", "y[1]"),
      Content("http://b.example/m.mp3", "BBBB0000", "m[1].mp3"),
      Content("http://b.example/n.wav", "BBBB0000", "n[1].wav"),
      Content("http://b.example/o.mid", "BBBB0000", "o[1].mid"),
      Content("http://b.example/p.avi", "BBBB0000", "p[1].avi"),
  };
  spec.cookies.entries = {
      Cookie("Cookie:u@b.example/", "u@b[1].txt"),
      Cookie("Cookie:u@b.example/shop", "u@b[2].txt"),
      Cookie("Cookie:u@b.example/cart", "u@b[3].txt"),
      Cookie("Cookie:u@b.example/help", "u@b[4].txt"),
      Cookie("Cookie:u@b.example/news", "u@b[5].txt"),
      Cookie("Cookie:u@b.example/more", "u@b[6].txt"),
  };
  for (int i = 0; i < 5; ++i)
    spec.history.entries.push_back(Visit("Visited: u@http://a.example/" + std::to_string(i)));
  spec.history.entries.push_back(Visit("Visited: u@http://b.example/"));
  uitest::ScratchCache cache(spec);
  auto f = Analyzed();
  ASSERT_EQ(f->lbxSites->Line(f->lbxSites->ItemIndex()), "a.example");
  EXPECT_EQ(f->lblCurrent->text(),
            "Selected site:: 3 images, 1 pages, 0 media files, 2 unknown files, 0 cookies, 5 "
            "history entires");
  EXPECT_EQ(f->lblTotal->text(),
            "Total: 3 images, 1 pages, 4 media files, 2 unknown files,6 cookies, 6 history "
            "entires");

  QTest::keyClick(f->lbxSites, Qt::Key_Down);
  EXPECT_EQ(f->lblCurrent->text(),
            "Selected site:: 0 images, 0 pages, 4 media files, 0 unknown files, 6 cookies, 1 "
            "history entires");
}

TEST_F(FrameTest, EqualFileNamesInTwoFoldersStayTwoTraces) {
  fixture::ProfileFixture spec;
  spec.content.entries = {
      Content("http://pics.example/a/logo.png", "FOLDER01", "logo[1].png"),
      Content("http://pics.example/b/logo.png", "FOLDER02", "logo[1].png"),
  };
  uitest::ScratchCache cache(spec);
  auto f = Analyzed();
  EXPECT_EQ(f->lbxImages->Lines(), (Lines{"logo[1].png", "logo[1].png"}));
  EXPECT_EQ(TframeCachedSitesPeer::ImagePaths(*f),
            (TPathList{cache.ContentFile("FOLDER01", "logo[1].png"),
                       cache.ContentFile("FOLDER02", "logo[1].png")}));
}

TEST_F(FrameTest, NamesWithLineBreaksKeepPathsAndCountsPaired) {
  // A damaged or hostile cache may name files with line breaks; each stays
  // one trace, one line, paired with its path.
  fixture::MemoryUrlCache service;
  auto entry = [](std::string url, std::string local, DWORD type = NORMAL_CACHE_ENTRY) {
    fixture::MemoryEntry e;
    e.url = std::move(url);
    e.localFile = std::move(local);
    e.cacheEntryType = type;
    return e;
  };
  service.Set(fixture::MemoryUrlCache::kContent,
              {
                  entry("http://odd.example/a.png", "/c/ODD00000/two\r\nlines[1].png"),
                  entry("http://odd.example/b.png", "/c/ODD00000/plain[1].png"),
                  entry("http://odd.example/c.htm", "/c/ODD00000/\r\n.htm"),
              });
  service.Set(fixture::MemoryUrlCache::kHistory,
              {entry("Visited: u@http://odd.example/\r\nnext", "", URLHISTORY_CACHE_ENTRY)});
  urlcache::SetProvider(&service);
  auto f = Analyzed();
  urlcache::SetProvider(nullptr);

  const TCacheAnalyzer* analyzer = TframeCachedSitesPeer::Analyzer(*f);
  ASSERT_NE(analyzer, nullptr);
  EXPECT_EQ(analyzer->SiteImages(), 2);
  EXPECT_EQ(TframeCachedSitesPeer::ImagePaths(*f),
            (TPathList{"/c/ODD00000/two\r\nlines[1].png", "/c/ODD00000/plain[1].png"}));
  EXPECT_EQ(f->lbxImages->Lines(), (Lines{"two\r\nlines[1].png", "plain[1].png"}));
  EXPECT_EQ(analyzer->SitePages(), 1);
  EXPECT_EQ(f->lbxPages->Lines(), Lines{"\r\n.htm"});
  EXPECT_EQ(f->lbxHistory->Lines(), Lines{"Visited: u@http://odd.example/\r\nnext"});
}

TEST_F(FrameTest, HostsWithLineBreaksAreOneSiteShownEscaped) {
  fixture::MemoryUrlCache service;
  service.Add(fixture::MemoryUrlCache::kContent, "http://crlf.test\r\nTotal: 99 images/a.gif",
              "/c/A/a[1].gif");
  service.Add(fixture::MemoryUrlCache::kContent, "http://evil\r\nfake.test/b.gif", "/c/A/b[1].gif");
  urlcache::SetProvider(&service);
  auto f = Analyzed();
  urlcache::SetProvider(nullptr);

  EXPECT_EQ(f->lbxSites->Lines(),
            (Lines{"crlf.test\\r\\ntotal: 99 images", "evil\\r\\nfake.test"}));
  // The selected line queries the site's full key.
  EXPECT_EQ(f->lbxImages->Lines(), Lines{"a[1].gif"});
  f->lbxSites->SetItemIndex(1);
  f->lbxSitesClick(f->lbxSites);
  EXPECT_EQ(f->lbxImages->Lines(), Lines{"b[1].gif"});
  EXPECT_EQ(f->lblCurrent->text().toStdString(),
            "Selected site:: 1 images, 0 pages, 0 media files, 0 unknown files, 0 cookies, 0 "
            "history entires");
}

// While the walks run, the user-interface thread goes on handling events
// (the splash is painted, the window manager answered), and the results
// are those of the walks.
TEST_F(FrameTest, TheUiThreadHandlesEventsWhileTheScanRuns) {
  class WaitingProvider : public fixture::MemoryUrlCache {
   public:
    std::atomic<bool> ticked{false};
    bool sawTick = false;
    std::unique_ptr<urlcache::Cursor> Open(urlcache::Container container) override {
      for (int i = 0; i < 500 && !ticked; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      sawTick = sawTick || ticked;
      return MemoryUrlCache::Open(container);
    }
  } provider;
  provider.Add(fixture::MemoryUrlCache::kContent, "http://a.test/x.gif", "/c/A/x[1].gif");
  urlcache::SetProvider(&provider);
  QTimer::singleShot(0, [&] { provider.ticked = true; });
  auto f = Analyzed();
  urlcache::SetProvider(nullptr);
  EXPECT_TRUE(provider.sawTick);
  EXPECT_EQ(f->lbxSites->Lines(), Lines{"a.test"});
  EXPECT_EQ(f->lbxImages->Lines(), Lines{"x[1].gif"});
}

// The scan walks through a provider of its own; afterwards, whether the scan
// succeeded or failed, the provider installed before is the current one
// again (the scan's is gone with it).
TEST_F(FrameTest, TheScanLeavesTheProviderItFound) {
  fixture::MemoryUrlCache provider;
  provider.Add(fixture::MemoryUrlCache::kContent, "http://a.test/x.gif", "/c/A/x[1].gif");
  urlcache::SetProvider(&provider);
  auto f = Analyzed();
  EXPECT_EQ(&urlcache::CurrentProvider(), &provider);
  EXPECT_EQ(f->lbxImages->Lines(), Lines{"x[1].gif"});

  uitest::ThrowingProvider failing;
  urlcache::SetProvider(&failing);
  TframeCachedSites g;
  g.CreateAnalyzer();
  EXPECT_THROW(g.AnalyzeCache(), std::runtime_error);
  EXPECT_EQ(&urlcache::CurrentProvider(), &failing);
  urlcache::SetProvider(nullptr);
}

TEST_F(FrameTest, FreeAnalyzerEmptiesTheListsAndReleasesTheAnalyzer) {
  urlcache::SetUrlCacheProfile(uitest::WineBasicPrefix());
  auto f = Analyzed();
  urlcache::SetUrlCacheProfile("");
  ASSERT_GT(f->lbxSites->Count(), 0);
  bool freed = false;
  QObject::connect(f.get(), &TframeCachedSites::AnalyzerFreed, [&] { freed = true; });
  f->FreeAnalyzer();
  EXPECT_TRUE(freed);
  EXPECT_EQ(TframeCachedSitesPeer::Analyzer(*f), nullptr);
  EXPECT_EQ(f->lbxSites->Count(), 0);
  for (TListBox* list : TraceLists(*f)) EXPECT_EQ(list->Count(), 0);
  EXPECT_TRUE(TframeCachedSitesPeer::MediaPaths(*f).empty());
}

TEST_F(FrameTest, FillListBoxTakesAHundredThousandLinesInOneBatch) {
  TframeCachedSites f;
  TPathList paths;
  for (int i = 0; i < 100000; ++i)
    paths.push_back("/cache/DIR" + std::to_string(i % 7) + "/file" + std::to_string(i) + ".gif");
  int resets = 0;
  QObject::connect(f.lbxPages->model(), &QAbstractItemModel::modelReset, [&] { ++resets; });
  f.FillListBox(paths, *f.lbxPages);
  EXPECT_EQ(resets, 1);
  ASSERT_EQ(f.lbxPages->Count(), 100000);
  EXPECT_EQ(f.lbxPages->Line(0), "file0.gif");
  EXPECT_EQ(f.lbxPages->Line(99999), "file99999.gif");
  EXPECT_EQ(f.lbxPages->model()->data(f.lbxPages->model()->index(12345, 0)).toString(),
            "file12345.gif");
}

}  // namespace
