#include "tools/SiteReport.h"

#include <algorithm>
#include <iterator>
#include <nlohmann/json.hpp>

#include "analysis/CountLines.h"
#include "analysis/SiteMatcher.h"
#include "analysis/TraceKind.h"

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

// Ordered, so that the keys stand in the documented order.
using Json = nlohmann::ordered_json;

Json CountsJson(const std::int32_t (&counts)[kTraceKinds]) {
  Json object = Json::object();
  for (TTraceKind kind : kAllTraceKinds) object[kKindNames[kind]] = counts[kind];
  return object;
}

Json SiteJson(const SiteTraces& site, const ReportRequest& request) {
  Json object = Json::object();
  Json cacheFiles = Json::object();
  object["key"] = site.key;
  for (TTraceKind kind : kAllTraceKinds) {
    Json items = Json::array();
    for (std::string_view item : site.traces[kind]) {
      items.emplace_back(item);
      if (auto found = request.cacheFiles.find(item); found != request.cacheFiles.end())
        cacheFiles[found->first] = found->second;
    }
    object[kKindNames[kind]] = std::move(items);
  }
  object["counts"] = CountsJson(site.counts);
  if (!cacheFiles.empty()) object["cache_files"] = std::move(cacheFiles);
  return object;
}

Json SourceJson(const sources::SourceInfo& source) {
  Json object = Json::object();
  object["kind"] = source.kind;
  object["label"] = source.label;
  object["profile"] = source.profileDir;
  object["cache"] = source.cacheDir;
  Json entries = Json::object();
  const char* const names[] = {"cookies", "history", "content"};
  for (std::size_t c = 0; c < std::size(names); ++c) entries[names[c]] = source.entries[c];
  object["entries"] = std::move(entries);
  object["problems"] = source.problems;
  return object;
}

Json SourcesJson(const std::vector<sources::SourceInfo>& sources) {
  Json array = Json::array();
  for (const auto& source : sources) array.push_back(SourceJson(source));
  return array;
}

// `value` pretty-printed to stand at `depth` levels of two blanks. Dumped
// strings hold no raw line feeds, so every line feed is a line break.
std::string Dump(const Json& value, int depth) {
  std::string text = value.dump(2, ' ', false, Json::error_handler_t::replace);
  const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
  std::string result;
  result.reserve(text.size());
  for (char c : text) {
    result.push_back(c);
    if (c == '\n') result.append(indent);
  }
  return result;
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

// The traces of the detailed sites in order: with every site, all found in
// one pass over the stored lists; else by the per-site queries.
template <typename Visit>
void ForEachDetailedSite(TCacheAnalyzer& analyzer, const ReportRequest& request, Visit visit) {
  if (!request.allSites) {
    for (const std::string& key : request.detail) visit(QuerySite(analyzer, key));
    return;
  }
  const SiteTraceIndex index(analyzer, request.detail);
  for (std::size_t site = 0; site < request.detail.size(); ++site) {
    SiteTraces traces;
    traces.key = AsciiLower(request.detail[site]);
    for (TTraceKind kind : kAllTraceKinds) {
      index.Items(site, kind, traces.traces[kind]);
      traces.counts[kind] = static_cast<std::int32_t>(traces.traces[kind].size());
    }
    traces.countLine = FormatSiteLine(traces.counts);
    visit(traces);
  }
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
}

void WriteJson(TCacheAnalyzer& analyzer, const ReportRequest& request, std::FILE* out) {
  std::int32_t totals[kTraceKinds];
  for (TTraceKind kind : kAllTraceKinds) totals[kind] = analyzer.Total(kind);
  Write("{\n  \"sites\": ", out);
  Write(Dump(Json(request.sites), 1), out);
  Write(",\n  \"totals\": ", out);
  Write(Dump(CountsJson(totals), 1), out);
  if (request.allSites) {
    Write(",\n  \"per_site\": [", out);
    const char* separator = "\n    ";
    ForEachDetailedSite(analyzer, request, [&](const SiteTraces& site) {
      Write(separator, out);
      Write(Dump(SiteJson(site, request), 2), out);
      separator = ",\n    ";
    });
    Write(request.detail.empty() ? "]" : "\n  ]", out);
  } else if (!request.detail.empty()) {
    Write(",\n  \"site\": ", out);
    Write(Dump(SiteJson(QuerySite(analyzer, request.detail.front()), request), 1), out);
  }
  Write(",\n  \"sources\": ", out);
  Write(Dump(SourcesJson(request.sources), 1), out);
  Write("\n}\n", out);
}
