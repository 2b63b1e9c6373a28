/* Stand-in for the SigmaTel flashing tool "stupdaterapp.exe" of the player vendor's software:
 * a Windows program, started under Wine as the real one is. It flashes nothing: each start
 * appends to stupdaterapp.log, in the folder this tool lives in, its arguments, its working
 * folder and the files it finds below that folder, then ends.
 *
 * Log format (UTF-8, one record per start):
 *   start: <date and time>
 *   args: <each argument in [brackets]>
 *   cwd: <working folder, as Windows names it>
 *   file: <path relative to the working folder, "/"-separated> <size in bytes>   (sorted)
 *   end
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>

static char** files;
static size_t fileCount, fileSpace;

static char* Utf8(const wchar_t* text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, NULL, 0, NULL, NULL);
  char* out = malloc(n > 0 ? (size_t)n : 1);
  if (!out) exit(1);
  if (n <= 0 || !WideCharToMultiByte(CP_UTF8, 0, text, -1, out, n, NULL, NULL)) out[0] = 0;
  return out;
}

/* Every file below dir (relative: "" for the working folder), as "file: <path> <size>". */
static void Collect(const wchar_t* dir) {
  wchar_t pattern[MAX_PATH * 2];
  swprintf(pattern, sizeof pattern / sizeof *pattern, L"%ls%ls*", dir, *dir ? L"\\" : L"");
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW(pattern, &found);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    if (!wcscmp(found.cFileName, L".") || !wcscmp(found.cFileName, L"..")) continue;
    wchar_t path[MAX_PATH * 2];
    swprintf(path, sizeof path / sizeof *path, L"%ls%ls%ls", dir, *dir ? L"/" : L"", found.cFileName);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      Collect(path);
      continue;
    }
    if (!*dir && !_wcsicmp(found.cFileName, L"stupdaterapp.log")) continue;
    char* name = Utf8(path);
    unsigned long long size = ((unsigned long long)found.nFileSizeHigh << 32) | found.nFileSizeLow;
    char* line = malloc(strlen(name) + 40);
    if (!line) exit(1);
    sprintf(line, "file: %s %llu\n", name, size);
    free(name);
    if (fileCount == fileSpace) {
      fileSpace = fileSpace ? fileSpace * 2 : 64;
      files = realloc(files, fileSpace * sizeof *files);
      if (!files) exit(1);
    }
    files[fileCount++] = line;
  } while (FindNextFileW(find, &found));
  FindClose(find);
}

static int ByBytes(const void* a, const void* b) { return strcmp(*(char* const*)a, *(char* const*)b); }

int wmain(int argc, wchar_t** argv) {
  wchar_t log[MAX_PATH];
  DWORD n = GetModuleFileNameW(NULL, log, MAX_PATH - 20);
  wchar_t* slash = wcsrchr(log, L'\\');
  if (!n || !slash) return 1;
  wcscpy(slash + 1, L"stupdaterapp.log");
  FILE* out = _wfopen(log, L"ab");
  if (!out) return 1;

  SYSTEMTIME now;
  GetLocalTime(&now);
  fprintf(out, "start: %04u-%02u-%02u %02u:%02u:%02u\nargs:", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
          now.wSecond);
  for (int i = 1; i < argc; ++i) {
    char* arg = Utf8(argv[i]);
    fprintf(out, " [%s]", arg);
    free(arg);
  }
  wchar_t cwd[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, cwd);
  char* cwdText = Utf8(cwd);
  fprintf(out, "\ncwd: %s\n", cwdText);
  free(cwdText);
  Collect(L"");
  qsort(files, fileCount, sizeof *files, ByBytes);
  for (size_t i = 0; i < fileCount; ++i) fputs(files[i], out);
  fputs("end\n", out);
  return fclose(out) == 0 ? 0 : 1;
}
