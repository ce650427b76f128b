// TCacheAnalyzer turns the URL cache into Sitelore's picture of browsing
// traces: one scan of three passes (cookies, history, content) keeps every
// entry in the list of its kind with the totals, GetSites builds the sorted
// site keys, and the per-site queries answer the six lists of one site.
// Nothing here writes to the cache.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/EntryList.h"
#include "analysis/TraceKind.h"
#include "cache/IECache.h"

class SiteKeySet;

// The items of one per-site query, in stored order. The views belong to the
// analyzer and stay valid until its next Clear, ScanCache or destruction.
using TItemList = std::vector<std::string_view>;

class TCacheAnalyzer {
 public:
  // Empty lists, zero counts; the enumerator walks all nine entry kinds and
  // reports to HandleEntry.
  TCacheAnalyzer();
  ~TCacheAnalyzer();
  TCacheAnalyzer(const TCacheAnalyzer&) = delete;
  TCacheAnalyzer& operator=(const TCacheAnalyzer&) = delete;

  // Replaces the six lists with the entries of one walk of cookies, history
  // and content, and sets the six totals. The per-site counts stay.
  void ScanCache();

  // The sorted, duplicate-free site keys of the content entries, each line
  // ended by CR LF; empty when there is none. Runs its own content walk and
  // leaves the stored lists alone.
  void GetSites(std::string& Sites);

  // Disposes every stored entry of the six lists.
  void Clear();

  // OnEntry handler during a scan: stores the current entry of Sender.
  void HandleEntry(TIECache& Sender, bool& Cancel);
  // Stores `Entry` in the list of its kind, chosen by the pass's pattern;
  // entries of spAll are not stored.
  void AddEntry(const TEntryInfo& Entry, TSearchPattern Pattern);
  // OnEntry handler during GetSites: collects the site key of the entry's URL.
  void CollectURL(TIECache& Sender, bool& Cancel);

  // The per-site queries. Site is matched as an ASCII-lowered substring of
  // each entry's ASCII-lowered URL (every entry for an empty Site). Items are
  // the local file names (the URL for history), empty ones skipped, in
  // stored order; each query sets its own per-site count to the number of
  // items. The text form ends every item with CR LF.
  void GetImages(std::string_view Site, std::string& Text);
  void GetPages(std::string_view Site, std::string& Text);
  void GetMedia(std::string_view Site, std::string& Text);
  void GetOther(std::string_view Site, std::string& Text);
  void GetCookies(std::string_view Site, std::string& Text);
  void GetHistory(std::string_view Site, std::string& Text);

  void GetImages(std::string_view Site, TItemList& Items);
  void GetPages(std::string_view Site, TItemList& Items);
  void GetMedia(std::string_view Site, TItemList& Items);
  void GetOther(std::string_view Site, TItemList& Items);
  void GetCookies(std::string_view Site, TItemList& Items);
  void GetHistory(std::string_view Site, TItemList& Items);

  std::int32_t SiteImages() const { return FSiteImages; }
  std::int32_t SitePages() const { return FSitePages; }
  std::int32_t SiteMedia() const { return FSiteMedia; }
  std::int32_t SiteOther() const { return FSiteOther; }
  std::int32_t SiteCookies() const { return FSiteCookies; }
  std::int32_t SiteHistory() const { return FSiteHistory; }

  std::int32_t TotalImages() const { return FTotalImages; }
  std::int32_t TotalPages() const { return FTotalPages; }
  std::int32_t TotalMedia() const { return FTotalMedia; }
  std::int32_t TotalOther() const { return FTotalOther; }
  std::int32_t TotalCookies() const { return FTotalCookies; }
  std::int32_t TotalHistory() const { return FTotalHistory; }

  const TEntryList& ImageList() const { return FImageList; }
  const TEntryList& PageList() const { return FPageList; }
  const TEntryList& MediaList() const { return FMediaList; }
  const TEntryList& OtherList() const { return FOtherList; }
  const TEntryList& CookieList() const { return FCookieList; }
  const TEntryList& HistoryList() const { return FHistoryList; }

  TIECache& Cache() { return *FCache; }

 private:
  enum class ItemField { LocalFileName, SourceUrlName };
  void Query(const TEntryList& List, ItemField Field, std::string_view Site, TItemList& Items,
             std::int32_t& Count);
  void Query(const TEntryList& List, ItemField Field, std::string_view Site, std::string& Text,
             std::int32_t& Count);
  void UseHandleEntry();

  TEntryList FImageList;
  TEntryList FPageList;
  TEntryList FMediaList;
  TEntryList FOtherList;
  TEntryList FCookieList;
  TEntryList FHistoryList;
  // The keys collected while GetSites runs: the URLs of the walk are reduced
  // to their keys as they arrive instead of being held until the end.
  SiteKeySet* FURLList = nullptr;
  std::unique_ptr<TIECache> FCache;

  std::int32_t FSiteOther = 0, FSiteMedia = 0, FSiteCookies = 0, FSitePages = 0, FSiteHistory = 0,
               FSiteImages = 0;
  std::int32_t FTotalCookies = 0, FTotalPages = 0, FTotalOther = 0, FTotalHistory = 0,
               FTotalImages = 0, FTotalMedia = 0;
};

// Joins items into the list text: every item followed by CR LF.
std::string JoinLines(const TItemList& Items);

// Splits a list text at each CR LF into its non-empty lines. A line may hold
// a lone CR or LF; the CR LF after the last line adds no empty line.
std::vector<std::string> SplitListText(std::string_view Text);
