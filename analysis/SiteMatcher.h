// Finds every one of many site keys in a text in one pass (Aho-Corasick):
// the traces of all sites come from one walk over each stored list instead
// of one walk per site.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "analysis/CacheAnalyzer.h"
#include "platform/common/AsciiCase.h"
#include "platform/common/LargeArray.h"
#include "platform/common/LargeBuffer.h"

class SiteMatcher {
 public:
  // The table of every step is built while it stays below this many cells
  // (64 MiB); past it, steps follow the failure links.
  static constexpr std::size_t kMaxDenseCells = std::size_t{16} << 20;
  // Below this many nodes a cell of the table takes two bytes instead of
  // four, which halves the table of a few thousand sites.
  static constexpr std::size_t kMaxNarrowNodes = 0x8000;

  // Keys are matched byte for byte against the text with its capitals
  // lowered: an empty key, or one with a capital letter, is never reported.
  explicit SiteMatcher(const std::vector<std::string>& keys,
                       std::size_t maxDenseCells = kMaxDenseCells,
                       std::size_t maxNarrowNodes = kMaxNarrowNodes);

  // How many texts ForEachOccurrenceIn walks side by side.
  static constexpr std::size_t kBatch = 8;

  // Calls `found(i, key)` for every key index whose key occurs in texts[i],
  // i < count <= kBatch, once per occurrence, in no particular order. The
  // texts are walked side by side: a step is a load from a table of
  // megabytes that depends on the step before, and the steps of different
  // texts overlap where one text's steps would wait on each other.
  template <typename Found>
  void ForEachOccurrenceIn(const std::string_view* texts, std::size_t count, Found&& found) const {
    if (narrow_)
      return WalkTable(reinterpret_cast<const std::uint16_t*>(table_.data()), texts, count, found);
    if (!table_.empty())
      return WalkTable(reinterpret_cast<const std::uint32_t*>(table_.data()), texts, count, found);
    for (std::size_t i = 0; i < count; ++i) {
      std::uint32_t node = 0;
      // Keys are lowered; capitals of the text step as small letters.
      for (char c : texts[i]) {
        node = Step(node, static_cast<unsigned char>(AsciiToLower(c)));
        ReportOutputs(node, [&](std::uint32_t key) { found(i, key); });
      }
    }
  }

  // Calls `found(key)` for every key index whose key occurs in `text`, once
  // per occurrence, in no particular order.
  template <typename Found>
  void ForEachOccurrence(std::string_view text, Found&& found) const {
    ForEachOccurrenceIn(&text, 1, [&](std::size_t, std::uint32_t key) { found(key); });
  }

 private:
  static constexpr std::uint32_t kNoKey = 0xffffffff;
  struct Edge {
    unsigned char byte;
    std::uint32_t to;
  };
  // A node of the trie, when steps follow the failure links.
  struct Node {
    std::vector<Edge> edges;  // sorted by byte
    std::uint32_t fail = 0;
  };
  // Per node, what it reports: the key it ends (kNoKey for none), the
  // nearest node that ends a key on its failure chain, itself included
  // (`first`), and the same for its failure target (`then`); 0 for none.
  struct Outputs {
    std::uint32_t key = kNoKey;
    std::uint32_t first = 0;
    std::uint32_t then = 0;
  };

  // A cell of the table holds the target node of a step, with the top bit
  // set where the target reports a key.
  template <typename Cell>
  static constexpr Cell kReports = Cell(1) << (8 * sizeof(Cell) - 1);

  template <typename Cell, typename Found>
  void WalkTable(const Cell* cells, const std::string_view* texts, std::size_t count,
                 Found& found) const {
    // In locals: what a report calls out to could otherwise have changed
    // them, for all the compiler knows, and they would be read again.
    const std::size_t classes = classes_;
    const std::uint16_t* const classOf = classOf_;
    // Per lane: a text not walked to its end, its bytes, size and index
    // among the texts, and the row of the node its walk has reached.
    const unsigned char* bytes[kBatch];
    std::size_t sizes[kBatch], text[kBatch], rows[kBatch];
    std::size_t lanes = 0;
    for (std::size_t i = 0; i < count; ++i) {
      if (texts[i].empty()) continue;
      bytes[lanes] = reinterpret_cast<const unsigned char*>(texts[i].data());
      sizes[lanes] = texts[i].size();
      text[lanes] = i;
      rows[lanes++] = 0;
    }
    const auto step = [&](std::size_t lane, std::size_t position) {
      const Cell cell = cells[rows[lane] + classOf[bytes[lane][position]]];
      const std::uint32_t node = cell & ~kReports<Cell>;
      rows[lane] = node * classes;
      if ((cell & kReports<Cell>) != 0) [[unlikely]]
        ReportOutputs(node, [&](std::uint32_t key) { found(text[lane], key); });
    };
    // Every lane steps up to the end of its shortest text, unrolled and
    // without checks for an end; the lanes whose texts end there leave.
    std::size_t position = 0;
    const auto stepAll = [&]<std::size_t kLanes>(std::integral_constant<std::size_t, kLanes>,
                                                 std::size_t until) {
      for (; position < until; ++position)
#pragma GCC unroll 8
        for (std::size_t lane = 0; lane < kLanes; ++lane) step(lane, position);
    };
    while (lanes > 0) {
      std::size_t until = sizes[0];
      for (std::size_t lane = 1; lane < lanes; ++lane) until = std::min(until, sizes[lane]);
      // The number of lanes as a constant, for the unrolled steps.
      [&]<std::size_t... kFewer>(std::index_sequence<kFewer...>) {
        ((lanes == kBatch - kFewer &&
          (stepAll(std::integral_constant<std::size_t, kBatch - kFewer>{}, until), true)) ||
         ...);
      }
      (std::make_index_sequence<kBatch>{});
      for (std::size_t lane = 0; lane < lanes;) {
        if (sizes[lane] != until) {
          ++lane;
          continue;
        }
        --lanes;
        bytes[lane] = bytes[lanes];
        sizes[lane] = sizes[lanes];
        text[lane] = text[lanes];
        rows[lane] = rows[lanes];
      }
    }
  }

  // Calls `found(key)` for every key that ends at `node`, itself or on its
  // failure chain.
  template <typename Found>
  void ReportOutputs(std::uint32_t node, Found&& found) const {
    for (std::uint32_t at = outputs_[node].first; at != 0; at = outputs_[at].then)
      found(outputs_[at].key);
  }

  // Gives every byte of the keys a class of its own, capitals that of their
  // small letter; other bytes share class 0.
  void ClassifyBytes(const std::vector<std::string>& keys);
  // Builds the table of every step (Aho-Corasick over a dense goto table)
  // for at most `nodeBound` nodes.
  template <typename Cell>
  void BuildTable(const std::vector<std::string>& keys, std::size_t nodeBound);
  // Builds the trie and links its failures, for steps without a table.
  void BuildTrie(const std::vector<std::string>& keys);
  Outputs* MakeOutputs(std::size_t nodes);
  std::uint32_t Child(std::uint32_t node, unsigned char byte) const;
  std::uint32_t Step(std::uint32_t node, unsigned char byte) const;

  platform::LargeBuffer outputStore_;
  const Outputs* outputs_ = nullptr;  // in outputStore_, per node
  // Without a table: the trie with its failure links.
  std::vector<Node> nodes_;
  // The table of every step from every node on every byte class, node after
  // node, in narrow (two-byte) or wide cells; empty when not built. Bytes
  // that stand in no key share class 0, so a row holds a few dozen cells.
  std::uint16_t classOf_[256] = {};
  std::size_t classes_ = 1;
  platform::LargeBuffer table_;
  bool narrow_ = false;
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
  std::span<const std::string_view> Items(std::size_t site, TTraceKind kind) const {
    return {items_[kind].data() + offsets_[kind][site], Count(site, kind)};
  }
  void Items(std::size_t site, TTraceKind kind, TItemList& items) const {
    const std::span<const std::string_view> held = Items(site, kind);
    items.assign(held.begin(), held.end());
  }
  // How many items Items gives.
  std::size_t Count(std::size_t site, TTraceKind kind) const {
    return offsets_[kind][site + 1] - offsets_[kind][site];
  }

 private:
  // Fills the matches and offsets of `kind`.
  void IndexKind(const SiteListMatcher& sites, TTraceKind kind);

  const TCacheAnalyzer& analyzer_;
  // Per kind: the items of the matching entries, site after site, in list
  // order within a site; a site's run starts at its offset. The items
  // themselves rather than their entries' indexes: a site's entries lie
  // scattered over the list, and reading them there took a cache miss each.
  platform::LargeArray<std::string_view> items_[kTraceKinds];
  std::vector<std::uint32_t> offsets_[kTraceKinds];  // per site, plus the end
};
