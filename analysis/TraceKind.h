// The six kinds of trace, the extension tables that sort cached files into
// them, and the site key that groups URLs by web site. Pure functions.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

enum TTraceKind : std::uint8_t { tkImages, tkPages, tkMedia, tkOther, tkCookies, tkHistory };

inline constexpr std::array<std::string_view, 10> ImageExtensions = {
    "gif", "jpg", "jpeg", "tif", "tiff", "xbm", "fif", "bmp", "png", "ani"};
inline constexpr std::array<std::string_view, 17> PageExtensions = {
    "htm", "html", "phtml", "asp", "stm", "stml", "ids", "shtml", "htx",
    "txt", "text", "xml",   "cfm", "php", "php3", "pl",  "cgi"};
inline constexpr std::array<std::string_view, 14> MediaExtensions = {
    "mpg", "avi", "mpeg", "mov", "fli", "flc",  "viv",
    "wav", "mp3", "mp2",  "mid", "aif", "riff", "swf"};

// The kind of a cached file by the extension after the last dot of its name:
// tkImages, tkPages, tkMedia, or tkOther for anything else (no extension, a
// dot only in a folder name, an extension in no table). A dot counts only
// after the last "\", ":" or "/".
TTraceKind ClassifyFile(std::string_view FileName);

// The site key of a URL: lower-cased, from after the first "://" (or the
// start) up to the first "/", with everything up to and including the first
// "www." removed. Empty when the URL has no site. Letters are lowered in
// ASCII only, so the key is always a piece of the ASCII-lowered URL.
std::string SiteFromURL(std::string_view URL);
// The same key without a copy where the URL holds it in lower case: a view
// into `URL`, or else into `Scratch`, valid while both are unchanged.
std::string_view SiteKeyOf(std::string_view URL, std::string& Scratch);
