// The test authority in the Windows certificate store of the test prefix.
#include <windows.h>
#include <wincrypt.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/tls_services.h"

namespace orvex {
namespace test {

namespace {

std::vector<BYTE> DecodePem(const std::string& pem) {
  DWORD size = 0;
  if (!CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                            nullptr, &size, nullptr, nullptr))
    throw std::runtime_error("the test authority is not PEM");
  std::vector<BYTE> der(size);
  if (!CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                            der.data(), &size, nullptr, nullptr))
    throw std::runtime_error("the test authority is not PEM");
  der.resize(size);
  return der;
}

}  // namespace

// Wine's ntdll exports its version; Windows' does not.
bool SystemRefusesBadCertificates(std::string* why) {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (!ntdll || !GetProcAddress(ntdll, "wine_get_version")) return true;
  if (why)
    *why =
        "Wine's Schannel accepts every server certificate (it checks no chain, host name or "
        "date), so a refusal cannot be seen here; Windows refuses them";
  return false;
}

void TrustAuthority(const std::string& authorityFile) {
  std::ifstream in(authorityFile, std::ios::binary);
  const std::string pem((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (pem.empty()) throw std::runtime_error("cannot read " + authorityFile);
  const std::vector<BYTE> der = DecodePem(pem);
  HCERTSTORE store =
      CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
  if (!store) throw std::runtime_error("cannot open the machine's Root store");
  const BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(),
                                                      static_cast<DWORD>(der.size()),
                                                      CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  CertCloseStore(store, 0);
  if (!added) throw std::runtime_error("cannot add the test authority to the Root store");
}

}  // namespace test
}  // namespace orvex
