#include "tools/SiteReport.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <iterator>
#include <unordered_set>
#include <utility>

#include "analysis/CountLines.h"
#include "analysis/SiteMatcher.h"
#include "analysis/TraceKind.h"
#include "platform/common/AsciiCase.h"
#include "platform/common/TaskQueue.h"
#include "tools/JsonStream.h"

namespace {

// Indexed by TTraceKind.
constexpr const char* kKindNames[kTraceKinds] = {"images", "pages",   "media",
                                                 "other",  "cookies", "history"};
constexpr const char* kSectionNames[kTraceKinds] = {"[Images]", "[Pages]",   "[Media]",
                                                    "[Other]",  "[Cookies]", "[History]"};

void Write(std::string_view text, std::FILE* out) {
  std::fwrite(text.data(), 1, text.size(), out);
}

void WriteLine(std::string_view line, std::FILE* out) {
  Write(line, out);
  std::fputc('\n', out);
}

void WriteCounts(JsonStream& json, const std::int32_t (&counts)[kTraceKinds]) {
  json.BeginObject();
  for (TTraceKind kind : kAllTraceKinds) {
    json.Key(kKindNames[kind]);
    json.Number(counts[kind]);
  }
  json.EndObject();
}

template <typename Texts>
void WriteStrings(JsonStream& json, const Texts& texts) {
  json.BeginArray();
  for (std::string_view text : texts) json.String(text);
  json.EndArray();
}

// Length of the well-formed UTF-8 sequence at the start of `text`; 0 when
// there is none.
std::size_t Utf8SequenceLength(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // bounds of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i)
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  return length;
}

bool IsUtf8(std::string_view text) {
  // ASCII, the common case, eight bytes at a time.
  while (text.size() >= 8) {
    std::uint64_t eight;
    std::memcpy(&eight, text.data(), 8);
    if ((eight & 0x8080808080808080ULL) != 0) break;
    text.remove_prefix(8);
  }
  while (!text.empty()) {
    const std::size_t length = Utf8SequenceLength(text);
    if (length == 0) return false;
    text.remove_prefix(length);
  }
  return true;
}

// `text` with '%' and every byte outside well-formed UTF-8 written as %XX,
// so that the bytes can be had back exactly.
std::string PercentEscaped(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  while (!text.empty()) {
    const std::size_t length = Utf8SequenceLength(text);
    if (length == 0 || text.front() == '%') {
      const auto byte = static_cast<unsigned char>(text.front());
      escaped += {'%', kHex[byte >> 4], kHex[byte & 15]};
      text.remove_prefix(1);
    } else {
      escaped.append(text.substr(0, length));
      text.remove_prefix(length);
    }
  }
  return escaped;
}

// The items lie scattered over the stored lists, and writing them waits on
// memory most of its time: each is asked for this many items before it is
// written, so that it has arrived by then, and whole, as an item spans two
// or three cache lines.
constexpr std::size_t kItemsAhead = 16;

void Prefetch(std::string_view item) {
  constexpr std::size_t kLine = 64, kMostBytes = 4 * kLine;
  if (item.empty()) return;
  for (std::size_t at = 0; at < item.size() && at < kMostBytes; at += kLine)
    __builtin_prefetch(item.data() + at);
  __builtin_prefetch(item.data() + item.size() - 1);
}

// A list whose texts are not all UTF-8 is given twice: as JSON can carry it
// (bad bytes as U+FFFD) and, under "<kind>_escaped", percent-escaped.
void WriteItems(JsonStream& json, const std::string& name, const TItemList& list) {
  json.Key(name);
  json.BeginArray();
  bool allUtf8 = true;
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (i + kItemsAhead < list.size()) Prefetch(list[i + kItemsAhead]);
    const bool plain = json.String(list[i]);
    allUtf8 = allUtf8 && (plain || IsUtf8(list[i]));
  }
  json.EndArray();
  if (allUtf8) return;
  json.Key(name + "_escaped");
  json.BeginArray();
  for (std::string_view item : list) json.String(PercentEscaped(item));
  json.EndArray();
}

using CacheFile = std::pair<const std::string, std::string>;

// The cache files of the site's items, each once, in the order first named.
std::vector<const CacheFile*> CacheFilesOf(const SiteTraces& site, const ReportRequest& request) {
  std::vector<const CacheFile*> files;
  if (request.cacheFiles.empty()) return files;
  std::unordered_set<const CacheFile*> named;
  for (TTraceKind kind : kAllTraceKinds)
    for (std::string_view item : site.traces[kind])
      if (auto found = request.cacheFiles.find(item); found != request.cacheFiles.end())
        if (named.insert(&*found).second) files.push_back(&*found);
  return files;
}

void WriteSite(JsonStream& json, const SiteTraces& site, const ReportRequest& request) {
  json.BeginObject();
  json.Key("key");
  json.String(site.key);
  for (TTraceKind kind : kAllTraceKinds) WriteItems(json, kKindNames[kind], site.traces[kind]);
  json.Key("counts");
  WriteCounts(json, site.counts);
  const std::vector<const CacheFile*> cacheFiles = CacheFilesOf(site, request);
  if (!cacheFiles.empty()) {
    json.Key("cache_files");
    json.BeginObject();
    for (const CacheFile* file : cacheFiles) {
      json.Key(file->first);
      json.String(file->second);
    }
    json.EndObject();
  }
  json.EndObject();
}

void WriteSources(JsonStream& json, const std::vector<sources::SourceInfo>& sources) {
  json.BeginArray();
  for (const auto& source : sources) {
    json.BeginObject();
    for (const auto& [name, text] : {std::pair{"kind", &source.kind},
                                     {"label", &source.label},
                                     {"profile", &source.profileDir},
                                     {"cache", &source.cacheDir}}) {
      json.Key(name);
      json.String(*text);
    }
    json.Key("entries");
    json.BeginObject();
    const char* const names[] = {"cookies", "history", "content"};
    for (std::size_t c = 0; c < std::size(names); ++c) {
      json.Key(names[c]);
      json.Number(static_cast<std::int64_t>(source.entries[c]));
    }
    json.EndObject();
    json.Key("problems");
    WriteStrings(json, source.problems);
    json.EndObject();
  }
  json.EndArray();
}

void WriteExtracted(JsonStream& json, const std::vector<sources::ExtractedSource>& extracted) {
  json.BeginArray();
  for (const auto& source : extracted) {
    json.BeginObject();
    json.Key("label");
    json.String(source.label);
    json.Key("folder");
    json.String(source.folder);
    json.Key("files");
    json.Number(static_cast<std::int64_t>(source.written));
    json.Key("missing");
    json.Number(static_cast<std::int64_t>(source.missing));
    json.EndObject();
  }
  json.EndArray();
}
}  // namespace

// The window's order of the six queries.
constexpr TTraceKind kQueryOrder[kTraceKinds] = {tkPages, tkImages,  tkOther,
                                                 tkMedia, tkCookies, tkHistory};

SiteTraces QuerySite(TCacheAnalyzer& analyzer, const std::string& site) {
  SiteTraces traces;
  traces.key = AsciiLower(site);
  for (TTraceKind kind : kQueryOrder) {
    analyzer.GetTraces(kind, site, traces.traces[kind]);
    traces.counts[kind] = analyzer.SiteCount(kind);
  }
  traces.countLine = FormatSiteLine(analyzer);
  return traces;
}

namespace {

// The index of every site's traces.
SiteTraceIndex IndexAllSites(TCacheAnalyzer& analyzer, const ReportRequest& request) {
  // The kinds are indexed on two threads.
  return SiteTraceIndex(analyzer, request.detail, 2);
}

// The traces of the detailed sites [begin, end) of all sites, in order. The
// items of the next site are gathered, and the texts of the first of each
// kind asked for, before a site is visited: they then arrive while the site
// before is written.
template <typename Visit>
void ForEachSiteOf(const SiteTraceIndex& index, const ReportRequest& request, std::size_t begin,
                   std::size_t end, Visit visit) {
  const auto gather = [&](std::size_t site, SiteTraces& traces) {
    traces.key = AsciiLower(request.detail[site]);
    for (TTraceKind kind : kAllTraceKinds) {
      index.Items(site, kind, traces.traces[kind]);
      traces.counts[kind] = static_cast<std::int32_t>(traces.traces[kind].size());
      const TItemList& items = traces.traces[kind];
      for (std::size_t i = 0; i < std::min(items.size(), kItemsAhead); ++i) Prefetch(items[i]);
    }
    traces.countLine = FormatSiteLine(traces.counts);
  };
  SiteTraces current, next;
  if (begin < end) gather(begin, current);
  for (std::size_t site = begin; site < end; ++site) {
    if (site + 1 < end) gather(site + 1, next);
    visit(current);
    std::swap(current, next);
  }
}

// The traces of the detailed sites in order: with every site, all found in
// one pass over the stored lists; else by the per-site queries.
template <typename Visit>
void ForEachDetailedSite(TCacheAnalyzer& analyzer, const ReportRequest& request, Visit visit) {
  if (!request.allSites) {
    for (const std::string& key : request.detail) visit(QuerySite(analyzer, key));
    return;
  }
  const SiteTraceIndex index = IndexAllSites(analyzer, request);
  ForEachSiteOf(index, request, 0, request.detail.size(), visit);
}

// Where the sites [0, count) split into two runs of about as much text: a
// site's text grows with its items, and one popular site may hold more than
// a thousand others. 0 only when there are fewer than two sites.
std::size_t HalfOfTheText(const SiteTraceIndex& index, std::size_t count) {
  // A site's object without items weighs about as much as a few items.
  constexpr std::size_t kSiteWeight = 4;
  std::vector<std::size_t> weights(count, kSiteWeight);
  for (std::size_t site = 0; site < count; ++site)
    for (TTraceKind kind : kAllTraceKinds) weights[site] += index.Count(site, kind);
  std::size_t total = 0;
  for (std::size_t weight : weights) total += weight;
  std::size_t half = 0, before = 0;
  while (half + 1 < count && 2 * (before + weights[half]) <= total) before += weights[half++];
  return count >= 2 ? std::max<std::size_t>(half, 1) : 0;
}

// About the bytes that the objects of the sites [begin, end) take: their
// items quoted, indented and separated, and some for each site's object.
std::size_t JsonBytesOf(const SiteTraceIndex& index, std::size_t begin, std::size_t end) {
  constexpr std::size_t kItemFrame = 12, kSiteFrame = 400;
  std::size_t bytes = 0;
  for (std::size_t site = begin; site < end; ++site) {
    bytes += kSiteFrame;
    for (TTraceKind kind : kAllTraceKinds)
      for (std::string_view item : index.Items(site, kind)) bytes += item.size() + kItemFrame;
  }
  return bytes;
}

// The objects of every site, inside the open "per_site" array of `json`:
// the two halves are written at once on two threads, the first into `json`
// and the second into memory, which then follows it.
void WriteAllSites(JsonStream& json, TCacheAnalyzer& analyzer, const ReportRequest& request) {
  const SiteTraceIndex index = IndexAllSites(analyzer, request);
  const std::size_t count = request.detail.size();
  const std::size_t half = HalfOfTheText(index, count);
  const auto write = [&](JsonStream& into, std::size_t begin, std::size_t end) {
    ForEachSiteOf(index, request, begin, end,
                  [&](const SiteTraces& site) { WriteSite(into, site, request); });
  };
  if (half == 0) {
    write(json, 0, count);
    return;
  }
  // The first half leaves the array holding a value: the second half's text
  // continues after it.
  const JsonStream::AfterValue firstHalfWritten{json.Depth()};
  JsonStream::Text secondHalf;
  platform::TaskQueue halves(2, [&](std::size_t part) {
    if (part == 0) {
      write(json, 0, half);
      return;
    }
    // Room for all of it at once, a tenth more for what needs escaping.
    const std::size_t room = JsonBytesOf(index, half, count);
    JsonStream into(firstHalfWritten, room + room / 10);
    write(into, half, count);
    secondHalf = into.Take();
  });
  halves.Start(1);
  if (std::exception_ptr failure = halves.Finish()) std::rethrow_exception(failure);
  json.Raw(secondHalf);
}

}  // namespace

void WriteText(TCacheAnalyzer& analyzer, const ReportRequest& request, std::FILE* out) {
  for (const std::string& site : request.sites) WriteLine(OneLine(site), out);
  WriteLine(FormatTotalLine(analyzer), out);
  ForEachDetailedSite(analyzer, request, [&](const SiteTraces& site) {
    if (request.allSites) {
      WriteLine("[Site]", out);
      WriteLine(OneLine(site.key), out);
    }
    for (TTraceKind kind : kAllTraceKinds) {
      WriteLine(kSectionNames[kind], out);
      for (std::string_view item : site.traces[kind]) WriteLine(item, out);
    }
    WriteLine(site.countLine, out);
  });
  if (!request.extracted) return;
  WriteLine("[Extracted]", out);
  for (const auto& source : *request.extracted)
    WriteLine(OneLine(source.label + ": " + std::to_string(source.written) + " files in " +
                      source.folder + ", " + std::to_string(source.missing) + " missing"),
              out);
}

void WriteJson(TCacheAnalyzer& analyzer, const ReportRequest& request, std::FILE* out) {
  std::int32_t totals[kTraceKinds];
  for (TTraceKind kind : kAllTraceKinds) totals[kind] = analyzer.Total(kind);
  JsonStream json(out);
  json.BeginObject();
  json.Key("sites");
  WriteStrings(json, request.sites);
  json.Key("totals");
  WriteCounts(json, totals);
  if (request.allSites) {
    json.Key("per_site");
    json.BeginArray();
    WriteAllSites(json, analyzer, request);
    json.EndArray();
  } else if (!request.detail.empty()) {
    json.Key("site");
    WriteSite(json, QuerySite(analyzer, request.detail.front()), request);
  }
  for (const auto& [name, paths] :
       {std::pair{"unreadable", &request.unreadable}, std::pair{"not_read", &request.notRead}}) {
    if (paths->empty()) continue;
    json.Key(name);
    WriteStrings(json, *paths);
  }
  json.Key("sources");
  WriteSources(json, request.sources);
  if (request.extracted) {
    json.Key("extracted");
    WriteExtracted(json, *request.extracted);
  }
  json.EndObject();
  json.Raw("\n");
}
