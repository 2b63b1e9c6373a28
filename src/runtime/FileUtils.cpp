#include "runtime/FileUtils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "runtime/CodePage.h"
#include "runtime/Exception.h"
#include "runtime/FileIO.h"
#include "runtime/ReplacementFile.h"

void ReplaceFileContent(const AnsiString& fileName, const void* data, int64_t size) {
  TReplacementFile file(fileName);
  file.Write(data, size);  // a failed write is reported by Commit, with its reason
  file.Commit();
}

std::string ReadFileContent(const AnsiString& fileName) {
  TFileHandle fd(::open(AnsiPathToSys(fileName).c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.IsOpen()) RaiseOpenError(fileName, errno);
  struct stat st {};
  if (::fstat(fd.Get(), &st) == 0 && S_ISDIR(st.st_mode)) RaiseOpenError(fileName, EISDIR);
  std::string content;
  char buffer[65536];
  int error = 0;
  while (const int64_t n = ReadFull(fd.Get(), buffer, sizeof buffer, &error)) {
    content.append(buffer, static_cast<size_t>(n));
    if (error) break;
  }
  // Part of a file is not the file: fail rather than hand back what was read so far.
  if (error) throw EReadError("Stream read error");
  return content;
}

bool FileExists(const AnsiString& fileName) {
  struct stat st {};
  return ::stat(AnsiPathToSys(fileName).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const AnsiString& dirName) {
  struct stat st {};
  return ::stat(AnsiPathToSys(dirName).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ForceDirectories(const AnsiString& dirName) {
  std::string path = AnsiPathToSys(dirName);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path.empty()) return false;
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      std::string part = path.substr(0, i);
      if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
  }
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool DeleteFile(const AnsiString& fileName) { return ::unlink(AnsiPathToSys(fileName).c_str()) == 0; }

int32_t FileGetAttr(const AnsiString& fileName) {
  struct stat st {};
  const std::string path = AnsiPathToSys(fileName);
  if (::stat(path.c_str(), &st) != 0) return -1;
  int32_t attr = 0;
  if (S_ISDIR(st.st_mode)) attr |= faDirectory;
  else attr |= faArchive;
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attr |= faReadOnly;
  return attr;
}

bool FileSetAttr(const AnsiString& fileName, int32_t attr) {
  struct stat st {};
  const std::string path = AnsiPathToSys(fileName);
  if (::stat(path.c_str(), &st) != 0) return false;
  mode_t mode = st.st_mode & 0777;
  if (attr & faReadOnly) mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  else mode |= S_IWUSR;
  return ::chmod(path.c_str(), mode) == 0;
}

int32_t DateTimeToFileDate(time_t t) {
  struct tm lt {};
  if (!::localtime_r(&t, &lt)) return 0;
  if (lt.tm_year < 80) return (1 << 5 | 1) << 16;  // before 1980: the earliest DOS date
  if (lt.tm_year > 80 + 127) return static_cast<int32_t>(0xFF9FBF7Du);  // after 2107: the latest, 2107-12-31 23:59:58
  const uint32_t date = static_cast<uint32_t>(((lt.tm_year - 80) << 9) | ((lt.tm_mon + 1) << 5) | lt.tm_mday);
  const uint32_t time = static_cast<uint32_t>((lt.tm_hour << 11) | (lt.tm_min << 5) | (lt.tm_sec / 2));
  return static_cast<int32_t>((date << 16) | time);
}

namespace {
time_t LocalDosTime(int32_t dosDateTime) {
  const uint32_t v = static_cast<uint32_t>(dosDateTime);
  struct tm lt {};
  lt.tm_year = static_cast<int>((v >> 25) & 0x7F) + 80;
  lt.tm_mon = static_cast<int>((v >> 21) & 0x0F) - 1;
  lt.tm_mday = static_cast<int>((v >> 16) & 0x1F);
  lt.tm_hour = static_cast<int>((v >> 11) & 0x1F);
  lt.tm_min = static_cast<int>((v >> 5) & 0x3F);
  lt.tm_sec = static_cast<int>((v & 0x1F) * 2);
  if (lt.tm_mon < 0 || lt.tm_mon > 11 || lt.tm_mday < 1 || lt.tm_mday > 31 || lt.tm_hour > 23 || lt.tm_min > 59 ||
      lt.tm_sec > 59)
    return -1;
  lt.tm_isdst = -1;
  const struct tm asked = lt;
  const time_t t = ::mktime(&lt);
  // mktime rolls a day that the month does not have (February 30) into the next month.
  if (t == -1 || lt.tm_mday != asked.tm_mday || lt.tm_mon != asked.tm_mon || lt.tm_year != asked.tm_year) return -1;
  return t;
}
}  // namespace

time_t FileDateToDateTime(int32_t dosDateTime) {
  // The entries of one archive mostly share a few minutes, and mktime looks at the system's
  // zone file on every call: the start of the last minute asked is kept, and the seconds are
  // added to it (the zone's offset changes only at the turn of a minute).
  const int32_t seconds = dosDateTime & 0x1F;
  if (seconds > 29) return -1;  // 60 or 62 seconds
  thread_local int32_t lastMinute = 0;
  thread_local time_t lastStart = -1;
  const int32_t minute = dosDateTime & ~0x1F;
  if (minute != lastMinute || lastStart == -1) {
    lastMinute = minute;
    lastStart = LocalDosTime(minute);
  }
  return lastStart == -1 ? -1 : lastStart + 2 * seconds;
}

int32_t FileAge(const AnsiString& fileName) {
  struct stat st {};
  if (::stat(AnsiPathToSys(fileName).c_str(), &st) != 0) return -1;
  return DateTimeToFileDate(st.st_mtime);
}

bool FileSetDate(const AnsiString& fileName, int32_t dosDateTime) {
  const time_t t = FileDateToDateTime(dosDateTime);
  if (t == -1) return false;
  struct timespec times[2];
  times[0].tv_sec = times[1].tv_sec = t;
  times[0].tv_nsec = times[1].tv_nsec = 0;
  return ::utimensat(AT_FDCWD, AnsiPathToSys(fileName).c_str(), times, 0) == 0;
}
