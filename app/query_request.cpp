#include "app/query_request.h"

#include <curl/curl.h>

#include "actions/http_request.h"

namespace orvex {

CQueryRequest::CQueryRequest(std::string urlPrefix)
    : prefix_(std::move(urlPrefix)), handle_(curl_easy_init()) {}

CQueryRequest::~CQueryRequest() {
  if (handle_) curl_easy_cleanup(handle_);
}

CQueryRequest::CQueryRequest(CQueryRequest&& other) noexcept
    : prefix_(std::move(other.prefix_)), pairs_(std::move(other.pairs_)), handle_(other.handle_) {
  other.handle_ = nullptr;
}

void CQueryRequest::AddParam(const std::string& key, const std::string& value) {
  for (const auto& pair : pairs_)
    if (pair.first == key) return;
  pairs_.emplace_back(key, value);
}

std::string CQueryRequest::Url() const {
  std::string url = prefix_;
  for (const auto& pair : pairs_)
    url += EncodeFormValue(pair.first) + "=" + EncodeFormValue(pair.second) + "&";
  return url;
}

int CQueryRequest::Submit() {
  try {
    // The request owns the handle from here on and releases it.
    CHttpRequest request(handle_);
    handle_ = nullptr;
    std::string answer;
    return request.Send(Url(), answer);
  } catch (...) {
    return -1;  // the report never changes the run's outcome
  }
}

}  // namespace orvex
