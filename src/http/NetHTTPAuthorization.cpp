// The parts of the exchange that answer redirects and requests for credentials, and
// the clean-up of authentication objects when the connection closes.
#include "http/NetHTTP.h"

namespace {
// A server reached over TLS never sends the client on to plain HTTP, whoever would follow
// (the server's Location or a redirect handler's change of it): what came from there would
// no longer be private nor sure to be the server's. The redirect's body stays unread.
void RefuseLeavingHttps(const AnsiString& scheme, const AnsiString& dest, int32_t code) {
  if (SameText(scheme, "https") && LowerCase(dest.substr(0, 7)) == "http://")
    throw ENetHTTPProtocolException(code, "Redirect from https to " + dest + " refused: it leaves the secure connection",
                                    "");
}
}  // namespace

TNetHTTPNextStep TNetCustomHTTP::HandleRedirect() {
  AnsiString dest = response_.Location;
  RefuseLeavingHttps(location_.Scheme(), dest, response_.StatusCode());
  TNetHTTPMethod method = request_.Method;
  TNetHTTPNextStep next;
  if (handleRedirects_ && redirectCount_ < redirectMaximum_) {
    bool handled = true;
    if (OnRedirect) OnRedirect(this, dest, redirectCount_, handled, method);
    if (!handled) RaiseProtocolError();
    RefuseLeavingHttps(location_.Scheme(), dest, response_.StatusCode());
    request_.URL = dest;
    request_.Method = method;
    next = nsRepeat;
  } else {
    bool handled = handleRedirects_;
    if (OnRedirect) OnRedirect(this, dest, redirectCount_, handled, method);
    if (!handled) RaiseProtocolError();
    response_.Location = dest;
    next = nsDone;
  }
  if (IsConnected()) DrainBody();
  return next;
}

bool TNetCustomHTTP::RunAuthorization(std::unique_ptr<TNetAuthentication>& auth, TNetHeaderList& challenges,
                                      const TNetSelectAuthorizationEvent& onSelect,
                                      const TNetAuthorizationEvent& onAuth, AnsiString& username,
                                      AnsiString& password, bool* basicFlag) {
  if (!auth) {
    TNetAuthenticationClass cls = nullptr;
    for (int i = 0; i < challenges.Count() && !cls; ++i) {
      AnsiString challenge = challenges.Strings(i);
      cls = FindAuthClass(TakeToken(challenge, " "));
    }
    if (!cls) return false;
    if (onSelect) onSelect(this, cls, challenges);
    if (!cls) return false;
    auth = cls->Create();
  }
  if (!onAuth) return false;
  auth->SetUsername(username);
  auth->SetPassword(password);
  auth->AuthFields.SetValueOf("Authorization", auth->Authentication());
  auth->Challenges().Assign(challenges);
  for (;;) {
    switch (auth->NextStep()) {
      case wnDoRequest:
        return true;
      case wnFail:
        return false;
      case wnAskTheProgram: {
        auth->SetUsername(username);
        auth->SetPassword(password);
        bool handled = false;
        onAuth(this, *auth, handled);
        if (!handled) return false;
        if (basicFlag) *basicFlag = true;
        username = auth->Username();
        password = auth->Password();
        break;
      }
    }
  }
}

bool TNetCustomHTTP::TryServerAuthorization() {
  ++serverAuthCount_;
  return RunAuthorization(request_.Authentication, response_.WWWAuthenticate, OnSelectAuthorization, OnAuthorization,
                          request_.Username, request_.Password, &request_.BasicAuthentication);
}

bool TNetCustomHTTP::TryProxyAuthorization() {
  ++proxyAuthCount_;
  return RunAuthorization(proxyParams_.Authentication, response_.ProxyAuthenticate, OnSelectProxyAuthorization,
                          OnProxyAuthorization, proxyParams_.ProxyUsername, proxyParams_.ProxyPassword, nullptr);
}

void TNetCustomHTTP::DoOnDisconnected() {
  TNetTCPClient::DoOnDisconnected();
  tunnel_.clear();
  if (request_.Authentication && request_.Authentication->StepCount() == request_.Authentication->CurrentStep())
    request_.Authentication.reset();
  if (proxyParams_.Authentication) proxyParams_.Authentication->ResetState();
}
