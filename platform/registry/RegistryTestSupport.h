// For tests of the registry and its users: a temporary XDG_CONFIG_HOME,
// files read and written whole, and child processes started together.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "platform/testing/TempDir.h"

namespace regtest {

// Points XDG_CONFIG_HOME at a new empty folder for its lifetime, then puts
// the old value back and removes the folder.
class TempConfigHome {
 public:
  TempConfigHome() : path_(dir_.path()) {
    if (path_.empty()) std::abort();
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) old_ = old;
    setenv("XDG_CONFIG_HOME", path_.c_str(), 1);
  }
  ~TempConfigHome() {
    if (old_) {
      setenv("XDG_CONFIG_HOME", old_->c_str(), 1);
    } else {
      unsetenv("XDG_CONFIG_HOME");
    }
  }
  TempConfigHome(const TempConfigHome&) = delete;
  TempConfigHome& operator=(const TempConfigHome&) = delete;

  const std::string& Path() const { return path_; }
  std::string Folder() const { return path_ + "/Brightmoor"; }
  std::string StoreFile() const { return Folder() + "/Tidewell.reg"; }

 private:
  fixture::TempDir dir_;
  std::string path_;
  std::optional<std::string> old_;
};

// The file's bytes; null when it cannot be read.
inline std::optional<std::string> ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Writes `text` to `path`, creating the missing folders.
inline void WriteText(const std::string& path, std::string_view text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary).write(text.data(), std::streamsize(text.size()));
}

// Files in `folder` whose names start with `prefix`.
inline int CountFiles(const std::string& folder, std::string_view prefix) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().filename().string().starts_with(prefix)) ++count;
  }
  return count;
}

// Starts `body` in a child process that exits with its result.
inline pid_t Spawn(const std::function<int()>& body) {
  pid_t child = fork();
  if (child == 0) _exit(body());
  return child;
}

// The child's wait status.
inline int WaitFor(pid_t child) {
  int status = -1;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

inline int InChild(const std::function<int()>& body) {
  return WaitFor(Spawn(body));
}

inline bool ExitedWith(int status, int code) {
  return WIFEXITED(status) && WEXITSTATUS(status) == code;
}

// Holds child processes until the parent opens it, so that they go on at the
// same moment. Create it before forking.
class StartGate {
 public:
  StartGate() {
    if (pipe(fds_) != 0) fds_[0] = fds_[1] = -1;
  }
  ~StartGate() {
    close(fds_[0]);
    close(fds_[1]);
  }
  // In a child: returns once the parent has opened the gate.
  void Wait() {
    close(fds_[1]);
    char byte;
    while (read(fds_[0], &byte, 1) < 0 && errno == EINTR) {
    }
  }
  // In the parent, after forking every child.
  void Open() {
    close(fds_[1]);
    fds_[1] = -1;
  }

 private:
  int fds_[2];
};

// Lets child processes tell the parent that they reached a point.
class Notices {
 public:
  Notices() {
    if (pipe(fds_) != 0) fds_[0] = fds_[1] = -1;
  }
  ~Notices() {
    close(fds_[0]);
    close(fds_[1]);
  }
  // In a child.
  void Send() {
    char byte = 'x';
    while (write(fds_[1], &byte, 1) < 0 && errno == EINTR) {
    }
  }
  // In the parent, after forking every child: waits for `count` notices;
  // false when every child has gone before sending them.
  bool Receive(int count) {
    close(fds_[1]);
    fds_[1] = -1;
    for (char byte; count > 0; --count) {
      ssize_t got;
      while ((got = read(fds_[0], &byte, 1)) < 0 && errno == EINTR) {
      }
      if (got != 1) return false;
    }
    return true;
  }

 private:
  int fds_[2];
};

}  // namespace regtest
