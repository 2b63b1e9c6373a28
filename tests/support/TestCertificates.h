// The certificates of the TLS tests, made at test time by the openssl command
// (tests/support/make-test-certs.sh) into a temporary folder:
//
//   const TestCertificates& certs = TestCertificates::Shared();
//   ASSERT_TRUE(certs.Made());
//   options.TlsCertificate = certs.Pem("localhost"); options.TlsKey = certs.Key("localhost");
//   client.SetTLSCAFile(certs.CA());
//
// Names: "localhost" (good), "wronghost", "expired", "untrusted" (by a CA nobody trusts).
#pragma once

#include <memory>
#include <string>

class TempDir;

class TestCertificates {
 public:
  TestCertificates();
  ~TestCertificates();
  // One set made on first use and kept for the rest of the process.
  static const TestCertificates& Shared();

  bool Made() const { return made_; }
  std::string CA() const { return Pem("ca"); }
  std::string Pem(const std::string& name) const;
  std::string Key(const std::string& name) const;

 private:
  std::unique_ptr<TempDir> dir_;
  bool made_ = false;
};
