// A named mutex that marks a running instance.
//
// The mutex is an exclusive flock on "<name>.lock" in the user's runtime folder
// ($XDG_RUNTIME_DIR/<name>.lock, else /tmp/<name>-<uid>.lock). The first holder owns it
// until it closes the mutex or its process ends (the system drops the lock then, also
// after a crash). A mutex created while another process (or another TNamedMutex of this
// process) holds the lock reports AlreadyExisted(), like ERROR_ALREADY_EXISTS. The lock
// file is never inherited by programs started from this process.
#pragma once

#include "runtime/Component.h"
#include "runtime/FileIO.h"

class TNamedMutex : public TObject {
 public:
  // Creates the mutex, asking for ownership. Never raises: a lock file that cannot be
  // opened gives a mutex that neither owns nor already existed.
  explicit TNamedMutex(const AnsiString& name);
  // Destroying the object releases ownership (its descriptor closes).

  const AnsiString& Name() const { return name_; }
  // The mutex was held elsewhere when it was created.
  bool AlreadyExisted() const { return alreadyExisted_; }
  // This object holds the lock.
  bool Owned() const { return owned_; }
  // The lock file's path (system encoding).
  const std::string& LockFileName() const { return path_; }

 private:
  AnsiString name_;
  std::string path_;
  TFileHandle fd_;
  bool alreadyExisted_ = false;
  bool owned_ = false;
};
