// The installation report and the analytics hit: the pairs built from a run's document, and
// what the web service and the collector receive (the dev service, started for the tests).

#include "app/install_report.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "app/analytics_hit.h"
#include "app/query_request.h"
#include "common/web_service.h"
#include "probes/system_info.h"
#include "tests/support/development_setting.h"
#include "tests/support/devservice_client.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

using test::J;
using test::ScopedDevelopmentSetting;

std::string Text(const ReportPairs& pairs) {
  std::string text;
  for (const auto& pair : pairs) text += pair.first + "=" + pair.second + "\n";
  return text;
}

GpuInfo Controller(const char* name, bool active) {
  GpuInfo gpu;
  gpu.name = name;
  gpu.active = active;
  return gpu;
}

const char kPlatformDocument[] = R"({"Config": {
  "platform": {"disksn": "WD-1 2", "disksn_2": "R2", "biossn": "B&1", "os": "Windows 10 Pro",
               "os_arch": "64-bit", "manufacturer": "LENOVO", "model": "T450", "ram": 16384,
               "mac": "00:11:22:33:44:55", "processor": "Intel Core i5", "processor_mfr": "GenuineIntel"},
  "gpu": {"gpu1": {"vendorid": "10DE", "deviceid": "1234", "name": "Name1", "version": "1.0"},
          "gpu2": {"vendorid": "8086", "deviceid": "5678", "name": "Name2", "version": "2.0"}},
  "opengl": {"major": 4, "minor": 6},
  "installer": {"orvexversion": "2.1.0.1"},
  "product": {"version": "2.0.0.9"}}})";

TEST(InstallReport, CompletedRunNamesTheMachineTheControllersAndTheInstalledVersion) {
  InstallReport report =
      BuildInstallReport(true, J(kPlatformDocument), Json::Value(0),
                         {Controller("a", true), Controller("b", true), Controller("c", false)});
  EXPECT_EQ("INSTALLED", report.status);
  EXPECT_EQ(
      "disksn=WD-1 2\nrlmdisksn=R2\nbiossn=B&1\nos=Windows 10 Pro\nplatform=64-bit\n"
      "manufacturer=LENOVO\nmodel=T450\nram=16384\nmac=00:11:22:33:44:55\n"
      "processor=Intel Core i5 | GenuineIntel\npromoter=\n"
      "gpu=10DE_1234 Name1 | 8086_5678 Name2\ngpuversion=1.0 | 2.0\nopengl=4.6\n"
      "version=2.1.0.1\nstatus=INSTALLED\n",
      Text(report.pairs));
}

TEST(InstallReport, FailedStagesGiveTheirStatus) {
  struct Case {
    const char* name;
    const char* failedStage;
    const char* expected;
  } cases[] = {
      {"cancelled by the user",
       R"({"status": {"progress": "canceled_due_to_user", "module": "DL"},
           "DL": {"status": "failed", "error": "USER_CANCELED"}})",
       "failed_module=DL\nfailed_reason=USER_CANCELED\nversion=2.0.0.9\nstatus=FAILED\n"},
      {"no status member", R"({"X": {}})", "version=2.0.0.9\nstatus=INSTALLATION_STATUS_UNKNOWN\n"},
      {"status without progress", R"({"status": {"module": "X"}})",
       "version=2.0.0.9\nstatus=INSTALLATION_STATUS_UNKNOWN\n"},
      {"not an object", "5", "version=2.0.0.9\nstatus=INSTALLATION_STATUS_UNKNOWN\n"},
      {"progress without module", R"({"status": {"progress": "module_init_failed"}})",
       "version=2.0.0.9\nstatus=\n"},
      {"module record that is not an object",
       R"({"status": {"progress": "p", "module": "M"}, "M": [1]})",
       "failed_module=M\nfailed_reason=\nversion=2.0.0.9\nstatus=FAILED\n"},
  };
  const Json::Value document = J(R"({"Config": {"product": {"version": "2.0.0.9"},
                                                 "installer": {"orvexversion": "9"}}})");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    InstallReport report = BuildInstallReport(false, document, J(c.failedStage), {});
    EXPECT_EQ(c.expected, Text(report.pairs));
  }
}

TEST(InstallReport, OddDocumentsAreReadTolerantly) {
  struct Case {
    const char* name;
    const char* document;
    const char* expected;
  } cases[] = {
      {"no Config", R"({"x": 1})", "status=INSTALLED\n"},
      {"Config is text", R"({"Config": "a"})", "status=INSTALLED\n"},
      {"document is an array", "[1, 2]", "status=INSTALLED\n"},
      {"containers where text is expected",
       R"({"Config": {"installer": {"orvexversion": {"a": 1}}, "opengl": {"major": "4", "minor": 1e20}}})",
       "opengl=0.0\nversion=\nstatus=INSTALLED\n"},
      {"platform without processor",
       R"({"Config": {"platform": {"processor_mfr": "AMD", "os": ["x"]}}})",
       "disksn=\nrlmdisksn=\nbiossn=\nos=\nplatform=\nmanufacturer=\nmodel=\nram=\nmac=\n"
       "processor=\npromoter=\nstatus=INSTALLED\n"},
      {"processor without maker", R"({"Config": {"platform": {"processor": "P", "mac": true}}})",
       "disksn=\nrlmdisksn=\nbiossn=\nos=\nplatform=\nmanufacturer=\nmodel=\nram=\nmac=true\n"
       "processor=P\npromoter=\nstatus=INSTALLED\n"},
      {"gpu that is not an object", R"({"Config": {"gpu": 3}})",
       "gpu=\ngpuversion=\nstatus=INSTALLED\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.expected,
              Text(BuildInstallReport(true, J(c.document), Json::Value(0), {Controller("a", true)})
                       .pairs));
  }
}

TEST(InstallReport, SeparatorsStandOnlyBetweenAppendedControllers) {
  const Json::Value document = J(R"({"Config": {"gpu": {
      "gpu1": {"vendorid": "10DE", "deviceid": "1", "name": "A", "version": "1"},
      "gpu2": {"vendorid": "8086", "deviceid": "2", "name": "B", "version": "2"},
      "gpu3": {"vendorid": "1002", "deviceid": "3", "name": "C", "version": "3"}}}})");
  struct Case {
    const char* name;
    std::vector<GpuInfo> controllers;
    const char* expected;
  } cases[] = {
      {"last inactive",
       {Controller("a", true), Controller("b", true), Controller("c", false)},
       "gpu=10DE_1 A | 8086_2 B\ngpuversion=1 | 2\nstatus=INSTALLED\n"},
      {"first inactive",
       {Controller("a", false), Controller("b", true), Controller("c", true)},
       "gpu=8086_2 B | 1002_3 C\ngpuversion=2 | 3\nstatus=INSTALLED\n"},
      {"unrecorded fourth",
       {Controller("a", true), Controller("b", false), Controller("c", true),
        Controller("d", true)},
       "gpu=10DE_1 A | 1002_3 C\ngpuversion=1 | 3\nstatus=INSTALLED\n"},
      {"none", {}, "gpu=\ngpuversion=\nstatus=INSTALLED\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.expected,
              Text(BuildInstallReport(true, document, Json::Value(0), c.controllers).pairs));
  }
}

TEST(AnalyticsHit, CollectorAndTrackingIdFollowTheServerEnvironment) {
  struct Case {
    const char* environment;
    const char* url;
    const char* trackingId;
  } cases[] = {
      {"", "https://analytics.orvex.example/collect?", "UA-61842907-1"},
      {"sandbox", "https://sandbox.analytics.orvex.example/collect?", "UA-61842907-2"},
      {"development", "https://development.analytics.orvex.example/collect?", "UA-61842907-3"},
  };
  ScopedDevelopmentSetting noPrefix("ANALYTICS_DOMAIN", std::nullopt);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.environment);
    ScopedDevelopmentSetting environment("ORVEX_ENV", c.environment);
    EXPECT_EQ(c.url, GetAnalyticsUrl());
    EXPECT_EQ(c.trackingId, AnalyticsTrackingId());
    ScopedDevelopmentSetting prefix("ANALYTICS_DOMAIN", "http://127.0.0.1:9/");
    EXPECT_EQ("http://127.0.0.1:9/analytics.orvex.example/collect?", GetAnalyticsUrl());
    EXPECT_EQ(c.trackingId, AnalyticsTrackingId());  // the prefix replaces the scheme only
  }
}

TEST(QueryRequest, FirstValueOfAKeyWinsAndValuesCannotAddPairs) {
  CQueryRequest request("http://h/p?");
  request.AddParam("a", "1");
  request.AddParam("b", "x & y=z+%#");
  request.AddParam("a", "2");
  request.AddParam("c d", "\xC3\xA9\n");
  EXPECT_EQ("http://h/p?a=1&b=x %26 y%3Dz%2B%25%23&c d=%C3%A9%0A&", request.Url());
}

TEST(AnalyticsHit, FixedKeysAndSystemDimensionsFromTheRecord) {
  ScopedDevelopmentSetting environment("ORVEX_ENV", "sandbox");
  ScopedDevelopmentSetting noPrefix("ANALYTICS_DOMAIN", std::nullopt);
  CSystemInfo machine;
  machine.diskSerial = "DISK1";
  machine.hostId = "HOST";
  machine.biosSerial = "BIOS";
  machine.osName = "Windows 10 Pro";
  machine.osArch = "64-bit";
  machine.screenSize = "1920x1080";
  machine.openglMajorText = "4";
  machine.model = "T450";
  machine.processorName = "Intel";
  machine.ramMb = "16384";
  machine.manufacturer = "LENOVO";
  machine.gpus = {Controller("GPU A", true), Controller("GPU B", false)};
  ScopedSystemInfo record(machine);
  CQueryRequest hit = MakeAnalyticsHit();
  hit.AddParam("cd", "INSTALLED");
  AddSystemDimensions(hit);
  EXPECT_EQ(
      "https://sandbox.analytics.orvex.example/collect?v=1&tid=UA-61842907-2&t=appview&cid=DISK1&"
      "av=2.0.6.8063&an=Binaro&cd=INSTALLED&cd1=Windows 10 Pro&cd2=1920x1080&"
      "cd3=GPU A | GPU B&cd4=4&cd5=T450&cd6=Intel&cd7=16384&cd8=LENOVO&cd11=BIOS&cd12=64-bit&"
      "cd13=DISK1&cd14=2.0.6.8063&cd15=HOST&",
      hit.Url());
}

// The pairs of a recorded form body, checking that every value was encoded: exactly one "="
// per pair, spaces as "%20".
std::vector<std::pair<std::string, std::string>> BodyPairs(const std::string& body) {
  std::vector<std::pair<std::string, std::string>> pairs;
  std::size_t start = 0;
  while (start < body.size()) {
    std::size_t end = body.find('&', start);
    if (end == std::string::npos) end = body.size();
    const std::string item = body.substr(start, end - start);
    const std::size_t equals = item.find('=');
    EXPECT_NE(std::string::npos, equals) << item;
    EXPECT_EQ(std::string::npos, item.find('=', equals + 1)) << item;
    EXPECT_EQ(std::string::npos, item.find(' ')) << item;
    pairs.emplace_back(item.substr(0, equals), item.substr(equals + 1));
    start = end + 1;
  }
  return pairs;
}

TEST(InstallReport, WebServiceAndCollectorReceiveTheEncodedPairs) {
  test::DevService& service = test::DevService::Get();
  service.Reset();
  ScopedDevelopmentSetting base("BASE_DOMAIN", service.BaseUrl() + "/");
  ScopedDevelopmentSetting analytics("ANALYTICS_DOMAIN", service.BaseUrl() + "/");
  ScopedDevelopmentSetting environment("ORVEX_ENV", "");
  CSystemInfo machine;
  machine.diskSerial = "S 1";
  machine.osName = "Windows 10 Pro";
  machine.gpus = {Controller("GPU A", true), Controller("GPU B", true)};
  ScopedSystemInfo record(machine);

  telemetry::SendInstallReport(true, J(kPlatformDocument), Json::Value(0));

  Json::Value install = service.Requests("/installer/install");
  ASSERT_EQ(2u, install.size());  // the probe, then the form
  EXPECT_EQ("HEAD", install[0]["method"].asString());
  EXPECT_EQ("POST", install[1]["method"].asString());
  auto pairs = BodyPairs(install[1]["body"].asString());
  std::map<std::string, std::string> sent(pairs.begin(), pairs.end());
  EXPECT_EQ(16u, pairs.size());
  EXPECT_EQ("WD-1%202", sent["disksn"]);
  EXPECT_EQ("B%261", sent["biossn"]);
  EXPECT_EQ("10DE_1234%20Name1%20|%208086_5678%20Name2", sent["gpu"]);
  EXPECT_EQ("INSTALLED", sent["status"]);
  EXPECT_EQ("2.1.0.1", sent["version"]);
  // The service decodes the same pairs that were built.
  const Json::Value form = install[1]["form"];
  EXPECT_EQ("B&1", form["biossn"].asString());
  EXPECT_EQ("Intel Core i5 | GenuineIntel", form["processor"].asString());

  Json::Value collect = service.Requests("/collect");
  ASSERT_EQ(2u, collect.size());
  const Json::Value hit = collect[1]["form"];
  EXPECT_EQ("INSTALLED", hit["cd"].asString());
  EXPECT_EQ("S 1", hit["cid"].asString());
  EXPECT_EQ("GPU A | GPU B", hit["cd3"].asString());
  EXPECT_EQ("Windows 10 Pro", hit["cd1"].asString());
  EXPECT_EQ("UA-61842907-1", hit["tid"].asString());
  BodyPairs(collect[1]["body"].asString());
}

TEST(InstallReport, AnUnreachableServiceChangesNothing) {
  ScopedDevelopmentSetting base("BASE_DOMAIN", "http://127.0.0.1:1/");
  ScopedDevelopmentSetting analytics("ANALYTICS_DOMAIN", "http://127.0.0.1:1/");
  ScopedSystemInfo record(CSystemInfo{});
  CQueryRequest request("http://127.0.0.1:1/x?");
  request.AddParam("a", "b");
  EXPECT_EQ(-1, request.Submit());
  EXPECT_EQ(-1, request.Submit());  // the handle went with the first submission
  telemetry::SendInstallReport(false, J(R"({"Config": [1]})"), J("[]"));  // returns quietly
}

}  // namespace
}  // namespace orvex
