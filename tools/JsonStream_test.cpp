// The streamed JSON against the library's own dump of the same document.
#include "tools/JsonStream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

namespace {

using Json = nlohmann::ordered_json;

// Streams `value` as the report streams its parts.
void Stream(JsonStream& out, const Json& value) {
  if (value.is_object()) {
    out.BeginObject();
    for (const auto& [key, member] : value.items()) {
      out.Key(key);
      Stream(out, member);
    }
    out.EndObject();
  } else if (value.is_array()) {
    out.BeginArray();
    for (const Json& item : value) Stream(out, item);
    out.EndArray();
  } else if (value.is_string()) {
    out.String(value.get_ref<const std::string&>());
  } else {
    out.Number(value.get<std::int64_t>());
  }
}

std::string Streamed(const Json& value) {
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* memory = open_memstream(&text, &size);
  {
    JsonStream out(memory);
    Stream(out, value);
    out.Raw("\n");
  }
  std::fclose(memory);
  std::string result(text, size);
  std::free(text);
  return result;
}

TEST(JsonStream, WritesWhatTheLibraryDumps) {
  const std::string texts[] = {"plain",
                               "",
                               "quote \" and \\ backslash",
                               "crlf\r\nfake.test",
                               "tab\t\x01\x1f\x7f",
                               "ünï \u2028 😀",
                               "bad \xff\xfe bytes",
                               "cut \xe2\x82",
                               "\xc3\x28 overlong \xc0\xaf",
                               std::string("zero \0 byte", 11)};
  Json document = Json::object();
  document["sites"] = Json::array();
  for (const std::string& text : texts) document["sites"].push_back(text);
  document["empty"] = Json::array();
  document["none"] = Json::object();
  Json nested = Json::object();
  for (const std::string& text : texts) nested[text] = text;
  nested["counts"] = {{"images", 3}, {"negative", -7}, {"large", 4000000000LL}};
  document["per_site"] = Json::array({nested, Json::array({Json::array(), 1}), Json::object()});
  const std::string dumped = document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
  EXPECT_EQ(Streamed(document), dumped);
}

// String says which texts went out as they stand: the report takes those
// for UTF-8 without looking again.
TEST(JsonStream, StringTellsATextWrittenAsItStands) {
  JsonStream part(JsonStream::AfterValue{0});
  for (const char* plain : {"", "http://a.test/?q=1&x=~", "DEL \x7f stays"})
    EXPECT_TRUE(part.String(plain)) << plain;
  for (const char* escaped : {"quote \"", "back\\slash", "crlf\r\n", "ünï", "bad \xff"})
    EXPECT_FALSE(part.String(escaped)) << escaped;
}

// A byte that needs escaping is seen wherever it stands in a text of any
// length, also in the last bytes of a long one.
TEST(JsonStream, StringSeesABadByteAnywhere) {
  for (std::size_t length = 1; length <= 40; ++length)
    for (std::size_t at = 0; at < length; ++at)
      for (const char bad : {'"', '\\', '\x01', '\x1f', '\x80', '\xff'}) {
        std::string text(length, 'a');
        text[at] = bad;
        JsonStream part(JsonStream::AfterValue{0});
        ASSERT_FALSE(part.String(text)) << length << " at " << at << " byte " << int(bad);
        text[at] = '~';
        ASSERT_TRUE(part.String(text)) << length << " at " << at;
      }
}

// Indents deeper than a few dozen levels come out as the library's.
TEST(JsonStream, DeepNestingIsIndentedAsDumped) {
  Json document = Json::array({"bottom", 1});
  for (int depth = 0; depth < 45; ++depth)
    document = depth % 2 ? Json::array({document, "x"}) : Json::object({{"k", document}});
  EXPECT_EQ(Streamed(document), document.dump(2) + "\n");
}

// Output larger than the stream's buffer arrives whole and in order.
TEST(JsonStream, LongOutputArrivesWhole) {
  Json document = Json::array();
  for (int i = 0; i < 20000; ++i) document.push_back("/cache/" + std::to_string(i) + "[1].gif");
  EXPECT_EQ(Streamed(document), document.dump(2) + "\n");
}

// The values of an array written in two parts, the second apart into
// memory and appended after the first, read as the array written whole;
// also when the second part is larger than the stream's buffer.
TEST(JsonStream, APartWrittenApartContinuesTheDocument) {
  for (const int count : {2, 3, 9000}) {
    Json document = Json::object();
    document["per_site"] = Json::array();
    for (int i = 0; i < count; ++i)
      document["per_site"].push_back({{"key", "site" + std::to_string(i)},
                                      {"images", Json::array({"/a/" + std::to_string(i)})},
                                      {"pages", Json::array()}});
    const Json& sites = document["per_site"];
    const std::size_t half = sites.size() / 2;
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* memory = open_memstream(&text, &size);
    {
      JsonStream out(memory);
      out.BeginObject();
      out.Key("per_site");
      out.BeginArray();
      for (std::size_t i = 0; i < half; ++i) Stream(out, sites[i]);
      JsonStream part(JsonStream::AfterValue{out.Depth()});
      for (std::size_t i = half; i < sites.size(); ++i) Stream(part, sites[i]);
      out.Raw(part.Take());
      out.EndArray();
      out.EndObject();
      out.Raw("\n");
    }
    std::fclose(memory);
    const std::string streamed(text, size);
    std::free(text);
    EXPECT_EQ(streamed, document.dump(2) + "\n") << count;
  }
}

}  // namespace
