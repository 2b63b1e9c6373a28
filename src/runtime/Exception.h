// The root of every error the system raises, and the runtime's own errors.
#pragma once

#include <exception>

#include "runtime/SysUtils.h"

class Exception : public std::exception {
 public:
  explicit Exception(AnsiString message) : message_(std::move(message)) {}
  const AnsiString& Message() const { return message_; }
  void SetMessage(const AnsiString& message) { message_ = message; }
  const char* what() const noexcept override { return message_.c_str(); }
  // The file the error is about, as the caller named it and as the message holds it ("" when
  // the error names none): the log shows it as it is on disk.
  const AnsiString& FileName() const { return fileName_; }
  void SetFileName(const AnsiString& fileName) { fileName_ = fileName; }

 private:
  AnsiString message_;
  AnsiString fileName_;
};

#define TAVRO_DECLARE_EXCEPTION(Name, Base) \
  class Name : public Base {                \
   public:                                  \
    using Base::Base;                       \
  };

TAVRO_DECLARE_EXCEPTION(EConvertError, Exception)
TAVRO_DECLARE_EXCEPTION(EStreamError, Exception)
// "Cannot create file "%s". %s"
TAVRO_DECLARE_EXCEPTION(EFCreateError, EStreamError)
// "Cannot open file "%s". %s"
TAVRO_DECLARE_EXCEPTION(EFOpenError, EStreamError)
// "Stream read error"
TAVRO_DECLARE_EXCEPTION(EReadError, EStreamError)
// "Stream write error"
TAVRO_DECLARE_EXCEPTION(EWriteError, EStreamError)
// "Unable to write to %s"
TAVRO_DECLARE_EXCEPTION(EIniFileException, Exception)
TAVRO_DECLARE_EXCEPTION(ERegistryException, Exception)
