// TCacheAnalyzer turns the URL cache into Sitelore's picture of browsing
// traces: one scan of three passes (cookies, history, content) keeps every
// entry in the list of its kind with the totals, GetSites builds the sorted
// site keys, and the per-site queries answer the six lists of one site.
// Nothing here writes to the cache.
#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/EntryList.h"
#include "analysis/TraceKind.h"
#include "cache/IECache.h"

class SiteKeySet;
namespace platform {
class TaskQueue;
}

// The items of one per-site query, in stored order. The views belong to the
// analyzer and stay valid until its next Clear, ScanCache or destruction.
using TItemList = std::vector<std::string_view>;

// The site keys of GetSites, one key an item, exactly as derived from the
// URLs (a key may hold any byte but "/", a line break included).
using TSiteList = std::vector<std::string>;

inline constexpr int kTraceKinds = 6;
// The kinds in their order (tkImages to tkHistory), for loops over them.
inline constexpr TTraceKind kAllTraceKinds[kTraceKinds] = {tkImages, tkPages,   tkMedia,
                                                           tkOther,  tkCookies, tkHistory};

class TCacheAnalyzer {
 public:
  // Empty lists, zero counts; the enumerator walks all nine entry kinds and
  // reports to HandleEntry.
  TCacheAnalyzer();
  ~TCacheAnalyzer();
  TCacheAnalyzer(const TCacheAnalyzer&) = delete;
  TCacheAnalyzer& operator=(const TCacheAnalyzer&) = delete;

  // Replaces the six lists with the entries of one walk of cookies, history
  // and content, and sets the six totals. The per-site counts stay. Right
  // after GetSites (no scan or Clear between), the content entries of the
  // GetSites walk stand for the content walk: the sites and the lists then
  // come from one reading of the content container.
  void ScanCache();

  // Whether the walks run two at a time, each on a thread with an
  // enumerator of its own (same filter): GetSites then also walks cookies
  // and history on a second thread beside its content walk, for the
  // ScanCache that follows, and a ScanCache on its own walks two containers
  // at once. Faster on two cores, while two containers' copies are held at
  // once. The lists, totals and order are the same either way. Off by
  // default.
  void SetParallelScan(bool Parallel) { FParallelScan = Parallel; }
  // Whether the scans keep the entries they count (the default). Without
  // them the totals and the site list are all a scan leaves: the queries
  // find nothing. For a caller that reads no more, such as a report of the
  // totals, which then holds no copy of the traces' texts. Takes effect at
  // the next GetSites or ScanCache.
  void SetKeepTraces(bool Keep) { FKeepTraces = Keep; }

  // The sorted, duplicate-free site keys of the content entries. Runs its
  // own content walk and leaves the stored lists alone; the walk's entries
  // are kept for the next ScanCache.
  void GetSites(TSiteList& Sites);
  // The same keys as list text, each line ended by CR LF; empty when there is
  // none. A key holding a line break cannot be told apart in this form:
  // callers that show or split the list take the list form.
  void GetSites(std::string& Sites);

  // Disposes every stored entry of the six lists and the content entries
  // kept by GetSites.
  void Clear();

  // OnEntry handler during a scan: stores the current entry of Sender.
  void HandleEntry(TIECache& Sender, bool& Cancel);
  // Stores `Entry` in the list of its kind, chosen by the pass's pattern;
  // entries of spAll are not stored.
  void AddEntry(const TEntryInfo& Entry, TSearchPattern Pattern);

  // One list of stored entries a kind, indexed by TTraceKind.
  using TKindLists = std::array<TEntryList, kTraceKinds>;
  // OnEntry handler during GetSites: collects the site key of the entry's URL.
  void CollectURL(TIECache& Sender, bool& Cancel);

  // The per-site queries. Site is matched as an ASCII-lowered substring of
  // each entry's ASCII-lowered URL (every entry for an empty Site). Items are
  // the local file names (the URL for history), empty ones skipped, in
  // stored order; each query sets its own per-site count to the number of
  // items. The text form ends every item with CR LF.
  // The query of one kind; the named queries below are this for their kind.
  void GetTraces(TTraceKind Kind, std::string_view Site, TItemList& Items);
  void GetTraces(TTraceKind Kind, std::string_view Site, std::string& Text);

  void GetImages(std::string_view Site, std::string& Text) { GetTraces(tkImages, Site, Text); }
  void GetPages(std::string_view Site, std::string& Text) { GetTraces(tkPages, Site, Text); }
  void GetMedia(std::string_view Site, std::string& Text) { GetTraces(tkMedia, Site, Text); }
  void GetOther(std::string_view Site, std::string& Text) { GetTraces(tkOther, Site, Text); }
  void GetCookies(std::string_view Site, std::string& Text) { GetTraces(tkCookies, Site, Text); }
  void GetHistory(std::string_view Site, std::string& Text) { GetTraces(tkHistory, Site, Text); }

  void GetImages(std::string_view Site, TItemList& Items) { GetTraces(tkImages, Site, Items); }
  void GetPages(std::string_view Site, TItemList& Items) { GetTraces(tkPages, Site, Items); }
  void GetMedia(std::string_view Site, TItemList& Items) { GetTraces(tkMedia, Site, Items); }
  void GetOther(std::string_view Site, TItemList& Items) { GetTraces(tkOther, Site, Items); }
  void GetCookies(std::string_view Site, TItemList& Items) { GetTraces(tkCookies, Site, Items); }
  void GetHistory(std::string_view Site, TItemList& Items) { GetTraces(tkHistory, Site, Items); }

  // The per-site count of the last query of `Kind`, and the total of the
  // last scan.
  std::int32_t SiteCount(TTraceKind Kind) const { return FSiteCounts[Kind]; }
  std::int32_t Total(TTraceKind Kind) const { return FTotals[Kind]; }
  const TEntryList& List(TTraceKind Kind) const { return FLists[Kind]; }

  std::int32_t SiteImages() const { return SiteCount(tkImages); }
  std::int32_t SitePages() const { return SiteCount(tkPages); }
  std::int32_t SiteMedia() const { return SiteCount(tkMedia); }
  std::int32_t SiteOther() const { return SiteCount(tkOther); }
  std::int32_t SiteCookies() const { return SiteCount(tkCookies); }
  std::int32_t SiteHistory() const { return SiteCount(tkHistory); }

  std::int32_t TotalImages() const { return Total(tkImages); }
  std::int32_t TotalPages() const { return Total(tkPages); }
  std::int32_t TotalMedia() const { return Total(tkMedia); }
  std::int32_t TotalOther() const { return Total(tkOther); }
  std::int32_t TotalCookies() const { return Total(tkCookies); }
  std::int32_t TotalHistory() const { return Total(tkHistory); }

  const TEntryList& ImageList() const { return List(tkImages); }
  const TEntryList& PageList() const { return List(tkPages); }
  const TEntryList& MediaList() const { return List(tkMedia); }
  const TEntryList& OtherList() const { return List(tkOther); }
  const TEntryList& CookieList() const { return List(tkCookies); }
  const TEntryList& HistoryList() const { return List(tkHistory); }

  TIECache& Cache() { return *FCache; }

 private:
  void UseHandleEntry();
  // Makes the lists keep their entries, or only count them, as asked.
  void ApplyKeepTraces();
  // Has the platform read the history's container ahead of its walk; a
  // failure is left to the walk.
  void PrepareHistory() const;
  // Walks the passes into FLists, two at a time in parallel mode.
  void RunPasses(const std::vector<TSearchPattern>& Passes);
  // Ends the walks that GetSites left running: the ones not yet started are
  // walked here, then the second thread is waited for. Their failure, if any.
  std::exception_ptr FinishBackgroundWalks();
  // Waits for the walks that GetSites left running and drops what they kept.
  void DropBackgroundWalks();

  TKindLists FLists;
  // The keys collected while GetSites runs: the URLs of the walk are reduced
  // to their keys as they arrive instead of being held until the end.
  SiteKeySet* FURLList = nullptr;
  std::string FSiteKey;  // a key that CollectURL lowered, its room reused
  // The content entries of the last GetSites walk, by kind, while
  // FContentKept; in parallel mode also the cookie and history entries that
  // FBackground walks beside it, for the next ScanCache.
  TKindLists FKept;
  bool FContentKept = false;
  std::unique_ptr<platform::TaskQueue> FBackground;
  bool FParallelScan = false;
  bool FKeepTraces = true;
  std::unique_ptr<TIECache> FCache;

  std::array<std::int32_t, kTraceKinds> FSiteCounts{};
  std::array<std::int32_t, kTraceKinds> FTotals{};
};

// Joins items into the list text: every item followed by CR LF.
std::string JoinLines(const TItemList& Items);

// `Item` made fit for one line of a listing: control characters (below 0x20
// and 0x7f) as C escapes, \r, \n and \t, else \xHH; every other byte
// unchanged, so an item without them reads as it is.
std::string OneLine(std::string_view Item);
