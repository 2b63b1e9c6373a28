// Internal to the socket transport; not part of its interface.
// The sockets library loader. On this platform the library is the POSIX socket API
// (platform/WinSock2.h); "loading" binds it, and the entry table records which entry
// points have been resolved on first use.
#pragma once

#include <cstdint>

#include "runtime/SysUtils.h"

// Starts the library once: returns 0 at once when it is already loaded, else loads it
// and returns the start-up call's result.
int LoadSocketLibrary(uint16_t version);
// Unloads once, even when called concurrently, and resets the entries.
void UnloadSocketLibrary();
// Forgets the library and marks every entry unresolved.
void ResetEntries();
bool SocketLibraryLoaded();

// Resolves the named entry on its first use; raises ENetWS2StubError
// "Error on call Winsock2 library function <name>: ..." (code 10093) when the
// library is not loaded.
void ResolveEntry(const char* name);
// Whether an entry has been resolved since the last reset.
bool EntryResolved(const char* name);
// Changes whenever the entries are reset, so cached resolutions know they are stale.
uint64_t EntriesGeneration();
// Number of start-up calls made in this process (a second load does not start again).
int SocketLibraryStartups();
