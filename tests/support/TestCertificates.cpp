#include "support/TestCertificates.h"

#include "support/TempDir.h"
#include "support/ZipTools.h"

TestCertificates::TestCertificates() : dir_(std::make_unique<TempDir>()) {
  made_ = RunTool("bash " + ShellQuote(std::string(TAVRO_SOURCE_DIR) + "/tests/support/make-test-certs.sh") + " " +
                  ShellQuote(dir_->Path())) == 0;
}

TestCertificates::~TestCertificates() = default;

const TestCertificates& TestCertificates::Shared() {
  static const TestCertificates shared;
  return shared;
}

std::string TestCertificates::Pem(const std::string& name) const { return *dir_ / (name + ".pem"); }

std::string TestCertificates::Key(const std::string& name) const { return *dir_ / (name + ".key"); }
