#include "analysis/SiteMatcher.h"

#include "platform/common/AsciiCase.h"

#include <algorithm>
#include <deque>

namespace {

// History entries are shown by their URL, the others by their local file.
std::string_view ItemOf(const TStoredEntry& entry, TTraceKind kind) {
  return kind == tkHistory ? entry.SourceUrlName : entry.LocalFileName;
}

}  // namespace

SiteMatcher::SiteMatcher(const std::vector<std::string>& keys) : nodes_(1) {
  for (std::size_t i = 0; i < keys.size(); ++i)
    if (!keys[i].empty()) Insert(keys[i], static_cast<std::uint32_t>(i));
  LinkFailures();
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

void SiteMatcher::LinkFailures() {
  // Breadth first, so that a node's failure target is linked before it.
  std::deque<std::uint32_t> queue;
  for (const Edge& edge : nodes_[0].edges) queue.push_back(edge.to);
  for (std::uint32_t child : queue)
    nodes_[child].nextOutput = nodes_[child].key != kNoKey ? child : 0;
  while (!queue.empty()) {
    const std::uint32_t node = queue.front();
    queue.pop_front();
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
}

SiteTraceIndex::SiteTraceIndex(const TCacheAnalyzer& analyzer, const TSiteList& sites)
    : analyzer_(analyzer) {
  // Matched as GetTraces matches: the lowered key in the lowered URL; the
  // empty key is in every URL.
  std::vector<std::string> keys;
  std::vector<std::uint32_t> everywhere;
  keys.reserve(sites.size());
  for (std::size_t i = 0; i < sites.size(); ++i) {
    keys.push_back(AsciiLower(sites[i]));
    if (keys.back().empty()) everywhere.push_back(static_cast<std::uint32_t>(i));
  }
  const SiteMatcher matcher(keys);
  std::string lowered;
  for (TTraceKind kind : kAllTraceKinds) {
    std::vector<std::vector<std::uint32_t>>& bySite = matches_[kind];
    bySite.assign(sites.size(), {});
    const TEntryList& list = analyzer.List(kind);
    for (std::size_t index = 0; index < list.Count(); ++index) {
      const TStoredEntry& entry = list[index];
      if (ItemOf(entry, kind).empty()) continue;
      lowered = AsciiLower(entry.SourceUrlName);
      const auto entryIndex = static_cast<std::uint32_t>(index);
      for (std::uint32_t site : everywhere) bySite[site].push_back(entryIndex);
      matcher.ForEachOccurrence(lowered, [&](std::uint32_t site) {
        // A key found twice in one URL still names the entry once.
        std::vector<std::uint32_t>& matches = bySite[site];
        if (matches.empty() || matches.back() != entryIndex) matches.push_back(entryIndex);
      });
    }
  }
}

void SiteTraceIndex::Items(std::size_t site, TTraceKind kind, TItemList& items) const {
  items.clear();
  const TEntryList& list = analyzer_.List(kind);
  for (std::uint32_t index : matches_[kind][site]) items.push_back(ItemOf(list[index], kind));
}
