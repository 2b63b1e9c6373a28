// Top-level window lookup by caption, across the processes of this user.
//
// Each process publishes its application window's caption in
// "<runtime dir>/tavro-windows/<pid>" (runtime dir: $XDG_RUNTIME_DIR, else the folder is
// /tmp/tavro-windows-<uid>). A lookup reads every published caption, skips processes
// that have ended (and entries left behind by them, also when their process id has
// been given to another program since), and compares captions without regard to case.
// Captions are ANSI text, stored as they are.
#pragma once

#include "platform/WinTypes.h"
#include "runtime/SysUtils.h"

// Publishes (or replaces) this process's application window caption; false when the
// folder cannot be written. The entry is removed again when the process exits normally.
bool PublishWindowCaption(const AnsiString& caption);
// Removes this process's entry; a later lookup no longer finds it.
void UnpublishWindowCaption();

// The process id of a live process whose application window carries the caption
// (this process included); 0 when there is none.
int FindWindowByCaption(const AnsiString& caption);

// FindWindowA stand-in: className must be null (or "TApplication"); the result is a
// non-null handle when a window with the caption exists.
HWND FindWindowA(const char* className, const char* windowName);
