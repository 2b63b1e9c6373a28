// TJobFailure: what ended a step of the job, as one kind, with its cause in words.
//
// Each kind is told the same way by both front ends: the window with its box, the commands
// with a message and an exit status, the log with the cause. The cause names what a person
// can act on: the host not found (with its name), a refused connection, no route, a server
// silent for 30 s, a TLS failure with its reason, the server's status ("404 Not Found"), or
// for a local failure the folder and the system's reason ("No space left on device").
#pragma once

#include <exception>

#include "runtime/SysUtils.h"

enum TFailureKind {
  fkNetwork,    // the server could not be reached, or the connection broke
  fkServer,     // the server answered with an error status
  fkRefused,    // a check refused what came: a signature, a size
  fkLocal,      // a folder of this machine cannot be written
  fkSettings,   // a setting cannot be read (a proxy variable)
  fkCancelled,  // the person ended it
};

struct TJobFailure {
  TFailureKind Kind = fkNetwork;
  AnsiString Cause;   // in words, for the log and the commands' messages
  AnsiString Subject;  // fkLocal: the folder that cannot be written (as LogPath shows it); fkSettings: the variable and its value
  AnsiString Reason;   // fkLocal: the system's reason ("No space left on device"); fkSettings: why
};

// The kind and cause of an error raised while the job fetched from `host` (the server or
// the proxy it connects to) or wrote its files.
TJobFailure DescribeFailure(const std::exception& error, const AnsiString& host);
// The same for the error being handled (in a catch block).
TJobFailure DescribeCurrentFailure(const AnsiString& host);
// A local failure: the folder and the system's error number, or its reason in words.
TJobFailure LocalFailure(const AnsiString& folder, int error);
TJobFailure LocalFailure(const AnsiString& folder, const AnsiString& reason);
