#include "analysis/CacheAnalyzer.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <limits>

#include "analysis/TextArena.h"
#include "platform/common/AsciiCase.h"
#include "platform/common/TaskQueue.h"

// The distinct site keys of one GetSites walk: open addressing over views
// into an arena. A walk looks up every URL's key, and with tens of thousands
// of sites the node-based set's cache misses were an eighth of a scan.
class SiteKeySet {
 public:
  // Adds a copy of `key` unless an equal key is held.
  void Insert(std::string_view key) {
    if (2 * (count_ + 1) > slots_.size()) Grow();
    const std::size_t hash = std::hash<std::string_view>()(key);
    for (std::size_t i = hash & (slots_.size() - 1);; i = (i + 1) & (slots_.size() - 1)) {
      Slot& slot = slots_[i];
      if (!slot.key.data()) {
        slot = {hash, keys_.Store(key)};
        ++count_;
        return;
      }
      if (slot.hash == hash && slot.key == key) return;
    }
  }

  // The keys held, in no order; they belong to the set.
  std::vector<std::string_view> Keys() const {
    std::vector<std::string_view> keys;
    keys.reserve(count_);
    for (const Slot& slot : slots_)
      if (slot.key.data()) keys.push_back(slot.key);
    return keys;
  }

 private:
  struct Slot {
    std::size_t hash = 0;
    std::string_view key;  // no data: empty slot
  };

  void Grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(std::max<std::size_t>(64, old.size() * 2), Slot{});
    for (const Slot& slot : old) {
      if (!slot.key.data()) continue;
      std::size_t i = slot.hash & (slots_.size() - 1);
      while (slots_[i].key.data()) i = (i + 1) & (slots_.size() - 1);
      slots_[i] = slot;
    }
  }

  TextArena keys_;
  std::vector<Slot> slots_;
  std::size_t count_ = 0;
};

namespace {

std::int32_t CountOf(const TEntryList& list) {
  return static_cast<std::int32_t>(
      std::min<std::size_t>(list.Total(), std::numeric_limits<std::int32_t>::max()));
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

std::string OneLine(std::string_view Item) {
  std::string line;
  line.reserve(Item.size());
  for (char c : Item) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7f) {
      line.push_back(c);
    } else if (c == '\r') {
      line.append("\\r");
    } else if (c == '\n') {
      line.append("\\n");
    } else if (c == '\t') {
      line.append("\\t");
    } else {
      static constexpr char kHex[] = "0123456789abcdef";
      line.append("\\x");
      line.push_back(kHex[byte >> 4]);
      line.push_back(kHex[byte & 0xf]);
    }
  }
  return line;
}

namespace {

// Stores `Entry` in the list of its kind in `Lists`, chosen by the pass's
// pattern; entries of spAll are not stored.
void Store(TCacheAnalyzer::TKindLists& Lists, const TEntryInfo& Entry, TSearchPattern Pattern) {
  switch (Pattern) {
    case spCookies:
      Lists[tkCookies].Add(Entry);
      return;
    case spHistory:
      Lists[tkHistory].Add(Entry);
      return;
    case spUrl:
      Lists[ClassifyFile(Entry.LocalFileName)].Add(Entry);
      return;
    case spAll:
      return;
  }
}

// Passes walked by the threads that take them from a queue, each pass with
// an enumerator of its own. Every pass stores into lists of its own kinds,
// so no two threads store into the same list.
std::unique_ptr<platform::TaskQueue> PassQueue(std::vector<TSearchPattern> Passes,
                                               TCacheAnalyzer::TKindLists& Into,
                                               TFilterOptions Filter) {
  const std::size_t count = Passes.size();
  return std::make_unique<platform::TaskQueue>(
      count, [Passes = std::move(Passes), &Into, Filter](std::size_t Pass) {
        TIECache cache;
        cache.SetFilterOptions(Filter);
        cache.SetOnEntry([&Into](TIECache& Sender, bool&) {
          Store(Into, Sender.EntryInfo(), Sender.SearchPattern());
        });
        cache.SetSearchPattern(Passes[Pass]);
        cache.RetrieveEntries(0);
      });
}

}  // namespace

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

void TCacheAnalyzer::DropBackgroundWalks() {
  FBackground.reset();  // waits for its threads
  for (TEntryList& list : FKept) list.Clear();
  FContentKept = false;
}

void TCacheAnalyzer::Clear() {
  DropBackgroundWalks();
  for (TEntryList& list : FLists) list.Clear();
}

std::exception_ptr TCacheAnalyzer::FinishBackgroundWalks() {
  return std::unique_ptr<platform::TaskQueue>(std::move(FBackground))->Finish();
}

void TCacheAnalyzer::ScanCache() {
  const bool contentKept = FContentKept;
  const bool othersKept = contentKept && FBackground;
  if (othersKept) {
    if (std::exception_ptr failure = FinishBackgroundWalks()) {
      Clear();
      std::rethrow_exception(failure);
    }
  }
  TKindLists kept;
  if (contentKept) std::swap(kept, FKept);
  Clear();
  std::vector<TSearchPattern> passes;
  for (TTraceKind kind : kAllTraceKinds) {
    const bool other = kind == tkCookies || kind == tkHistory;
    if (other ? othersKept : contentKept) std::swap(FLists[kind], kept[kind]);
  }
  if (!othersKept) passes = {spCookies, spHistory};
  if (!contentKept) passes.push_back(spUrl);
  ApplyKeepTraces();
  RunPasses(passes);
  // The enumerator is left as after a walk of all three passes.
  FCache->SetSearchPattern(spUrl);
  for (TTraceKind kind : kAllTraceKinds) FTotals[kind] = CountOf(FLists[kind]);
}

void TCacheAnalyzer::RunPasses(const std::vector<TSearchPattern>& Passes) {
  if (FParallelScan && Passes.size() > 1) {
    const std::unique_ptr<platform::TaskQueue> walks =
        PassQueue(Passes, FLists, FCache->FilterOptions());
    walks->Start(1);
    if (std::exception_ptr failure = walks->Finish()) std::rethrow_exception(failure);
    return;
  }
  for (TSearchPattern pattern : Passes) {
    FCache->SetSearchPattern(pattern);
    FCache->RetrieveEntries(0);
  }
}

void TCacheAnalyzer::HandleEntry(TIECache& Sender, bool& /*Cancel*/) {
  AddEntry(Sender.EntryInfo(), Sender.SearchPattern());
}

void TCacheAnalyzer::AddEntry(const TEntryInfo& Entry, TSearchPattern Pattern) {
  Store(FLists, Entry, Pattern);
}

void TCacheAnalyzer::CollectURL(TIECache& Sender, bool& /*Cancel*/) {
  if (!FURLList) return;
  const std::string_view key = SiteKeyOf(Sender.EntryInfo().SourceUrlName, FSiteKey);
  // Keys are lower-case already, so equal-ignoring-case is plain equality.
  if (!key.empty()) FURLList->Insert(key);
}

void TCacheAnalyzer::ApplyKeepTraces() {
  for (TKindLists* lists : {&FLists, &FKept})
    for (TEntryList& list : *lists) list.SetCountOnly(!FKeepTraces);
}

void TCacheAnalyzer::PrepareHistory() const {
  TIECache history;
  history.SetFilterOptions(FCache->FilterOptions());
  history.SetSearchPattern(spHistory);
  // Only a head start: the history's own walk meets any failure again and
  // passes it on.
  try {
    history.PrepareEntries(0);
  } catch (...) {
  }
}

void TCacheAnalyzer::GetSites(TSiteList& Sites) {
  Sites.clear();
  SiteKeySet keys;
  // Whatever happens, the enumerator reports to HandleEntry again afterwards.
  struct Restore {
    TCacheAnalyzer& self;
    ~Restore() {
      self.FURLList = nullptr;
      self.UseHandleEntry();
    }
  } restore{*this};
  FURLList = &keys;
  DropBackgroundWalks();
  ApplyKeepTraces();
  FCache->SetOnEntry([this](TIECache& Sender, bool& Cancel) {
    CollectURL(Sender, Cancel);
    Store(FKept, Sender.EntryInfo(), spUrl);
  });
  if (FParallelScan) {
    FBackground = PassQueue({spCookies, spHistory}, FKept, FCache->FilterOptions());
    FBackground->Start(1);
  }
  FCache->SetSearchPattern(spUrl);
  try {
    // Walking cookies and history, the other thread has the longer share;
    // this one reads the history ahead while the cookies are walked there.
    if (FParallelScan) PrepareHistory();
    FCache->RetrieveEntries(0);
  } catch (...) {
    DropBackgroundWalks();
    throw;
  }
  FContentKept = true;

  TItemList sorted = keys.Keys();
  // Ignoring case on lower-case keys is byte order.
  std::sort(sorted.begin(), sorted.end());
  Sites.assign(sorted.begin(), sorted.end());
}

void TCacheAnalyzer::GetSites(std::string& Sites) {
  TSiteList list;
  GetSites(list);
  Sites = JoinLines(TItemList(list.begin(), list.end()));
}

void TCacheAnalyzer::GetTraces(TTraceKind Kind, std::string_view Site, TItemList& Items) {
  std::int32_t& count = FSiteCounts[Kind];
  count = 0;
  Items.clear();
  // History entries are shown by their URL, the others by their local file.
  const bool byUrl = Kind == tkHistory;
  const std::string lowered = AsciiLower(Site);
  FLists[Kind].ForEachMatch(lowered, [&](const TStoredEntry& entry) {
    std::string_view item = byUrl ? entry.SourceUrlName : entry.LocalFileName;
    if (!item.empty()) Items.push_back(item);
  });
  count = static_cast<std::int32_t>(
      std::min<std::size_t>(Items.size(), std::numeric_limits<std::int32_t>::max()));
}

void TCacheAnalyzer::GetTraces(TTraceKind Kind, std::string_view Site, std::string& Text) {
  TItemList items;
  GetTraces(Kind, Site, items);
  Text = JoinLines(items);
}
