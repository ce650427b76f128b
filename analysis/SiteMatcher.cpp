#include "analysis/SiteMatcher.h"

#include "platform/common/AsciiCase.h"
#include "platform/common/TaskQueue.h"

#include <algorithm>
#include <exception>
#include <iterator>
#include <utility>

namespace {

// History entries are shown by their URL, the others by their local file.
std::string_view ItemOf(const TStoredEntry& entry, TTraceKind kind) {
  return kind == tkHistory ? entry.SourceUrlName : entry.LocalFileName;
}

}  // namespace

SiteMatcher::SiteMatcher(const std::vector<std::string>& keys, std::size_t maxDenseCells)
    : nodes_(1) {
  // A node a key byte at most: the nodes never move while the trie grows.
  std::size_t bytes = 1;
  for (const std::string& key : keys) bytes += key.size();
  nodes_.reserve(bytes);
  for (std::size_t i = 0; i < keys.size(); ++i)
    if (!keys[i].empty()) Insert(keys[i], static_cast<std::uint32_t>(i));
  const std::vector<std::uint32_t> breadthFirst = LinkFailures();
  BuildDense(breadthFirst, maxDenseCells);
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

void SiteMatcher::Insert(std::string_view key, std::uint32_t index) {
  std::uint32_t node = 0;
  for (char c : key) {
    const auto byte = static_cast<unsigned char>(c);
    std::uint32_t next = Child(node, byte);
    if (next == 0) {
      next = static_cast<std::uint32_t>(nodes_.size());
      nodes_.emplace_back();
      std::vector<Edge>& edges = nodes_[node].edges;
      auto at = std::lower_bound(edges.begin(), edges.end(), byte,
                                 [](const Edge& edge, unsigned char b) { return edge.byte < b; });
      edges.insert(at, Edge{byte, next});
    }
    node = next;
  }
  // Equal keys: the first index stands for them (the site list has none).
  if (node != 0 && nodes_[node].key == kNoKey) nodes_[node].key = index;
}

std::vector<std::uint32_t> SiteMatcher::LinkFailures() {
  // Breadth first, so that a node's failure target is linked before it.
  std::vector<std::uint32_t> queue{0};
  for (const Edge& edge : nodes_[0].edges) {
    queue.push_back(edge.to);
    nodes_[edge.to].nextOutput = nodes_[edge.to].key != kNoKey ? edge.to : 0;
  }
  for (std::size_t next = 1; next < queue.size(); ++next) {
    const std::uint32_t node = queue[next];
    for (const Edge& edge : nodes_[node].edges) {
      std::uint32_t fail = nodes_[node].fail;
      std::uint32_t target = Child(fail, edge.byte);
      while (target == 0 && fail != 0) {
        fail = nodes_[fail].fail;
        target = Child(fail, edge.byte);
      }
      Node& child = nodes_[edge.to];
      child.fail = target;
      child.nextOutput = child.key != kNoKey ? edge.to : nodes_[target].nextOutput;
      queue.push_back(edge.to);
    }
  }
  return queue;
}

void SiteMatcher::BuildDense(const std::vector<std::uint32_t>& breadthFirst, std::size_t maxCells) {
  for (const Node& node : nodes_)
    for (const Edge& edge : node.edges)
      if (classOf_[edge.byte] == 0) classOf_[edge.byte] = static_cast<std::uint16_t>(classes_++);
  // The keys are lowered: a capital steps as its small letter does.
  for (char upper = 'A'; upper <= 'Z'; ++upper)
    classOf_[static_cast<unsigned char>(upper)] =
        classOf_[static_cast<unsigned char>(AsciiToLower(upper))];
  if (nodes_.size() * classes_ > maxCells || nodes_.size() * classes_ >= kEndsKey) {
    classes_ = 1;
    std::fill(std::begin(classOf_), std::end(classOf_), std::uint16_t{0});
    return;
  }
  denseCells_ = platform::LargeBuffer(nodes_.size() * classes_ * sizeof(std::uint32_t));
  auto* cells = reinterpret_cast<std::uint32_t*>(denseCells_.data());
  // A byte without an edge steps as the failure target steps on it, whose
  // row is complete by then (it lies nearer the root).
  for (std::uint32_t node : breadthFirst) {
    std::uint32_t* row = cells + node * classes_;
    if (node == 0) {
      std::fill(row, row + classes_, 0);
    } else {
      const std::uint32_t* fallback = cells + nodes_[node].fail * classes_;
      std::copy(fallback, fallback + classes_, row);
    }
    for (const Edge& edge : nodes_[node].edges)
      row[classOf_[edge.byte]] = edge.to * static_cast<std::uint32_t>(classes_) |
                                 (nodes_[edge.to].nextOutput != 0 ? kEndsKey : 0);
  }
  dense_ = cells;
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
  // counting.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> found;
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
      for (std::uint32_t site : everywhere) found.emplace_back(site, batch[i]);
      for (std::uint32_t site : sitesOf[i]) found.emplace_back(site, batch[i]);
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
  matches_[kind].resize(found.size());
  for (const auto& [site, entryIndex] : found) matches_[kind][next[site]++] = entryIndex;
}

void SiteTraceIndex::Items(std::size_t site, TTraceKind kind, TItemList& items) const {
  items.clear();
  const TEntryList& list = analyzer_.List(kind);
  const std::vector<std::uint32_t>& matches = matches_[kind];
  for (std::uint32_t at = offsets_[kind][site]; at < offsets_[kind][site + 1]; ++at)
    items.push_back(ItemOf(list[matches[at]], kind));
}
