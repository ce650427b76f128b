#include "tools/SiteReport.h"

#include <algorithm>
#include <iterator>
#include <nlohmann/json.hpp>

#include "analysis/CountLines.h"
#include "analysis/SiteMatcher.h"
#include "analysis/TraceKind.h"
#include "platform/common/AsciiCase.h"

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

// A list whose texts are not all UTF-8 is given twice: as JSON can carry it
// (bad bytes as U+FFFD) and, under "<kind>_escaped", percent-escaped.
void AddItems(Json& object, const std::string& name, const TItemList& list) {
  Json items = Json::array();
  bool allUtf8 = true;
  for (std::string_view item : list) {
    items.emplace_back(item);
    allUtf8 = allUtf8 && IsUtf8(item);
  }
  object[name] = std::move(items);
  if (allUtf8) return;
  Json escaped = Json::array();
  for (std::string_view item : list) escaped.emplace_back(PercentEscaped(item));
  object[name + "_escaped"] = std::move(escaped);
}

Json SiteJson(const SiteTraces& site, const ReportRequest& request) {
  Json object = Json::object();
  Json cacheFiles = Json::object();
  object["key"] = site.key;
  for (TTraceKind kind : kAllTraceKinds) {
    AddItems(object, kKindNames[kind], site.traces[kind]);
    for (std::string_view item : site.traces[kind])
      if (auto found = request.cacheFiles.find(item); found != request.cacheFiles.end())
        cacheFiles[found->first] = found->second;
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

Json ExtractedJson(const std::vector<sources::ExtractedSource>& extracted) {
  Json array = Json::array();
  for (const auto& source : extracted)
    array.push_back(Json{{"label", source.label},
                         {"folder", source.folder},
                         {"files", source.written},
                         {"missing", source.missing}});
  return array;
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
  for (const auto& [name, paths] :
       {std::pair{"unreadable", &request.unreadable}, std::pair{"not_read", &request.notRead}}) {
    if (paths->empty()) continue;
    Write(std::string(",\n  \"") + name + "\": ", out);
    Write(Dump(Json(*paths), 1), out);
  }
  Write(",\n  \"sources\": ", out);
  Write(Dump(SourcesJson(request.sources), 1), out);
  if (request.extracted) {
    Write(",\n  \"extracted\": ", out);
    Write(Dump(ExtractedJson(*request.extracted), 1), out);
  }
  Write("\n}\n", out);
}
