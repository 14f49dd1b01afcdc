// The console installer's installation report and analytics hit, as the web service and the
// collector (the dev service) receive them, compared with the run's session document and the
// simulated machine's facts; and its answer to an escaped exception: exit status 3, no crash
// files.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "app/crash_handler.h"
#include "base/json_text.h"
#include "platform/sim/machine.h"
#include "probes/system_info.h"
#include "tests/support/devservice_client.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

using Pairs = std::map<std::string, std::string>;

// The pairs of a form body; every value must be encoded: one "=" per pair, no blank, spaces
// as "%20". Values are returned decoded.
Pairs Decode(const std::string& body, std::size_t* count) {
  Pairs pairs;
  *count = 0;
  std::istringstream items(body);
  std::string item;
  while (std::getline(items, item, '&')) {
    const std::size_t equals = item.find('=');
    EXPECT_NE(std::string::npos, equals) << item;
    EXPECT_EQ(std::string::npos, item.find('=', equals + 1)) << item;
    EXPECT_EQ(std::string::npos, item.find(' ')) << item;
    std::string value;
    const std::string raw = item.substr(equals + 1);
    for (std::size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] == '%' && i + 2 < raw.size()) {
        value += static_cast<char>(std::strtol(raw.substr(i + 1, 2).c_str(), nullptr, 16));
        i += 2;
      } else {
        value += raw[i];
      }
    }
    pairs[item.substr(0, equals)] = value;
    ++*count;
  }
  return pairs;
}

class ConsoleTelemetry : public ::testing::Test {
 protected:
  void SetUp() override {
    service_ = &test::DevService::Get();
    service_->Reset();
    char pattern[] = "/tmp/orvex-telemetry-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    dir_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  // Runs the console installer on the configuration with the service as web service, download
  // host and collector; returns its exit status.
  int Run(const std::string& config) {
    std::ofstream(dir_ + "/config.json", std::ios::binary) << config;
    const std::string prefix = service_->BaseUrl() + "/";
    const std::string command = "cd '" + dir_ +
                                "' && env -i PATH=/usr/bin:/bin QUARN_OI_RUNMODE=development "
                                "QUARN_OI_DEV_CONFIG=" +
                                dir_ + "/config orvex_installer_dump=1 BASE_DOMAIN=" + prefix +
                                " DOWNLOAD_DOMAIN=" + prefix + " ANALYTICS_DOMAIN=" + prefix +
                                " ORVEX_SIM_ROOT=" + dir_ + "/sim '" + ORVEX_INSTALLER_PATH +
                                "' >out.txt 2>err.txt </dev/null";
    const int raw = std::system(command.c_str());
    err_ = test::ReadFile(dir_ + "/err.txt");
    EXPECT_TRUE(ParseJson(test::ReadFile(dir_ + "/orvex_installer_dump.json"), dump_) ||
                !expectDump_);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }

  // The form the service received at path (after the HEAD probe), decoded.
  Pairs Received(const std::string& path, std::size_t* count) {
    Json::Value requests = service_->Requests(path);
    EXPECT_EQ(2u, requests.size()) << path;
    if (requests.size() != 2) return Pairs();
    EXPECT_EQ("HEAD", requests[0]["method"].asString());
    EXPECT_EQ("POST", requests[1]["method"].asString());
    return Decode(requests[1]["body"].asString(), count);
  }

  // The hit's dimensions, compared with the default machine's record.
  void ExpectHit(const std::string& status) {
    sim::ScopedMachine machine(sim::DefaultProfile());
    const CSystemInfo info = BuildSystemInfo();
    std::size_t count = 0;
    Pairs hit = Received("/collect", &count);
    EXPECT_EQ(20u, count);
    std::string controllers;
    for (std::size_t i = 0; i < info.gpus.size(); ++i)
      controllers += (i ? " | " : "") + info.gpus[i].name;
    const Pairs expected = {{"v", "1"},
                            {"tid", "UA-61842907-1"},
                            {"t", "appview"},
                            {"cid", info.diskSerial},
                            {"av", "2.0.6.8063"},
                            {"an", "Binaro"},
                            {"cd", status},
                            {"cd1", info.osName},
                            {"cd2", info.screenSize},
                            {"cd3", controllers},
                            {"cd4", info.openglMajorText},
                            {"cd5", info.model},
                            {"cd6", info.processorName},
                            {"cd7", info.ramMb},
                            {"cd8", info.manufacturer},
                            {"cd11", info.biosSerial},
                            {"cd12", info.osArch},
                            {"cd13", info.diskSerial},
                            {"cd14", "2.0.6.8063"},
                            {"cd15", info.hostId}};
    EXPECT_EQ(expected, hit);
  }

  test::DevService* service_ = nullptr;
  std::string dir_;
  std::string err_;
  Json::Value dump_;
  bool expectDump_ = true;
};

TEST_F(ConsoleTelemetry, CompletedRunReportsTheMachineItFoundAndItsVersion) {
  const int status = Run(R"({
    "Stages": [
      {"name": "Probe", "modules": [
        {"class": "GetPlatformInfo", "name": "PLATFORM", "args": {"saveTo": ".Config"}},
        {"class": "GetGPUDriverVersion", "name": "GPU", "args": {"saveTo": ".Config"}},
        {"class": "GetOpenGLVersion", "name": "GL", "args": {"saveTo": ".Config"}},
        {"class": "Injector", "name": "VERSION",
         "args": {"path": ".Config.installer.orvexversion", "value": "2.1.0.1 & beta=1"}}]},
      {"name": "LastStage"}]})");
  EXPECT_EQ(0, status) << err_;
  const Json::Value& config = dump_["Config"];
  const Json::Value& platform = config["platform"];
  ASSERT_TRUE(platform.isObject()) << StyledJson(dump_);
  std::size_t count = 0;
  Pairs report = Received("/installer/install", &count);
  EXPECT_EQ(16u, count);
  sim::ScopedMachine machine(sim::DefaultProfile());
  const CSystemInfo info = BuildSystemInfo();
  std::string adapters, versions;
  for (std::size_t i = 0; i < info.gpus.size(); ++i) {
    const Json::Value& entry = config["gpu"]["gpu" + std::to_string(i + 1)];
    if (!info.gpus[i].active || !entry.isObject()) continue;
    adapters += (adapters.empty() ? "" : " | ") + entry["vendorid"].asString() + "_" +
                entry["deviceid"].asString() + " " + entry["name"].asString();
    versions += (versions.empty() ? "" : " | ") + entry["version"].asString();
  }
  ASSERT_FALSE(adapters.empty());
  const Pairs expected = {{"disksn", platform["disksn"].asString()},
                          {"rlmdisksn", platform["disksn_2"].asString()},
                          {"biossn", platform["biossn"].asString()},
                          {"os", platform["os"].asString()},
                          {"platform", platform["os_arch"].asString()},
                          {"manufacturer", platform["manufacturer"].asString()},
                          {"model", platform["model"].asString()},
                          {"ram", platform["ram"].asString()},
                          {"mac", platform["mac"].asString()},
                          {"processor", platform["processor"].asString() + " | " +
                                            platform["processor_mfr"].asString()},
                          {"promoter", ""},
                          {"gpu", adapters},
                          {"gpuversion", versions},
                          {"opengl", std::to_string(config["opengl"]["major"].asInt()) + "." +
                                         std::to_string(config["opengl"]["minor"].asInt())},
                          {"version", "2.1.0.1 & beta=1"},
                          {"status", "INSTALLED"}};
  EXPECT_EQ(expected, report);
  EXPECT_EQ(info.osName, platform["os"].asString());
  EXPECT_NE(std::string::npos, service_->Requests("/installer/install")[1]["body"].asString().find(
                                   "version=2.1.0.1%20%26%20beta%3D1&"));
  ExpectHit("INSTALLED");
}

TEST_F(ConsoleTelemetry, FailedDownloadReportsTheModuleAndItsError) {
  const int status = Run(R"({
    "ProgressIndicators": [{"name": "Console", "class": "PIConsole"}],
    "Callbacks": [{"name": "Default", "class": "CBDefault"}],
    "progress": "Console",
    "Stages": [
      {"name": "Prepare", "modules": [
        {"class": "Injector", "name": "V", "args": {"path": ".Config.product.version", "value": "2.0 beta"}}]},
      {"name": "Fetch", "modules": [
        {"class": "HTTPDownloader", "name": "GET PACKAGE",
         "args": {"url": "%BASE_URL%/media/missing.bin", "destination": "missing.bin",
                  "directory": "C:\\windows\\temp"}}]},
      {"name": "LastStage"}]})");
  EXPECT_EQ(1, status) << err_;
  const Json::Value& stage = dump_["Fetch"];
  ASSERT_EQ("GET PACKAGE", stage["status"]["module"].asString()) << StyledJson(dump_);
  std::size_t count = 0;
  Pairs report = Received("/installer/install", &count);
  EXPECT_EQ(4u, count);
  const Pairs expected = {{"failed_module", "GET PACKAGE"},
                          {"failed_reason", stage["GET PACKAGE"]["error"].asString()},
                          {"version", "2.0 beta"},
                          {"status", "FAILED"}};
  EXPECT_EQ(expected, report);
  EXPECT_FALSE(report["failed_reason"].empty());
  ExpectHit("FAILED");
}

TEST_F(ConsoleTelemetry, EscapedExceptionExitsThreeAndWritesNoCrashFiles) {
  expectDump_ = false;
  EXPECT_EQ(3, Run(R"({"Stages": [{"name": 5}]})"));
  EXPECT_EQ(0u, err_.find("orvex-installer: the run stopped on an exception: ")) << err_;
  for (const char* extension : {".dmp", ".log", ".txt"})
    EXPECT_FALSE(std::ifstream(dir_ + "/" + CrashFileName(extension)).good()) << extension;
  EXPECT_EQ(0u, service_->Requests("/installer/install").size());
}

}  // namespace
}  // namespace orvex
