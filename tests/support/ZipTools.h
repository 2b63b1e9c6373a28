// Real tools as test peers: run a shell command, and compare what two extractions
// produced, file by file.
#pragma once

#include <string>

// Runs a shell command; returns its exit status (output goes to the test log).
int RunTool(const std::string& command);
// Single-quotes text for the shell.
std::string ShellQuote(const std::string& text);

// Compares two folder trees: the same relative paths, kinds and bytes; file times equal
// at the 2-second resolution of DOS times (within a second of each other); the owner's
// write bit the same. Returns an empty string when they agree, else a
// description of the first difference.
std::string CompareTrees(const std::string& expected, const std::string& actual);
