// Which history targets a double-click may hand to the shell. A history
// entry is text that web pages wrote, not a command: only web addresses and
// plain local documents are opened.
#pragma once

#include <string>

// True for an http, https or ftp URL (scheme in any letter case), and for a
// file: URL (no host or "localhost") naming an existing regular file that is
// neither executable by anyone nor a desktop entry (by its name or by its
// first bytes). False for everything else, the empty text included.
bool MayOpenHistoryTarget(const std::string& target);
