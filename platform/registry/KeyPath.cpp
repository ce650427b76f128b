#include "platform/registry/KeyPath.h"

#include <string_view>
#include <vector>

#include "platform/registry/RegValueText.h"

namespace regstore {
namespace {

constexpr std::size_t kMaxPartLength = 255;

bool HasControlCharacter(std::string_view part) {
  for (unsigned char c : part) {
    if (c < 0x20 || c == 0x7f) return true;
  }
  return false;
}

bool CanNameFile(std::string_view part) {
  return part != "." && part != ".." && part.find('/') == std::string_view::npos;
}

}  // namespace

DWORD PlaceOfKey(LPCSTR subKey, KeyPlace& place) {
  std::string_view path = subKey ? subKey : "";
  if (path.empty()) return ERROR_ACCESS_DENIED;
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    std::size_t end = path.find('\\', start);
    std::string_view part = path.substr(start, end == std::string_view::npos ? end : end - start);
    if (part.empty() || part.size() > kMaxPartLength || HasControlCharacter(part)) {
      return ERROR_INVALID_PARAMETER;
    }
    parts.push_back(part);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  if (parts.size() < 3 || !regfile::SameName(parts[0], "Software") || !CanNameFile(parts[1]) ||
      !CanNameFile(parts[2])) {
    return ERROR_ACCESS_DENIED;
  }
  place.vendor = parts[1];
  place.product = parts[2];
  place.section = "HKEY_CURRENT_USER\\" + std::string(path);
  return ERROR_SUCCESS;
}

}  // namespace regstore
