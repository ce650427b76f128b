#include "ui/ShellOpen.h"

#include <gtest/gtest.h>

#include "platform/shell/DesktopLauncher.h"
#include "platform/shell/testing/RecordingLauncher.h"

namespace {

using shell::LaunchRequest;

TEST(ShellOpenTest, HandsTheTargetToTheShellsOpen) {
  shell::RecordingLauncher launcher;
  shell::ScopedLauncher scoped(launcher);
  EXPECT_TRUE(ShellOpen("http://www.brightmoor.example/tidewell/"));
  EXPECT_TRUE(ShellOpen("/cache/A1/it's (1).jpg"));
  ASSERT_EQ(launcher.requests.size(), 2u);
  EXPECT_EQ(
      launcher.requests[0],
      (LaunchRequest{LaunchRequest::kOpen, "http://www.brightmoor.example/tidewell/", "", {}}));
  EXPECT_EQ(launcher.requests[1],
            (LaunchRequest{LaunchRequest::kOpen, "/cache/A1/it's (1).jpg", "", {}}));
}

TEST(ShellOpenTest, TrueWhateverTheOutcome) {
  shell::RecordingLauncher launcher;
  shell::ScopedLauncher scoped(launcher);
  EXPECT_TRUE(ShellOpen(""));
  EXPECT_TRUE(launcher.requests.empty()) << "an empty target opens nothing";
  launcher.openResult = shell::LaunchResult::kNoHandler;
  EXPECT_TRUE(ShellOpen("mailto:someone@brightmoor.example"));
  EXPECT_EQ(launcher.requests.size(), 1u);

  // The real launcher refuses a file that is not there before starting
  // anything; the caller still hears true.
  shell::DesktopLauncher desktop;
  shell::ScopedLauncher real(desktop);
  EXPECT_TRUE(ShellOpen("/nonexistent/sitelore/gone.jpg"));
}

}  // namespace
