// A real nginx (the Debian package's /usr/sbin/nginx) serving a folder on 127.0.0.1,
// for integration tests, end-to-end tests and benchmarks.
//
// Start() writes a generated configuration into a private temporary folder (logs,
// pid and temp paths there too), starts nginx in the foreground as a child process
// and waits until the port accepts connections. Keep-alive is on. Stop() (also run
// by the destructor) ends nginx and waits for it; if the test process dies, nginx
// is told to end as well.
//
//   NginxServer nginx(siteFolder);            // port 0: a free port is picked
//   ASSERT_TRUE(nginx.Start()) << nginx.LastError();
//   http.FetchUrl(nginx.Url("/a/b.ini"), stream);
//
// In a GoogleTest SetUp, skip when nginx is missing: if (!NginxServer::Available()) GTEST_SKIP().
// Options.TlsCertificate and TlsKey make it an https server.
// Options.Port 80 serves the application's default update server (needs root).
// Call Start() from a thread that lives as long as the server: nginx is told to end
// when the thread that started it ends.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>

class TempDir;

class NginxServer {
 public:
  struct Options {
    std::string Root;            // folder served as the site root
    uint16_t Port = 0;           // 0: a free port on 127.0.0.1
    std::string ServerDirectives;  // extra lines inside server { } (locations, error pages, ...)
    int KeepaliveRequests = 1000;
    int KeepaliveTimeoutSec = 65;
    // TLS: with a certificate (PEM) and its key the server speaks only https.
    std::string TlsCertificate;
    std::string TlsKey;
    std::string TlsProtocols = "TLSv1.2 TLSv1.3";
    std::string TlsCiphers;  // empty: nginx's default
    // A second https server on the same port, for every name but localhost (and for a
    // client that names none in SNI), with this certificate.
    std::string TlsDefaultCertificate;
    std::string TlsDefaultKey;
  };

  explicit NginxServer(const std::string& root);
  explicit NginxServer(Options options);
  ~NginxServer();
  NginxServer(const NginxServer&) = delete;
  NginxServer& operator=(const NginxServer&) = delete;

  static bool Available();
  // False (see LastError) when nginx did not come up within a few seconds.
  bool Start();
  void Stop();
  bool Running() const { return pid_ > 0; }

  uint16_t Port() const { return port_; }
  // "http://127.0.0.1:<port>" + path (path begins with "/"); with TLS
  // "https://localhost:<port>" + path, the name the test certificates carry.
  std::string Url(const std::string& path) const;
  const std::string& LastError() const { return lastError_; }
  // The folder holding nginx.conf, error.log and access.log.
  std::string ConfigDir() const;
  std::string ErrorLog() const;
  std::string AccessLog() const;

 private:
  bool StartOnce();
  std::string Config() const;
  std::string TlsDirectives(const std::string& certificate, const std::string& key) const;

  Options options_;
  std::unique_ptr<TempDir> dir_;
  uint16_t port_ = 0;
  pid_t pid_ = -1;
  std::string lastError_;
};
