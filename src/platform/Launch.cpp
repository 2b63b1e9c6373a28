#include "platform/Launch.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "platform/Log.h"
#include "platform/UserFolders.h"
#include "platform/WinePrefix.h"
#include "runtime/CodePage.h"
#include "platform/WinTypes.h"
#include "runtime/FileIO.h"

namespace {

bool IsExecutableFile(const std::string& path) { return IsRegularFile(path) && ::access(path.c_str(), X_OK) == 0; }

bool HasMzHeader(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char magic[2] = {};
  return in.read(magic, 2) && magic[0] == 'M' && magic[1] == 'Z';
}

bool HasExtension(const std::string& name) {
  const size_t dot = name.rfind('.');
  const size_t slash = name.rfind('/');
  return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

uint32_t ErrorCodeOf(int error) {
  switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES: case EPERM: return ERROR_ACCESS_DENIED;
    case ENOMEM: case EAGAIN: return ERROR_NOT_ENOUGH_MEMORY;
    default: return ERROR_BAD_FORMAT;
  }
}

// Runs in the forked children: only async-signal-safe calls from here on.
[[noreturn]] void ExecChild(char* const* argv, char* const* envp, const char* workDir, int reportFd) {
  int error = 0;
  // The program gets nothing of ours but the standard streams (and the report pipe,
  // which closes when it is executed), with signals as a freshly started program has them.
  if (reportFd > 3) ::close_range(3, static_cast<unsigned>(reportFd) - 1, 0);
  ::close_range(static_cast<unsigned>(reportFd) + 1, ~0u, 0);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  ::signal(SIGPIPE, SIG_DFL);
  ::signal(SIGCHLD, SIG_DFL);
  int devNull = ::open("/dev/null", O_RDWR);
  if (devNull >= 0) {
    ::dup2(devNull, 0);
    ::dup2(devNull, 1);
    ::dup2(devNull, 2);
    if (devNull > 2) ::close(devNull);
  }
  if (workDir && ::chdir(workDir) != 0) {
    error = ENOTDIR;
  } else {
    ::execve(argv[0], argv, envp);
    error = errno;
  }
  WriteFull(reportFd, &error, sizeof error);
  ::_exit(127);
}

}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> args;
  std::string current;
  bool inArg = false, quoted = false;
  for (size_t i = 0; i < line.size();) {
    const char c = line[i];
    if (!quoted && (c == ' ' || c == '\t')) {
      if (inArg) args.push_back(current);
      current.clear();
      inArg = false;
      ++i;
      continue;
    }
    inArg = true;
    if (c == '\\') {
      size_t n = 0;
      while (i < line.size() && line[i] == '\\') ++n, ++i;
      if (i < line.size() && line[i] == '"') {
        current.append(n / 2, '\\');
        if (n % 2) current += '"', ++i;
      } else {
        current.append(n, '\\');
      }
    } else if (c == '"') {
      quoted = !quoted;
      ++i;
    } else {
      current += c;
      ++i;
    }
  }
  if (inArg) args.push_back(current);
  return args;
}

std::vector<std::string> PathFolders() {
  const char* path = std::getenv("PATH");
  return SplitSearchList(path ? path : "/usr/local/bin:/usr/bin:/bin");
}

std::string FindFileIn(const std::vector<std::string>& folders, const std::string& name) {
  if (name.empty()) return std::string();
  for (std::string folder : folders) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    const std::string full = folder + name;
    const size_t slash = full.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : full.substr(0, slash + 1);
    const std::string base = full.substr(dir.size());
    std::string path;
    for (const std::string& candidate : {base, HasExtension(name) ? std::string() : base + ".exe"}) {
      if (candidate.empty()) continue;
      const std::string found = FindNameWithoutCase(dir.empty() ? "." : dir, candidate);
      if (!found.empty() && IsRegularFile(dir + found)) {
        path = dir + found;
        break;
      }
    }
    if (path.empty()) continue;
    // Absolute, so that the program is still found after the start changes folder.
    if (path[0] != '/') {
      char cwd[4096];
      if (::getcwd(cwd, sizeof cwd)) path = std::string(cwd) + "/" + path;
    }
    return path;
  }
  return std::string();
}

namespace {

// How the file is started: itself, or through wine (with the prefix in env).
uint32_t LaunchCommandFor(const std::string& file, std::vector<std::string>& argv, std::vector<std::string>& env) {
  if (!IsRegularFile(file)) return ERROR_FILE_NOT_FOUND;
  if (HasMzHeader(file)) {
    std::string wine;
    for (const std::string& folder : PathFolders())
      if (IsExecutableFile(folder + "/wine")) {
        wine = folder + "/wine";
        break;
      }
    if (wine.empty()) return ERROR_BAD_FORMAT;
    argv = {wine, file};
    env = {"WINEPREFIX=" + WinePrefix()};
    return 0;
  }
  if (::access(file.c_str(), X_OK) != 0) return ERROR_ACCESS_DENIED;
  argv = {file};
  return 0;
}

std::string Quoted(const std::string& text) {
  return text.find_first_of(" \t\"") == std::string::npos && !text.empty() ? text : "\"" + text + "\"";
}

const char* WhyNotStarted(uint32_t error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND: return "no such file";
    case ERROR_PATH_NOT_FOUND: return "its working folder is missing";
    case ERROR_ACCESS_DENIED: return "it is not an executable file";
    case ERROR_BAD_FORMAT: return "it is a Windows program and there is no wine on PATH to start it with";
    default: return "the system could not start it";
  }
}

}  // namespace

uint32_t StartProgram(const std::string& name, const std::string& file, const std::vector<std::string>& args,
                      const std::string& workDir) {
  std::vector<std::string> argv, env;
  uint32_t error = file.empty() ? ERROR_FILE_NOT_FOUND : LaunchCommandFor(file, argv, env);
  std::string line;
  if (!error) {
    argv.insert(argv.end(), args.begin(), args.end());
    for (const std::string& e : env) line += e + " ";
    for (const std::string& a : argv) line += Quoted(a) + " ";
    line += "in " + Quoted(workDir.empty() ? "." : workDir);
    error = StartDetached(argv, workDir, env);
  }
  if (error) LogStep(Utf8ToAnsi("launch: " + Quoted(file.empty() ? name : file) + " not started: " + WhyNotStarted(error)));
  else LogStep(Utf8ToAnsi("launch: started " + line));
  return error;
}

uint32_t StartDetached(const std::vector<std::string>& args, const std::string& workDir,
                       const std::vector<std::string>& env) {
  if (args.empty()) return ERROR_FILE_NOT_FOUND;
  // Everything the children need is prepared before fork: after it only
  // async-signal-safe calls are allowed (other threads may hold locks).
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  for (char** e = environ; e && *e; ++e) {
    bool replaced = false;
    for (const std::string& own : env)
      replaced = replaced || std::strncmp(*e, own.c_str(), own.find('=') + 1) == 0;
    if (!replaced) envp.push_back(*e);
  }
  envp.push_back(nullptr);
  const char* dir = workDir.empty() ? nullptr : workDir.c_str();

  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return ERROR_NOT_ENOUGH_MEMORY;
  TFileHandle reportIn(report[0]), reportOut(report[1]);
  const pid_t child = ::fork();
  if (child < 0) return ERROR_NOT_ENOUGH_MEMORY;
  if (child == 0) {
    // The middle child starts a new session and leaves at once; the program then
    // belongs to init, which reaps it, and our wait below reaps the middle child.
    reportIn.Reset();
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild == 0) ExecChild(argv.data(), envp.data(), dir, reportOut.Get());
    if (grandchild < 0) {
      const int error = EAGAIN;
      WriteFull(reportOut.Get(), &error, sizeof error);
    }
    ::_exit(0);
  }
  reportOut.Reset();
  int error = 0;
  const int64_t n = ReadFull(reportIn.Get(), &error, sizeof error);
  reportIn.Reset();
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (n == static_cast<int64_t>(sizeof error) && error != 0) return ErrorCodeOf(error);
  return 0;
}
