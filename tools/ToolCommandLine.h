// The command line of the small tools, parsed by CLI11 as sitelore-report's
// is: unknown options and missing or extra arguments are refused with the
// usage, so that "--help" or a typo never becomes a file name.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdio>
#include <optional>

// Parses `argv` with `app`. Null when the tool is to go on; else the exit
// code to end with: 0 after --help (usage on stdout), 2 for bad usage (the
// error and the usage on stderr).
inline std::optional<int> ParseToolCommandLine(CLI::App& app, int argc, char** argv) {
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::fputs(app.help().c_str(), stdout);
    return 0;
  } catch (const CLI::ParseError& error) {
    std::fprintf(stderr, "%s: %s\n%s", app.get_name().c_str(), error.what(), app.help().c_str());
    return 2;
  }
  return std::nullopt;
}
