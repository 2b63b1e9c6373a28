// Shared set-up of the in-process window tests: one application object for the test
// program, recording web views, scripted message boxes, a temporary program folder
// with its registry store, and a loopback update server.
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "support/HttpReplies.h"
#include "support/ScriptedServer.h"
#include "support/TempDir.h"
#include "job/AppSettings.h"
#include "toolkit/MessageBox.h"

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

class TForm1;
class TForm2;

// A GBK (936) text from UTF-8.
std::string Gbk(const std::string& utf8);

class AppTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes the registry store: with the key (and the value line, when not empty).
  void WriteRegistry(bool withKey, const std::string& valueLine = "");
  // The settings of a window pointed at the loopback server (started on first use).
  TAppSettings Settings();
  // Answers every box with this result from now on and returns what was shown.
  void AnswerBoxes(int answer);
  std::vector<TShownDialog> Boxes() const { return TDialogSeam::Shown; }
  std::vector<TShownDialog> BoxesOfKind(TShownDialog::TKind kind) const;

  // The splash window (with InstallFolder = folder) and a main window over it.
  std::unique_ptr<TForm1> MakeForm1(const std::string& installFolder = "");
  std::unique_ptr<TForm2> MakeForm2(TForm1& form1);

  // The program's log from now on goes to a file of this test; LogText() reads it.
  void StartTestLog();
  std::string LogText() const;

  // Shows the window and makes it the active one, as a person's click would: the keyboard
  // focus is then in it. The control, when given, has the focus, as after a Tab.
  static void ShowActive(QWidget* window, QWidget* focus = nullptr);
  // Runs the queued events (deferred closes, posted clicks).
  static void ProcessEvents(int rounds = 5);

  TempDir program_;
  TempDir config_;
  TempDir state_;
  TTrustedKeys trustedKeys_;  // of the windows made from now on
  ScriptedServer server_;
  bool serverStarted_ = false;
};

// A catalogue of three models (in this order): ModelB (2.00, 1.50), ModelA (1.20, 1.10,
// 1.00 without value), "Model C" (3.0).
extern const char* const kCatalogue;
