#include "ui/HistoryTarget.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <optional>
#include <string_view>

namespace {

// A desktop entry declares its group within its first lines.
constexpr std::size_t kSniffBytes = 4096;

std::string LowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// The URL's scheme, lower-cased; empty when the text has none.
std::string SchemeOf(std::string_view url) {
  const std::size_t colon = url.find(':');
  if (colon == std::string_view::npos || colon == 0) return {};
  if (!std::isalpha(static_cast<unsigned char>(url[0]))) return {};
  for (char c : url.substr(0, colon)) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') return {};
  }
  return LowerAscii(url.substr(0, colon));
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The local path of a file: URL, percent-decoded; null for another host, a
// bad escape or an escaped NUL.
std::optional<std::string> LocalPathOf(std::string_view url) {
  std::string_view rest = url.substr(url.find(':') + 1);
  rest = rest.substr(0, rest.find_first_of("?#"));
  if (rest.starts_with("//")) {
    rest.remove_prefix(2);
    const std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos) return std::nullopt;
    const std::string host = LowerAscii(rest.substr(0, slash));
    if (!host.empty() && host != "localhost") return std::nullopt;
    rest.remove_prefix(slash);
  }
  if (!rest.starts_with('/')) return std::nullopt;
  std::string path;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] != '%') {
      path.push_back(rest[i]);
      continue;
    }
    if (i + 2 >= rest.size()) return std::nullopt;
    const int high = HexValue(rest[i + 1]), low = HexValue(rest[i + 2]);
    if (high < 0 || low < 0 || (high == 0 && low == 0)) return std::nullopt;
    path.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return path;
}

bool NamesDesktopEntry(const std::string& path) {
  return LowerAscii(path).ends_with(".desktop");
}

// Opens without blocking (a FIFO) and checks the opened file itself.
bool IsPlainDocument(const std::string& path) {
  if (NamesDesktopEntry(path)) return false;
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  struct stat st {};
  bool plain = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
               (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) == 0;
  if (plain) {
    std::string head(kSniffBytes, '\0');
    const ssize_t got = read(fd, head.data(), head.size());
    plain = got >= 0 &&
            std::string_view(head.data(), static_cast<std::size_t>(got)).find("[Desktop Entry]") ==
                std::string_view::npos;
  }
  close(fd);
  return plain;
}

}  // namespace

bool MayOpenHistoryTarget(const std::string& target) {
  const std::string scheme = SchemeOf(target);
  if (scheme == "http" || scheme == "https" || scheme == "ftp") return true;
  if (scheme != "file") return false;
  const std::optional<std::string> path = LocalPathOf(target);
  return path && IsPlainDocument(*path);
}
