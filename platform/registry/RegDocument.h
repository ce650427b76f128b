// A registry store file in the REGEDIT4 export format, kept line by line so
// that a write changes only the lines of the values it sets: other keys,
// comments, blank lines, spacing and line ends stay byte for byte as they
// were.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/RegValueText.h"

namespace regfile {

class RegDocument {
 public:
  // Parses the text of a store file. Null when it does not start with the
  // REGEDIT4 line or holds anything this code could not write back exactly
  // (an unknown line, a value outside a key, a key given twice, a deletion);
  // such a file must be left as it is.
  static std::optional<RegDocument> Parse(std::string_view text);

  // The text of a new store file: the REGEDIT4 line alone, with the CR LF
  // line ends that regedit writes.
  static RegDocument New();

  // Key paths are full section names ("HKEY_CURRENT_USER\Software\...");
  // keys and value names compare without regard to ASCII letter case.
  bool HasKey(std::string_view key) const;

  // Appends the key's section at the end of the file after a blank line.
  // The key must not exist yet.
  void AddKey(std::string_view key);

  // The value, or null when the key or the value does not exist.
  const RegValue* Find(std::string_view key, std::string_view name) const;

  // Rewrites the value's line in place, keeping its name's spelling, or adds
  // a line after the key's last value. The key must exist. False, with the
  // document unchanged, when the name cannot be written on one line.
  bool Set(std::string_view key, std::string_view name, const RegValue& value);

  std::string Text() const;

 private:
  enum class Kind { kOther, kSection, kValue };
  // One line of the file, or a value with its continuation lines; `raw`
  // holds the exact bytes, line ends included.
  struct Entry {
    Kind kind = Kind::kOther;
    std::string raw;
    std::string name;  // the key of a section, the name of a value
    RegValue value;
  };

  // Index of the key's section entry, or entries_.size().
  std::size_t SectionIndex(std::string_view key) const;
  // Index of the key's last value named `name`, or entries_.size().
  std::size_t ValueIndex(std::size_t section, std::string_view name) const;
  // Gives the entry before `index` a line end, so that a line can follow it.
  void EndLineBefore(std::size_t index);

  std::vector<Entry> entries_;
  std::string newline_;  // the line end of the REGEDIT4 line, used for new lines
};

}  // namespace regfile
