#pragma once
// The tests' handle on tools/devservice, the local stand-in for the product web service.
//
// On the host the first use starts the service (python3) on a free port of 127.0.0.1 and
// stops it when the test process ends. Under Wine the test process cannot start it; the
// test script starts it and passes its address in ORVEX_DEVSERVICE_URL.

#include <json/json.h>

#include <cstddef>
#include <string>
#include <vector>

namespace orvex {
namespace test {

class DevService {
 public:
  static DevService& Get();

  // Another instance of the service, at baseUrl. For an https service the control requests do
  // not check its certificate: what the test does with that certificate is what it tests.
  explicit DevService(std::string baseUrl) : baseUrl_(std::move(baseUrl)) {}
  // Host only: starts one more service with these extra command-line arguments ("--tls-cert",
  // ...), stopped when the test process ends, and returns its port.
  static int StartAnother(const std::vector<std::string>& arguments);

  // "http://127.0.0.1:PORT"
  const std::string& BaseUrl() const { return baseUrl_; }
  std::string Url(const std::string& path) const { return baseUrl_ + path; }

  // Forgets recorded requests, faults and the configuration text.
  void Reset();
  // The configuration served at /index/getinstallconfig ("" serves none).
  void SetConfig(const std::string& text);
  // A file under /media/.
  void PutMedia(const std::string& name, const std::string& content);
  // A file under /media/ of size bytes whose byte i is i % 251 (see Pattern).
  void PutPatternMedia(const std::string& name, std::size_t size);
  static std::string Pattern(std::size_t size);
  // A fault rule: {"path": ..., "kind": ..., ...}.
  void AddFault(const Json::Value& rule);
  // The recorded requests, optionally only those for one service path.
  Json::Value Requests(const std::string& path = "");
  // With --tls-cert: later connections present this certificate (files as the service sees them).
  void PresentCertificate(const std::string& certificateFile, const std::string& keyFile);
  // The connections the service accepted so far, including the one that asks (see README).
  int Connections();

 private:
  DevService();
  std::string Control(const std::string& method, const std::string& path, const std::string& body);

  std::string baseUrl_;
};

}  // namespace test
}  // namespace orvex
