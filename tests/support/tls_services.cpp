#include "tests/support/tls_services.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>

#ifndef _WIN32
#include <unistd.h>

#include <filesystem>
#endif

namespace orvex {
namespace test {

namespace {

const char* const kCertificates[] = {"valid", "wrong-name", "expired", "untrusted"};

#ifndef _WIN32
std::string g_hostFolder;

void RemoveHostFolder() {
  std::error_code ignored;
  if (!g_hostFolder.empty()) std::filesystem::remove_all(g_hostFolder, ignored);
}

// Makes the certificates and starts one service per certificate; returns the folder.
std::string StartOnHost(std::map<std::string, std::unique_ptr<DevService>>& services) {
  char folder[] = "/tmp/orvex-tls-XXXXXX";
  if (!mkdtemp(folder)) throw std::runtime_error("no temporary folder for the certificates");
  g_hostFolder = folder;
  std::atexit(RemoveHostFolder);
  const std::string command = std::string("sh '") + ORVEX_SOURCE_DIR +
                              "/tests/support/make_test_authority.sh' '" + folder + "'";
  if (std::system(command.c_str()) != 0)
    throw std::runtime_error("make_test_authority.sh failed (is openssl installed?)");
  for (const char* name : kCertificates) {
    const std::string base = std::string(folder) + "/" + name;
    const int port =
        DevService::StartAnother({"--tls-cert", base + ".pem", "--tls-key", base + ".key"});
    services[name].reset(new DevService("https://127.0.0.1:" + std::to_string(port)));
  }
  return folder;
}
#endif

// The services the test script started, from the folder it named.
void ReadStarted(const std::string& folder,
                 std::map<std::string, std::unique_ptr<DevService>>& services) {
  for (const char* name : kCertificates) {
    std::ifstream in(folder + "/" + name + ".url");
    std::string url;
    if (!(in >> url)) throw std::runtime_error(folder + "/" + name + ".url cannot be read");
    services[name].reset(new DevService(url));
  }
}

}  // namespace

TlsServices* TlsServices::Get(std::string* why) {
  static TlsServices* services = nullptr;
  static std::string failure;
  static bool tried = false;
  if (!tried) {
    tried = true;
    std::unique_ptr<TlsServices> made(new TlsServices());
    try {
      const char* given = std::getenv("ORVEX_TLS_SERVICES");
      std::string folder;
      if (given && *given) {
        folder = given;
        made->serviceFolder_ = folder;
#ifdef _WIN32
        if (folder[0] == '/') folder = "Z:" + folder;  // a host path, seen through Wine's Z:
#endif
        ReadStarted(folder, made->services_);
      } else {
#ifdef _WIN32
        throw std::runtime_error(
            "ORVEX_TLS_SERVICES is not set: run the tests through scripts/with-tls-services.sh");
#else
        folder = StartOnHost(made->services_);
        made->serviceFolder_ = folder;
#endif
      }
      made->authorityFile_ = folder + "/ca.pem";
      services = made.release();
    } catch (const std::exception& error) {
      failure = error.what();
    }
  }
  if (!services && why) *why = failure;
  return services;
}

#ifndef _WIN32
bool SystemRefusesBadCertificates(std::string*) { return true; }
#endif

std::string TlsServices::CertificateFile(const std::string& certificate) const {
  return serviceFolder_ + "/" + certificate + ".pem";
}

std::string TlsServices::KeyFile(const std::string& certificate) const {
  return serviceFolder_ + "/" + certificate + ".key";
}

DevService& TlsServices::Service(const std::string& certificate) {
  auto found = services_.find(certificate);
  if (found == services_.end()) throw std::runtime_error("no TLS service for " + certificate);
  return *found->second;
}

}  // namespace test
}  // namespace orvex
