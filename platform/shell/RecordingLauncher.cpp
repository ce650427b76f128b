#include "platform/shell/RecordingLauncher.h"

namespace shell {

LaunchResult RecordingLauncher::Open(const std::string& target, const std::string& directory) {
  requests.push_back({LaunchRequest::kOpen, target, directory, {}});
  return openResult;
}

bool RecordingLauncher::OpenWith(const std::string& applicationId, const std::string& path) {
  requests.push_back({LaunchRequest::kOpenWith, path, {}, applicationId});
  return openWithResult;
}

bool RecordingLauncher::ShowInFolder(const std::string& path) {
  requests.push_back({LaunchRequest::kShowInFolder, path, {}, {}});
  return showInFolderResult;
}

}  // namespace shell
