#include "tests/support/devservice_client.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "base/json_text.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace orvex {
namespace test {

namespace {

size_t Append(char* data, size_t size, size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

#ifndef _WIN32
pid_t g_servicePid = 0;

void StopService() {
  if (g_servicePid <= 0) return;
  kill(g_servicePid, SIGTERM);
  waitpid(g_servicePid, nullptr, 0);
  g_servicePid = 0;
}

// Starts the service on a free port and returns its address.
std::string StartService() {
  char folder[] = "/tmp/orvex-devservice-XXXXXX";
  if (!mkdtemp(folder)) throw std::runtime_error("no temporary folder for the dev service");
  const std::string portFile = std::string(folder) + "/port";
  const std::string script = std::string(ORVEX_SOURCE_DIR) + "/tools/devservice/devservice.py";
  pid_t pid = fork();
  if (pid == 0) {
    execlp("python3", "python3", script.c_str(), "--port", "0", "--port-file", portFile.c_str(),
           "--quiet", static_cast<char*>(nullptr));
    _exit(127);
  }
  if (pid < 0) throw std::runtime_error("cannot start the dev service");
  g_servicePid = pid;
  std::atexit(StopService);
  for (int i = 0; i < 200; ++i) {
    std::ifstream in(portFile);
    int port = 0;
    if (in >> port && port > 0) {
      std::remove(portFile.c_str());
      rmdir(folder);
      return "http://127.0.0.1:" + std::to_string(port);
    }
    if (waitpid(pid, nullptr, WNOHANG) == pid) {
      g_servicePid = 0;
      throw std::runtime_error("the dev service exited at start");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  throw std::runtime_error("the dev service did not start within 10 s");
}
#endif

}  // namespace

DevService& DevService::Get() {
  static DevService service;
  return service;
}

DevService::DevService() {
  const char* given = std::getenv("ORVEX_DEVSERVICE_URL");
  if (given && *given) {
    baseUrl_ = given;
    return;
  }
#ifdef _WIN32
  throw std::runtime_error("ORVEX_DEVSERVICE_URL is not set: start tools/devservice first");
#else
  baseUrl_ = StartService();
#endif
}

std::string DevService::Control(const std::string& method, const std::string& path,
                                const std::string& body) {
  CURL* curl = curl_easy_init();
  if (!curl) throw std::runtime_error("curl_easy_init failed");
  std::string answer;
  std::string url = Url(path);
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Append);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer);
  curl_easy_setopt(curl, CURLOPT_PROXY, "");
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 30L);
  if (method == "POST") {
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  }
  CURLcode result = curl_easy_perform(curl);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_cleanup(curl);
  if (result != CURLE_OK || status != 200)
    throw std::runtime_error("dev service " + method + " " + path + " failed: " +
                             curl_easy_strerror(result) + ", status " + std::to_string(status));
  return answer;
}

void DevService::Reset() { Control("POST", "/_dev/reset", ""); }

void DevService::SetConfig(const std::string& text) { Control("POST", "/_dev/config", text); }

void DevService::PutMedia(const std::string& name, const std::string& content) {
  Control("POST", "/_dev/media/" + name, content);
}

void DevService::PutPatternMedia(const std::string& name, std::size_t size) {
  Control("POST", "/_dev/media/" + name + "?size=" + std::to_string(size), "");
}

std::string DevService::Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i % 251);
  return bytes;
}

void DevService::AddFault(const Json::Value& rule) {
  Json::StreamWriterBuilder builder;
  Control("POST", "/_dev/fault", Json::writeString(builder, rule));
}

Json::Value DevService::Requests(const std::string& path) {
  Json::Value records;
  std::string text = Control("GET", path.empty() ? "/_dev/requests" : "/_dev/requests?path=" + path, "");
  if (!ParseJson(text, records)) throw std::runtime_error("dev service record is not JSON");
  return records;
}

}  // namespace test
}  // namespace orvex
