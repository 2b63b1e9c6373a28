// Our side of the unpack comparison (bench/compare-unpack.sh): extracts every entry of
// an archive below a folder, as the firmware hand-off does, in a process of its own so
// that its time and peak memory can be measured whole.
//
//   zip_unpack_cli [--flush] ARCHIVE FOLDER
//
// FlushBuffers is off unless --flush is given (the peers do not flush either). Exits
// with 0 when every entry was extracted, 3 when an entry failed or the run was ended.
#include <cstdio>
#include <cstring>

#include "runtime/Exception.h"
#include "zip/ZipArchiver.h"

int main(int argc, char** argv) {
  const bool flush = argc > 1 && std::strcmp(argv[1], "--flush") == 0;
  if (argc != (flush ? 4 : 3)) {
    std::fprintf(stderr, "usage: %s [--flush] ARCHIVE FOLDER\n", argv[0]);
    return 2;
  }
  TZipArchiver archiver;
  archiver.SetName("Archiver");
  archiver.Options().FlushBuffers = flush;
  archiver.OnProcessFileFailure = [](TObject*, const AnsiString&, TZipProcessOperation, int, int,
                                     const AnsiString& message, TZipAction& action) {
    std::fprintf(stderr, "%s\n", message.c_str());
    action = fxaIgnore;
  };
  try {
    archiver.SetFileName(argv[flush ? 2 : 1]);
    archiver.OpenZipFile(0x20);
    archiver.SetBaseDir(argv[flush ? 3 : 2]);
    archiver.ExtractMatching("*.*", 10431, "");
  } catch (const Exception& e) {
    std::fprintf(stderr, "%s\n", e.Message().c_str());
    return 3;
  }
  return archiver.LastRunFailures() == 0 && !archiver.LastRunAborted() ? 0 : 3;
}
