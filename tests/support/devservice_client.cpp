#include "tests/support/devservice_client.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

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
std::vector<pid_t> g_servicePids;

void StopServices() {
  for (pid_t pid : g_servicePids) {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
  g_servicePids.clear();
}

// Starts a service on a free port with the extra arguments and returns the port.
int StartService(const std::vector<std::string>& extra) {
  char folder[] = "/tmp/orvex-devservice-XXXXXX";
  if (!mkdtemp(folder)) throw std::runtime_error("no temporary folder for the dev service");
  const std::string portFile = std::string(folder) + "/port";
  const std::string script = std::string(ORVEX_SOURCE_DIR) + "/tools/devservice/devservice.py";
  std::vector<std::string> words = {"python3",     script,   "--port", "0",
                                    "--port-file", portFile, "--quiet"};
  words.insert(words.end(), extra.begin(), extra.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    execvp("python3", argv.data());
    _exit(127);
  }
  if (pid < 0) throw std::runtime_error("cannot start the dev service");
  if (g_servicePids.empty()) std::atexit(StopServices);
  g_servicePids.push_back(pid);
  for (int i = 0; i < 200; ++i) {
    std::ifstream in(portFile);
    int port = 0;
    if (in >> port && port > 0) {
      std::remove(portFile.c_str());
      rmdir(folder);
      return port;
    }
    if (waitpid(pid, nullptr, WNOHANG) == pid) {
      g_servicePids.pop_back();
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
  baseUrl_ = "http://127.0.0.1:" + std::to_string(StartService({}));
#endif
}

int DevService::StartAnother(const std::vector<std::string>& arguments) {
#ifdef _WIN32
  (void)arguments;
  throw std::runtime_error("a test under Wine cannot start the dev service");
#else
  return StartService(arguments);
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
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);  // for https instances, see the header
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
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
  std::string text =
      Control("GET", path.empty() ? "/_dev/requests" : "/_dev/requests?path=" + path, "");
  if (!ParseJson(text, records)) throw std::runtime_error("dev service record is not JSON");
  return records;
}

void DevService::PresentCertificate(const std::string& certificateFile,
                                    const std::string& keyFile) {
  Json::Value files;
  files["cert"] = certificateFile;
  files["key"] = keyFile;
  Control("POST", "/_dev/tls", Json::writeString(Json::StreamWriterBuilder(), files));
}

int DevService::Connections() {
  Json::Value answer;
  if (!ParseJson(Control("GET", "/_dev/connections", ""), answer) || !answer["connections"].isInt())
    throw std::runtime_error("dev service connection count is not JSON");
  return answer["connections"].asInt();
}

}  // namespace test
}  // namespace orvex
