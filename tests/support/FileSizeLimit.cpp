#include "support/FileSizeLimit.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

FileSizeLimit::FileSizeLimit(rlim_t limit) {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  if (::getrlimit(RLIMIT_FSIZE, &savedLimit_) != 0 || ::sigaction(SIGXFSZ, &ignore, &savedAction_) != 0)
    throw std::runtime_error(std::string("FileSizeLimit: ") + std::strerror(errno));
  rlimit lowered = savedLimit_;
  lowered.rlim_cur = limit;
  if (::setrlimit(RLIMIT_FSIZE, &lowered) != 0) {
    const int error = errno;
    ::sigaction(SIGXFSZ, &savedAction_, nullptr);
    throw std::runtime_error(std::string("FileSizeLimit: ") + std::strerror(error));
  }
}

FileSizeLimit::~FileSizeLimit() {
  ::setrlimit(RLIMIT_FSIZE, &savedLimit_);
  ::sigaction(SIGXFSZ, &savedAction_, nullptr);
}
