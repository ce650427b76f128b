// Finds every one of many site keys in a text in one pass (Aho-Corasick):
// the traces of all sites come from one walk over each stored list instead
// of one walk per site.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/CacheAnalyzer.h"
#include "platform/common/AsciiCase.h"
#include "platform/common/LargeBuffer.h"

class SiteMatcher {
 public:
  // The table of every step is built while it stays below this many cells
  // (64 MiB); past it, steps follow the failure links.
  static constexpr std::size_t kMaxDenseCells = std::size_t{16} << 20;

  // Keys are matched byte for byte; an empty key is never reported.
  explicit SiteMatcher(const std::vector<std::string>& keys,
                       std::size_t maxDenseCells = kMaxDenseCells);

  // How many texts ForEachOccurrenceIn walks side by side.
  static constexpr std::size_t kBatch = 8;

  // Calls `found(i, key)` for every key index whose key occurs in texts[i],
  // i < count <= kBatch, once per occurrence, in no particular order. The
  // texts are walked side by side: a step is a load from a table of
  // megabytes that depends on the step before, and the steps of different
  // texts overlap where one text's steps would wait on each other.
  template <typename Found>
  void ForEachOccurrenceIn(const std::string_view* texts, std::size_t count, Found&& found) const {
    if (!dense_) {
      for (std::size_t i = 0; i < count; ++i)
        ForEachOccurrence(texts[i], [&](std::uint32_t key) { found(i, key); });
      return;
    }
    std::uint32_t rows[kBatch] = {};
    std::size_t longest = 0;
    for (std::size_t i = 0; i < count; ++i) longest = std::max(longest, texts[i].size());
    for (std::size_t position = 0; position < longest; ++position) {
      for (std::size_t i = 0; i < count; ++i) {
        if (position >= texts[i].size()) continue;
        const std::uint32_t cell =
            dense_[rows[i] + classOf_[static_cast<unsigned char>(texts[i][position])]];
        rows[i] = cell & ~kEndsKey;
        if ((cell & kEndsKey) != 0)
          ReportOutputs(rows[i] / static_cast<std::uint32_t>(classes_),
                        [&](std::uint32_t key) { found(i, key); });
      }
    }
  }

  // Calls `found(key)` for every key index whose key occurs in `text`, once
  // per occurrence, in no particular order.
  template <typename Found>
  void ForEachOccurrence(std::string_view text, Found&& found) const {
    std::uint32_t node = 0, row = 0;
    // Keys are lowered; capitals of the text step as small letters (the
    // table's classes already put them together).
    for (char c : text) {
      if (dense_) {
        // The cells hold where the target's row starts; a step is one load.
        const std::uint32_t cell = dense_[row + classOf_[static_cast<unsigned char>(c)]];
        row = cell & ~kEndsKey;
        if ((cell & kEndsKey) == 0) continue;
        node = row / static_cast<std::uint32_t>(classes_);
      } else {
        node = Step(node, static_cast<unsigned char>(AsciiToLower(c)));
      }
      ReportOutputs(node, found);
    }
  }

 private:
  static constexpr std::uint32_t kNoKey = 0xffffffff;
  // Marks a cell of the table whose target ends a key, itself or on its
  // failure chain.
  static constexpr std::uint32_t kEndsKey = 0x80000000;
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

  // Calls `found(key)` for every key that ends at `node`, itself or on its
  // failure chain.
  template <typename Found>
  void ReportOutputs(std::uint32_t node, Found&& found) const {
    for (std::uint32_t at = nodes_[node].nextOutput; at != 0;
         at = nodes_[nodes_[at].fail].nextOutput)
      found(nodes_[at].key);
  }

  std::uint32_t Child(std::uint32_t node, unsigned char byte) const;
  std::uint32_t Step(std::uint32_t node, unsigned char byte) const;
  void Insert(std::string_view key, std::uint32_t index);
  // Links the failures; returns the nodes in breadth-first order.
  std::vector<std::uint32_t> LinkFailures();
  void BuildDense(const std::vector<std::uint32_t>& breadthFirst, std::size_t maxCells);

  std::vector<Node> nodes_;
  // The step from every node on every byte class, when built: bytes that
  // stand in no key share class 0, so a row holds a few dozen cells.
  std::uint16_t classOf_[256] = {};
  std::size_t classes_ = 1;
  platform::LargeBuffer denseCells_;
  const std::uint32_t* dense_ = nullptr;  // in denseCells_; null when not built
};

// The keys of a site list, lowered as GetTraces lowers a site, in a
// matcher. Building it needs only the list: it can be built while the scan
// runs.
class SiteListMatcher {
 public:
  explicit SiteListMatcher(const TSiteList& sites);

  const SiteMatcher& Matcher() const { return *matcher_; }
  // The sites whose key is empty, which GetTraces finds in every URL.
  const std::vector<std::uint32_t>& Everywhere() const { return everywhere_; }
  std::size_t SiteCount() const { return siteCount_; }

 private:
  std::size_t siteCount_ = 0;
  std::vector<std::uint32_t> everywhere_;
  std::unique_ptr<const SiteMatcher> matcher_;
};

// The traces of every listed site, found in one pass over each stored list:
// for each site and kind, the items that GetTraces gives for that site, in
// the same order.
class SiteTraceIndex {
 public:
  // Indexes the six kinds apart, on up to `threads` threads (this one
  // included).
  SiteTraceIndex(const TCacheAnalyzer& analyzer, const SiteListMatcher& sites,
                 unsigned threads = 1);
  SiteTraceIndex(const TCacheAnalyzer& analyzer, const TSiteList& sites, unsigned threads = 1)
      : SiteTraceIndex(analyzer, SiteListMatcher(sites), threads) {}

  // The items of site `site` (an index into the sites given) of `kind`.
  void Items(std::size_t site, TTraceKind kind, TItemList& items) const;

 private:
  // Fills the matches and offsets of `kind`.
  void IndexKind(const SiteListMatcher& sites, TTraceKind kind);

  const TCacheAnalyzer& analyzer_;
  // Per kind: the indexes of the matching entries with an item, site after
  // site, in list order within a site; a site's run starts at its offset.
  std::vector<std::uint32_t> matches_[kTraceKinds];
  std::vector<std::uint32_t> offsets_[kTraceKinds];  // per site, plus the end
};
