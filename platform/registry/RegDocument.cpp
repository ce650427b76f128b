#include "platform/registry/RegDocument.h"

#include <unordered_set>

#include "platform/common/AsciiCase.h"

namespace regfile {
namespace {

constexpr std::string_view kHeader = "REGEDIT4";

// Splits `text` into lines, each with its line end; a last line without one
// is kept as it is.
std::vector<std::string_view> PhysicalLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    end = end == std::string_view::npos ? text.size() : end + 1;
    lines.push_back(text.substr(0, end));
    text.remove_prefix(end);
  }
  return lines;
}

std::string_view LineEnd(std::string_view line) {
  if (line.ends_with("\r\n")) return line.substr(line.size() - 2);
  if (line.ends_with('\n')) return line.substr(line.size() - 1);
  return {};
}

std::string_view Content(std::string_view line) {
  return line.substr(0, line.size() - LineEnd(line).size());
}

}  // namespace

std::optional<RegDocument> RegDocument::Parse(std::string_view text) {
  if (text.find('\0') != std::string_view::npos) return std::nullopt;
  std::vector<std::string_view> lines = PhysicalLines(text);
  if (lines.empty() || TrimRight(Content(lines[0])) != kHeader) return std::nullopt;

  RegDocument document;
  document.newline_ = LineEnd(lines[0]).empty() ? "\r\n" : std::string(LineEnd(lines[0]));
  document.entries_.push_back({Kind::kOther, std::string(lines[0]), {}, {}});
  bool inSection = false;
  std::unordered_set<std::string> keys;  // lower-cased
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::string_view line = TrimLeft(Content(lines[i]));
    Entry entry;
    entry.raw = lines[i];
    if (line.empty() || line[0] == ';') {
      entry.kind = Kind::kOther;
    } else if (line[0] == '[') {
      line = TrimRight(line);
      if (line.size() < 3 || line.back() != ']' || line[1] == '-') return std::nullopt;
      entry.kind = Kind::kSection;
      entry.name = line.substr(1, line.size() - 2);
      if (!keys.insert(AsciiLower(entry.name)).second) return std::nullopt;
      inSection = true;
    } else {
      auto split = SplitValueLine(line);
      if (!split || !inSection) return std::nullopt;
      std::string data(split->data);
      while (ContinuesOnNextLine(data)) {
        if (++i == lines.size()) return std::nullopt;
        data.resize(TrimRight(data).size() - 1);  // without the joining backslash
        data += TrimLeft(Content(lines[i]));
        entry.raw += lines[i];
      }
      auto value = DecodeData(data);
      if (!value) return std::nullopt;
      entry.kind = Kind::kValue;
      entry.name = std::move(split->name);
      entry.value = std::move(*value);
    }
    document.entries_.push_back(std::move(entry));
  }
  return document;
}

RegDocument RegDocument::New() {
  RegDocument document;
  document.newline_ = "\r\n";
  document.entries_.push_back({Kind::kOther, std::string(kHeader) + "\r\n", {}, {}});
  return document;
}

bool RegDocument::HasKey(std::string_view key) const {
  return SectionIndex(key) != entries_.size();
}

void RegDocument::AddKey(std::string_view key) {
  EndLineBefore(entries_.size());
  const Entry& last = entries_.back();
  if (last.kind != Kind::kOther || !TrimLeft(Content(last.raw)).empty()) {
    entries_.push_back({Kind::kOther, newline_, {}, {}});
  }
  entries_.push_back(
      {Kind::kSection, "[" + std::string(key) + "]" + newline_, std::string(key), {}});
}

const RegValue* RegDocument::Find(std::string_view key, std::string_view name) const {
  std::size_t section = SectionIndex(key);
  if (section == entries_.size()) return nullptr;
  std::size_t index = ValueIndex(section, name);
  return index == entries_.size() ? nullptr : &entries_[index].value;
}

bool RegDocument::Set(std::string_view key, std::string_view name, const RegValue& value) {
  std::size_t section = SectionIndex(key);
  if (section == entries_.size()) return false;
  std::size_t index = ValueIndex(section, name);
  if (index != entries_.size()) {
    Entry& entry = entries_[index];
    auto line = EncodeValueLine(entry.name, value);
    if (!line) return false;
    entry.raw = *line + std::string(LineEnd(entry.raw));
    entry.value = value;
    return true;
  }
  auto line = EncodeValueLine(name, value);
  if (!line) return false;
  std::size_t at = section + 1;
  for (std::size_t i = section + 1; i < entries_.size() && entries_[i].kind != Kind::kSection;
       ++i) {
    if (entries_[i].kind == Kind::kValue) at = i + 1;
  }
  EndLineBefore(at);
  entries_.insert(entries_.begin() + std::ptrdiff_t(at),
                  Entry{Kind::kValue, *line + newline_, std::string(name), value});
  return true;
}

std::string RegDocument::Text() const {
  std::string text;
  for (const Entry& entry : entries_) text += entry.raw;
  return text;
}

std::size_t RegDocument::SectionIndex(std::string_view key) const {
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].kind == Kind::kSection && SameName(entries_[i].name, key)) return i;
  }
  return entries_.size();
}

std::size_t RegDocument::ValueIndex(std::size_t section, std::string_view name) const {
  std::size_t found = entries_.size();
  for (std::size_t i = section + 1; i < entries_.size() && entries_[i].kind != Kind::kSection;
       ++i) {
    // regedit lets the last of two equal names win; so do we.
    if (entries_[i].kind == Kind::kValue && SameName(entries_[i].name, name)) found = i;
  }
  return found;
}

void RegDocument::EndLineBefore(std::size_t index) {
  std::string& raw = entries_[index - 1].raw;
  if (LineEnd(raw).empty()) raw += newline_;
}

}  // namespace regfile
