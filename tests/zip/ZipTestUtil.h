// Shared pieces of the ZIP reader's tests: an archiver set up like the application's,
// scripted dialog answers through the runtime hooks, and a record of entry failures.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "runtime/Hooks.h"
#include "zip/ZipArchiver.h"

// Replaces the dialog hooks for one test and restores them afterwards. Each question
// pops the next scripted answer (mrCancel / false when the script is used up) and is
// recorded with its text.
class ScriptedDialogs {
 public:
  ScriptedDialogs() : saved_(RuntimeHooks()) {
    RuntimeHooks().MessageDlg = [this](const AnsiString& text, TMsgDlgType, const std::vector<TMsgDlgBtn>& buttons) {
      questions.push_back(text);
      buttonSets.push_back(buttons);
      if (answers.empty()) return static_cast<int>(mrCancel);
      const int answer = answers.front();
      answers.pop_front();
      return answer;
    };
    RuntimeHooks().InputQuery = [this](const AnsiString& caption, const AnsiString& prompt, AnsiString& value) {
      questions.push_back(caption + "|" + prompt);
      if (passwords.empty()) return false;
      value = passwords.front();
      passwords.pop_front();
      return true;
    };
  }
  ~ScriptedDialogs() { RuntimeHooks() = saved_; }

  std::deque<int> answers;
  std::deque<std::string> passwords;
  std::vector<std::string> questions;
  std::vector<std::vector<TMsgDlgBtn>> buttonSets;

 private:
  TRuntimeHooks saved_;
};

struct RecordedFailure {
  std::string name;
  int nativeError;
  std::string message;
};

// An archiver named "Archiver" as on the main window; failures are recorded and ignored.
struct RecordingArchiver {
  RecordingArchiver() {
    archiver.SetName("Archiver");
    archiver.Options().FlushBuffers = false;
    archiver.OnProcessFileFailure = [this](TObject*, const AnsiString& name, TZipProcessOperation, int native, int,
                                           const AnsiString& message, TZipAction& action) {
      failures.push_back({name, native, message});
      action = fxaIgnore;
    };
  }
  // Opens file, extracts everything below base, closes.
  void ExtractAll(const std::string& file, const std::string& base) {
    archiver.SetFileName(file);
    archiver.OpenZipFile(fmOpenRead | fmShareDenyWrite);
    archiver.SetBaseDir(base);
    archiver.ExtractMatching("*.*", 10431, "");
    archiver.CloseZipFile();
  }
  TZipArchiver archiver;
  std::vector<RecordedFailure> failures;
};
