#include "http/NetURI.h"

#include "net/NetStack.h"
#include "runtime/CodePage.h"

namespace {

// Steps from one character start to the next: two bytes for a lead byte with a trail.
size_t CharLength(const AnsiString& text, size_t i) {
  return (IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ? 2 : 1;
}

}  // namespace

namespace NetSearch {

size_t AnsiPos(const AnsiString& sub, const AnsiString& text, size_t from) {
  if (sub.empty() || from == 0) return 0;
  for (size_t i = 0; i + sub.size() <= text.size(); i += CharLength(text, i))
    if (i + 1 >= from && text.compare(i, sub.size(), sub) == 0) return i + 1;
  return 0;
}

size_t AnsiPosText(const AnsiString& sub, const AnsiString& text) {
  return AnsiPos(UpperCase(sub), UpperCase(text));
}

}  // namespace NetSearch

AnsiString TakeToken(AnsiString& input, const AnsiString& cut, bool remove, bool exactCase) {
  const size_t p = exactCase ? NetSearch::AnsiPos(cut, input) : NetSearch::AnsiPosText(cut, input);
  if (p == 0) {
    AnsiString all = input;
    if (remove) input.clear();
    return all;
  }
  AnsiString head = input.substr(0, p - 1);
  if (remove) input.erase(0, p - 1 + cut.size());
  return head;
}

AnsiString TNetTokenWalk::Next() {
  const size_t from = pos_;
  for (size_t i = from; i < text_.size(); i += CharLength(text_, i))
    if (!cut_.empty() && text_.compare(i, cut_.size(), cut_) == 0) {
      pos_ = i + cut_.size();
      return text_.substr(from, i - from);
    }
  pos_ = text_.size();
  return text_.substr(from);
}

size_t LastPos(const AnsiString& sub, const AnsiString& text, int64_t start) {
  if (sub.empty() || text.size() < sub.size()) return 0;
  const size_t limit = start < 0 ? text.size() : static_cast<size_t>(start);
  const AnsiString usub = UpperCase(sub), utext = UpperCase(text);
  size_t found = 0;
  for (size_t i = 0; i + sub.size() <= text.size() && i + 1 <= limit; i += CharLength(text, i))
    if (utext.compare(i, usub.size(), usub) == 0) found = i + 1;
  return found;
}

AnsiString MergePath(const AnsiString& basePath, const AnsiString& path, const AnsiString& mark) {
  if (mark.empty()) return path;
  if (path.compare(0, mark.size(), mark) == 0) return path;
  const auto endsWithMark = [&mark](const AnsiString& s) {
    return s.size() >= mark.size() && s.compare(s.size() - mark.size(), mark.size(), mark) == 0;
  };
  const bool keepTrail = path.empty() || endsWithMark(path);
  AnsiString work = basePath;
  if (!work.empty() && !endsWithMark(work)) work += mark;
  work += path;

  AnsiString result;
  size_t i = 0;
  while (i < work.size()) {
    if (work.compare(i, mark.size(), mark) == 0) {
      if (i == 0)
        result = mark;
      else if (!endsWithMark(result))
        result += mark;
      i += mark.size();
    } else if (work[i] == '.' && endsWithMark(result) && i + 1 < work.size() && work[i + 1] == '.') {
      // ".." climbs one segment: drop the trailing mark and the segment before it.
      result.erase(result.size() - mark.size());
      const size_t prev = result.rfind(mark);
      result.erase(prev == AnsiString::npos ? 0 : prev + mark.size());
      i += 2;
    } else {
      const size_t n = CharLength(work, i);
      result.append(work, i, n);
      i += n;
    }
  }
  if (result != mark && endsWithMark(result) && !keepTrail) result.erase(result.size() - mark.size());
  return result;
}

TNetURI::TNetURI(const AnsiString& text) {
  if (!text.empty()) Parse(text);
}

void TNetURI::Clear() {
  uri_.clear(); scheme_.clear(); username_.clear(); password_.clear(); host_.clear();
  port_.clear(); path_.clear(); document_.clear(); params_.clear(); bookmark_.clear();
}

AnsiString TNetURI::NormalizeSlashes(const AnsiString& text) {
  AnsiString r = text;
  for (size_t i = 0; i < r.size(); i += CharLength(r, i))
    if (r[i] == '\\') r[i] = '/';
  return r;
}

void TNetURI::SplitPathPart(const AnsiString& l, bool absolute) {
  // An "=" without "?" still starts the params: "a/b=c" is document "b", params "=c".
  size_t q = NetSearch::AnsiPos("?", l);
  if (q == 0) q = NetSearch::AnsiPos("=", l);
  const size_t s = q > 0 ? LastPos("/", l, static_cast<int64_t>(q)) : LastPos("/", l, -1);
  path_ = (absolute ? "/" : "") + l.substr(0, s);
  if (q > 0) {
    document_ = l.substr(0, q - 1);
    params_ = l.substr(q - 1);
  } else {
    document_ = l;
  }
  document_.erase(0, std::min(s, document_.size()));
}

void TNetURI::SplitHostPort(const AnsiString& authority) {
  // "[v6]" or "[v6]:port": the address is the host, without its brackets; a zone is written
  // "%25" as in URLs ("[fe80::1%25eth0]") and kept as "%eth0". Brackets that do not close,
  // hold anything but an IPv6 address, or are followed by anything but a port make the
  // URL malformed.
  if (!authority.empty() && authority[0] == '[') {
    const size_t close = authority.find(']');
    AnsiString host = close == AnsiString::npos ? AnsiString() : authority.substr(1, close - 1);
    const size_t zone = host.find("%25");
    if (zone != AnsiString::npos) host.erase(zone + 1, 2);
    const AnsiString rest = close == AnsiString::npos ? AnsiString() : authority.substr(close + 1);
    if (close == AnsiString::npos || !TNetStack::IsIPv6Address(host) || (!rest.empty() && rest[0] != ':'))
      throw ENetURIException(Format("Malformed URL: the host %s is not an IPv6 address in brackets", authority.c_str()));
    host_ = host;
    if (!rest.empty()) port_ = rest.substr(1);
    return;
  }
  AnsiString rest = authority;
  host_ = TakeToken(rest, ":");
  port_ = rest;
}

void TNetURI::Parse(const AnsiString& text) {
  Clear();
  uri_ = NormalizeSlashes(text);
  AnsiString l = uri_;
  if (NetSearch::AnsiPos("://", l) > 0) {
    scheme_ = TakeToken(l, "://");
    AnsiString authority = TakeToken(l, "/");
    const size_t at = NetSearch::AnsiPos("@", authority);
    if (at > 0) {
      password_ = authority.substr(0, at - 1);
      authority.erase(0, at);
    }
    username_ = TakeToken(password_, ":");
    if (username_.empty()) password_.clear();
    SplitHostPort(authority);
    SplitPathPart(l, true);
    bookmark_ = document_;
    document_ = TakeToken(bookmark_, "#");
  } else {
    SplitPathPart(l, false);
  }
  if (bookmark_.empty()) {
    bookmark_ = params_;
    params_ = TakeToken(bookmark_, "#");
  }
}

AnsiString TNetURI::Compose(int options) const {
  if (scheme_.empty()) throw ENetURIException("Protocol field is empty");
  if (host_.empty()) throw ENetURIException("Host field is empty");
  AnsiString r = scheme_ + "://";
  if (!username_.empty() && (options & ofAuthInfo)) {
    r += username_;
    if (!password_.empty()) r += ":" + password_;
    r += "@";
  }
  r += TNetStack::BracketHost(host_);
  if (!port_.empty()) r += ":" + port_;
  r += path_ + document_ + params_;
  if ((options & ofBookmark) && !bookmark_.empty()) r += "#" + bookmark_;
  return r;
}

AnsiString TNetURI::URI() {
  uri_ = Compose(ofAuthInfo | ofBookmark);
  return Compose(0);
}
