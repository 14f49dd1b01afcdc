#pragma once
// Single requests to the product's web service (CHttpRequest) and the connectivity probe
// (ProbeUrl), over libcurl easy handles.

#include <string>

#include "actions/connection_security.h"

typedef void CURL;

namespace orvex {

// The failure of a web request.
struct COrvexException {
  enum Code { kTransferFailed = 1, kRedirected = 7, kUnverifiedServer = 8 };
  // kTransferFailed, kRedirected when the probe or the body was answered with a redirect
  // (3xx), or kUnverifiedServer when the server's certificate could not be verified
  int code = 0;
  int detail = 0;  // libcurl's result code (0 for the redirect)
  // libcurl's text for that code ("No error" for a 302; for other redirects the sentence that
  // names the status); for a server whose certificate could not be verified, the sentence
  // that names the host and libcurl's reason
  std::string text;
};

// Sets the connect time-out and the low-speed limit (1 byte per second for 120 s) that every
// single request of the installer gets, so a stalled server cannot hold it forever.
void LimitWaiting(CURL* handle);

// One request: the URL is probed with HEAD, then fetched; a URL with a query is sent as a
// POST of the query as a form body to the URL before the "?". Each phase is retried once
// through the proxy named by "ORVEXOPT_PROXY" ("" means no proxy at all), except when the
// server's certificate could not be verified: that fails at once (SecureConnection).
class CHttpRequest {
 public:
  // Takes ownership of handle (from curl_easy_init; may be null).
  explicit CHttpRequest(CURL* handle);
  ~CHttpRequest();
  CHttpRequest(const CHttpRequest&) = delete;
  CHttpRequest& operator=(const CHttpRequest&) = delete;

  // 0 with the response text (tabs, line feeds and carriage returns removed); -1 when an
  // option cannot be set. Throws COrvexException when the transfer fails.
  int Send(std::string url, std::string& response);

 private:
  // Performs; on failure retries once through proxy. 0 on success, -1 when the proxy option
  // cannot be set; throws COrvexException when the retry fails too.
  int PerformWithProxyRetry(const std::string& proxy);
  // Throws kRedirected when the last answer's status is 3xx.
  void ThrowOnRedirect();
  void Release();
  CURL* handle_;
  std::string url_;                          // of the transfer under way, for failure texts
  char reason_[kConnectionReasonSize] = {};  // libcurl's reason for a failed transfer
};

// 0 when url answers a HEAD request without an HTTP error (redirects are not followed, so
// a redirect counts as an answer), -1 otherwise. When the server's certificate could not be
// verified, *certificateFailure (when given) gets the text that says so.
int ProbeUrl(const std::string& url, std::string* certificateFailure = nullptr);

// A form value with the characters that would break the body percent-encoded ("&", "=",
// "+", "%", "#", control and non-ASCII bytes). Spaces stay: the request sends them as "%20".
std::string EncodeFormValue(const std::string& value);

}  // namespace orvex
