// TframeCachedSites: the panel the user works in. The site list on the left;
// on the right six tabbed lists with the traces of the selected site and,
// under the image list, the preview; at the bottom the totals over all sites
// and the counts of the selected site. The frame owns the trace analyzer and
// is the only user of its per-site queries.
#pragma once

#include <QFrame>
#include <QPoint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/CacheAnalyzer.h"

class QLabel;
class QSplitter;
class QTabWidget;
class QWidget;
class TEmbeddedWB;
class TListBox;

// Full local paths of one kind of trace, line for line as its list box.
using TPathList = std::vector<std::string>;

// The pages of pgcSiteInfo, in their fixed order.
enum TSiteInfoPage : int {
  pgImages = 0,
  pgPages = 1,
  pgMedia = 2,
  pgOther = 3,
  pgCookies = 4,
  pgHistory = 5,
};

class TframeCachedSites : public QFrame {
  Q_OBJECT

 public:
  explicit TframeCachedSites(QWidget* parent = nullptr);
  ~TframeCachedSites() override;
  TframeCachedSites(const TframeCachedSites&) = delete;
  TframeCachedSites& operator=(const TframeCachedSites&) = delete;

  // Controls, owned by their Qt parents; objectName is the field's name.
  QLabel* lblTotal;
  QLabel* lblCurrent;
  QFrame* pnl1;
  QLabel* Label4;
  TListBox* lbxSites;
  QFrame* pnl2;
  QTabWidget* pgcSiteInfo;
  QWidget* tabImages;
  TListBox* lbxImages;
  QWidget* TabSheet4;
  TListBox* lbxPages;
  QWidget* tbcMedia;
  QWidget* TabSheet1;
  TListBox* lbxOther;
  QWidget* TabSheet2;
  TListBox* lbxCookies;
  QWidget* TabSheet3;
  TListBox* lbxHistory;
  QLabel* Label1;
  QSplitter* Splitter1;
  TListBox* lbxMedia;
  QSplitter* Splitter2;
  TEmbeddedWB* imgPreview;

  // Empties the path lists and the list boxes and creates the analyzer.
  // Called once, before AnalyzeCache.
  void CreateAnalyzer();
  // Fills the site list from the analyzer, runs the one scan of the URL
  // cache, selects the first site (without raising lbxSitesClick) and shows
  // its traces. Does nothing without an analyzer. The walks run on a thread
  // of their own while this thread keeps painting (user input waits until
  // they end); an exception of theirs is raised here.
  void AnalyzeCache();
  // Refills the six trace lists and both count lines for the selected site;
  // with no site selected only empties the lists.
  void RefreshSiteInfo();
  // Replaces the lines of `ListBox` with the file-name parts of `Paths`, in
  // one batch.
  void FillListBox(const TPathList& Paths, TListBox& ListBox);
  // Empties the list boxes and frees the path lists and the analyzer.
  void FreeAnalyzer();

  // Published handlers.
  void lbxSitesClick(QObject* Sender);
  void OpenSelFile(QObject* Sender);
  // MousePos is relative to the control that received the request; set
  // Handled to stop the request from going on to the enclosing controls.
  void lbxImagesContextPopup(QObject* Sender, QPoint MousePos, bool& Handled);
  void lbxImagesClick(QObject* Sender);

 signals:
  // FreeAnalyzer has released the analyzer.
  void AnalyzerFreed();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  friend struct TframeCachedSitesPeer;

  void BuildControls();
  void CreateCountLines();
  void CreateSitesPanel();
  void CreateTracePages();
  void ArrangeControls();
  void SetTabOrder();
  void ConnectHandlers();
  // The full path of the trace selected on `Page` (pgImages to pgCookies):
  // the selected line of its list box, when that line lies below the site's
  // count of the kind. Empty when the page has no trace.
  std::string SelectedTrace(int Page) const;
  // SelectedTrace, with the trace's file made to exist first through the URL
  // cache (browser traces are written out on demand; a large one on a
  // worker thread, with user input held back meanwhile). Every action on a
  // trace takes its path from here.
  std::string SelectedTraceFile(int Page) const;
  // The control that raised a context-menu request received by `watched`.
  QWidget* ContextPopupSender(QObject* watched) const;

  TPathList ImagePaths;
  TPathList PagePaths;
  TPathList OtherPaths;
  TPathList MediaPaths;
  TPathList CookiePaths;
  // The site keys, line for line as lbxSites, which shows them with their
  // control characters escaped.
  TSiteList SiteKeys;
  std::unique_ptr<TCacheAnalyzer> Analyzer;
};

// The file-name part of a local path: the text after its last "/", "\" or
// ":", the whole path when it holds none of them.
std::string_view FileNamePart(std::string_view Path);

// Brings `Window` to the foreground unless it is disabled; with `Restore`,
// a visible window that is minimized is restored, and a visible window gets
// the keyboard focus.
void BringWindowToFront(QWidget* Window, bool Restore);
