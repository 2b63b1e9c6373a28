// Runs the fuzz target once over each file named on the command line, or each file in a
// folder named there, without libFuzzer: the seed corpus becomes an ordinary test, and a
// crash file found by a fuzzing run can be replayed in the normal build.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int RunFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return 1;
  }
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  std::printf("ran %s (%zu bytes)\n", path.c_str(), bytes.size());
  return 0;
}

std::vector<std::string> Inputs(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return {path};
  std::vector<std::string> files;
  if (DIR* dir = ::opendir(path.c_str())) {
    while (dirent* e = ::readdir(dir))
      if (e->d_name[0] != '.') files.push_back(path + "/" + e->d_name);
    ::closedir(dir);
  }
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  int failures = 0;
  size_t runs = 0;
  for (int i = 1; i < argc; ++i)
    for (const std::string& file : Inputs(argv[i])) {
      failures += RunFile(file);
      ++runs;
    }
  if (runs == 0) {
    std::fprintf(stderr, "no input files\n");
    return 1;
  }
  return failures ? 1 : 0;
}
