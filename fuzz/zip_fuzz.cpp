// libFuzzer target: open arbitrary bytes as an archive and extract everything into a
// scratch folder. Any crash, sanitizer report, or a file appearing outside the base
// folder is a finding.
#include <dirent.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "runtime/Exception.h"
#include "runtime/Hooks.h"
#include "zip/ZipArchiver.h"

namespace {

std::string Scratch() {
  static const std::string dir = [] {
    std::string d = "/dev/shm/tavro-zip-fuzz-" + std::to_string(::getpid());
    ::mkdir(d.c_str(), 0700);
    return d;
  }();
  return dir;
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  ::chmod(path, 0700);
  ::remove(path);
  return 0;
}

void RemoveTree(const std::string& path) { ::nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS); }

// The sandbox must hold nothing but the archive and the base folder afterwards.
void CheckSandbox(const std::string& sandbox) {
  DIR* dir = ::opendir(sandbox.c_str());
  if (!dir) return;
  while (dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name != "." && name != ".." && name != "base" && name != "a.zip") {
      std::fprintf(stderr, "file written outside the base folder: %s\n", name.c_str());
      std::abort();
    }
  }
  ::closedir(dir);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  const std::string sandbox = Scratch() + "/s";
  RemoveTree(sandbox);
  ::mkdir(sandbox.c_str(), 0700);
  const std::string archive = sandbox + "/a.zip";
  if (FILE* f = std::fopen(archive.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  int prompts = 0;
  RuntimeHooks().MessageDlg = [&](const AnsiString&, TMsgDlgType, const std::vector<TMsgDlgBtn>&) {
    return ++prompts < 64 ? mrIgnore : mrAbort;
  };
  RuntimeHooks().InputQuery = [&](const AnsiString&, const AnsiString&, AnsiString& value) {
    value = "secret";
    return ++prompts < 64;
  };
  {
    TZipArchiver archiver;
    archiver.SetName("Archiver");
    archiver.Options().FlushBuffers = false;
    archiver.SetFileName(archive);
    try {
      archiver.OpenZipFile(0x20);
      archiver.SetBaseDir(sandbox + "/base");
      archiver.ExtractMatching("*.*", 10431, "");
      archiver.Options().OverwriteMode = omIfOlder;
      archiver.ExtractMatching("*.*", 10431, "");
    } catch (const Exception&) {
    }
    archiver.CloseZipFile();
  }
  CheckSandbox(sandbox);
  RemoveTree(sandbox);
  return 0;
}
