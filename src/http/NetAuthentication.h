// Authentication objects and the process-wide scheme registry ("Basic" only at start).
//
// An authentication object carries the user name and password in AuthFields
// ("Username", "Password"), the challenges the server sent, and a step number; the
// client asks NextStep what to do (0 ask the program, 1 send, 2 fail) and sends the
// value of Authentication() as the "Authorization" (or "Proxy-Authorization") header.
#pragma once

#include <functional>
#include <memory>

#include "http/NetHeaderList.h"
#include "net/NetException.h"

// "This authentication method is already registered with class name %s."
TAVRO_DECLARE_EXCEPTION(ENetAlreadyRegisteredAuthenticationMethod, ENetException)

enum TNetAuthWhatsNext { wnAskTheProgram = 0, wnDoRequest = 1, wnFail = 2 };

class TNetAuthentication {
 public:
  TNetAuthentication();
  virtual ~TNetAuthentication() = default;

  // The header value to send.
  virtual AnsiString Authentication() = 0;
  virtual TNetAuthWhatsNext NextStep() = 0;
  virtual void ResetState() { currentStep_ = 0; }
  virtual int StepCount() const { return 0; }
  virtual bool ReuseConnection() const { return true; }
  virtual AnsiString ClassName() const = 0;

  AnsiString Username() const { return AuthFields.ValueOf("Username"); }
  void SetUsername(const AnsiString& v) { AuthFields.SetValueOf("Username", v); }
  AnsiString Password() const { return AuthFields.ValueOf("Password"); }
  void SetPassword(const AnsiString& v) { AuthFields.SetValueOf("Password", v); }
  int CurrentStep() const { return currentStep_; }
  // The challenge list, created on first use.
  TNetHeaderList& Challenges();

  TNetHeaderList AuthFields;

 protected:
  int currentStep_ = 0;

 private:
  std::unique_ptr<TNetHeaderList> challenges_;
};

class TNetBasicAuthentication : public TNetAuthentication {
 public:
  AnsiString Authentication() override;
  TNetAuthWhatsNext NextStep() override;
  int StepCount() const override { return 1; }
  bool ReuseConnection() const override { return false; }
  AnsiString ClassName() const override { return "TNetBasicAuthentication"; }
  const AnsiString& ChallengeRealm() const { return realm_; }

 private:
  AnsiString realm_;
};

// A registered scheme: the class's name and how to make one.
struct TNetAuthenticationClassInfo {
  AnsiString ClassName;
  std::function<std::unique_ptr<TNetAuthentication>()> Create;
};
using TNetAuthenticationClass = const TNetAuthenticationClassInfo*;

// Registers a scheme name (case-insensitive); ENetAlreadyRegisteredAuthenticationMethod
// when the name is taken. The class info must outlive the registry (static storage).
void RegisterAuthenticationMethod(const AnsiString& scheme, TNetAuthenticationClass cls);
// nullptr when the scheme is not registered.
TNetAuthenticationClass FindAuthClass(const AnsiString& scheme);
TNetAuthenticationClass BasicAuthenticationClass();

// RFC 2045 Base64 with the standard alphabet, "=" padding and no line breaks.
AnsiString EncodeBase64(const AnsiString& bytes);
