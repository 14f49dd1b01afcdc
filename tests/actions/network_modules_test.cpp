// The modules that talk to the web service: AjaxRequest, ConnectivityChecker and
// HTTPDownloader, run against the local dev service.

#include <gtest/gtest.h>

#ifdef _WIN32
#include <direct.h>
#else
#include <sys/stat.h>
#endif

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "actions/http_downloader.h"
#include "base/text.h"
#include "common/run_flags.h"
#include "engine/module_registry.h"
#include "engine/stage.h"
#include "tests/support/development_setting.h"
#include "tests/support/devservice_client.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

using test::DevService;
using test::J;
using test::RecordingIndicator;

class NetworkModule : public ::testing::Test {
 protected:
  void SetUp() override {
    service.Reset();
    g_cancelRequested = false;
    g_promptActive = false;
  }
  void TearDown() override { g_cancelRequested = false; }

  // A module of the class, named "M" in stage "S", with the recording indicator.
  IModule* Make(const std::string& className, const Json::Value& args) {
    IModule* module = CreateModuleByClass(className);
    EXPECT_NE(nullptr, module);
    module->SetName("M");
    module->SetArgs(args);
    module->SetProgressIndicator(&indicator);
    stage.AddModule(module);
    module->Init(nullptr, &stage);
    return module;
  }

  DevService& service = DevService::Get();
  // The dev service speaks plain http, as a developer allows it for a local test service.
  test::ScopedPlainHttp plainHttp{service.BaseUrl()};
  RecordingIndicator indicator;
  CStage stage{"S"};
};

// ---- AjaxRequest

TEST_F(NetworkModule, AjaxPostsResolvedParametersInKeyOrder) {
  Json::Value args = J(R"({"request_url": "", "res_path": ".InstallConfig.display.driver.url",
      "request_args": {"os": ".Config.platform.os_arch", "build": 1234, "missing": ".No.Such",
                       "flag": true, "real": 1.5, "text": "a&b=c d"}})");
  args["request_url"] = service.Url("/index/driverupdate");
  Json::Value doc = J(R"({"Config": {"platform": {"os_arch": "x64"}}})");
  ASSERT_EQ(0, Make("AjaxRequest", args)->Execute(doc));

  Json::Value posts = service.Requests("/index/driverupdate");
  ASSERT_EQ(2u, posts.size());
  EXPECT_EQ("POST", posts[1]["method"].asString());
  EXPECT_EQ("build=1234&flag=true&missing=&os=x64&real=&text=a%26b%3Dc%20d",
            posts[1]["body"].asString());
  // The answer is stored as text; the parameters were resolved on a copy of the document.
  EXPECT_EQ(service.Url("/dl.orvex.example/media/gpudriver.zip"),
            doc["InstallConfig"]["display"]["driver"]["url"].asString());
  EXPECT_FALSE(doc.isMember("No"));
  EXPECT_FALSE(doc.isMember("S"));  // nothing recorded on success
}

TEST_F(NetworkModule, AjaxAnswersAreStoredAsJsonOrAsTextWithoutBlanks) {
  service.SetConfig("{ \"version\" : \"2.1\",\n  \"list\" : [1, 2] }");
  const std::string url = service.Url("/index/getinstallconfig");
  Json::Value doc;
  Json::Value asJson;
  asJson["request_url"] = url;
  asJson["res_path"] = ".Answer.json";
  asJson["is_res_json"] = 1;
  ASSERT_EQ(0, Make("AjaxRequest", asJson)->Execute(doc));
  EXPECT_EQ(J(R"({"version": "2.1", "list": [1, 2]})"), doc["Answer"]["json"]);

  Json::Value asText = asJson;
  asText["res_path"] = ".Answer.text";
  asText["is_res_json"] = "";  // JSON falsehood
  ASSERT_EQ(0, Make("AjaxRequest", asText)->Execute(doc));
  EXPECT_EQ("{\"version\":\"2.1\",\"list\":[1,2]}", doc["Answer"]["text"].asString());
  // Without parameters the request is still a POST, with an empty body.
  Json::Value requests = service.Requests("/index/getinstallconfig");
  ASSERT_EQ(4u, requests.size());
  EXPECT_EQ("POST", requests[3]["method"].asString());
  EXPECT_EQ("", requests[3]["body"].asString());
}

TEST_F(NetworkModule, AjaxRequestUrlWithQuerySendsEverythingAfterItsFirstQuestionMark) {
  Json::Value args;
  args["request_url"] = service.Url("/index/driverupdate?x=1");
  args["res_path"] = ".R";
  args["request_args"]["k"] = "v";
  Json::Value doc;
  ASSERT_EQ(0, Make("AjaxRequest", args)->Execute(doc));
  Json::Value requests = service.Requests("/index/driverupdate");
  ASSERT_EQ(2u, requests.size());
  EXPECT_EQ("x=1?k=v", requests[1]["body"].asString());
}

TEST_F(NetworkModule, AjaxFailuresAreCheckedInOrder) {
  service.SetConfig("not json at all");
  struct Case {
    const char* name;
    const char* args;  // "URL" is replaced by a dev service address
    const char* reason;
    const char* error;
    bool sends;
  } cases[] = {
      {"no URL", R"({"res_path": 5})", "There is no request URL", "REQUEST_URL_NULL", false},
      {"path not a string", R"({"request_url": "URL/index/getinstallconfig", "res_path": 5})",
       "There is no response path or is invalid", "INVALID_RESPONSE_PATH", false},
      {"path through a scalar", R"({"request_url": "URL/index/getinstallconfig",
                                    "res_path": ".Text.deeper"})",
       "There is no response path or is invalid", "INVALID_RESPONSE_PATH", false},
      {"no answer", R"({"request_url": "URL/index/nothing-here", "res_path": ".R"})",
       "Could not get AJAX response.", "NO_AJAX_RESPONSE", true},
      {"answer not JSON", R"({"request_url": "URL/index/getinstallconfig", "res_path": ".R",
                              "is_res_json": true})",
       "The response is invalid Json format", "INVALID_JSON_RESPONSE", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    service.Reset();
    service.SetConfig("not json at all");
    std::string text = c.args;
    std::size_t at = text.find("URL");
    if (at != std::string::npos) text.replace(at, 3, service.BaseUrl());
    Json::Value doc = J(R"({"Text": "scalar"})");
    EXPECT_EQ(-1, Make("AjaxRequest", J(text))->Execute(doc));
    EXPECT_EQ("fatal", doc["S"]["M"]["status"].asString());
    EXPECT_EQ(c.reason, doc["S"]["M"]["reason"].asString());
    EXPECT_EQ(c.error, doc["S"]["M"]["error"].asString());
    EXPECT_EQ(c.sends, !service.Requests().empty());
    if (c.sends) {
      EXPECT_TRUE(doc.isMember("R"));  // created before the request, left null
      EXPECT_TRUE(doc["R"].isNull());
    }
  }
}

// Redirects are not followed, so no redirect's body is the service's answer: whichever 3xx
// the probe or the body phase gets, the module fails and the answer's node stays null.
TEST_F(NetworkModule, AjaxRedirectAnswersAreNeverStored) {
  for (int status : {301, 302, 303, 307, 308}) {
    for (const char* phase : {"HEAD", "POST"}) {
      SCOPED_TRACE(std::to_string(status) + " to " + phase);
      service.Reset();
      Json::Value rule;
      rule["path"] = "/index/driverupdate";
      rule["kind"] = "status";
      rule["status"] = status;
      rule["method"] = phase;
      rule["body"] = "<html>moved</html>";
      service.AddFault(rule);
      Json::Value args = J(R"({"res_path": ".R", "request_args": {"a": 1}})");
      args["request_url"] = service.Url("/index/driverupdate");
      Json::Value doc;
      EXPECT_EQ(-1, Make("AjaxRequest", args)->Execute(doc));
      const Json::Value& record = doc["S"]["M"];
      EXPECT_EQ("fatal", record["status"].asString());
      EXPECT_EQ("NO_AJAX_RESPONSE", record["error"].asString());
      const std::string reason = record["reason"].asString();
      EXPECT_EQ(0u, reason.find("Could not get AJAX response.")) << reason;
      if (status != 302) {
        EXPECT_NE(std::string::npos, reason.find("(HTTP " + std::to_string(status) + ")"))
            << reason;
      }
      EXPECT_TRUE(doc["R"].isNull()) << doc["R"];
    }
  }
}

// ---- ConnectivityChecker

TEST_F(NetworkModule, ConnectivityCheckerPassesOnAnAnswerAndRedirect) {
  service.PutMedia("ping.txt", "pong");
  Json::Value redirect;
  redirect["path"] = "/moved";
  redirect["kind"] = "redirect";
  service.AddFault(redirect);
  for (const char* path : {"/media/ping.txt", "/moved"}) {
    SCOPED_TRACE(path);
    indicator.calls.clear();
    Json::Value args;
    args["url"] = service.Url(path);
    Json::Value doc;
    EXPECT_EQ(0, Make("ConnectivityChecker", args)->Execute(doc));
    EXPECT_TRUE(doc.isNull());
    EXPECT_EQ(std::vector<std::string>({"detail:Checking connection to " + service.Url(path)}),
              indicator.calls);
  }
}

TEST_F(NetworkModule, ConnectivityCheckerFailsOnAnErrorAndTellsTheUser) {
  const std::string url = service.Url("/media/absent");
  Json::Value args;
  args["url"] = url;
  Json::Value doc;
  EXPECT_EQ(-1, Make("ConnectivityChecker", args)->Execute(doc));
  EXPECT_EQ("failed", doc["S"]["M"]["status"].asString());
  EXPECT_EQ("No connection to " + url, doc["S"]["M"]["reason"].asString());
  EXPECT_EQ("NO_CONNECTION", doc["S"]["M"]["error"].asString());
  ASSERT_EQ(2u, indicator.calls.size());
  EXPECT_EQ("prompt:Could not connect to " + url +
                " please check your Internet connection.|Ok||An internet connection is "
                "required to continue installation.|2",
            indicator.calls[1]);

  Json::Value noUrl;
  EXPECT_EQ(-1, Make("ConnectivityChecker", noUrl)->Execute(doc));
  EXPECT_EQ("URL_NULL", doc["S"]["M"]["error"].asString());
  EXPECT_EQ("The URL string is null", doc["S"]["M"]["reason"].asString());
}

// ---- HTTPDownloader

std::string ReadBinary(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

class Downloader : public NetworkModule {
 protected:
  void SetUp() override {
    NetworkModule::SetUp();
    folder = test::ScratchRoot() / "orvex-downloader";
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    directory = WideToUtf8(test::PlatformPath(folder));
  }
  Json::Value Args(const std::string& file) {
    Json::Value args;
    args["url"] = ".Source";
    args["destination"] = file;
    args["directory"] = ".Dir";
    return args;
  }
  Json::Value Doc(const std::string& media) {
    Json::Value doc;
    doc["Source"] = service.Url("/media/" + media);
    doc["Dir"] = directory;
    return doc;
  }
  std::string OnDisk(const std::string& file) { return ReadBinary((folder / file).string()); }
  std::filesystem::path folder;
  std::string directory;
};

TEST_F(Downloader, FetchesTheFileAndMovesTheBar) {
  service.PutPatternMedia("driver.zip", 300000);
  Json::Value doc = Doc("driver.zip");
  IModule* module = Make("HTTPDownloader", Args("gpudriver.zip"));
  ASSERT_EQ(0, module->Execute(doc));
  EXPECT_EQ(DevService::Pattern(300000), OnDisk("gpudriver.zip"));
  EXPECT_FALSE(doc.isMember("S"));
  const auto& calls = indicator.calls;
  ASSERT_GE(calls.size(), 5u);
  EXPECT_EQ("detail:Downloading from " + service.Url("/media/driver.zip") + " to temp folder",
            calls[0]);
  EXPECT_EQ("bar:on", calls[1]);
  EXPECT_EQ("progress:0", calls[2]);
  EXPECT_EQ("bar:off", calls[calls.size() - 2]);
  EXPECT_EQ("progress:100", calls.back());
}

TEST_F(Downloader, HiddenProgressLeavesTheBarAlone) {
  service.PutPatternMedia("quiet.bin", 5000);
  Json::Value args = Args("quiet.bin");
  args["show_progress"] = false;
  Json::Value doc = Doc("quiet.bin");
  ASSERT_EQ(0, Make("HTTPDownloader", args)->Execute(doc));
  ASSERT_EQ(1u, indicator.calls.size());  // only the detail line
}

TEST_F(Downloader, SizeQueryAnswered404FailsWithThePrompt) {
  Json::Value doc = Doc("nowhere.zip");
  EXPECT_EQ(-1, Make("HTTPDownloader", Args("nowhere.zip"))->Execute(doc));
  const Json::Value& record = doc["S"]["M"];
  EXPECT_EQ(7, record["error_code"].asInt());
  EXPECT_EQ("UNABLE_TO_GET_SIZE (0)", record["error"].asString());
  EXPECT_EQ("failed", record["status"].asString());
  EXPECT_EQ("Failed to download from " + service.Url("/media/nowhere.zip") + ".",
            record["reason"].asString());
  EXPECT_EQ(
      "prompt:Could not download files from Internet.|Ok||Failed to download necessary "
      "files for Orvex-m installation.|2",
      indicator.calls.back());
}

TEST_F(Downloader, StopRequestCancelsWithoutPrompt) {
  service.PutPatternMedia("slow.bin", 20000);
  Json::Value slow;
  slow["path"] = "/media/slow.bin";
  slow["kind"] = "slow";
  slow["rate"] = 2000;
  service.AddFault(slow);
  for (bool show : {true, false}) {
    SCOPED_TRACE(show);
    indicator.calls.clear();
    g_cancelRequested = true;  // the user confirmed stopping before the first pass
    Json::Value args = Args("slow.bin");
    args["show_progress"] = show;
    Json::Value doc = Doc("slow.bin");
    EXPECT_EQ(-1, Make("HTTPDownloader", args)->Execute(doc));
    EXPECT_EQ(2, doc["S"]["M"]["error_code"].asInt());
    EXPECT_EQ("DOWNLOAD_CANCELED", doc["S"]["M"]["error"].asString());
    EXPECT_EQ("status:Aborting download ...", indicator.calls.back());
    for (const std::string& call : indicator.calls) EXPECT_NE(0u, call.rfind("prompt:", 0));
    // The destination is only ever made by the final rename.
    EXPECT_FALSE(std::filesystem::exists(folder / "slow.bin"));
  }
}

TEST_F(Downloader, StopQuestionHoldsTheTransferUntilAnswered) {
  service.PutPatternMedia("held.bin", 50000);
  g_promptActive = true;  // the window's stop question is open
  std::thread window([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    g_cancelRequested = true;  // the user answers that the installation should stop
    g_promptActive = false;
  });
  Json::Value doc = Doc("held.bin");
  EXPECT_EQ(-1, Make("HTTPDownloader", Args("held.bin"))->Execute(doc));
  window.join();
  EXPECT_EQ(2, doc["S"]["M"]["error_code"].asInt());
  // Data arrived while the question was open, yet the bar showed no share of it: the first
  // chunk waited for the answer, and the answer was to stop. (The end of the transfers still
  // sets the bar to 100 when the data was all in by then.)
  for (const std::string& call : indicator.calls)
    EXPECT_TRUE(call.rfind("progress:", 0) != 0 || call == "progress:0" || call == "progress:100")
        << call;
}

// The service pins the file: the right digest (in either case) puts it in place, any other
// fails with the hash error in the record and in the question, and leaves no file.
TEST_F(Downloader, PinnedDigestDecidesWhetherTheFileIsPutInPlace) {
  const std::string content = "the package";
  service.PutMedia("pinned.cab", content);
  const std::string right = "ab326f16dec533ba65139949246581c016b9d4c77d0de0046e65f48e575372a3";
  const std::string wrong = std::string(63, '0') + "1";
  struct Case {
    std::string digest;
    bool ok;
  } cases[] = {
      {right, true},
      {"AB326F16DEC533BA65139949246581C016B9D4C77D0DE0046E65F48E575372A3", true},
      {wrong, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.digest);
    std::filesystem::remove(folder / "pinned.cab");
    indicator.calls.clear();
    Json::Value args = Args("pinned.cab");
    args["sha256"] = ".Digest";
    Json::Value doc = Doc("pinned.cab");
    doc["Digest"] = c.digest;
    const int result = Make("HTTPDownloader", args)->Execute(doc);
    EXPECT_EQ(result, c.ok ? 0 : -1);
    EXPECT_EQ(std::filesystem::exists(folder / "pinned.cab"), c.ok);
    if (c.ok) continue;
    const Json::Value& record = doc["S"]["M"];
    EXPECT_EQ(9, record["error_code"].asInt());
    const std::string error =
        "DOWNLOAD_HASH_MISMATCH: the downloaded file is not the one "
        "expected (expected SHA-256 " +
        wrong + ", received " + right + ")";
    EXPECT_EQ(error, record["error"].asString());
    EXPECT_EQ(
        "prompt:Could not download files from Internet.|Ok||DOWNLOAD_HASH_MISMATCH: the "
        "downloaded file is not the one expected. Nothing of it was run.|2",
        indicator.calls.back());
    EXPECT_FALSE(std::filesystem::exists(folder / "pinned.cab.part"));
  }
}

// A digest asked for through a value path must be one: a number, a list, an object (the path
// "." names the whole document) or a boolean there fails the module before any request,
// instead of checking nothing.
TEST_F(Downloader, PinThatResolvesToNoDigestFailsBeforeAnyRequest) {
  service.PutMedia("pinned.cab", "the package");
  const std::pair<const char*, const char*> cases[] = {
      {".Digest", "12"},   {".Digest", "[\"ab326f16\"]"}, {".Digest", "{\"a\": 1}"},
      {".Digest", "true"}, {".Digest", "false"},          {".Digest", "\"\""},
      {".", "\"unused\""}, {".Digest[0]", "[12]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.first) + " = " + c.second);
    Json::Value args = Args("pinned.cab");
    args["sha256"] = c.first;
    Json::Value doc = Doc("pinned.cab");
    doc["Digest"] = J(c.second);
    EXPECT_EQ(-1, Make("HTTPDownloader", args)->Execute(doc));
    EXPECT_EQ("fatal", doc["S"]["M"]["status"].asString());
    EXPECT_EQ("The sha256 string is not 64 hexadecimal digits", doc["S"]["M"]["reason"].asString());
    EXPECT_FALSE(std::filesystem::exists(folder / "pinned.cab"));
  }
  EXPECT_TRUE(service.Requests().empty());
}

// A pin whose value path names nothing checks nothing in a run that pins nothing (a service
// that sends no digests), but fails the module in a run where another download is pinned.
TEST_F(Downloader, UnresolvedPinFailsWhereOtherDownloadsArePinned) {
  const std::string right = "ab326f16dec533ba65139949246581c016b9d4c77d0de0046e65f48e575372a3";
  service.PutMedia("pinned.cab", "the package");
  Json::Value unpinned = Args("pinned.cab");
  unpinned["sha256"] = ".InstallConfig.display.driver.sha256";
  {
    SCOPED_TRACE("nothing pinned");
    Json::Value doc = Doc("pinned.cab");
    EXPECT_EQ(0, Make("HTTPDownloader", unpinned)->Execute(doc));
    EXPECT_EQ("the package", OnDisk("pinned.cab"));
    // Looked up without creating anything.
    EXPECT_FALSE(doc.isMember("InstallConfig"));
    std::filesystem::remove(folder / "pinned.cab");
  }
  // Another download of the stage pins its file, by its own digest or by a value path.
  for (const char* otherPin : {right.c_str(), ".Digest"}) {
    SCOPED_TRACE(otherPin);
    service.Reset();
    service.PutMedia("pinned.cab", "the package");
    CStage pinning("P");
    Json::Value other = Args("other.cab");
    other["sha256"] = otherPin;
    for (const Json::Value& args : {other, unpinned}) {
      IModule* module = CreateModuleByClass("HTTPDownloader");
      module->SetName("M");
      module->SetArgs(args);
      pinning.AddModule(module);
      module->Init(nullptr, &pinning);
    }
    Json::Value doc = Doc("pinned.cab");
    doc["Digest"] = right;
    EXPECT_EQ(-1, pinning.GetModules().back()->Execute(doc));
    EXPECT_EQ("fatal", doc["P"]["M"]["status"].asString());
    EXPECT_EQ(
        "The sha256 value path .InstallConfig.display.driver.sha256 names no digest, while other "
        "downloads are pinned",
        doc["P"]["M"]["reason"].asString());
    EXPECT_FALSE(std::filesystem::exists(folder / "pinned.cab"));
    EXPECT_TRUE(service.Requests().empty());
  }
}

TEST_F(Downloader, MissingArgumentsAreReportedInOrderWithoutTraffic) {
  struct Case {
    const char* args;
    const char* reason;
  } cases[] = {
      {R"({"destination": "a", "directory": "b"})", "The URL string is null"},
      {R"({"url": "u", "directory": "b"})", "The destination string is null"},
      {R"({"url": "u", "destination": "a"})", "The directory string is null"},
      {R"({"url": "u", "destination": "a", "directory": "b", "sha256": "abc"})",
       "The sha256 string is not 64 hexadecimal digits"},
      {R"({"url": "u", "destination": "a", "directory": "b", "sha256": ".Digest"})",
       "The sha256 string is not 64 hexadecimal digits"},
      {R"({"url": "u", "destination": "a", "directory": "b", "sha256": 12})",
       "The sha256 string is not 64 hexadecimal digits"},
      {R"({"url": "u", "destination": "a", "directory": "b", "sha256": ""})",
       "The sha256 string is not 64 hexadecimal digits"},
      {R"({"url": "u", "destination": "a", "directory": "b", "sha256": "000000000000000000000000000000000000000000000000000000000000000g"})",
       "The sha256 string is not 64 hexadecimal digits"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    Json::Value doc;
    // One digit short, from the session document.
    doc["Digest"] = std::string(63, 'a');
    EXPECT_EQ(-1, Make("HTTPDownloader", J(c.args))->Execute(doc));
    EXPECT_EQ("fatal", doc["S"]["M"]["status"].asString());
    EXPECT_EQ(c.reason, doc["S"]["M"]["reason"].asString());
  }
  EXPECT_TRUE(service.Requests().empty());
  EXPECT_TRUE(indicator.calls.empty());
}

TEST(DownloadErrorTexts, FollowTheErrorKind) {
  const std::pair<CHttpDownloadEx, const char*> cases[] = {
      {{1, 2, 0, ""}, "DOWNLOAD_ERROR (2)"},
      {{2, 0, 0, ""}, "DOWNLOAD_CANCELED"},
      {{3, 0, 0, ""}, "DOWNLOAD_FILE_CORRUPTED"},
      {{4, 0, 112, ""}, "ERROR_SAVING_FILE"},
      {{5, 28, 0, ""}, "NETWORK_ERROR (28)"},
      {{6, 56, 0, ""}, "NETWORK_RESET (56)"},
      {{7, 0, 0, ""}, "UNABLE_TO_GET_SIZE (0)"},
      {{8, 0, 0, ""}, "UNABLE_TO_ALLOC_MEMORY"},
      {{9, 0, 0, "expected SHA-256 aa, received bb"},
       "DOWNLOAD_HASH_MISMATCH: the downloaded file is not the one expected (expected SHA-256 "
       "aa, received bb)"},
      {{10, 60, 0, ""}, "CERTIFICATE_NOT_VERIFIED (60)"},
      {{11, 0, 0, ""}, "UNKNOWN_ERROR"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.second);
    EXPECT_EQ(c.second, DownloadErrorText(c.first));
  }
}

}  // namespace
}  // namespace orvex
