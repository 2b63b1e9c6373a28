// EZipException: the archiver's one error class.
//
// The message is composed when the exception is made: the table text of the code
// (formatted with the arguments when some are given), the raising component's name
// and ": " in front when a component with a non-empty name is passed, and
// " - Native error: " with the code in five digits at the end.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <variant>

#include "runtime/Component.h"
#include "runtime/Exception.h"

// One format argument: text for "%s", a number for "%d".
using TZipFormatArg = std::variant<AnsiString, int64_t>;

class EZipException : public Exception {
 public:
  explicit EZipException(int code, const TComponent* archiver = nullptr);
  EZipException(int code, std::initializer_list<TZipFormatArg> args, const TComponent* archiver = nullptr);

  // Index of the text in the message table.
  int32_t ErrorCode() const { return errorCode_; }
  // The code given when raising.
  int32_t NativeError() const { return nativeError_; }

 private:
  int32_t errorCode_;
  int32_t nativeError_;
};

// Fills "%s" and "%d" placeholders in order; an argument without a placeholder is
// ignored, a placeholder without an argument becomes empty. "%%" gives "%".
AnsiString ZipFormatText(const char* text, std::initializer_list<TZipFormatArg> args);
