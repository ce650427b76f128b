// Finds every one of many site keys in a text in one pass (Aho-Corasick):
// the traces of all sites come from one walk over each stored list instead
// of one walk per site.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/CacheAnalyzer.h"

class SiteMatcher {
 public:
  // Keys are matched byte for byte; an empty key is never reported.
  explicit SiteMatcher(const std::vector<std::string>& keys);

  // Calls `found(key)` for every key index whose key occurs in `text`, once
  // per occurrence, in no particular order.
  template <typename Found>
  void ForEachOccurrence(std::string_view text, Found&& found) const {
    std::uint32_t node = 0;
    for (char c : text) {
      node = Step(node, static_cast<unsigned char>(c));
      for (std::uint32_t at = nodes_[node].nextOutput; at != 0;
           at = nodes_[nodes_[at].fail].nextOutput)
        found(nodes_[at].key);
    }
  }

 private:
  static constexpr std::uint32_t kNoKey = 0xffffffff;
  struct Edge {
    unsigned char byte;
    std::uint32_t to;
  };
  struct Node {
    std::vector<Edge> edges;  // sorted by byte
    std::uint32_t fail = 0;
    // The nearest node on the failure chain (itself included) that ends a
    // key; 0 for none.
    std::uint32_t nextOutput = 0;
    std::uint32_t key = kNoKey;
  };

  std::uint32_t Child(std::uint32_t node, unsigned char byte) const;
  std::uint32_t Step(std::uint32_t node, unsigned char byte) const;
  void Insert(std::string_view key, std::uint32_t index);
  void LinkFailures();

  std::vector<Node> nodes_;
};

// The traces of every listed site, found in one pass over each stored list:
// for each site and kind, the items that GetTraces gives for that site, in
// the same order.
class SiteTraceIndex {
 public:
  SiteTraceIndex(const TCacheAnalyzer& analyzer, const TSiteList& sites);

  // The items of site `site` (an index into the sites given) of `kind`.
  void Items(std::size_t site, TTraceKind kind, TItemList& items) const;

 private:
  const TCacheAnalyzer& analyzer_;
  // Per kind, per site: the indexes of the matching entries with an item.
  std::vector<std::vector<std::uint32_t>> matches_[kTraceKinds];
};
