// The handful of Windows types and constants the platform stand-ins speak in.
//
// Handles are opaque; only their being null or not means anything to callers.
#pragma once

#include <cstdint>

using HWND = void*;
using HKEY = uintptr_t;
using REGSAM = uint32_t;

// Show modes of WinExec and ShellExecuteA. A started program gets no window of ours,
// so the mode is accepted and otherwise ignored.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOW = 5;

// System error codes returned by WinExec / ShellExecuteA and set by the mutex.
constexpr uint32_t ERROR_SUCCESS = 0;
constexpr uint32_t ERROR_FILE_NOT_FOUND = 2;
constexpr uint32_t ERROR_PATH_NOT_FOUND = 3;
constexpr uint32_t ERROR_ACCESS_DENIED = 5;
constexpr uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr uint32_t ERROR_BAD_FORMAT = 11;
constexpr uint32_t ERROR_ALREADY_EXISTS = 183;

// ShellExecuteA results at or below 32 that are not system error codes.
constexpr int SE_ERR_ACCESSDENIED = 5;
constexpr int SE_ERR_NOASSOC = 31;
