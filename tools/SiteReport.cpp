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

Json SiteJson(const SiteTraces& site) {
  Json object = Json::object();
  object["key"] = site.key;
  for (int kind = 0; kind < 6; ++kind) AddItems(object, kKindNames[kind], ItemsOf(site, kind));
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
  for (const auto& [name, paths] :
       {std::pair{"unreadable", &request.unreadable}, std::pair{"not_read", &request.notRead}}) {
    if (paths->empty()) continue;
    Write(std::string(",\n  \"") + name + "\": ", out);
    Write(Dump(Json(*paths), 1), out);
  }
  Write("\n}\n", out);
}
