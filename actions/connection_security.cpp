#include "actions/connection_security.h"

#include <curl/curl.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "common/web_service.h"

namespace orvex {

namespace {

static_assert(kConnectionReasonSize >= CURL_ERROR_SIZE, "libcurl's error buffer size");

// The only schemes a request or a redirect may use: https, and plain http beside it only where
// the development settings point the installer at a local test service without TLS; no
// file://, no other protocol a server could send the installer to.
const char* AllowedProtocols() { return PlainHttpAllowed() ? "http,https" : "https"; }

// Windows' TLS layer (Schannel) reports some certificate failures only by its status name in
// the reason, under a general handshake result.
const char* const kCertificateStatusNames[] = {
    "SEC_E_CERT_EXPIRED",
    "SEC_E_CERT_UNKNOWN",
    "SEC_E_CERT_WRONG_USAGE",
    "SEC_E_UNTRUSTED_ROOT",
    "SEC_E_WRONG_PRINCIPAL",
    "CRYPT_E_REVOKED",
    "CERT_E_",
};

CURLcode FirstFailure(std::initializer_list<CURLcode> results) {
  for (CURLcode result : results)
    if (result != CURLE_OK) return result;
  return CURLE_OK;
}

// Where trust comes from. Windows: the system's certificate store, through Schannel, and
// nothing else; no environment variable can add an authority to the product. Schannel checks
// revocation by default and fails when the revocation servers cannot be reached (a machine
// behind a firewall that blocks them) or when a certificate names none (a company's own
// authority): best effort still refuses a certificate known to be revoked, and lets those
// through. Elsewhere (the host build: the dry-run tool and the tests) libcurl's OpenSSL uses
// the system's authorities unless SSL_CERT_FILE, OpenSSL's own name for that file, names
// another.
CURLcode ChooseTrust(CURL* handle) {
#ifdef _WIN32
  return curl_easy_setopt(handle, CURLOPT_SSL_OPTIONS,
                          static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT));
#else
  const char* file = std::getenv("SSL_CERT_FILE");
  if (!file || !*file) return CURLE_OK;
  return curl_easy_setopt(handle, CURLOPT_CAINFO, file);
#endif
}

// The host part of url; the whole url when it cannot be parsed.
std::string HostOf(const std::string& url) {
  std::string host = url;
  CURLU* parts = curl_url();
  if (!parts) return host;
  char* found = nullptr;
  // libcurl takes a URL without a scheme as http; so does the parse.
  if (curl_url_set(parts, CURLUPART_URL, url.c_str(), CURLU_GUESS_SCHEME) == CURLUE_OK &&
      curl_url_get(parts, CURLUPART_HOST, &found, 0) == CURLUE_OK && found)
    host = found;
  curl_free(found);
  curl_url_cleanup(parts);
  return host;
}

}  // namespace

int SecureConnection(CURL* handle, char* reason) {
  if (!handle) return -1;
  if (reason) reason[0] = '\0';
  const CURLcode failed = FirstFailure({
      curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L),
      curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L),
      // Named explicitly, TLS 1.2 is used on Windows 7 too, where Schannel offers it to
      // programs that ask for it but not by default.
      curl_easy_setopt(handle, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2)),
      curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, AllowedProtocols()),
      curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, AllowedProtocols()),
      ChooseTrust(handle),
      reason ? curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, reason) : CURLE_OK,
  });
  return failed == CURLE_OK ? 0 : -1;
}

bool IsCertificateFailure(int curlResult, const char* reason) {
  switch (curlResult) {
    case CURLE_PEER_FAILED_VERIFICATION:  // also CURLE_SSL_CACERT
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_INVALIDCERTSTATUS:
      return true;
    case CURLE_SSL_CONNECT_ERROR:
      if (!reason) return false;
      for (const char* name : kCertificateStatusNames)
        if (std::strstr(reason, name)) return true;
      return false;
    default:
      return false;
  }
}

std::string CertificateFailureText(const std::string& url, int curlResult, const char* reason) {
  const std::string why =
      reason && *reason ? reason : curl_easy_strerror(static_cast<CURLcode>(curlResult));
  return "The certificate of the server " + HostOf(url) + " could not be verified: " + why;
}

}  // namespace orvex
