#include "http/NetAuthentication.h"

#include <mutex>
#include <utility>
#include <vector>

#include "http/NetURI.h"

TNetAuthentication::TNetAuthentication() { AuthFields.FoldLines = false; }

TNetHeaderList& TNetAuthentication::Challenges() {
  if (!challenges_) challenges_ = std::make_unique<TNetHeaderList>();
  return *challenges_;
}

AnsiString TNetBasicAuthentication::Authentication() {
  return "Basic " + EncodeBase64(Username() + ":" + Password());
}

TNetAuthWhatsNext TNetBasicAuthentication::NextStep() {
  TNetHeaderList& challenges = Challenges();
  for (int i = 0; i < challenges.Count(); ++i) {
    const AnsiString& line = challenges.Strings(i);
    if (line.compare(0, 5, "Basic") != 0) continue;
    const size_t space = line.find(' ');  // after the scheme
    const AnsiString params = space == AnsiString::npos ? AnsiString() : line.substr(space + 1);
    for (TNetTokenWalk fields(params, ", "); !fields.AtEnd();) {
      AnsiString piece = fields.Next();
      const size_t eq = piece.find('=');
      if (eq != AnsiString::npos) piece.replace(eq, 1, ": ");
      AuthFields.Add(piece);
    }
    const AnsiString realm = AuthFields.ValueOf("realm");
    realm_ = realm.size() >= 2 ? realm.substr(1, realm.size() - 2) : AnsiString();
    break;
  }
  switch (currentStep_) {
    case 0: return Username().empty() ? wnAskTheProgram : wnDoRequest;
    case 1: return wnFail;
    default: return wnDoRequest;
  }
}

namespace {

struct Registry {
  std::mutex lock;
  std::vector<std::pair<AnsiString, TNetAuthenticationClass>> entries;
};

const TNetAuthenticationClassInfo kBasicClass{
    "TNetBasicAuthentication", [] { return std::unique_ptr<TNetAuthentication>(new TNetBasicAuthentication); }};

Registry& TheRegistry() {
  static Registry* registry = [] {
    auto* r = new Registry;
    r->entries.emplace_back("Basic", &kBasicClass);
    return r;
  }();
  return *registry;
}

}  // namespace

TNetAuthenticationClass BasicAuthenticationClass() { return &kBasicClass; }

void RegisterAuthenticationMethod(const AnsiString& scheme, TNetAuthenticationClass cls) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  for (const auto& e : r.entries)
    if (SameText(e.first, scheme))
      throw ENetAlreadyRegisteredAuthenticationMethod(
          Format("This authentication method is already registered with class name %s.", e.second->ClassName.c_str()));
  r.entries.emplace_back(scheme, cls);
}

TNetAuthenticationClass FindAuthClass(const AnsiString& scheme) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  for (const auto& e : r.entries)
    if (SameText(e.first, scheme)) return e.second;
  return nullptr;
}

AnsiString EncodeBase64(const AnsiString& bytes) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  AnsiString out;
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const uint32_t v = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                       static_cast<unsigned char>(bytes[i + 2]);
    out += {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], kAlphabet[(v >> 6) & 63], kAlphabet[v & 63]};
  }
  if (i + 1 == bytes.size()) {
    const uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
    out += {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], '=', '='};
  } else if (i + 2 == bytes.size()) {
    const uint32_t v = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
    out += {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], kAlphabet[(v >> 6) & 63], '='};
  }
  return out;
}
