// THandOff: the stored package handed to the player's flashing tool: the package checked
// against its signature, unpacked into the player software's folder, the person asked to
// connect the player, and the tool started there with "-s" (through Wine where the vendor
// software lives in a Wine prefix). Each step is logged.
#pragma once

#include "job/AppSettings.h"
#include "job/JobReport.h"
#include "job/JobTexts.h"
#include "runtime/SysUtils.h"

class TZipArchiver;

class THandOff {
 public:
  enum TOutcome {
    hoStarted,         // the tool runs
    hoNoFolder,        // the player software's folder is unknown
    hoBadName,         // the model or version leads out of the store: nothing done
    hoRefused,         // the stored package fails its check: nothing unpacked
    hoUnpackAborted,   // the person aborted the unpacking
    hoUnpackFailed,    // the unpacking failed (the archiver has told why)
    hoInterrupted,     // the front end ended while unpacking
    hoDeclined,        // the connect prompt was cancelled
    hoToolNotStarted,  // the tool could not be started
  };

  // The archiver is the caller's (its settings, its failure dialogs).
  THandOff(const TAppSettings& settings, TZipArchiver& archiver, TJobReport& report);

  // Hands the stored package of the model's version to the tool in the player folder.
  TOutcome Run(const AnsiString& playerFolder, const AnsiString& model, const AnsiString& version);
  // The person's notice for an outcome (jnNone where there is nothing to say).
  static TJobNotice Notice(TOutcome outcome);

 private:
  TOutcome UnpackAndStart(const AnsiString& folder, const AnsiString& zip);
  // Extracts the package with the front end serviced meanwhile; false when the person
  // aborted it in the archiver's failure dialog.
  bool Unpack(const AnsiString& folder, const AnsiString& zip);
  TOutcome StartTool(const AnsiString& folder);

  TAppSettings settings_;
  TZipArchiver& archiver_;
  TJobReport& report_;
};
