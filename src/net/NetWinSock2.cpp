#include "net/NetWinSock2.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include "net/NetException.h"
#include "platform/WinSock2.h"

namespace {
// The "library handle": non-zero while loaded.
std::atomic<int> gLibrary{0};
std::atomic<int> gStartups{0};
std::atomic<uint64_t> gGeneration{0};
std::mutex gEntriesLock;
// Never destroyed: the stack unit's end may still unload after other units ended.
std::set<std::string>& ResolvedEntries() {
  static auto* entries = new std::set<std::string>();
  return *entries;
}
// Runs when the loader unit starts.
const bool kEntriesReset = (ResetEntries(), true);
}  // namespace

int LoadSocketLibrary(uint16_t version) {
  if (gLibrary.load() != 0) return 0;
  gLibrary = 1;
  gStartups.fetch_add(1);
  ResolveEntry("WSAStartup");
  return WinSock::WSAStartup(version);
}

void UnloadSocketLibrary() {
  if (gLibrary.exchange(0) != 0) ResetEntries();
}

void ResetEntries() {
  std::lock_guard<std::mutex> lock(gEntriesLock);
  ResolvedEntries().clear();
  gGeneration.fetch_add(1);
}

uint64_t EntriesGeneration() { return gGeneration.load(std::memory_order_acquire); }

bool SocketLibraryLoaded() { return gLibrary.load() != 0; }

void ResolveEntry(const char* name) {
  if (gLibrary.load() == 0) throw ENetWS2StubError(Format(NetText::StubCallError, name), WinSock::WSANOTINITIALISED);
  std::lock_guard<std::mutex> lock(gEntriesLock);
  ResolvedEntries().insert(name);
}

bool EntryResolved(const char* name) {
  std::lock_guard<std::mutex> lock(gEntriesLock);
  return ResolvedEntries().count(name) > 0;
}

int SocketLibraryStartups() { return gStartups.load(); }
