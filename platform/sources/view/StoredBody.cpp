#include "platform/sources/view/StoredBody.h"

#include "platform/sources/chromium/SimpleCacheEntry.h"
#include "platform/sources/firefox/Cache2Entry.h"

namespace sources::view {

std::optional<StoredBody> ReadStoredBody(const ByteSource& file, BrowserKind layout,
                                         std::uint64_t limit, std::string& problem) {
  std::optional<CachedResponse> response = layout == BrowserKind::kFirefox
                                               ? firefox::ParseCache2Entry(file, problem)
                                               : chromium::ParseSimpleCacheEntry(file, problem);
  if (!response) return std::nullopt;
  const std::uint64_t size = file.Size();
  if (response->bodyOffset > size || response->bodyLength > size - response->bodyOffset) {
    problem = "body reaches past the end of the file";
    return std::nullopt;
  }
  if (response->bodyLength > limit) {
    problem = "body larger than " + std::to_string(limit) + " bytes";
    return std::nullopt;
  }
  StoredBody body;
  if (!file.ReadAt(response->bodyOffset, static_cast<std::size_t>(response->bodyLength),
                   body.bytes)) {
    problem = "body unreadable";
    return std::nullopt;
  }
  body.url = std::move(response->url);
  body.responseHead = std::move(response->responseHead);
  return body;
}

}  // namespace sources::view
