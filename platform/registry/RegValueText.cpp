#include "platform/registry/RegValueText.h"

#include "platform/common/AsciiCase.h"

#include <cstdio>

namespace regfile {
namespace {

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameName(text.substr(0, prefix.size()), prefix);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = AsciiToLower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Reads 1 to `maxDigits` hex digits making up all of `text`.
std::optional<DWORD> ParseHex(std::string_view text, std::size_t maxDigits) {
  if (text.empty() || text.size() > maxDigits) return std::nullopt;
  DWORD result = 0;
  for (char c : text) {
    int digit = HexDigit(c);
    if (digit < 0) return std::nullopt;
    result = result << 4 | DWORD(digit);
  }
  return result;
}

// Reads a quoted text at the start of `text` with the escapes \\ and \" and
// moves `text` past the closing quote.
std::optional<std::string> ParseQuoted(std::string_view& text) {
  if (text.empty() || text[0] != '"') return std::nullopt;
  std::string result;
  for (std::size_t i = 1; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"') {
      text.remove_prefix(i + 1);
      return result;
    }
    if (c == '\\') {
      if (++i == text.size() || (text[i] != '\\' && text[i] != '"')) return std::nullopt;
      c = text[i];
    }
    result += c;
  }
  return std::nullopt;
}

std::string Quoted(std::string_view text) {
  std::string result = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') result += '\\';
    result += c;
  }
  return result + '"';
}

std::optional<std::vector<BYTE>> ParseHexBytes(std::string_view list) {
  std::vector<BYTE> bytes;
  if (TrimLeft(list).empty()) return bytes;
  while (true) {
    std::size_t comma = list.find(',');
    auto digits = ParseHex(TrimRight(TrimLeft(list.substr(0, comma))), 2);
    if (!digits) return std::nullopt;
    bytes.push_back(BYTE(*digits));
    if (comma == std::string_view::npos) return bytes;
    list.remove_prefix(comma + 1);
  }
}

bool IsOneLineString(const RegValue& value) {
  if (value.type != REG_SZ || value.data.empty() || value.data.back() != 0) return false;
  for (std::size_t i = 0; i + 1 < value.data.size(); ++i) {
    BYTE b = value.data[i];
    if (b == 0 || b == '\r' || b == '\n') return false;
  }
  return true;
}

std::string EncodeData(const RegValue& value) {
  char buffer[24];
  if (value.type == REG_DWORD && value.data.size() == 4) {
    DWORD number = DWORD(value.data[0]) | DWORD(value.data[1]) << 8 | DWORD(value.data[2]) << 16 |
                   DWORD(value.data[3]) << 24;
    std::snprintf(buffer, sizeof buffer, "dword:%08x", unsigned(number));
    return buffer;
  }
  if (IsOneLineString(value)) {
    return Quoted(
        std::string_view(reinterpret_cast<const char*>(value.data.data()), value.data.size() - 1));
  }
  std::string result = "hex:";
  if (value.type != REG_BINARY) {
    std::snprintf(buffer, sizeof buffer, "hex(%x):", unsigned(value.type));
    result = buffer;
  }
  for (std::size_t i = 0; i < value.data.size(); ++i) {
    std::snprintf(buffer, sizeof buffer, i ? ",%02x" : "%02x", unsigned(value.data[i]));
    result += buffer;
  }
  return result;
}

}  // namespace

bool SameName(std::string_view a, std::string_view b) {
  return AsciiEqualIgnoringCase(a, b);
}

std::string_view TrimLeft(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  return text;
}

std::string_view TrimRight(std::string_view text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::optional<NameAndData> SplitValueLine(std::string_view line) {
  NameAndData result;
  if (!line.empty() && line[0] == '@') {
    line.remove_prefix(1);
  } else {
    auto name = ParseQuoted(line);
    if (!name) return std::nullopt;
    result.name = std::move(*name);
  }
  line = TrimLeft(line);
  if (line.empty() || line[0] != '=') return std::nullopt;
  result.data = TrimLeft(line.substr(1));
  return result;
}

bool ContinuesOnNextLine(std::string_view data) {
  data = TrimRight(data);
  return StartsWithIgnoringCase(data, "hex") && !data.empty() && data.back() == '\\';
}

std::optional<RegValue> DecodeData(std::string_view data) {
  data = TrimRight(data);
  RegValue value;
  if (!data.empty() && data[0] == '"') {
    auto text = ParseQuoted(data);
    if (!text || !data.empty()) return std::nullopt;
    value.type = REG_SZ;
    value.data.assign(text->begin(), text->end());
    value.data.push_back(0);
    return value;
  }
  if (StartsWithIgnoringCase(data, "dword:")) {
    auto number = ParseHex(data.substr(6), 8);
    if (!number) return std::nullopt;
    value.type = REG_DWORD;
    for (int shift = 0; shift < 32; shift += 8) value.data.push_back(BYTE(*number >> shift));
    return value;
  }
  if (StartsWithIgnoringCase(data, "hex:")) {
    value.type = REG_BINARY;
    data.remove_prefix(4);
  } else if (StartsWithIgnoringCase(data, "hex(")) {
    std::size_t close = data.find("):");
    auto type =
        close == std::string_view::npos ? std::nullopt : ParseHex(data.substr(4, close - 4), 8);
    if (!type) return std::nullopt;
    value.type = *type;
    data.remove_prefix(close + 2);
  } else {
    return std::nullopt;
  }
  auto bytes = ParseHexBytes(data);
  if (!bytes) return std::nullopt;
  value.data = std::move(*bytes);
  return value;
}

std::optional<std::string> EncodeValueLine(std::string_view name, const RegValue& value) {
  if (name.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
    return std::nullopt;
  }
  return (name.empty() ? std::string("@") : Quoted(name)) + "=" + EncodeData(value);
}

}  // namespace regfile
