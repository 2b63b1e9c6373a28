// Internal to the platform layer; not part of its interface.
// Where the per-user markers of running instances live (named mutexes, window captions).
#pragma once

#include <string>

// $XDG_RUNTIME_DIR when it is set to an absolute path, else empty (callers then fall
// back to a per-user name under /tmp). System path, no trailing "/".
std::string UserRuntimeDir();

// Creates the folder (mode 0700) when missing and checks that it is a real folder of
// ours: a folder under the shared /tmp that another user planted, or a symbolic link,
// is refused. Returns false when the folder cannot be used.
bool EnsurePrivateFolder(const std::string& path);
