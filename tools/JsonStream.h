// JSON written as it is produced, in the layout of nlohmann::json's
// dump(2) with invalid UTF-8 replaced by U+FFFD: the report of every site
// is streamed instead of being built as one document tree first.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "platform/common/LargeBuffer.h"

class JsonStream {
 public:
  // Writes to `out` through a buffer of its own; Flush (or destruction)
  // hands the rest to `out`.
  explicit JsonStream(std::FILE* out);
  // A part of a document written apart, into memory, to be appended (Raw)
  // where a value of the innermost of `depth` open containers was written:
  // its first value continues that container.
  struct AfterValue {
    std::size_t depth;
  };
  // `room`: the bytes the part is expected to take; it grows past them.
  explicit JsonStream(AfterValue where, std::size_t room = 0);
  ~JsonStream();
  JsonStream(const JsonStream&) = delete;
  JsonStream& operator=(const JsonStream&) = delete;

  void BeginObject();
  void EndObject();
  void BeginArray();
  void EndArray();
  // The member name of the next value, inside an object.
  void Key(std::string_view name);
  // True when the text went out as it stands: printable ASCII, hence also
  // UTF-8.
  bool String(std::string_view text);
  void Number(std::int64_t value);
  // Bytes after the last value (a final line feed).
  void Raw(std::string_view text);

  void Flush();

  // The open containers.
  std::size_t Depth() const { return levels_.size(); }
  // The text of a part written into memory. Its large blocks are huge
  // pages, kept ones where the process has them.
  using Text = std::basic_string<char, std::char_traits<char>, platform::HugePageAllocator<char>>;
  Text Take() { return std::move(buffer_); }

 private:
  struct Level {
    bool empty = true;
  };
  // The separator, line break and indent before a value or a key.
  void BeforeValue();
  void BeginContainer(char open);
  void EndContainer(char close);
  bool Quoted(std::string_view text);
  void Append(std::string_view text);

  std::FILE* out_;  // null for a part written into memory
  Text buffer_;
  std::vector<Level> levels_;
  bool afterKey_ = false;
};
