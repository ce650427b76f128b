// Every tool refuses what it does not know, before it writes anything.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/testing/TempDir.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int code = -1;
  std::string out, err;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs `tool` with `args` in the folder `cwd`, reading nothing.
Outcome RunIn(const std::string& cwd, const std::string& tool, std::vector<std::string> args,
              const std::string& scratch) {
  const std::string out = scratch + "/out", err = scratch + "/err";
  const pid_t child = fork();
  if (child == 0) {
    if (chdir(cwd.c_str()) != 0 || !freopen("/dev/null", "r", stdin) ||
        !freopen(out.c_str(), "w", stdout) || !freopen(err.c_str(), "w", stderr))
      _exit(127);
    std::string program = std::string(SITELORE_BIN_DIR) + "/" + tool;
    std::vector<char*> argv = {program.data()};
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), Slurp(out), Slurp(err)};
}

class ToolCommandLine : public ::testing::TestWithParam<const char*> {};

TEST_P(ToolCommandLine, HelpAndUnknownOptionsNeverBecomeFileNames) {
  const std::string tool = GetParam();
  if (!fs::exists(std::string(SITELORE_BIN_DIR) + "/" + tool)) GTEST_SKIP() << "not built";
  fixture::TempDir cwd, scratch;
  const Outcome help = RunIn(cwd.path(), tool, {"--help"}, scratch.path());
  EXPECT_EQ(help.code, 0) << help.err;
  EXPECT_NE(help.out.find("Usage: " + tool), std::string::npos) << help.out;
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"--bogus"}, {"-x", "folder"}, {}, {"one", "two", "three"}}) {
    const Outcome refused = RunIn(cwd.path(), tool, bad, scratch.path());
    EXPECT_EQ(refused.code, 2) << tool << " " << (bad.empty() ? "" : bad[0]);
    EXPECT_EQ(refused.err.rfind(tool + ": ", 0), 0u) << refused.err;
    EXPECT_NE(refused.err.find("Usage: " + tool), std::string::npos) << refused.err;
  }
  EXPECT_TRUE(fs::is_empty(cwd.path())) << tool << " wrote into its working folder";
}

INSTANTIATE_TEST_SUITE_P(Tools, ToolCommandLine,
                         ::testing::Values("write-index-dat", "index-dat-seeds", "make-demo-cache",
                                           "sitelore-demo"),
                         [](const auto& info) {
                           std::string name = info.param;
                           std::erase(name, '-');
                           return name;
                         });

}  // namespace
