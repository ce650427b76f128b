// The shell's "open" action for one document, program or web address.
#pragma once

#include <string>

// Hands `target` to the shell's "open" action (the desktop's default
// application for it) without waiting for the program and without looking at
// the outcome; nothing is shown on failure. An empty target opens nothing.
// Always returns true.
bool ShellOpen(const std::string& target);
