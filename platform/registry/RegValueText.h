// The text forms of names and data in a REGEDIT4 file, as regedit writes and
// reads them:  "Name"="text"  "Name"=dword:0000002a  "Name"=hex:01,02
// "Name"=hex(7):61,00,00  @="default value".
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace regfile {

// A value's type and its bytes, as RegQueryValueExA hands them out (a string
// with its terminating zero).
struct RegValue {
  DWORD type = 0;
  std::vector<BYTE> data;

  bool operator==(const RegValue&) const = default;
};

// Registry names compare without regard to ASCII letter case.
bool SameName(std::string_view a, std::string_view b);

// Spaces and tabs, the only blanks a REGEDIT4 line may carry around its parts.
std::string_view TrimLeft(std::string_view text);
std::string_view TrimRight(std::string_view text);

// Splits a value line (leading blanks removed) into its name ("" for @) and
// the data text after '='. Null when the line is not a value line.
struct NameAndData {
  std::string name;
  std::string_view data;
};
std::optional<NameAndData> SplitValueLine(std::string_view line);

// True when `data` is in hex form and its line ends with the '\' that joins
// the next line to it.
bool ContinuesOnNextLine(std::string_view data);

// Decodes the data text of one value (continuations already joined). Null for
// anything regedit would not have written: unknown forms, bad escapes, bad
// digits, deletion marks ("-").
std::optional<RegValue> DecodeData(std::string_view data);

// The line for a value as regedit writes it, without a line end: the string
// form for a REG_SZ that holds one line of text with its terminator, dword
// for a 4-byte REG_DWORD, hex otherwise. Null when the name cannot be written
// on one line.
std::optional<std::string> EncodeValueLine(std::string_view name, const RegValue& value);

}  // namespace regfile
