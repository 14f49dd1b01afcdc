#pragma once
// One outgoing form request of the installer's telemetry: pairs added by key (the first value
// of a key wins), submitted once through CHttpRequest as a form body.

#include <string>
#include <utility>
#include <vector>

typedef void CURL;

namespace orvex {

class CQueryRequest {
 public:
  // urlPrefix ends with "?"; the easy handle is created here and released with the object.
  explicit CQueryRequest(std::string urlPrefix);
  ~CQueryRequest();
  CQueryRequest(CQueryRequest&& other) noexcept;
  CQueryRequest& operator=(CQueryRequest&&) = delete;
  CQueryRequest(const CQueryRequest&) = delete;
  CQueryRequest& operator=(const CQueryRequest&) = delete;

  // A key that is already present keeps its first value.
  void AddParam(const std::string& key, const std::string& value);

  // The URL Submit sends: prefix, then key=value& for every pair in the order they were added,
  // keys and values percent-encoded where they would break the body (a value cannot add a pair).
  std::string Url() const;
  const std::vector<std::pair<std::string, std::string>>& Pairs() const { return pairs_; }

  // CHttpRequest::Send with Url(): a POST of the pairs to the prefix without its "?". The
  // answer is ignored. -1 on any failure, exceptions included; a request is submitted once.
  int Submit();

 private:
  std::string prefix_;
  std::vector<std::pair<std::string, std::string>> pairs_;
  CURL* handle_;
};

}  // namespace orvex
