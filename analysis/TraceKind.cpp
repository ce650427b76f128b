#include "analysis/TraceKind.h"

#include "platform/common/AsciiCase.h"

#include <new>

namespace {

template <std::size_t N>
bool InTable(const std::array<std::string_view, N>& table, std::string_view extension) {
  for (std::string_view member : table)
    if (member == extension) return true;
  return false;
}

}  // namespace

TTraceKind ClassifyFile(std::string_view FileName) {
  const std::size_t last = FileName.find_last_of(".\\:/");
  if (last == std::string_view::npos || FileName[last] != '.') return tkOther;
  const std::string_view raw = FileName.substr(last + 1);
  // No table member is longer than five letters.
  if (raw.size() > 5) return tkOther;
  char buffer[5];
  AsciiLowerCopy(raw.data(), buffer, raw.size());
  const std::string_view extension(buffer, raw.size());
  if (InTable(ImageExtensions, extension)) return tkImages;
  if (InTable(PageExtensions, extension)) return tkPages;
  if (InTable(MediaExtensions, extension)) return tkMedia;
  return tkOther;
}

std::string SiteFromURL(std::string_view URL) {
  try {
    // Lowering first would not move "://", "/" or "www.", so the search runs
    // on the original text and only the site text is lowered.
    const std::size_t scheme = URL.find("://");
    const std::size_t start = scheme == std::string_view::npos ? 0 : scheme + 3;
    std::string site(URL.substr(start, URL.find('/', start) - start));
    AsciiLowerInPlace(site);
    if (const std::size_t www = site.find("www."); www != std::string::npos) site.erase(0, www + 4);
    return site;
  } catch (...) {
    return std::string();
  }
}
