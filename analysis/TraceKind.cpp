#include "analysis/TraceKind.h"

#include "platform/common/AsciiCase.h"

#include <algorithm>
#include <new>

namespace {

// No table member is longer than five bytes.
constexpr std::size_t kLongestExtension = 5;

// An extension of at most kLongestExtension bytes as one number: its bytes
// with their capitals lowered, below its length, so that the numbers of
// texts of different lengths differ.
constexpr std::uint64_t PackedLowered(std::string_view extension) {
  std::uint64_t packed = extension.size();
  for (char c : extension)
    packed = packed << 8 | static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
  return packed;
}

template <std::size_t N>
constexpr std::array<std::uint64_t, N> PackedTable(const std::array<std::string_view, N>& table) {
  std::array<std::uint64_t, N> packed{};
  for (std::size_t i = 0; i < N; ++i) packed[i] = PackedLowered(table[i]);
  return packed;
}

template <std::size_t N>
constexpr bool NoneLongerThan(const std::array<std::string_view, N>& table, std::size_t most) {
  for (std::string_view member : table)
    if (member.size() > most) return false;
  return true;
}
static_assert(NoneLongerThan(ImageExtensions, kLongestExtension) &&
              NoneLongerThan(PageExtensions, kLongestExtension) &&
              NoneLongerThan(MediaExtensions, kLongestExtension));

constexpr auto kPackedImages = PackedTable(ImageExtensions);
constexpr auto kPackedPages = PackedTable(PageExtensions);
constexpr auto kPackedMedia = PackedTable(MediaExtensions);

template <std::size_t N>
bool InTable(const std::array<std::uint64_t, N>& table, std::uint64_t extension) {
  for (std::uint64_t member : table)
    if (member == extension) return true;
  return false;
}

bool EndsAName(char c) {
  return c == '.' || c == '\\' || c == ':' || c == '/';
}

}  // namespace

TTraceKind ClassifyFile(std::string_view FileName) {
  // The last dot or separator, looked for no further back than an
  // extension of a table can reach: past that, the name is tkOther anyway.
  const std::size_t stop = FileName.size() - std::min(FileName.size(), kLongestExtension + 1);
  std::size_t start = FileName.size();
  while (start > stop && !EndsAName(FileName[start - 1])) --start;
  if (start == stop || FileName[start - 1] != '.') return tkOther;
  const std::uint64_t extension = PackedLowered(FileName.substr(start));
  if (InTable(kPackedImages, extension)) return tkImages;
  if (InTable(kPackedPages, extension)) return tkPages;
  if (InTable(kPackedMedia, extension)) return tkMedia;
  return tkOther;
}

namespace {

bool IsCapital(char c) {
  return c >= 'A' && c <= 'Z';
}

// Where the first "www." of `site`, in any letter case, ends; 0 for none.
std::size_t AfterFirstWww(std::string_view site) {
  for (std::size_t at = 0; at + 4 <= site.size(); ++at)
    if (site[at + 3] == '.' && AsciiToLower(site[at]) == 'w' &&
        AsciiToLower(site[at + 1]) == 'w' && AsciiToLower(site[at + 2]) == 'w')
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
