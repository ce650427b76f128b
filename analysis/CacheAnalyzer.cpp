#include "analysis/CacheAnalyzer.h"

#include <algorithm>
#include <limits>

namespace {

std::int32_t CountOf(const TEntryList& list) {
  return static_cast<std::int32_t>(
      std::min<std::size_t>(list.Count(), std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

std::string JoinLines(const TItemList& Items) {
  std::size_t bytes = 0;
  for (std::string_view item : Items) bytes += item.size() + 2;
  std::string text;
  text.reserve(bytes);
  for (std::string_view item : Items) {
    text.append(item);
    text.append("\r\n");
  }
  return text;
}

TCacheAnalyzer::TCacheAnalyzer() : FCache(std::make_unique<TIECache>()) {
  FCache->SetFilterOptions(TFilterOptions::All());
  FCache->SetSearchPattern(spCookies);
  UseHandleEntry();
}

TCacheAnalyzer::~TCacheAnalyzer() {
  Clear();
  FCache->SetOnEntry(nullptr);
}

void TCacheAnalyzer::UseHandleEntry() {
  FCache->SetOnEntry([this](TIECache& Sender, bool& Cancel) { HandleEntry(Sender, Cancel); });
}

void TCacheAnalyzer::Clear() {
  for (TEntryList* list :
       {&FImageList, &FPageList, &FMediaList, &FOtherList, &FCookieList, &FHistoryList})
    list->Clear();
}

void TCacheAnalyzer::ScanCache() {
  Clear();
  for (TSearchPattern pattern : {spCookies, spHistory, spUrl}) {
    FCache->SetSearchPattern(pattern);
    FCache->RetrieveEntries(0);
  }
  FTotalCookies = CountOf(FCookieList);
  FTotalPages = CountOf(FPageList);
  FTotalOther = CountOf(FOtherList);
  FTotalHistory = CountOf(FHistoryList);
  FTotalImages = CountOf(FImageList);
  FTotalMedia = CountOf(FMediaList);
}

void TCacheAnalyzer::HandleEntry(TIECache& Sender, bool& /*Cancel*/) {
  AddEntry(FCache->EntryInfo(), Sender.SearchPattern());
}

void TCacheAnalyzer::AddEntry(const TEntryInfo& Entry, TSearchPattern Pattern) {
  switch (Pattern) {
    case spCookies:
      FCookieList.Add(Entry);
      return;
    case spHistory:
      FHistoryList.Add(Entry);
      return;
    case spUrl:
      switch (ClassifyFile(Entry.LocalFileName)) {
        case tkImages:
          FImageList.Add(Entry);
          return;
        case tkMedia:
          FMediaList.Add(Entry);
          return;
        case tkPages:
          FPageList.Add(Entry);
          return;
        default:
          FOtherList.Add(Entry);
          return;
      }
    case spAll:
      return;
  }
}

void TCacheAnalyzer::CollectURL(TIECache& Sender, bool& /*Cancel*/) {
  if (!FURLList) return;
  std::string key = SiteFromURL(Sender.EntryInfo().SourceUrlName);
  // Keys are lower-case already, so equal-ignoring-case is plain equality.
  if (!key.empty()) FURLList->insert(std::move(key));
}

void TCacheAnalyzer::GetSites(std::string& Sites) {
  Sites.clear();
  std::unordered_set<std::string> keys;
  // Whatever happens, the enumerator reports to HandleEntry again afterwards.
  struct Restore {
    TCacheAnalyzer& self;
    ~Restore() {
      self.FURLList = nullptr;
      self.UseHandleEntry();
    }
  } restore{*this};
  FURLList = &keys;
  FCache->SetOnEntry([this](TIECache& Sender, bool& Cancel) { CollectURL(Sender, Cancel); });
  FCache->SetSearchPattern(spUrl);
  FCache->RetrieveEntries(0);

  std::vector<std::string> sorted(keys.begin(), keys.end());
  // Ignoring case on lower-case keys is byte order.
  std::sort(sorted.begin(), sorted.end());
  TItemList items(sorted.begin(), sorted.end());
  Sites = JoinLines(items);
}

void TCacheAnalyzer::Query(const TEntryList& List, ItemField Field, std::string_view Site,
                           TItemList& Items, std::int32_t& Count) {
  Count = 0;
  Items.clear();
  const std::string lowered = AsciiLower(Site);
  List.ForEachMatch(lowered, [&](const TStoredEntry& entry) {
    std::string_view item =
        Field == ItemField::LocalFileName ? entry.LocalFileName : entry.SourceUrlName;
    if (!item.empty()) Items.push_back(item);
  });
  Count = static_cast<std::int32_t>(
      std::min<std::size_t>(Items.size(), std::numeric_limits<std::int32_t>::max()));
}

void TCacheAnalyzer::Query(const TEntryList& List, ItemField Field, std::string_view Site,
                           std::string& Text, std::int32_t& Count) {
  TItemList items;
  Query(List, Field, Site, items, Count);
  Text = JoinLines(items);
}

#define SITELORE_QUERY(Name, List, Field, Count)                        \
  void TCacheAnalyzer::Name(std::string_view Site, std::string& Text) { \
    Query(List, ItemField::Field, Site, Text, Count);                   \
  }                                                                     \
  void TCacheAnalyzer::Name(std::string_view Site, TItemList& Items) {  \
    Query(List, ItemField::Field, Site, Items, Count);                  \
  }

SITELORE_QUERY(GetImages, FImageList, LocalFileName, FSiteImages)
SITELORE_QUERY(GetPages, FPageList, LocalFileName, FSitePages)
SITELORE_QUERY(GetMedia, FMediaList, LocalFileName, FSiteMedia)
SITELORE_QUERY(GetOther, FOtherList, LocalFileName, FSiteOther)
SITELORE_QUERY(GetCookies, FCookieList, LocalFileName, FSiteCookies)
SITELORE_QUERY(GetHistory, FHistoryList, SourceUrlName, FSiteHistory)

#undef SITELORE_QUERY
