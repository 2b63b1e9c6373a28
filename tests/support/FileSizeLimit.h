// A stand-in for a full disk: while the object lives, a write that would take any file
// of the process past limit bytes fails with EFBIG (a write that crosses the limit moves
// the bytes below it first). The limit is the process's own: every thread and every
// file is held to it, log files included, and so are programs started meanwhile; keep
// the scope to the step under test. SIGXFSZ, which would end the process, is ignored
// meanwhile. Both are restored when the object goes.
#pragma once

#include <signal.h>
#include <sys/resource.h>

class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t limit);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit savedLimit_{};
  struct sigaction savedAction_ {};
};
