#include "http/NetDateTime.h"

#include <sys/time.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr double kUnixEpochDays = 25569.0;  // 1970-01-01 as a TDateTime
const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

int MonthIndex(const AnsiString& word) {
  for (int m = 0; m < 12; ++m)
    if (word.size() >= 3 && SameText(word.substr(0, 3), kMonths[m])) return m;
  return -1;
}

bool AllDigits(const AnsiString& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

// Splits at blanks, commas and "-" (the date separators of the three forms); a "-"
// right before digits after the time is kept with them as an offset sign.
std::vector<AnsiString> Words(const AnsiString& text) {
  std::vector<AnsiString> words;
  AnsiString cur;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool sign = (c == '+' || c == '-') && cur.empty() && !words.empty() &&
                      words.back().find(':') != AnsiString::npos;
    if (c == ' ' || c == ',' || c == '\t' || (c == '-' && !sign)) {
      if (!cur.empty()) words.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) words.push_back(cur);
  return words;
}

bool ParseTime(const AnsiString& word, int& h, int& m, int& s) {
  h = m = s = 0;
  return std::sscanf(word.c_str(), "%d:%d:%d", &h, &m, &s) >= 2 && h >= 0 && h < 24 && m >= 0 && m < 60 &&
         s >= 0 && s <= 60;
}

// Seconds east of UTC for a zone word; false when it is not one.
bool ZoneOffset(const AnsiString& word, long& offset) {
  const AnsiString u = UpperCase(word);
  if (u == "GMT" || u == "UT" || u == "UTC" || u == "Z") {
    offset = 0;
    return true;
  }
  if ((word[0] == '+' || word[0] == '-') && word.size() == 5 && AllDigits(word.substr(1))) {
    const long hh = std::stol(word.substr(1, 2)), mm = std::stol(word.substr(3, 2));
    offset = (hh * 3600 + mm * 60) * (word[0] == '-' ? -1 : 1);
    return true;
  }
  return false;
}

}  // namespace

TDateTime UnixToLocalDateTime(time_t t) {
  struct tm lt {};
  localtime_r(&t, &lt);
  return kUnixEpochDays + static_cast<double>(t + lt.tm_gmtoff) / 86400.0;
}

time_t LocalDateTimeToUnix(TDateTime dt) {
  const double localSeconds = std::floor((dt - kUnixEpochDays) * 86400.0 + 0.5);
  time_t guess = static_cast<time_t>(localSeconds);
  struct tm lt {};
  localtime_r(&guess, &lt);
  return guess - lt.tm_gmtoff;
}

TDateTime NetNow() {
  struct timeval tv {};
  gettimeofday(&tv, nullptr);
  return UnixToLocalDateTime(tv.tv_sec) + tv.tv_usec / 86400e6;
}

bool TryParseInternetDate(const AnsiString& text, time_t& utc) {
  const std::vector<AnsiString> words = Words(Trim(text));
  int day = -1, month = -1, year = -1, h = -1, m = 0, s = 0;
  long offset = 0;
  for (const AnsiString& w : words) {
    if (w.find(':') != AnsiString::npos && h < 0) {
      if (!ParseTime(w, h, m, s)) return false;
    } else if (AllDigits(w) && w.size() <= 4) {
      // The first number is the day, the second the year (two digits: 1970-2069).
      if (day < 0) {
        day = std::stoi(w);
      } else if (year < 0) {
        year = std::stoi(w);
        if (w.size() <= 2) year += year < 70 ? 2000 : 1900;
      }
    } else if (month < 0 && MonthIndex(w) >= 0) {
      month = MonthIndex(w);
    } else if (h >= 0) {
      ZoneOffset(w, offset);
    }
  }
  if (day < 1 || day > 31 || month < 0 || year < 1601 || h < 0) return false;
  struct tm t {};
  t.tm_year = year - 1900;
  t.tm_mon = month;
  t.tm_mday = day;
  t.tm_hour = h;
  t.tm_min = m;
  t.tm_sec = s;
  utc = timegm(&t) - offset;
  return true;
}

TDateTime GMTToLocalDateTime(const AnsiString& text) {
  time_t utc = 0;
  return TryParseInternetDate(text, utc) ? UnixToLocalDateTime(utc) : 0;
}

AnsiString UnixToInternetStr(time_t t) {
  struct tm lt {};
  localtime_r(&t, &lt);
  const long off = lt.tm_gmtoff / 60;
  const AnsiString zone = Format("%c%02ld%02ld", off < 0 ? '-' : '+', std::labs(off) / 60, std::labs(off) % 60);
  const AnsiString time = Format("%02d:%02d:%02d", lt.tm_hour, lt.tm_min, lt.tm_sec);
  return Format("%s, %d %s %d %s %s", kDays[lt.tm_wday], lt.tm_mday, kMonths[lt.tm_mon], lt.tm_year + 1900,
                time.c_str(), zone.c_str());
}

AnsiString DateTimeGMTToHttpStr(TDateTime localTime) { return UnixToInternetStr(LocalDateTimeToUnix(localTime)); }
