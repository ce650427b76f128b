// A launcher for tests: records every request instead of starting anything,
// and answers with results the test chooses.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/shell/Launcher.h"

namespace shell {

struct LaunchRequest {
  enum Kind { kOpen, kOpenWith, kShowInFolder };
  Kind kind = kOpen;
  std::string target;       // the target, file or address
  std::string directory;    // kOpen: the working directory
  std::string application;  // kOpenWith: the desktop-file id

  bool operator==(const LaunchRequest&) const = default;
};

class RecordingLauncher : public Launcher {
 public:
  LaunchResult Open(const std::string& target, const std::string& directory) override;
  bool OpenWith(const std::string& applicationId, const std::string& path) override;
  // Records the request and keeps `failed` until AnswerShowInFolder.
  bool ShowInFolder(const std::string& path, std::function<void()> failed) override;

  // The file manager's answer to every ShowInFolder request still waiting:
  // a refusal runs their `failed`.
  void AnswerShowInFolder(bool accepted);

  // Every request so far, oldest first.
  std::vector<LaunchRequest> requests;

  // What the next requests answer.
  LaunchResult openResult = LaunchResult::kStarted;
  bool openWithResult = true;
  // False: the ShowInFolder request cannot even be made.
  bool showInFolderSent = true;

 private:
  std::vector<std::function<void()>> waitingShowInFolder_;
};

}  // namespace shell
