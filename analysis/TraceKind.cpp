#include "analysis/TraceKind.h"

#include "platform/common/AsciiCase.h"

#include <algorithm>
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

namespace {

bool IsCapital(char c) {
  return c >= 'A' && c <= 'Z';
}

// Where the first "www." of `site`, in any letter case, ends; 0 for none.
std::size_t AfterFirstWww(std::string_view site) {
  for (std::size_t at = 0; at + 4 <= site.size(); ++at)
    if (AsciiToLower(site[at]) == 'w' && AsciiToLower(site[at + 1]) == 'w' &&
        AsciiToLower(site[at + 2]) == 'w' && site[at + 3] == '.')
      return at + 4;
  return 0;
}

}  // namespace

std::string_view SiteKeyOf(std::string_view URL, std::string& Scratch) {
  // Lowering would not move "://", "/" or "www.", so the search runs on the
  // original text, and a key without capitals is a piece of it as it is.
  const std::size_t scheme = URL.find("://");
  const std::size_t start = scheme == std::string_view::npos ? 0 : scheme + 3;
  std::string_view site = URL.substr(start, URL.find('/', start) - start);
  site.remove_prefix(AfterFirstWww(site));
  if (std::none_of(site.begin(), site.end(), IsCapital)) return site;
  Scratch.assign(site);
  AsciiLowerInPlace(Scratch);
  return Scratch;
}

std::string SiteFromURL(std::string_view URL) {
  try {
    std::string scratch;
    return std::string(SiteKeyOf(URL, scratch));
  } catch (...) {
    return std::string();
  }
}
