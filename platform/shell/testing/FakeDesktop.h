// Test support: a private freedesktop.org desktop in a temporary folder, and
// programs that record how they were started instead of doing anything.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/testing/TempDir.h"

namespace shell::testing {

// How a recording program was started.
struct RecordedStart {
  std::string workingDirectory;  // physical path
  std::vector<std::string> arguments;
};

// Writes an executable script at `program` that, when run, records its
// working directory and arguments (byte for byte) into `record`, replacing
// it atomically. Returns false when the script cannot be written.
bool WriteRecordingProgram(const std::string& program, const std::string& record);

// Waits until `record` exists, then reads it; none when it has not appeared
// within `patience` or cannot be parsed.
std::optional<RecordedStart> WaitForRecord(
    const std::string& record, std::chrono::milliseconds patience = std::chrono::seconds(20));

// A desktop with one MIME type, kTraceType, given to files named "*.trace",
// and two applications associated with it, "Alpha Viewer" (kAlphaId) and
// "Beta Viewer" (kBetaId), whose programs record their starts into
// RecordOf("alpha") and RecordOf("beta").
class FakeDesktop {
 public:
  static constexpr const char* kTraceType = "application/x-sitelore-trace";
  static constexpr const char* kAlphaId = "sitelore-alpha.desktop";
  static constexpr const char* kBetaId = "sitelore-beta.desktop";

  // Creates the folder and its files; root() is empty when that failed.
  FakeDesktop();
  FakeDesktop(const FakeDesktop&) = delete;
  FakeDesktop& operator=(const FakeDesktop&) = delete;

  // Points the XDG folders (data, config) at this desktop, keeps GIO to its
  // local file system and gives D-Bus a session bus address where there is
  // no bus. GIO reads these once per process: call this before the first
  // GIO call of the process.
  void Activate() const;

  const std::string& root() const { return root_; }
  std::string RecordOf(const std::string& application) const;

 private:
  fixture::TempDir dir_;  // removed with everything in it
  std::string root_;
};

}  // namespace shell::testing
