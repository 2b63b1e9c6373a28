// TResumePlan: what one package download keeps between its attempts, so that an attempt
// after a broken connection asks only for the rest of the package, and only when the rest
// is sure to belong to the same package.
//
// The first answer of a download (a 200 with a Content-Length) gives the package's length
// and its validator: its ETag when that is a strong one, else its Last-Modified text. A
// later attempt asks for "Range: bytes=N-" with "If-Range: <validator>"; its answer is
// judged when its body begins (before any byte of it is written):
// - 206 whose Content-Range starts at N and ends at the package's last byte, with the
//   same total (and the same ETag, when it names one): the body is appended;
// - 200: the server ignored the range or the package changed: the body replaces what was
//   there, and this answer becomes the first answer;
// - any other 206 (a range that does not fit): refused, the download starts over.
// Without a length or a validator nothing is ever resumed: every attempt starts over, so
// that two versions of a package are never mixed. A 416 answer also means starting over.
#pragma once

#include <cstdint>

#include "runtime/SysUtils.h"

class TNetHTTP;

class TResumePlan {
 public:
  enum TVerdict { rvAppend, rvReplace, rvRefuse };

  // Forgets the first answer: the next attempt starts over.
  void Forget() { known_ = false; }
  // The first answer in a line of text, to keep beside a partial file; empty when nothing
  // could be resumed from it (no length or no validator).
  AnsiString Saved() const;
  // Takes a first answer saved with Saved (of an earlier run); false when the text is none.
  bool Restore(const AnsiString& saved);
  // Prepares the client's request for an attempt that already holds `have` bytes of the
  // package; returns the offset asked for (0 when the attempt starts over).
  int64_t PrepareRequest(TNetHTTP& client, int64_t have);
  // Takes the range settings off the client again (its other fetches ask for everything).
  static void ClearRequest(TNetHTTP& client);
  // Judges the answer to the prepared request when its body begins.
  TVerdict Judge(TNetHTTP& client);

 private:
  void Remember(TNetHTTP& client);

  bool known_ = false;
  int64_t length_ = -1;
  AnsiString etag_;
  AnsiString validator_;
  int64_t asked_ = 0;
};
