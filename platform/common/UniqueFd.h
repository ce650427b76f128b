// Owns one open file descriptor and closes it when it goes out of scope.
#pragma once

#include <unistd.h>

struct UniqueFd {
  int fd = -1;
  explicit UniqueFd(int f) : fd(f) {}
  ~UniqueFd() {
    if (fd >= 0) close(fd);
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
};
