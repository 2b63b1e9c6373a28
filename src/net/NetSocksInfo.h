// TNetSocksInfo: settings of a SOCKS proxy between the client and its peer. This
// system connects directly (svNoSocks); the settings are carried, and a connect with
// any other version fails with ENetSocksError, since no negotiation is implemented.
#pragma once

#include <cstdint>

#include "runtime/SysUtils.h"

enum TNetSocksVersion { svNoSocks, svSocks4, svSocks4A, svSocks5 };
enum TNetSocksAuthentication { saNoAuthentication, saUsernamePassword };

class TNetSocksInfo {
 public:
  TNetSocksVersion Version() const { return version_; }
  void SetVersion(TNetSocksVersion value) { version_ = value; }
  int32_t Port() const { return port_; }
  void SetPort(int32_t value) { port_ = value; }
  TNetSocksAuthentication Authentication() const { return authentication_; }
  void SetAuthentication(TNetSocksAuthentication value) { authentication_ = value; }
  const AnsiString& Host() const { return host_; }
  void SetHost(const AnsiString& value) { host_ = value; }
  const AnsiString& Username() const { return username_; }
  void SetUsername(const AnsiString& value) { username_ = value; }
  const AnsiString& Password() const { return password_; }
  void SetPassword(const AnsiString& value) { password_ = value; }

 private:
  TNetSocksVersion version_ = svNoSocks;
  int32_t port_ = 1080;
  TNetSocksAuthentication authentication_ = saNoAuthentication;
  AnsiString host_, username_, password_;
};
