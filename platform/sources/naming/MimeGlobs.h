// The usual file extension of a MIME type, from shared-mime-info's package
// XML: the first "*.<ext>" glob of the type (or of the type it is an alias
// of). The package XML, not globs2, because globs2's order gives "dib" for
// image/bmp and "vob" for video/mpeg.
#pragma once

#include <string>
#include <unordered_map>

namespace sources {

inline constexpr const char* kFreedesktopMimeXml = "/usr/share/mime/packages/freedesktop.org.xml";

class MimeGlobs {
 public:
  // Reads `xmlPath`; a missing or unreadable file gives an empty table.
  explicit MimeGlobs(const std::string& xmlPath = kFreedesktopMimeXml);
  static MimeGlobs FromText(const std::string& xml);

  // The extension without the dot for a type such as "image/png" (any case,
  // parameters allowed); empty when the type has none.
  std::string ExtensionOf(const std::string& contentType) const;
  std::size_t size() const { return extensions_.size(); }

 private:
  struct Empty {};
  explicit MimeGlobs(Empty) {}
  void Parse(const std::string& xml);
  std::unordered_map<std::string, std::string> extensions_;
};

}  // namespace sources
