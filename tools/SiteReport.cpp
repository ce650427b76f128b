#include "tools/SiteReport.h"

#include <algorithm>
#include <iterator>
#include <nlohmann/json.hpp>

#include "analysis/CountLines.h"
#include "analysis/TraceKind.h"
#include "platform/common/AsciiCase.h"

namespace {

constexpr const char* kKindNames[6] = {"images", "pages", "media", "other", "cookies", "history"};
constexpr const char* kSectionNames[6] = {"[Images]", "[Pages]",   "[Media]",
                                          "[Other]",  "[Cookies]", "[History]"};

const TItemList& ItemsOf(const SiteTraces& site, int kind) {
  const TItemList* lists[6] = {&site.images, &site.pages,   &site.media,
                               &site.other,  &site.cookies, &site.history};
  return *lists[kind];
}

void Write(std::string_view text, std::FILE* out) {
  std::fwrite(text.data(), 1, text.size(), out);
}

void WriteLine(std::string_view line, std::FILE* out) {
  Write(line, out);
  std::fputc('\n', out);
}

// Ordered, so that the keys stand in the documented order.
using Json = nlohmann::ordered_json;

Json CountsJson(const std::int32_t (&counts)[6]) {
  Json object = Json::object();
  for (int kind = 0; kind < 6; ++kind) object[kKindNames[kind]] = counts[kind];
  return object;
}

Json SiteJson(const SiteTraces& site) {
  Json object = Json::object();
  object["key"] = site.key;
  for (int kind = 0; kind < 6; ++kind) {
    Json items = Json::array();
    for (std::string_view item : ItemsOf(site, kind)) items.emplace_back(item);
    object[kKindNames[kind]] = std::move(items);
  }
  object["counts"] = CountsJson(site.counts);
  return object;
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

SiteTraces QuerySite(TCacheAnalyzer& analyzer, const std::string& site) {
  SiteTraces traces;
  traces.key = AsciiLower(site);
  analyzer.GetPages(traces.key, traces.pages);
  analyzer.GetImages(traces.key, traces.images);
  analyzer.GetOther(traces.key, traces.other);
  analyzer.GetMedia(traces.key, traces.media);
  analyzer.GetCookies(traces.key, traces.cookies);
  analyzer.GetHistory(traces.key, traces.history);
  const std::int32_t counts[6] = {analyzer.SiteImages(),  analyzer.SitePages(),
                                  analyzer.SiteMedia(),   analyzer.SiteOther(),
                                  analyzer.SiteCookies(), analyzer.SiteHistory()};
  std::copy(std::begin(counts), std::end(counts), traces.counts);
  traces.countLine = FormatSiteLine(analyzer);
  return traces;
}

void WriteText(TCacheAnalyzer& analyzer, const ReportRequest& request, std::FILE* out) {
  for (const std::string& site : SplitListText(request.sitesText)) WriteLine(site, out);
  WriteLine(FormatTotalLine(analyzer), out);
  for (const std::string& key : request.detail) {
    const SiteTraces site = QuerySite(analyzer, key);
    if (request.allSites) {
      WriteLine("[Site]", out);
      WriteLine(site.key, out);
    }
    for (int kind = 0; kind < 6; ++kind) {
      WriteLine(kSectionNames[kind], out);
      for (std::string_view item : ItemsOf(site, kind)) WriteLine(item, out);
    }
    WriteLine(site.countLine, out);
  }
}

void WriteJson(TCacheAnalyzer& analyzer, const ReportRequest& request, std::FILE* out) {
  const std::int32_t totals[6] = {analyzer.TotalImages(),  analyzer.TotalPages(),
                                  analyzer.TotalMedia(),   analyzer.TotalOther(),
                                  analyzer.TotalCookies(), analyzer.TotalHistory()};
  Write("{\n  \"sites\": ", out);
  Write(Dump(Json(SplitListText(request.sitesText)), 1), out);
  Write(",\n  \"totals\": ", out);
  Write(Dump(CountsJson(totals), 1), out);
  if (request.allSites) {
    Write(",\n  \"per_site\": [", out);
    const char* separator = "\n    ";
    for (const std::string& key : request.detail) {
      Write(separator, out);
      Write(Dump(SiteJson(QuerySite(analyzer, key)), 2), out);
      separator = ",\n    ";
    }
    Write(request.detail.empty() ? "]" : "\n  ]", out);
  } else if (!request.detail.empty()) {
    Write(",\n  \"site\": ", out);
    Write(Dump(SiteJson(QuerySite(analyzer, request.detail.front())), 1), out);
  }
  Write("\n}\n", out);
}
