#pragma once
// The https services of the connection tests: one dev service per certificate that
// tests/support/make_test_authority.sh makes ("valid", "wrong-name", "expired", "untrusted"),
// all on 127.0.0.1, and the file of the test authority that issued the trusted ones.
//
// On the host the first use makes the certificates in a fresh folder and starts the services
// (stopped when the test process ends). Under Wine the test process cannot start them: the
// test script does (scripts/with-tls-services.sh) and names the folder in ORVEX_TLS_SERVICES,
// which holds ca.pem and, per certificate, NAME.url with the service's address.

#include <map>
#include <memory>
#include <string>

#include "tests/support/devservice_client.h"

namespace orvex {
namespace test {

class TlsServices {
 public:
  // Null when they cannot be had (under Wine without ORVEX_TLS_SERVICES); why goes to *why.
  static TlsServices* Get(std::string* why);

  // The test authority's certificate (PEM), as a path this process can open.
  const std::string& AuthorityFile() const { return authorityFile_; }
  // The service that presents the named certificate; throws for an unknown name.
  DevService& Service(const std::string& certificate);
  // The named certificate's file and its key's, as the services see them.
  std::string CertificateFile(const std::string& certificate) const;
  std::string KeyFile(const std::string& certificate) const;

 private:
  TlsServices() = default;
  std::string authorityFile_;
  std::string serviceFolder_;
  std::map<std::string, std::unique_ptr<DevService>> services_;
};

// Whether this system's TLS layer refuses certificates it cannot verify; when it does not,
// *why says so. Windows' Schannel does; Wine's Schannel accepts any certificate (it checks no
// chain, no name, no date), so the refusals cannot be seen under Wine.
bool SystemRefusesBadCertificates(std::string* why);

#ifdef _WIN32
// Adds the authority (a PEM file) to the machine's trusted root authorities, where Windows'
// TLS layer looks: the test prefix's store, as an administrator would add a company's own.
// Throws when it cannot.
void TrustAuthority(const std::string& authorityFile);
#endif

}  // namespace test
}  // namespace orvex
