#include "platform/sources/naming/MimeGlobs.h"

#include <vector>

#include "platform/sources/files/ReadOnlyFile.h"

namespace sources {

namespace {

constexpr std::uint64_t kMaxXmlBytes = 64 << 20;

std::string AttributeOf(std::string_view element, std::string_view name) {
  std::string key = " " + std::string(name) + "=\"";
  std::size_t at = element.find(key);
  if (at == std::string_view::npos) return {};
  at += key.size();
  std::size_t end = element.find('"', at);
  return end == std::string_view::npos ? std::string() : std::string(element.substr(at, end - at));
}

// "*.png" gives "png"; patterns with other wildcards give nothing.
std::string SimpleExtension(const std::string& pattern) {
  if (pattern.size() < 3 || pattern.compare(0, 2, "*.") != 0) return {};
  std::string ext = pattern.substr(2);
  if (ext.find_first_of("*?[]/.") != std::string::npos) return {};
  return ext;
}

std::string LowerType(std::string_view type) {
  std::string lower;
  for (char c : type) {
    if (c == ';') break;
    if (c == ' ' || c == '\t') continue;
    lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return lower;
}

}  // namespace

MimeGlobs::MimeGlobs(const std::string& xmlPath) {
  ReadOnlyFile file(xmlPath);
  std::string xml;
  if (file.IsOpen() && file.ReadAll(kMaxXmlBytes, xml)) Parse(xml);
}

MimeGlobs MimeGlobs::FromText(const std::string& xml) {
  MimeGlobs globs{Empty{}};
  globs.Parse(xml);
  return globs;
}

void MimeGlobs::Parse(const std::string& xml) {
  const std::string open = "<mime-type ";
  for (std::size_t at = xml.find(open); at != std::string::npos; at = xml.find(open, at + 1)) {
    std::size_t end = xml.find("</mime-type>", at);
    if (end == std::string::npos) break;
    std::string_view block(xml.data() + at, end - at);
    std::string type = LowerType(AttributeOf(block.substr(0, block.find('>')), "type"));
    std::string ext;
    std::vector<std::string> aliases;
    for (std::size_t tag = block.find('<', 1); tag != std::string_view::npos;
         tag = block.find('<', tag + 1)) {
      std::string_view element = block.substr(tag, block.find('>', tag) - tag);
      if (element.rfind("<glob ", 0) == 0 && ext.empty())
        ext = SimpleExtension(AttributeOf(element, "pattern"));
      if (element.rfind("<alias ", 0) == 0)
        aliases.push_back(LowerType(AttributeOf(element, "type")));
    }
    if (ext.empty() || type.empty()) continue;
    extensions_.emplace(type, ext);
    for (const auto& alias : aliases) extensions_.emplace(alias, ext);
  }
}

std::string MimeGlobs::ExtensionOf(const std::string& contentType) const {
  auto found = extensions_.find(LowerType(contentType));
  return found == extensions_.end() ? std::string() : found->second;
}

}  // namespace sources
