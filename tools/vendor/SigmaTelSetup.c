/* Stand-in for the player vendor's setup program "SigmaTelSetup.exe": a Windows program that
 * installs the "SigmaTel MSCN Audio Player" software the way the updater sees it, run under
 * Wine as a Linux user runs the real one:
 * - the flashing tool (the stand-in StUpdaterApp.exe, carried in this program as its
 *   resource 1) in C:\Program Files\SigmaTel\SigmaTel MSCN Audio Player;
 * - the key HKEY_LOCAL_MACHINE\Software\SigmaTel\SigmaTel MSCN Audio Player\Params with the
 *   text value "Install Folder" naming that folder, written through the registry calls in
 *   the 32-bit view, where the vendor's 32-bit installer writes it (on a 64-bit prefix:
 *   Software\Wow6432Node\...).
 * Arguments are accepted and ignored, like the vendor's silent switches. Ends with 0 when
 * everything is installed, else 1 with the reason on standard error.
 */
#include <stdio.h>
#include <wchar.h>
#include <windows.h>

static const wchar_t kFolder[] = L"C:\\Program Files\\SigmaTel\\SigmaTel MSCN Audio Player";
static const wchar_t kTool[] = L"StUpdaterApp.exe";
static const wchar_t kKey[] = L"Software\\SigmaTel\\SigmaTel MSCN Audio Player\\Params";

static int Fail(const char* what, DWORD error) {
  fprintf(stderr, "SigmaTelSetup.exe: %s (error %lu)\n", what, (unsigned long)error);
  return 1;
}

/* Creates the folder and its missing parents. */
static BOOL MakeFolder(const wchar_t* folder) {
  wchar_t part[MAX_PATH];
  for (size_t i = 3; folder[i - 1]; ++i) {
    if (folder[i] != L'\\' && folder[i] != 0) continue;
    wcsncpy(part, folder, i);
    part[i] = 0;
    if (!CreateDirectoryW(part, NULL) && GetLastError() != ERROR_ALREADY_EXISTS) return FALSE;
    if (!folder[i]) break;
  }
  return TRUE;
}

int wmain(void) {
  HRSRC resource = FindResourceW(NULL, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  HGLOBAL loaded = resource ? LoadResource(NULL, resource) : NULL;
  const void* tool = loaded ? LockResource(loaded) : NULL;
  DWORD size = resource ? SizeofResource(NULL, resource) : 0;
  if (!tool || !size) return Fail("the flashing tool is missing from the setup program", GetLastError());

  if (!MakeFolder(kFolder)) return Fail("cannot create the player software folder", GetLastError());
  wchar_t path[MAX_PATH];
  swprintf(path, MAX_PATH, L"%ls\\%ls", kFolder, kTool);
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return Fail("cannot create the flashing tool", GetLastError());
  DWORD written = 0;
  BOOL ok = WriteFile(file, tool, size, &written, NULL) && written == size;
  if (!CloseHandle(file) || !ok) return Fail("cannot write the flashing tool", GetLastError());

  HKEY key;
  LONG error = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, NULL, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, NULL, &key, NULL);
  if (error != ERROR_SUCCESS) return Fail("cannot create the registry key", (DWORD)error);
  error = RegSetValueExW(key, L"Install Folder", 0, REG_SZ, (const BYTE*)kFolder, sizeof kFolder);
  RegCloseKey(key);
  if (error != ERROR_SUCCESS) return Fail("cannot write the registry value", (DWORD)error);
  return 0;
}
