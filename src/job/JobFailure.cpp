#include "job/JobFailure.h"

#include <cstdio>

#include "http/NetHTTP.h"
#include "job/EnvironmentProxy.h"
#include "net/NetException.h"
#include "platform/Log.h"
#include "platform/WinSock2.h"
#include "runtime/BoundedStream.h"
#include "runtime/FileIO.h"
#include "runtime/Minisign.h"
#include "runtime/PathUtils.h"

namespace {
// The Windows Sockets code a transport message starts with ("Socket Error # 10061\r\n..."),
// and the description after it; 0 when the message has none.
int32_t SocketCode(const AnsiString& message, AnsiString& description) {
  int code = 0;
  int used = 0;
  if (std::sscanf(message.c_str(), "Socket Error # %d%n", &code, &used) != 1) return 0;
  description = Trim(message.substr(static_cast<size_t>(used)));
  return code;
}

AnsiString SocketCause(int32_t code, const AnsiString& description, const AnsiString& host) {
  switch (code) {
    case WinSock::WSAHOST_NOT_FOUND:
      return "host not found: " + host;
    case WinSock::WSATRY_AGAIN:
      return "host " + host + " could not be looked up: no name server answered";
    case 10061:
      return "connection refused by " + host;
    case 10065:
    case 10051:
      return "no route to " + host;
    case 10060:
      return "no answer from " + host + ": the connection timed out";
    case 10054:
      return "connection reset by " + host;
    default:
      return "network error at " + host + ": " + (description.empty() ? "code " + IntToStr(code) : description);
  }
}

AnsiString OneLine(AnsiString text) {
  for (size_t at; (at = text.find("\r\n")) != AnsiString::npos;) text.replace(at, 2, "; ");
  return text;
}

// "HTTP/1.1 404 Not Found" -> "404 Not Found"; another text (a redirect refused) as it is.
AnsiString StatusText(const ENetHTTPProtocolException& e) {
  const AnsiString& line = e.Message();
  const size_t space = line.find(' ');
  return line.rfind("HTTP/", 0) != 0 || space == AnsiString::npos ? OneLine(line) : Trim(line.substr(space + 1));
}

// The system's reason at the end of a file error's message ("Cannot create file "x". <reason>").
AnsiString FileErrorReason(const Exception& e) {
  const AnsiString& message = e.Message();
  const AnsiString quoted = "\"" + e.FileName() + "\". ";
  const size_t at = message.find(quoted);
  return at == AnsiString::npos ? message : message.substr(at + quoted.size());
}

TJobFailure Make(TFailureKind kind, const AnsiString& cause) {
  TJobFailure failure;
  failure.Kind = kind;
  failure.Cause = cause;
  return failure;
}
}  // namespace

TJobFailure LocalFailure(const AnsiString& folder, const AnsiString& reason) {
  TJobFailure failure = Make(fkLocal, LogPath(folder) + ": " + reason);
  failure.Subject = LogPath(folder);
  failure.Reason = reason;
  return failure;
}

TJobFailure LocalFailure(const AnsiString& folder, int error) { return LocalFailure(folder, SystemErrorText(error)); }

TJobFailure DescribeFailure(const std::exception& error, const AnsiString& host) {
  if (const auto* e = dynamic_cast<const EProxySettingError*>(&error)) {
    TJobFailure failure = Make(fkSettings, e->Message());
    const size_t why = e->Message().find(" cannot be read: ");
    failure.Subject = e->Message().substr(0, why);
    failure.Reason = why == AnsiString::npos ? e->Message() : e->Message().substr(why + 17);
    return failure;
  }
  if (const auto* e = dynamic_cast<const ENetHTTPProtocolException*>(&error)) return Make(fkServer, StatusText(*e));
  if (dynamic_cast<const ESignatureError*>(&error) || dynamic_cast<const EStreamLimitError*>(&error))
    return Make(fkRefused, error.what());
  if (dynamic_cast<const ENetConnectionSilent*>(&error)) {
    const AnsiString text = error.what();
    const size_t colon = text.find(": ");
    return Make(fkNetwork, "the connection to " + host + " went silent: " +
                               (colon == AnsiString::npos ? text : text.substr(colon + 2)));
  }
  if (dynamic_cast<const ENetReadTimeout*>(&error)) return Make(fkNetwork, "no answer from " + host + " in time");
  if (dynamic_cast<const ENetConnectTimeout*>(&error))
    return Make(fkNetwork, "no connection to " + host + " in time");
  if (dynamic_cast<const ENetConnClosedGracefully*>(&error))
    return Make(fkNetwork, "the server closed the connection before the end");
  if (const auto* e = dynamic_cast<const Exception*>(&error)) {
    AnsiString description;
    const auto* socket = dynamic_cast<const ENetSocketError*>(&error);
    const int32_t code = socket ? socket->SocketErrorCode() : SocketCode(e->Message(), description);
    if (socket) SocketCode(e->Message(), description);
    if (code != 0) return Make(fkNetwork, SocketCause(code, description, host));
    if (dynamic_cast<const ENetException*>(&error)) return Make(fkNetwork, OneLine(e->Message()));
    if (!e->FileName().empty() && dynamic_cast<const EStreamError*>(&error))
      return LocalFailure(ExtractFileDir(e->FileName()), FileErrorReason(*e));
  }
  return Make(fkNetwork, OneLine(error.what()));
}

TJobFailure DescribeCurrentFailure(const AnsiString& host) {
  try {
    throw;
  } catch (const std::exception& e) {
    return DescribeFailure(e, host);
  } catch (...) {
    return Make(fkNetwork, "an unknown failure");
  }
}
