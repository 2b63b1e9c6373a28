// The program's command line. It is read before anything else: the answers to --help,
// --version and a wrong option come without a window and without the single-instance
// lock, so they work with no display and beside a running instance.
#pragma once

#include <string>
#include <vector>

struct TCommandLine {
  enum TAction { caRun, caHelp, caVersion, caError };
  TAction Action = caRun;
  bool LogToStderr = false;  // --log-stderr: the log is mirrored to standard error
  std::string Error;         // for caError: what was wrong, without the program name
};

TCommandLine ParseCommandLine(const std::vector<std::string>& args);

// Answers --help, --version and errors on standard output or standard error. Returns the
// exit status (0, or 2 for a wrong command line), or -1 when the program is to run.
int AnswerCommandLine(const TCommandLine& commandLine, const char* programName);
