#include "platform/sources/naming/ContentNames.h"

#include <algorithm>

namespace sources {

namespace {

constexpr std::size_t kNameCap = 80;
constexpr std::size_t kExtensionCap = 16;

bool SafeByte(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '.' || c == '+' || c == '~' || c == ',' || c == '=';
}

bool AllAlphanumeric(std::string_view text) {
  for (unsigned char c : text)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  return !text.empty();
}

std::string HostWithoutDot(const std::string& host) {
  return !host.empty() && host.front() == '.' ? host.substr(1) : host;
}

// The path's last segment: after scheme and authority, before query or
// fragment.
std::string_view LastSegment(std::string_view url) {
  std::size_t scheme = url.find("://");
  std::string_view rest = scheme == std::string_view::npos ? url : url.substr(scheme + 3);
  rest = rest.substr(0, rest.find_first_of("?#"));
  std::size_t pathStart = rest.find('/');
  if (pathStart == std::string_view::npos) return {};
  rest = rest.substr(pathStart);
  return rest.substr(rest.rfind('/') + 1);
}

}  // namespace

std::string SafeComponent(std::string_view text, std::size_t cap) {
  std::string safe;
  safe.reserve(std::min(text.size(), cap));
  for (unsigned char c : text.substr(0, cap)) safe += SafeByte(c) ? static_cast<char>(c) : '_';
  if (!safe.empty() && safe.front() == '.') safe.front() = '_';
  return safe;
}

std::string HistoryEntryUrl(const std::string& label, const std::string& url) {
  static constexpr std::string_view kPrefix = "Visited: ";
  std::string entryUrl;
  entryUrl.reserve(kPrefix.size() + label.size() + 1 + url.size());
  return entryUrl.append(kPrefix).append(label).append(1, '@').append(url);
}

std::string CookieEntryUrl(const std::string& label, const std::string& host, int port,
                           const std::string& path) {
  std::string url = "Cookie:" + label + "@" + HostWithoutDot(host);
  if (port > 0 && port != 80 && port != 443) url += ":" + std::to_string(port);
  return url + path;
}

std::string CookieFileName(const std::string& label, const std::string& host, int n) {
  return label + "@" + SafeComponent(HostWithoutDot(host), 200) + "[" + std::to_string(n) + "].txt";
}

std::string ContentTypeOf(const std::string& responseHead) {
  std::size_t at = 0;
  while (at < responseHead.size()) {
    std::size_t end = responseHead.find('\n', at);
    if (end == std::string::npos) end = responseHead.size();
    std::string_view line(responseHead.data() + at, end - at);
    static constexpr std::string_view kName = "content-type:";
    bool matches = line.size() >= kName.size();
    for (std::size_t i = 0; matches && i < kName.size(); ++i)
      matches = static_cast<char>(line[i] | 0x20) == kName[i] || line[i] == kName[i];
    if (matches) {
      std::string_view value = line.substr(kName.size());
      value = value.substr(0, value.find_first_of(";\r"));
      std::size_t first = value.find_first_not_of(" \t");
      std::size_t last = value.find_last_not_of(" \t");
      return first == std::string_view::npos ? std::string()
                                             : std::string(value.substr(first, last - first + 1));
    }
    at = end + 1;
  }
  return {};
}

std::string CachedFileName(const std::string& url, const std::string& responseHead,
                           const MimeGlobs& globs) {
  std::string_view segment = LastSegment(url);
  std::string_view stem = segment;
  std::string ext;
  std::size_t dot = segment.rfind('.');
  if (dot != std::string_view::npos && dot > 0 && segment.size() - dot - 1 <= kExtensionCap &&
      AllAlphanumeric(segment.substr(dot + 1))) {
    stem = segment.substr(0, dot);
    ext = std::string(segment.substr(dot + 1));
  } else {
    ext = SafeComponent(globs.ExtensionOf(ContentTypeOf(responseHead)), kExtensionCap);
  }
  std::string name = SafeComponent(stem, kNameCap);
  if (name.empty()) name = "index";
  name += "[1]";
  return ext.empty() ? name : name + "." + ext;
}

}  // namespace sources
