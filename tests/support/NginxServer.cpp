#include "support/NginxServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/TempDir.h"

namespace {

const char kNginx[] = "/usr/sbin/nginx";

uint16_t FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 0;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  uint16_t port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  ::close(fd);
  return port;
}

bool Accepts(uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(fd);
  return ok;
}

std::string ReadAll(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

}  // namespace

NginxServer::NginxServer(const std::string& root) {
  options_.Root = root;
}

NginxServer::NginxServer(Options options) : options_(std::move(options)) {}

NginxServer::~NginxServer() { Stop(); }

bool NginxServer::Available() { return ::access(kNginx, X_OK) == 0; }

std::string NginxServer::Url(const std::string& path) const {
  if (!options_.TlsCertificate.empty()) return "https://localhost:" + std::to_string(port_) + path;
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::string NginxServer::ConfigDir() const { return dir_ ? dir_->Path() : std::string(); }
std::string NginxServer::ErrorLog() const { return ConfigDir() + "error.log"; }
std::string NginxServer::AccessLog() const { return ConfigDir() + "access.log"; }

std::string NginxServer::TlsDirectives(const std::string& certificate, const std::string& key) const {
  if (certificate.empty()) return std::string();
  std::string d = "    ssl_certificate " + certificate + ";\n    ssl_certificate_key " + key +
                  ";\n    ssl_protocols " + options_.TlsProtocols + ";\n";
  if (!options_.TlsCiphers.empty()) d += "    ssl_ciphers " + options_.TlsCiphers + ";\n";
  return d;
}

std::string NginxServer::Config() const {
  const std::string d = dir_->Path();
  std::ostringstream c;
  // Workers of a root master switch to "nobody" unless told otherwise, and could not
  // read a test's private folders.
  if (::geteuid() == 0) c << "user root;\n";
  c << "daemon off;\nmaster_process on;\nworker_processes 1;\n"
    << "pid " << d << "nginx.pid;\nerror_log " << d << "error.log warn;\n"
    << "events { worker_connections 256; }\n"
    << "http {\n"
    << "  access_log " << d << "access.log;\n"
    << "  client_body_temp_path " << d << "client_body;\n  proxy_temp_path " << d << "proxy;\n"
    << "  fastcgi_temp_path " << d << "fastcgi;\n  uwsgi_temp_path " << d << "uwsgi;\n"
    << "  scgi_temp_path " << d << "scgi;\n"
    << "  types { text/html html htm asp; text/plain ini txt; application/zip zip; }\n"
    << "  default_type application/octet-stream;\n"
    << "  sendfile on;\n  tcp_nopush on;\n"
    << "  keepalive_timeout " << options_.KeepaliveTimeoutSec << ";\n"
    << "  keepalive_requests " << options_.KeepaliveRequests << ";\n"
    << "  server {\n    listen 127.0.0.1:" << port_ << (options_.TlsCertificate.empty() ? "" : " ssl") << ";\n"
    << "    listen [::1]:" << port_ << (options_.TlsCertificate.empty() ? "" : " ssl") << ";\n"
    << "    server_name localhost;\n" << TlsDirectives(options_.TlsCertificate, options_.TlsKey)
    << "    root " << options_.Root << ";\n" << options_.ServerDirectives << "\n  }\n";
  if (!options_.TlsDefaultCertificate.empty())
    c << "  server {\n    listen 127.0.0.1:" << port_ << " ssl default_server;\n    server_name _;\n"
      << TlsDirectives(options_.TlsDefaultCertificate, options_.TlsDefaultKey) << "    return 421;\n  }\n";
  c << "}\n";
  return c.str();
}

bool NginxServer::Start() {
  if (pid_ > 0) return true;
  if (!Available()) {
    lastError_ = std::string(kNginx) + " is not installed";
    return false;
  }
  // A picked free port can be taken by someone else before nginx binds it: retry.
  for (int attempt = 0; attempt < (options_.Port ? 1 : 5); ++attempt)
    if (StartOnce()) return true;
  return false;
}

bool NginxServer::StartOnce() {
  dir_ = std::make_unique<TempDir>();
  port_ = options_.Port ? options_.Port : FreeLoopbackPort();
  const std::string conf = dir_->Path() + "nginx.conf";
  std::ofstream(conf) << Config();
  const std::string prefix = dir_->Path();
  const std::string output = prefix + "nginx.out";

  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) {
    lastError_ = "fork failed";
    return false;
  }
  if (pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(127);
    const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
      ::dup2(fd, 1);
      ::dup2(fd, 2);
      ::close(fd);
    }
    const std::string errorLog = prefix + "error.log";
    ::execl(kNginx, "nginx", "-p", prefix.c_str(), "-c", conf.c_str(), "-e", errorLog.c_str(),
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  pid_ = pid;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      lastError_ = "nginx exited at start: " + ReadAll(output) + ReadAll(ErrorLog());
      return false;
    }
    if (Accepts(port_)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  lastError_ = "nginx did not accept on port " + std::to_string(port_) + ": " + ReadAll(ErrorLog());
  Stop();
  return false;
}

void NginxServer::Stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  int status = 0;
  while (::waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  pid_ = -1;
}
