// Date-times of the HTTP client: TDateTime counts days since 1899-12-30 (the fraction
// is the time of day), in local time unless a name says otherwise; 0 means none.
//
// Internet dates are the three forms servers send (RFC 1123 "Sun, 06 Nov 1994 08:49:37
// GMT", RFC 850 "Sunday, 06-Nov-94 08:49:37 GMT", asctime "Sun Nov  6 08:49:37 1994"),
// with "GMT"/"UT"/"Z" or a numeric offset "+hhmm"/"-hhmm".
#pragma once

#include <ctime>

#include "runtime/SysUtils.h"

using TDateTime = double;

TDateTime NetNow();
TDateTime UnixToLocalDateTime(time_t t);
time_t LocalDateTimeToUnix(TDateTime dt);

// Reads an Internet date into seconds since the epoch (UTC); false when it does not parse.
bool TryParseInternetDate(const AnsiString& text, time_t& utc);
// The same as a local TDateTime; 0 when it does not parse (never raises).
TDateTime GMTToLocalDateTime(const AnsiString& text);
// "%s, %d %s %d %s %s": weekday, day, month, year, hh:mm:ss and the local offset
// from UTC as a sign and four digits ("Mon, 7 Dec 2026 19:57:40 +0100").
AnsiString DateTimeGMTToHttpStr(TDateTime localTime);
AnsiString UnixToInternetStr(time_t t);
