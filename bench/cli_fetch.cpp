// `tavro fetch MODEL VERSION` as a whole process for bench/compare, against the server
// given here rather than the one compiled into the program: the command's own run (the
// store's lock, the catalogue, the package into the store), without the argument parsing
// and the log.
//
//   cli_fetch SERVER PROGRAM-FOLDER MODEL VERSION
//
// SERVER is host:port for http or https://host:port (trusting SSL_CERT_FILE). Exits with
// the command's status.
#include <cstdio>

#include "cli/CommandRuns.h"
#include "cli/CommandSupport.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: cli_fetch SERVER PROGRAM-FOLDER MODEL VERSION\n");
    return 2;
  }
  TInvocation call;
  call.Args = {argv[3], argv[4]};
  call.Settings = TAppSettings{argv[1], argv[2]};
  return RunFetch(call);
}
