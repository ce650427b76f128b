#include "ui/CachedSitesFrame.h"

#include <shellapi.h>

#include <QAbstractScrollArea>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QLabel>
#include <QPainter>
#include <QSplitter>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <atomic>
#include <exception>
#include <thread>

#include "analysis/CountLines.h"
#include "analysis/TraceKind.h"
#include "platform/common/AsciiCase.h"
#include "platform/wininet/DiskUrlCache.h"
#include "platform/wininet/UrlCacheService.h"
#include "ui/DesignFont.h"
#include "ui/EmbeddedWB.h"
#include "ui/ErrorReport.h"
#include "ui/HistoryTarget.h"
#include "ui/ListBox.h"
#include "ui/ShellContextMenu.h"
#include "ui/ShellOpen.h"

namespace {

// Design sizes in pixels at 96 dots per inch.
constexpr int kFrameWidth = 523;
constexpr int kFrameHeight = 369;
constexpr int kTotalHeight = 21;
constexpr int kCurrentHeight = 17;
constexpr int kSitesWidth = 185;
constexpr int kInfoWidth = 335;
constexpr int kCaptionHeight = 16;
constexpr int kSplitterSize = 3;
constexpr int kImagesHeight = 196;
constexpr int kPreviewHeight = 85;

const char kFileHint[] = "Double-click to view file";

template <typename T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(QLatin1String(name));
  return widget;
}

QFrame* NewPanel(QWidget* parent, const char* name) {
  QFrame* panel = Named(new QFrame(parent), name);
  panel->setFrameShape(QFrame::NoFrame);
  return panel;
}

QVBoxLayout* NewColumn(QWidget* owner) {
  auto* column = new QVBoxLayout(owner);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  return column;
}

// A bold one-line caption. A column narrower than its text shortens the
// text with an ellipsis instead of being held open by it.
class TElidedCaption : public QLabel {
 public:
  using QLabel::QLabel;
  QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }

 protected:
  void paintEvent(QPaintEvent* /*event*/) override {
    QPainter painter(this);
    const QRect area = contentsRect();
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, area.width());
    style()->drawItemText(&painter, area, static_cast<int>(alignment()), palette(), isEnabled(),
                          shown, foregroundRole());
  }
};

QLabel* NewCaption(QWidget* parent, const char* name, const char* text) {
  QLabel* caption = Named(new TElidedCaption(QString::fromLatin1(text), parent), name);
  caption->setFont(DesignFont(13, true));
  caption->setFixedHeight(kCaptionHeight);
  return caption;
}

QSplitter* NewSplitter(QWidget* parent, const char* name, Qt::Orientation orientation) {
  QSplitter* splitter = Named(new QSplitter(orientation, parent), name);
  splitter->setHandleWidth(kSplitterSize);
  return splitter;
}

// Puts `first` and `second` on both sides of `splitter` at their design
// sizes; the second takes what the window gains or loses.
void Split(QSplitter* splitter, QWidget* first, int firstSize, QWidget* second, int secondSize) {
  splitter->addWidget(first);
  splitter->addWidget(second);
  splitter->setStretchFactor(0, 0);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({firstSize, secondSize});
}

// Flat, compact tab buttons, so that all six captions fit the design width;
// the active one looks pressed.
QTabWidget* NewPageControl(QWidget* parent, const char* name) {
  QTabWidget* pages = Named(new QTabWidget(parent), name);
  pages->setDocumentMode(true);
  pages->tabBar()->setStyleSheet(QStringLiteral(
      "QTabBar::tab { padding: 3px 6px; margin: 1px; border: 1px solid transparent; }"
      "QTabBar::tab:selected { background: palette(midlight); border-color: palette(dark); }"
      "QTabBar::tab:hover:!selected { border-color: palette(mid); }"));
  return pages;
}

TListBox* NewListBox(QWidget* parent, const char* name, const char* hint) {
  TListBox* list = Named(new TListBox(parent), name);
  if (hint) list->setToolTip(QString::fromLatin1(hint));
  return list;
}

// A tab page whose one list box fills it.
QWidget* NewPage(QTabWidget* pages, const char* name, const char* caption) {
  QWidget* page = Named(new QWidget(pages), name);
  pages->addTab(page, QString::fromLatin1(caption));
  NewColumn(page);
  return page;
}

void PlaceIn(QWidget* page, QWidget* content) {
  page->layout()->addWidget(content);
}

// The folder part of a path: up to and including its last "/", "\\" or ":";
// empty when it holds none.
std::string_view FolderPart(std::string_view path) {
  const std::size_t last = path.find_last_of("/\\:");
  return last == std::string_view::npos ? std::string_view() : path.substr(0, last + 1);
}

std::vector<std::string> Copy(const TItemList& items) {
  return std::vector<std::string>(items.begin(), items.end());
}

// Runs `work` on a thread of its own while this thread goes on handling
// paint and window-manager events, so that the splash stays drawn and the
// desktop does not take the program for hung. User input waits until the
// work is done. An exception of `work` is raised here afterwards.
template <typename Work>
void RunOffTheUiThread(Work&& work) {
  std::exception_ptr failure;
  std::atomic<bool> done{false};
  QEventLoop loop;
  std::thread worker([&] {
    try {
      work();
    } catch (...) {
      failure = std::current_exception();
    }
    done = true;
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  while (!done) loop.exec(QEventLoop::ExcludeUserInputEvents);
  worker.join();
  if (failure) std::rethrow_exception(failure);
}

// A browser trace whose cache file holds at least this many bytes is
// written out on a worker thread: decoding is bounded at 1024:1, so an
// inline write stays within 16 MiB of output (some tens of milliseconds).
constexpr std::uint64_t kInlineTraceBytes = 16 * 1024;

// Makes the trace's local file exist before anything uses it. A trace that
// cannot be written is left as a missing file is: the actions go on with
// the path and find nothing there.
void PrepareTraceFile(const std::string& path) {
  if (urlcache::LocalFileCost(path) < kInlineTraceBytes)
    urlcache::RetrieveLocalFile(path);
  else
    RunOffTheUiThread([&path] { urlcache::RetrieveLocalFile(path); });
}

}  // namespace

std::string_view FileNamePart(std::string_view Path) {
  const std::size_t separator = Path.find_last_of("/\\:");
  return separator == std::string_view::npos ? Path : Path.substr(separator + 1);
}

TframeCachedSites::TframeCachedSites(QWidget* parent) : QFrame(parent) {
  BuildControls();
}

TframeCachedSites::~TframeCachedSites() = default;

void TframeCachedSites::BuildControls() {
  setFrameShape(QFrame::NoFrame);
  setFont(DesignFont(11));
  resize(kFrameWidth, kFrameHeight);
  CreateCountLines();
  CreateSitesPanel();
  CreateTracePages();
  ArrangeControls();
  SetTabOrder();
  ConnectHandlers();
}

void TframeCachedSites::CreateCountLines() {
  lblTotal = Named(new QLabel(this), "lblTotal");
  lblTotal->setFixedHeight(kTotalHeight);
  lblTotal->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  lblCurrent = Named(new QLabel(this), "lblCurrent");
  lblCurrent->setFixedHeight(kCurrentHeight);
  lblCurrent->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void TframeCachedSites::CreateSitesPanel() {
  pnl1 = NewPanel(this, "pnl1");
  Label4 = NewCaption(pnl1, "Label4", "Select site to view traces:");
  lbxSites = NewListBox(pnl1, "lbxSites", "Select site to view traces from it");
}

// Declared in the order of the fields: the pages and their lists, then
// Label1, Splitter1, lbxMedia, Splitter2 and the preview.
void TframeCachedSites::CreateTracePages() {
  pnl2 = NewPanel(this, "pnl2");
  pgcSiteInfo = NewPageControl(pnl2, "pgcSiteInfo");
  tabImages = NewPage(pgcSiteInfo, "tabImages", "Images");
  lbxImages = NewListBox(tabImages, "lbxImages", nullptr);
  TabSheet4 = NewPage(pgcSiteInfo, "TabSheet4", "Pages");
  lbxPages = NewListBox(TabSheet4, "lbxPages", nullptr);
  tbcMedia = NewPage(pgcSiteInfo, "tbcMedia", "Media");
  TabSheet1 = NewPage(pgcSiteInfo, "TabSheet1", "Other");
  lbxOther = NewListBox(TabSheet1, "lbxOther", kFileHint);
  TabSheet2 = NewPage(pgcSiteInfo, "TabSheet2", "Cookies");
  lbxCookies = NewListBox(TabSheet2, "lbxCookies", kFileHint);
  TabSheet3 = NewPage(pgcSiteInfo, "TabSheet3", "History");
  lbxHistory = NewListBox(TabSheet3, "lbxHistory", kFileHint);
  Label1 = NewCaption(pnl2, "Label1", "Traces already on your hard drive:");
  Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  Splitter1 = NewSplitter(this, "Splitter1", Qt::Horizontal);
  lbxMedia = NewListBox(tbcMedia, "lbxMedia", kFileHint);
  Splitter2 = NewSplitter(tabImages, "Splitter2", Qt::Vertical);
  imgPreview = Named(new TEmbeddedWB(tabImages), "imgPreview");
}

// The site list left of Splitter1, the trace pages right of it, the two
// count lines under both; in the Images page the preview under the list,
// below Splitter2.
void TframeCachedSites::ArrangeControls() {
  QVBoxLayout* sites = NewColumn(pnl1);
  sites->addWidget(Label4);
  sites->addWidget(lbxSites, 1);
  QVBoxLayout* info = NewColumn(pnl2);
  info->addWidget(Label1);
  info->addWidget(pgcSiteInfo, 1);

  Split(Splitter2, lbxImages, kImagesHeight, imgPreview, kPreviewHeight);
  PlaceIn(tabImages, Splitter2);
  PlaceIn(TabSheet4, lbxPages);
  PlaceIn(tbcMedia, lbxMedia);
  PlaceIn(TabSheet1, lbxOther);
  PlaceIn(TabSheet2, lbxCookies);
  PlaceIn(TabSheet3, lbxHistory);
  Split(Splitter1, pnl1, kSitesWidth, pnl2, kInfoWidth);

  QVBoxLayout* frame = NewColumn(this);
  frame->addWidget(Splitter1, 1);
  frame->addWidget(lblTotal);
  frame->addWidget(lblCurrent);
  pgcSiteInfo->setCurrentIndex(pgImages);
}

void TframeCachedSites::SetTabOrder() {
  setTabOrder(lbxSites, pgcSiteInfo);
  setTabOrder(pgcSiteInfo, lbxImages);
  setTabOrder(lbxImages, lbxPages);
  setTabOrder(lbxPages, lbxMedia);
  setTabOrder(lbxMedia, lbxOther);
  setTabOrder(lbxOther, lbxCookies);
  setTabOrder(lbxCookies, lbxHistory);
}

void TframeCachedSites::ConnectHandlers() {
  connect(lbxSites, &TListBox::Click, this,
          [this] { RunHandler([this] { lbxSitesClick(lbxSites); }); });
  connect(lbxImages, &TListBox::Click, this,
          [this] { RunHandler([this] { lbxImagesClick(lbxImages); }); });
  // Context-menu requests are taken where they arrive, so that MousePos is
  // relative to the receiving control; a list box receives them in its
  // viewport, the client area. Requests left unhandled travel on to the
  // enclosing controls, pgcSiteInfo among them.
  pgcSiteInfo->installEventFilter(this);
  for (TListBox* list : {lbxImages, lbxPages, lbxMedia, lbxOther, lbxCookies, lbxHistory}) {
    connect(list, &TListBox::DblClick, this,
            [this, list] { RunHandler([this, list] { OpenSelFile(list); }); });
    list->viewport()->installEventFilter(this);
  }
}

QWidget* TframeCachedSites::ContextPopupSender(QObject* watched) const {
  if (watched == pgcSiteInfo) return pgcSiteInfo;
  for (TListBox* list : {lbxImages, lbxPages, lbxMedia, lbxOther, lbxCookies, lbxHistory})
    if (watched == list->viewport()) return list;
  return nullptr;
}

bool TframeCachedSites::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ContextMenu) {
    if (QWidget* sender = ContextPopupSender(watched)) {
      const QPoint pos = static_cast<QContextMenuEvent*>(event)->pos();
      bool handled = false;
      RunHandler([&] { lbxImagesContextPopup(sender, pos, handled); });
      return handled;
    }
  }
  return QFrame::eventFilter(watched, event);
}

void TframeCachedSites::CreateAnalyzer() {
  ImagePaths.clear();
  PagePaths.clear();
  OtherPaths.clear();
  MediaPaths.clear();
  CookiePaths.clear();
  SiteKeys.clear();
  for (TListBox* list : {lbxOther, lbxImages, lbxPages, lbxMedia, lbxCookies, lbxHistory, lbxSites})
    list->Clear();
  Analyzer = std::make_unique<TCacheAnalyzer>();
}

namespace {

// The scan reads every container once: the copy of a container file that an
// earlier walk left for reuse is released as the next walk opens, so that
// the scan holds one copy at a time instead of all of them at its end.
class OneCopyAtATime : public urlcache::Provider {
 public:
  explicit OneCopyAtATime(urlcache::Provider& source) : source_(source) {}

  std::unique_ptr<urlcache::Cursor> Open(urlcache::Container container) override {
    urlcache::FlushSnapshots();
    return source_.Open(container);
  }

 private:
  urlcache::Provider& source_;
};

// Installs `provider` for the life of this object, then the one before.
class ProviderInstalled {
 public:
  explicit ProviderInstalled(urlcache::Provider& provider)
      : previous_(urlcache::CurrentProvider()) {
    urlcache::SetProvider(&provider);
  }
  ~ProviderInstalled() { urlcache::SetProvider(&previous_); }
  ProviderInstalled(const ProviderInstalled&) = delete;
  ProviderInstalled& operator=(const ProviderInstalled&) = delete;

 private:
  urlcache::Provider& previous_;
};

}  // namespace

void TframeCachedSites::AnalyzeCache() {
  if (!Analyzer) return;
  // The walks run off the user-interface thread; what the frame shows is
  // set here, in the same order as if they ran here: the site list once it
  // is known, even when the scan then fails.
  bool sitesKnown = false;
  std::exception_ptr failure;
  OneCopyAtATime oneCopy(urlcache::CurrentProvider());
  try {
    const ProviderInstalled installed(oneCopy);
    RunOffTheUiThread([&] {
      Analyzer->GetSites(SiteKeys);
      sitesKnown = true;
      Analyzer->ScanCache();
    });
  } catch (...) {
    failure = std::current_exception();
  }
  // The cache is scanned once per run: the copies of the container files
  // that the walks shared are not needed again.
  urlcache::FlushSnapshots();
  if (sitesKnown) {
    std::vector<std::string> lines;
    lines.reserve(SiteKeys.size());
    for (const std::string& key : SiteKeys) lines.push_back(OneLine(key));
    lbxSites->SetLines(std::move(lines));
  }
  if (failure) std::rethrow_exception(failure);
  if (lbxSites->Count() > 0) lbxSites->SetItemIndex(0);
  RefreshSiteInfo();
}

void TframeCachedSites::RefreshSiteInfo() {
  for (TListBox* list : {lbxPages, lbxImages, lbxOther, lbxMedia, lbxCookies, lbxHistory})
    list->Clear();
  const int selected = lbxSites->ItemIndex();
  if (selected < 0 || !Analyzer) return;
  if (selected >= static_cast<int>(SiteKeys.size())) return;
  const std::string& site = SiteKeys[selected];

  // The list form keeps every stored trace one line, also a name that holds
  // a line break, so the path lists stay paired with the counts. The
  // queries run in the window's order.
  const struct {
    TTraceKind kind;
    TPathList* paths;  // none for history, whose list shows URLs
    TListBox* list;
  } kinds[] = {{tkPages, &PagePaths, lbxPages},       {tkImages, &ImagePaths, lbxImages},
               {tkOther, &OtherPaths, lbxOther},      {tkMedia, &MediaPaths, lbxMedia},
               {tkCookies, &CookiePaths, lbxCookies}, {tkHistory, nullptr, lbxHistory}};
  TItemList items;
  for (const auto& [kind, paths, list] : kinds) {
    Analyzer->GetTraces(kind, site, items);
    if (!paths) {
      list->SetLines(Copy(items));
      continue;
    }
    *paths = Copy(items);
    FillListBox(*paths, *list);
  }

  lblTotal->setText(QString::fromStdString(FormatTotalLine(*Analyzer)));
  lblCurrent->setText(QString::fromStdString(FormatSiteLine(*Analyzer)));
}

void TframeCachedSites::FillListBox(const TPathList& Paths, TListBox& ListBox) {
  std::vector<std::string> names;
  names.reserve(Paths.size());
  for (const std::string& path : Paths) names.emplace_back(FileNamePart(path));
  ListBox.SetLines(std::move(names));
}

void TframeCachedSites::FreeAnalyzer() {
  for (TListBox* list : {lbxOther, lbxImages, lbxPages, lbxMedia, lbxCookies, lbxHistory, lbxSites})
    list->Clear();
  for (TPathList* paths : {&ImagePaths, &PagePaths, &OtherPaths, &MediaPaths, &CookiePaths})
    TPathList().swap(*paths);
  TSiteList().swap(SiteKeys);
  Analyzer.reset();
  emit AnalyzerFreed();
}

void TframeCachedSites::lbxSitesClick(QObject* /*Sender*/) {
  RefreshSiteInfo();
}

std::string TframeCachedSites::SelectedTrace(int Page) const {
  if (!Analyzer) return {};
  struct PageTraces {
    const TListBox* list;
    const TPathList* paths;
    std::int32_t count;
  };
  const PageTraces pages[] = {
      {lbxImages, &ImagePaths, Analyzer->SiteImages()},
      {lbxPages, &PagePaths, Analyzer->SitePages()},
      {lbxMedia, &MediaPaths, Analyzer->SiteMedia()},
      {lbxOther, &OtherPaths, Analyzer->SiteOther()},
      {lbxCookies, &CookiePaths, Analyzer->SiteCookies()},
  };
  if (Page < pgImages || Page > pgCookies) return {};
  const PageTraces& page = pages[Page];
  const int index = page.list->ItemIndex();
  // The count bounds the index as the path list does; both always agree.
  if (index < 0 || index >= page.count || index >= static_cast<int>(page.paths->size())) return {};
  return (*page.paths)[index];
}

std::string TframeCachedSites::SelectedTraceFile(int Page) const {
  std::string path = SelectedTrace(Page);
  if (!path.empty()) PrepareTraceFile(path);
  return path;
}

void TframeCachedSites::OpenSelFile(QObject* /*Sender*/) {
  const int page = pgcSiteInfo->currentIndex();
  if (page >= pgImages && page <= pgCookies) {
    const std::string path = SelectedTraceFile(page);
    if (path.empty()) return;
    const std::string folder(FolderPart(path));
    ShellExecuteA(nullptr, "open", path.c_str(), "", folder.c_str(), SW_SHOWNORMAL);
  } else if (page == pgHistory) {
    const int index = lbxHistory->ItemIndex();
    if (index < 0) return;
    const std::string& line = lbxHistory->Line(index);
    const std::size_t at = line.find('@');
    const std::string target = at == std::string::npos ? line : line.substr(at + 1);
    if (MayOpenHistoryTarget(target)) ShellOpen(target);
  }
}

void TframeCachedSites::lbxImagesContextPopup(QObject* Sender, QPoint MousePos, bool& Handled) {
  const std::string path = SelectedTraceFile(pgcSiteInfo->currentIndex());
  if (path.empty()) return;
  // MousePos is a point of the receiving control's client area (a list
  // box's viewport); the menu wants it in the frame's.
  QWidget* control = qobject_cast<QWidget*>(Sender);
  if (auto* scrollArea = qobject_cast<QAbstractScrollArea*>(control))
    control = scrollArea->viewport();
  const QPoint point = control ? mapFromGlobal(control->mapToGlobal(MousePos)) : MousePos;
  ShowShellContextMenu(this, path, point);
  Handled = true;
}

void TframeCachedSites::lbxImagesClick(QObject* /*Sender*/) {
  const std::string path = SelectedTraceFile(pgImages);
  if (!path.empty()) imgPreview->Navigate(path);
}

void BringWindowToFront(QWidget* Window, bool Restore) {
  if (!Window || !Window->isEnabled()) return;
  Window->raise();
  Window->activateWindow();
  if (Restore && Window->isVisible()) {
    if (!Window->isMaximized())
      Window->setWindowState(Window->windowState() & ~Qt::WindowMinimized);
    Window->setFocus(Qt::ActiveWindowFocusReason);
  }
}
