#include "platform/shell/testing/FakeDesktop.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <thread>

namespace shell::testing {

namespace fs = std::filesystem;

namespace {

bool WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}

// The script embeds paths in single quotes; ours come from mkdtemp and the
// test's own names, so a quote in them is a test bug.
std::string SingleQuoted(const std::string& text) {
  return "'" + text + "'";
}

}  // namespace

bool WriteRecordingProgram(const std::string& program, const std::string& record) {
  std::string script =
      "#!/bin/sh\n"
      "record=" +
      SingleQuoted(record) +
      "\n"
      "{ printf '%s\\0' \"$(pwd -P)\"; printf '%s\\0' \"$@\"; } > \"$record.part\" &&\n"
      "  mv \"$record.part\" \"$record\"\n";
  if (!WriteFile(program, script)) return false;
  return ::chmod(program.c_str(), 0755) == 0;
}

std::optional<RecordedStart> WaitForRecord(const std::string& record,
                                           std::chrono::milliseconds patience) {
  auto deadline = std::chrono::steady_clock::now() + patience;
  std::error_code ec;
  while (!fs::exists(record, ec)) {
    if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::ifstream in(record, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t end; (end = bytes.find('\0', start)) != std::string::npos; start = end + 1) {
    fields.push_back(bytes.substr(start, end - start));
  }
  if (fields.empty() || start != bytes.size()) return std::nullopt;
  RecordedStart result;
  result.workingDirectory = fields.front();
  result.arguments.assign(fields.begin() + 1, fields.end());
  return result;
}

FakeDesktop::FakeDesktop() {
  if (dir_.path().empty()) return;
  std::error_code ec;
  const fs::path root = fs::canonical(dir_.path(), ec);
  if (ec) return;
  fs::create_directories(root / "share/mime", ec);
  fs::create_directories(root / "share/applications", ec);
  fs::create_directories(root / "bin", ec);
  fs::create_directories(root / "home/share", ec);
  fs::create_directories(root / "home/config", ec);
  fs::create_directories(root / "etc-xdg", ec);

  bool ok = WriteFile(root / "share/mime/globs2", std::string("50:") + kTraceType + ":*.trace\n");
  std::string cache = "[MIME Cache]\n";
  cache += std::string(kTraceType) + "=" + kAlphaId + ";" + kBetaId + ";\n";
  ok = ok && WriteFile(root / "share/applications/mimeinfo.cache", cache);
  for (const char* name : {"alpha", "beta"}) {
    std::string program = (root / "bin" / name).string();
    ok = ok && WriteRecordingProgram(program, (root / (std::string("launched-") + name)).string());
    std::string title = name;
    title[0] = static_cast<char>(title[0] - 'a' + 'A');
    std::string entry = "[Desktop Entry]\nType=Application\nName=" + title +
                        " Viewer\nExec=" + program +
                        " %f\nIcon=image-x-generic\nMimeType=" + kTraceType + ";\n";
    ok = ok &&
         WriteFile(root / "share/applications" / ("sitelore-" + std::string(name) + ".desktop"),
                   entry);
  }
  if (ok) root_ = root.string();
}

void FakeDesktop::Activate() const {
  fs::path root(root_);
  ::setenv("XDG_DATA_DIRS", (root / "share").c_str(), 1);
  ::setenv("XDG_DATA_HOME", (root / "home/share").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (root / "home/config").c_str(), 1);
  ::setenv("XDG_CONFIG_DIRS", (root / "etc-xdg").c_str(), 1);
  ::unsetenv("XDG_CURRENT_DESKTOP");
  ::setenv("GIO_USE_VFS", "local", 1);
  ::setenv("GSETTINGS_BACKEND", "memory", 1);
  ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + (root / "no-bus").string()).c_str(), 1);
}

std::string FakeDesktop::RecordOf(const std::string& application) const {
  return (fs::path(root_) / ("launched-" + application)).string();
}

}  // namespace shell::testing
