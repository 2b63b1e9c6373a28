#include "job/ResumePlan.h"

#include <cctype>
#include <cstdlib>
#include <vector>

#include "http/NetHTTP.h"
#include "runtime/CodePage.h"

namespace {

const char* const kIfRange = "If-Range";

// "bytes FIRST-LAST/TOTAL" as three numbers; false when it is anything else.
bool ParseContentRange(const AnsiString& value, int64_t& first, int64_t& last, int64_t& total) {
  AnsiString rest = Trim(value);
  if (LowerCase(rest.substr(0, 6)) != "bytes ") return false;
  rest = Trim(rest.substr(6));
  int64_t* fields[] = {&first, &last, &total};
  const char separators[] = {'-', '/', '\0'};
  size_t at = 0;
  for (int i = 0; i < 3; ++i) {
    const size_t begin = at;
    int64_t n = 0;
    while (at < rest.size() && std::isdigit(static_cast<unsigned char>(rest[at])) && n < (int64_t{1} << 50))
      n = n * 10 + (rest[at++] - '0');
    if (at == begin) return false;
    *fields[i] = n;
    if (separators[i] != '\0') {
      if (at >= rest.size() || rest[at] != separators[i]) return false;
      ++at;
    }
  }
  return at == rest.size();
}

bool IsStrongETag(const AnsiString& etag) { return etag.size() >= 2 && etag.front() == '"' && etag.back() == '"'; }

}  // namespace

void TResumePlan::Remember(TNetHTTP& client) {
  TNetHTTPResponse& response = client.Response();
  const AnsiString chunked = LowerCase(response.HeaderLines.ValueOf("Transfer-Encoding"));
  length_ = response.LengthKnown && chunked.find("chunked") == AnsiString::npos ? response.ContentLength() : -1;
  etag_ = Trim(response.HeaderLines.ValueOf("ETag"));
  validator_ = IsStrongETag(etag_) ? etag_ : Trim(response.HeaderLines.ValueOf("Last-Modified"));
  known_ = true;
}

int64_t TResumePlan::PrepareRequest(TNetHTTP& client, int64_t have) {
  ClearRequest(client);
  const bool resume = known_ && length_ > 0 && !validator_.empty() && have > 0 && have < length_;
  asked_ = resume ? have : 0;
  if (resume) {
    client.Request().ContentRangeStart = static_cast<int32_t>(have);
    client.Request().CustomHeaders.SetValueOf(kIfRange, validator_);
  }
  return asked_;
}

void TResumePlan::ClearRequest(TNetHTTP& client) {
  client.Request().ContentRangeStart = 0;
  client.Request().ContentRangeEnd = 0;
  client.Request().CustomHeaders.SetValueOf(kIfRange, "");
}

TResumePlan::TVerdict TResumePlan::Judge(TNetHTTP& client) {
  TNetHTTPResponse& response = client.Response();
  if (asked_ == 0 || client.ResponseCode() != 206) {
    Remember(client);
    return rvReplace;
  }
  int64_t first = 0, last = 0, total = 0;
  const AnsiString etag = Trim(response.HeaderLines.ValueOf("ETag"));
  const bool fits = ParseContentRange(response.HeaderLines.ValueOf("Content-Range"), first, last, total) &&
                    first == asked_ && total == length_ && last == length_ - 1 &&
                    (etag.empty() || etag_.empty() || etag == etag_);
  return fits ? rvAppend : rvRefuse;
}

// "length<TAB>etag<TAB>validator": validators are header values, which hold no tab.
AnsiString TResumePlan::Saved() const {
  if (!known_ || length_ <= 0 || validator_.empty()) return AnsiString();
  return IntToStr(length_) + "\t" + etag_ + "\t" + validator_;
}

bool TResumePlan::Restore(const AnsiString& saved) {
  const std::vector<AnsiString> fields = AnsiSplit(saved, '\t');
  if (fields.size() != 3 || fields[2].empty()) return false;
  char* end = nullptr;
  const long long length = std::strtoll(fields[0].c_str(), &end, 10);
  if (fields[0].empty() || *end != '\0' || length <= 0) return false;
  length_ = length;
  etag_ = fields[1];
  validator_ = fields[2];
  known_ = true;
  return true;
}
