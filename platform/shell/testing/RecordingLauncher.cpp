#include "platform/shell/testing/RecordingLauncher.h"

namespace shell {

LaunchResult RecordingLauncher::Open(const std::string& target, const std::string& directory) {
  requests.push_back({LaunchRequest::kOpen, target, directory, {}});
  return openResult;
}

bool RecordingLauncher::OpenWith(const std::string& applicationId, const std::string& path) {
  requests.push_back({LaunchRequest::kOpenWith, path, {}, applicationId});
  return openWithResult;
}

bool RecordingLauncher::ShowInFolder(const std::string& path, std::function<void()> failed) {
  requests.push_back({LaunchRequest::kShowInFolder, path, {}, {}});
  if (showInFolderSent) waitingShowInFolder_.push_back(std::move(failed));
  return showInFolderSent;
}

void RecordingLauncher::AnswerShowInFolder(bool accepted) {
  std::vector<std::function<void()>> waiting;
  waiting.swap(waitingShowInFolder_);
  if (accepted) return;
  for (const std::function<void()>& failed : waiting)
    if (failed) failed();
}

}  // namespace shell
