// TJobReport: what the update job asks of the front end that runs it (the main window, a
// command in a terminal). The job tells its outcomes by its results (see TPackageDownload,
// THandOff) and its progress through the client's work events, which each front end shows
// in its own way; what it must ask while it runs goes through here.
#pragma once

class TJobReport {
 public:
  virtual ~TJobReport() = default;
  // Why the work in progress is to end early: "cancelled" (the cancel button, Ctrl-C) or
  // "window closed"; null while it is to go on. Asked between steps and during waits.
  virtual const char* Interruption() const = 0;
  // The connect prompt before the flashing tool starts: true to start it.
  virtual bool ConfirmConnect() = 0;
};
