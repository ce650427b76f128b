#include "analysis/SiteMatcher.h"

#include "platform/common/AsciiCase.h"
#include "platform/common/TaskQueue.h"

#include <algorithm>
#include <exception>
#include <iterator>
#include <new>
#include <utility>

namespace {

// History entries are shown by their URL, the others by their local file.
std::string_view ItemOf(const TStoredEntry& entry, TTraceKind kind) {
  return kind == tkHistory ? entry.SourceUrlName : entry.LocalFileName;
}

}  // namespace

SiteMatcher::SiteMatcher(const std::vector<std::string>& keys, std::size_t maxDenseCells,
                         std::size_t maxNarrowNodes) {
  ClassifyBytes(keys);
  // A node a key byte at most, and the root.
  std::size_t nodeBound = 1;
  for (const std::string& key : keys) nodeBound += key.size();
  const std::size_t cells = nodeBound * classes_;
  if (cells <= maxDenseCells && nodeBound <= maxNarrowNodes) {
    BuildTable<std::uint16_t>(keys, nodeBound);
    narrow_ = true;
  } else if (cells <= maxDenseCells && nodeBound <= kReports<std::uint32_t>) {
    BuildTable<std::uint32_t>(keys, nodeBound);
  } else {
    classes_ = 1;
    std::fill(std::begin(classOf_), std::end(classOf_), std::uint16_t{0});
    BuildTrie(keys);
  }
}

namespace {

bool IsCapital(char c) {
  return c >= 'A' && c <= 'Z';
}

bool HasCapital(std::string_view key) {
  return std::any_of(key.begin(), key.end(), IsCapital);
}

}  // namespace

void SiteMatcher::ClassifyBytes(const std::vector<std::string>& keys) {
  for (const std::string& key : keys)
    for (char c : key) {
      const auto byte = static_cast<unsigned char>(c);
      if (classOf_[byte] == 0 && !IsCapital(c))
        classOf_[byte] = static_cast<std::uint16_t>(classes_++);
    }
  // A capital of the text steps as its small letter does.
  for (char upper = 'A'; upper <= 'Z'; ++upper)
    classOf_[static_cast<unsigned char>(upper)] =
        classOf_[static_cast<unsigned char>(AsciiToLower(upper))];
}

SiteMatcher::Outputs* SiteMatcher::MakeOutputs(std::size_t nodes) {
  outputStore_ = platform::LargeBuffer(nodes * sizeof(Outputs));
  auto* outputs = reinterpret_cast<Outputs*>(outputStore_.data());
  outputs_ = outputs;
  return outputs;
}

template <typename Cell>
void SiteMatcher::BuildTable(const std::vector<std::string>& keys, std::size_t nodeBound) {
  table_ = platform::LargeBuffer(nodeBound * classes_ * sizeof(Cell));
  Cell* const cells = reinterpret_cast<Cell*>(table_.data());
  Outputs* const outputs = MakeOutputs(nodeBound);
  std::size_t nodes = 0;
  const auto newNode = [&] {
    std::fill_n(cells + nodes * classes_, classes_, Cell{0});
    new (outputs + nodes) Outputs{};
    return static_cast<Cell>(nodes++);
  };
  newNode();  // the root
  // The trie, in the table: a cell holds a child (never the root) or 0. A
  // key with a capital is never found, as the text's capitals step as small
  // letters.
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (keys[i].empty() || HasCapital(keys[i])) continue;
    std::size_t node = 0;
    for (char c : keys[i]) {
      const std::size_t at = node * classes_ + classOf_[static_cast<unsigned char>(c)];
      if (cells[at] == 0) cells[at] = newNode();
      node = cells[at];
    }
    // Equal keys: the first index stands for them (the site list has none).
    if (outputs[node].key == kNoKey) outputs[node].key = static_cast<std::uint32_t>(i);
  }
  // Breadth first, so that a node's failure target, which lies nearer the
  // root, is complete before the node: each missing step is then the
  // failure target's step.
  std::vector<std::uint32_t> fail(nodes, 0), queue;
  queue.reserve(nodes);
  const auto link = [&](Cell& cell, std::uint32_t child, std::uint32_t target) {
    fail[child] = target;
    Outputs& out = outputs[child];
    out.then = outputs[target].first;
    out.first = out.key != kNoKey ? child : out.then;
    cell = static_cast<Cell>(child | (out.first != 0 ? kReports<Cell> : 0));
    queue.push_back(child);
  };
  for (std::size_t c = 0; c < classes_; ++c)
    if (cells[c] != 0) link(cells[c], cells[c], 0);
  for (std::size_t next = 0; next < queue.size(); ++next) {
    const std::uint32_t node = queue[next];
    Cell* const row = cells + node * classes_;
    const Cell* const failRow = cells + std::size_t{fail[node]} * classes_;
    for (std::size_t c = 0; c < classes_; ++c) {
      if (row[c] == 0)
        row[c] = failRow[c];
      else
        link(row[c], row[c], failRow[c] & ~kReports<Cell>);
    }
  }
}

void SiteMatcher::BuildTrie(const std::vector<std::string>& keys) {
  nodes_.resize(1);
  std::vector<std::uint32_t> keyOf(1, kNoKey);
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (keys[i].empty()) continue;
    std::uint32_t node = 0;
    for (char c : keys[i]) {
      const auto byte = static_cast<unsigned char>(c);
      std::uint32_t next = Child(node, byte);
      if (next == 0) {
        next = static_cast<std::uint32_t>(nodes_.size());
        nodes_.emplace_back();
        keyOf.push_back(kNoKey);
        std::vector<Edge>& edges = nodes_[node].edges;
        auto at = std::lower_bound(edges.begin(), edges.end(), byte,
                                   [](const Edge& edge, unsigned char b) { return edge.byte < b; });
        edges.insert(at, Edge{byte, next});
      }
      node = next;
    }
    if (keyOf[node] == kNoKey) keyOf[node] = static_cast<std::uint32_t>(i);
  }
  // Breadth first, so that a node's failure target is linked before it.
  Outputs* const outputs = MakeOutputs(nodes_.size());
  new (outputs) Outputs{};
  std::vector<std::uint32_t> queue{0};
  for (std::size_t next = 0; next < queue.size(); ++next) {
    const std::uint32_t node = queue[next];
    for (const Edge& edge : nodes_[node].edges) {
      std::uint32_t target = 0;
      if (node != 0) {
        std::uint32_t fail = nodes_[node].fail;
        target = Child(fail, edge.byte);
        while (target == 0 && fail != 0) {
          fail = nodes_[fail].fail;
          target = Child(fail, edge.byte);
        }
      }
      nodes_[edge.to].fail = target;
      Outputs& out = *new (outputs + edge.to) Outputs{};
      out.key = keyOf[edge.to];
      out.then = outputs[target].first;
      out.first = out.key != kNoKey ? edge.to : out.then;
      queue.push_back(edge.to);
    }
  }
}

std::uint32_t SiteMatcher::Child(std::uint32_t node, unsigned char byte) const {
  const std::vector<Edge>& edges = nodes_[node].edges;
  auto found = std::lower_bound(edges.begin(), edges.end(), byte,
                                [](const Edge& edge, unsigned char b) { return edge.byte < b; });
  return found != edges.end() && found->byte == byte ? found->to : 0;
}

std::uint32_t SiteMatcher::Step(std::uint32_t node, unsigned char byte) const {
  for (;;) {
    if (const std::uint32_t next = Child(node, byte)) return next;
    if (node == 0) return 0;
    node = nodes_[node].fail;
  }
}

SiteListMatcher::SiteListMatcher(const TSiteList& sites) : siteCount_(sites.size()) {
  // Matched as GetTraces matches: the lowered key in the lowered URL; the
  // empty key is in every URL.
  std::vector<std::string> keys;
  keys.reserve(sites.size());
  for (std::size_t i = 0; i < sites.size(); ++i) {
    keys.push_back(AsciiLower(sites[i]));
    if (keys.back().empty()) everywhere_.push_back(static_cast<std::uint32_t>(i));
  }
  matcher_ = std::make_unique<const SiteMatcher>(keys);
}

SiteTraceIndex::SiteTraceIndex(const TCacheAnalyzer& analyzer, const SiteListMatcher& sites,
                               unsigned threads)
    : analyzer_(analyzer) {
  // The kinds are indexed apart, the longest lists first, each by the next
  // thread free.
  std::vector<TTraceKind> kinds(std::begin(kAllTraceKinds), std::end(kAllTraceKinds));
  std::stable_sort(kinds.begin(), kinds.end(), [&](TTraceKind a, TTraceKind b) {
    return analyzer.List(a).Count() > analyzer.List(b).Count();
  });
  platform::TaskQueue queue(kinds.size(), [&](std::size_t at) { IndexKind(sites, kinds[at]); });
  queue.Start(threads > 1 ? threads - 1 : 0);
  if (std::exception_ptr failure = queue.Finish()) std::rethrow_exception(failure);
}

void SiteTraceIndex::IndexKind(const SiteListMatcher& sites, TTraceKind kind) {
  const SiteMatcher& matcher = sites.Matcher();
  const std::vector<std::uint32_t>& everywhere = sites.Everywhere();
  const std::size_t siteCount = sites.SiteCount();
  // (site, entry) pairs in entry order, then sorted by site stably, by
  // counting. Both arrays grow through few page faults.
  struct SiteMatch {
    std::uint32_t site, entry;
  };
  platform::LargeArray<SiteMatch> found;
  // A batch of entries with an item, walked side by side; the sites found
  // in each, added to `found` entry after entry so that list order holds.
  std::uint32_t batch[SiteMatcher::kBatch];
  std::string_view urls[SiteMatcher::kBatch];
  std::vector<std::uint32_t> sitesOf[SiteMatcher::kBatch];
  std::size_t batched = 0;
  const auto flush = [&] {
    matcher.ForEachOccurrenceIn(urls, batched, [&](std::size_t i, std::uint32_t site) {
      // A key found twice in one URL still names the entry once.
      std::vector<std::uint32_t>& sitesHere = sitesOf[i];
      if (std::find(sitesHere.begin(), sitesHere.end(), site) == sitesHere.end())
        sitesHere.push_back(site);
    });
    for (std::size_t i = 0; i < batched; ++i) {
      for (std::uint32_t site : everywhere) found.push_back({site, batch[i]});
      for (std::uint32_t site : sitesOf[i]) found.push_back({site, batch[i]});
      sitesOf[i].clear();
    }
    batched = 0;
  };
  const TEntryList& list = analyzer_.List(kind);
  for (std::size_t index = 0; index < list.Count(); ++index) {
    const TStoredEntry& entry = list[index];
    if (ItemOf(entry, kind).empty()) continue;
    batch[batched] = static_cast<std::uint32_t>(index);
    urls[batched] = entry.SourceUrlName;
    if (++batched == SiteMatcher::kBatch) flush();
  }
  flush();
  std::vector<std::uint32_t>& offsets = offsets_[kind];
  offsets.assign(siteCount + 1, 0);
  for (const auto& [site, entryIndex] : found) ++offsets[site + 1];
  for (std::size_t site = 0; site < siteCount; ++site) offsets[site + 1] += offsets[site];
  std::vector<std::uint32_t> next(offsets.begin(), offsets.end() - 1);
  // In entry order, the entries are read one after another.
  platform::LargeArray<std::string_view>& items = items_[kind];
  items.resize(found.size());
  for (const auto& [site, entryIndex] : found) items[next[site]++] = ItemOf(list[entryIndex], kind);
}
