// TNetURI: a URL split into its fields, and composed back.
//
// Nothing is percent-encoded or decoded: the bytes of a path reach the wire exactly as
// given. An IPv6 address is written in brackets ("http://[::1]:8080/"); Host holds it
// without them, and Compose puts them back. Every position search here is aware of double-byte characters (code page 936):
// a match never starts on the second byte of a character, so a "\" or "/" inside a
// Chinese character is left alone.
#pragma once

#include "net/NetException.h"
#include "runtime/SysUtils.h"

// Raised by Compose: "Protocol field is empty", "Host field is empty".
TAVRO_DECLARE_EXCEPTION(ENetURIException, ENetException)
// A URL whose protocol is neither http nor https and that names no port (empty message).
TAVRO_DECLARE_EXCEPTION(ENetUnknownProtocol, ENetException)

// Position utilities shared by the whole HTTP client. Positions are 1-based; 0 = none.
namespace NetSearch {
// First occurrence of sub in text at or after the 1-based position from.
size_t AnsiPos(const AnsiString& sub, const AnsiString& text, size_t from = 1);
// Upper-cases both texts before searching.
size_t AnsiPosText(const AnsiString& sub, const AnsiString& text);
}  // namespace NetSearch

// The text before the first cut in input; with remove, input becomes the text after it
// (or empty when cut does not occur). exactCase false compares upper-cased texts.
AnsiString TakeToken(AnsiString& input, const AnsiString& cut, bool remove = true, bool exactCase = true);
// Splits a text at every cut the way repeated TakeToken calls would, but walks it
// with an index instead of removing each token from the front, so a text of n bytes
// costs O(n) however many cuts it holds. The text must outlive the walk.
class TNetTokenWalk {
 public:
  TNetTokenWalk(const AnsiString& text, const AnsiString& cut) : text_(text), cut_(cut) {}
  // Nothing is left (a cut at the very end leaves nothing either).
  bool AtEnd() const { return pos_ >= text_.size(); }
  // The text up to the next cut (or the rest), stepping past the cut.
  AnsiString Next();

 private:
  const AnsiString& text_;
  AnsiString cut_;
  size_t pos_ = 0;
};

// The right-most 1-based position not greater than start (-1: the end of text) at
// which sub occurs, compared without regard to case; 0 when none.
size_t LastPos(const AnsiString& sub, const AnsiString& text, int64_t start = -1);
// Resolves path against basePath with mark as the delimiter ("..", runs of delimiters).
AnsiString MergePath(const AnsiString& basePath, const AnsiString& path, const AnsiString& mark = "/");

enum TNetURIOptionalField { ofAuthInfo = 1, ofBookmark = 2 };

class TNetURI {
 public:
  explicit TNetURI(const AnsiString& text = "");

  // Replaces every field from text; never fails (a non-URL reads as a relative path).
  void Parse(const AnsiString& text);
  // Builds a URL from the fields; options is a set of TNetURIOptionalField bits.
  // ENetURIException when Scheme or Host is empty.
  AnsiString Compose(int options = 0) const;
  // Stores the full composed text (user information and bookmark) as URIText and
  // returns the URL without either; this is the form sent to a proxy.
  AnsiString URI();
  void SetURI(const AnsiString& text) { Parse(text); }
  const AnsiString& URIText() const { return uri_; }

  const AnsiString& Scheme() const { return scheme_; }
  const AnsiString& Username() const { return username_; }
  const AnsiString& Password() const { return password_; }
  const AnsiString& Host() const { return host_; }
  const AnsiString& Port() const { return port_; }
  const AnsiString& Path() const { return path_; }
  const AnsiString& FileSegment() const { return document_; }
  const AnsiString& Query() const { return params_; }
  const AnsiString& Fragment() const { return bookmark_; }
  void SetScheme(const AnsiString& v) { scheme_ = v; }
  void SetUsername(const AnsiString& v) { username_ = v; }
  void SetPassword(const AnsiString& v) { password_ = v; }
  void SetHost(const AnsiString& v) { host_ = v; }
  void SetPort(const AnsiString& v) { port_ = v; }
  void SetPath(const AnsiString& v) { path_ = v; }
  void SetFileSegment(const AnsiString& v) { document_ = v; }
  void SetQuery(const AnsiString& v) { params_ = v; }
  void SetFragment(const AnsiString& v) { bookmark_ = v; }

  // "\" becomes "/", except where it is the second byte of a double-byte character.
  static AnsiString NormalizeSlashes(const AnsiString& text);

 private:
  void Clear();
  // Host and Port from "host[:port]" or "[v6][:port]".
  void SplitHostPort(const AnsiString& authority);
  // Splits L into Path, FileSegment and Query; absolute puts "/" before the path.
  void SplitPathPart(const AnsiString& l, bool absolute);

  AnsiString uri_, scheme_, username_, password_, host_, port_, path_, document_, params_, bookmark_;
};
