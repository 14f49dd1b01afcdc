#include "actions/http_request.h"

#include <curl/curl.h>

#include <string>

#include "base/text.h"
#include "platform/environment.h"

namespace orvex {

namespace {

// A connect time-out and a low-speed limit (1 byte per second for 120 s) keep a stalled
// server from holding the installer forever.
constexpr long kConnectTimeoutSeconds = 30;
constexpr long kLowSpeedLimit = 1;
constexpr long kLowSpeedSeconds = 120;

// A response that was not announced with a length may hold at most this many bytes.
constexpr std::size_t kUnannouncedBodyLimit = 4096;
// Room added to an announced length.
constexpr std::size_t kAnnouncedBodySlack = 64;
// The most a single request keeps: many times a configuration or a service answer, and small
// enough that an answer announcing gigabytes cannot exhaust the installer's memory.
constexpr curl_off_t kMaxBody = 8 << 20;

size_t Discard(char*, size_t size, size_t count, void*) noexcept { return size * count; }

struct BoundedBuffer {
  std::string data;
  std::size_t capacity = 0;
};

// A chunk that does not fit fails the transfer with libcurl's write error. So does a failed
// allocation: no exception may unwind through libcurl.
size_t AppendBounded(char* chunk, size_t size, size_t count, void* target) noexcept {
  auto* buffer = static_cast<BoundedBuffer*>(target);
  size_t bytes = size * count;
  if (bytes > buffer->capacity - buffer->data.size()) return 0;
  try {
    buffer->data.append(chunk, bytes);
  } catch (...) {
    return 0;
  }
  return bytes;
}

COrvexException TransferFailure(CURLcode result, const std::string& url = std::string(),
                                const char* reason = nullptr) {
  COrvexException failure;
  failure.code = COrvexException::kTransferFailed;
  failure.detail = result;
  failure.text = curl_easy_strerror(result);
  if (IsCertificateFailure(result, reason)) {
    failure.code = COrvexException::kUnverifiedServer;
    failure.text = CertificateFailureText(url, result, reason);
  }
  return failure;
}

}  // namespace

void LimitWaiting(CURL* handle) {
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedLimit);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, kLowSpeedSeconds);
}

CHttpRequest::CHttpRequest(CURL* handle) : handle_(handle) {}

CHttpRequest::~CHttpRequest() { Release(); }

void CHttpRequest::Release() {
  if (handle_) curl_easy_cleanup(handle_);
  handle_ = nullptr;
}

int CHttpRequest::Send(std::string url, std::string& response) {
  ReplaceAll(url, " ", "%20");
  const std::string proxy = platform::EnvironmentVariable("ORVEXOPT_PROXY");
  const std::size_t question = url.find('?');
  const std::string baseUrl = url.substr(0, question);
  const bool hasQuery = question != std::string::npos;
  const std::string query = hasQuery ? url.substr(question + 1) : std::string();
  if (!handle_) return -1;
  url_ = baseUrl;

  // Probe: a HEAD request for the base URL.
  if (SecureConnection(handle_, reason_) != 0 ||
      curl_easy_setopt(handle_, CURLOPT_FAILONERROR, 1L) != CURLE_OK ||
      curl_easy_setopt(handle_, CURLOPT_URL, baseUrl.c_str()) != CURLE_OK ||
      curl_easy_setopt(handle_, CURLOPT_WRITEFUNCTION, &Discard) != CURLE_OK ||
      curl_easy_setopt(handle_, CURLOPT_HEADER, 1L) != CURLE_OK ||
      curl_easy_setopt(handle_, CURLOPT_NOBODY, 1L) != CURLE_OK) {
    Release();
    return -1;
  }
  LimitWaiting(handle_);
  if (PerformWithProxyRetry(proxy) != 0) return -1;

  ThrowOnRedirect();
  curl_off_t length = -1;
  CURLcode result = curl_easy_getinfo(handle_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  if (result != CURLE_OK) throw TransferFailure(result);
  if (length > kMaxBody) throw TransferFailure(CURLE_FILESIZE_EXCEEDED);

  // Body: a GET of the base URL, or a POST of the query as a form body.
  BoundedBuffer buffer;
  buffer.capacity =
      length < 0 ? kUnannouncedBodyLimit : static_cast<std::size_t>(length) + kAnnouncedBodySlack;
  if (curl_easy_setopt(handle_, CURLOPT_WRITEFUNCTION, &AppendBounded) != CURLE_OK ||
      curl_easy_setopt(handle_, CURLOPT_HEADER, 0L) != CURLE_OK ||
      curl_easy_setopt(handle_, CURLOPT_NOBODY, 0L) != CURLE_OK ||
      curl_easy_setopt(handle_, CURLOPT_WRITEDATA, &buffer) != CURLE_OK)
    return -1;
  // The body's own announcement may differ from the probe's.
  curl_easy_setopt(handle_, CURLOPT_MAXFILESIZE_LARGE, kMaxBody);
  if (hasQuery && curl_easy_setopt(handle_, CURLOPT_COPYPOSTFIELDS, query.c_str()) != CURLE_OK)
    return -1;
  if (PerformWithProxyRetry(proxy) != 0) return -1;
  // A redirect's body ("moved") is not the service's answer.
  ThrowOnRedirect();

  std::string text = buffer.data.substr(0, buffer.data.find('\0'));
  response = StripControlChars(std::move(text));
  return 0;
}

// Redirects are never followed, so a 3xx status is never the answer asked for. A 302 is
// reported as it always was ("No error"); the others name their status.
void CHttpRequest::ThrowOnRedirect() {
  long status = 0;
  curl_easy_getinfo(handle_, CURLINFO_RESPONSE_CODE, &status);
  if (status < 300 || status > 399) return;
  COrvexException redirect;
  redirect.code = COrvexException::kRedirected;
  redirect.detail = 0;
  redirect.text = status == 302 ? std::string("No error")
                                : "The server answered with a redirect (HTTP " +
                                      std::to_string(status) + "), which is not followed.";
  throw redirect;
}

int CHttpRequest::PerformWithProxyRetry(const std::string& proxy) {
  CURLcode result = curl_easy_perform(handle_);
  if (result == CURLE_OK) return 0;
  // Another attempt would only hide a certificate we refuse.
  if (IsCertificateFailure(result, reason_)) throw TransferFailure(result, url_, reason_);
  if (curl_easy_setopt(handle_, CURLOPT_PROXY, proxy.c_str()) != CURLE_OK) {
    Release();
    return -1;
  }
  result = curl_easy_perform(handle_);
  if (result != CURLE_OK) throw TransferFailure(result, url_, reason_);
  return 0;
}

int ProbeUrl(const std::string& url, std::string* certificateFailure) {
  CURL* handle = curl_easy_init();
  if (!handle) return -1;
  char reason[kConnectionReasonSize] = {};
  if (SecureConnection(handle, reason) != 0 ||
      curl_easy_setopt(handle, CURLOPT_URL, url.c_str()) != CURLE_OK ||
      curl_easy_setopt(handle, CURLOPT_HEADER, 1L) != CURLE_OK ||
      curl_easy_setopt(handle, CURLOPT_NOBODY, 1L) != CURLE_OK ||
      curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L) != CURLE_OK) {
    curl_easy_cleanup(handle);
    return -1;
  }
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &Discard);
  LimitWaiting(handle);
  CURLcode result = curl_easy_perform(handle);
  curl_easy_cleanup(handle);
  if (result == CURLE_OK) return 0;
  if (certificateFailure && IsCertificateFailure(result, reason))
    *certificateFailure = CertificateFailureText(url, result, reason);
  return -1;
}

std::string EncodeFormValue(const std::string& value) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (unsigned char c : value) {
    bool escape = c < 0x20 || c >= 0x7F || c == '&' || c == '=' || c == '+' || c == '%' || c == '#';
    if (!escape) {
      encoded.push_back(static_cast<char>(c));
      continue;
    }
    encoded.push_back('%');
    encoded.push_back(kHex[c >> 4]);
    encoded.push_back(kHex[c & 0x0F]);
  }
  return encoded;
}

}  // namespace orvex
