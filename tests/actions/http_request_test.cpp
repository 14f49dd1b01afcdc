// Single web requests and the URL probe against the local dev service.

#include "actions/http_request.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include "tests/support/development_setting.h"
#include "tests/support/devservice_client.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

using test::DevService;

class WebRequest : public ::testing::Test {
 protected:
  void SetUp() override { service.Reset(); }

  // Sends url and returns the response; a COrvexException fails the test.
  std::string Send(const std::string& url) {
    CHttpRequest request(curl_easy_init());
    std::string response = "untouched";
    EXPECT_EQ(0, request.Send(url, response));
    return response;
  }

  COrvexException SendExpectingFailure(const std::string& url) {
    CHttpRequest request(curl_easy_init());
    std::string response;
    try {
      request.Send(url, response);
    } catch (const COrvexException& failure) {
      return failure;
    }
    ADD_FAILURE() << "no exception for " << url;
    return COrvexException();
  }

  void AddFault(const char* path, const char* kind, const char* method = nullptr, int times = 0,
                int status = 0) {
    Json::Value rule;
    rule["path"] = path;
    rule["kind"] = kind;
    if (method) rule["method"] = method;
    if (times) rule["times"] = times;
    if (status) rule["status"] = status;
    service.AddFault(rule);
  }

  DevService& service = DevService::Get();
  // The dev service speaks plain http, as a developer allows it for a local test service.
  test::ScopedPlainHttp plainHttp{service.BaseUrl()};
};

TEST_F(WebRequest, QueryIsProbedThenPostedAsFormBody) {
  std::string response = Send(service.Url("/index/driverupdate?a=1&b=two words"));
  EXPECT_NE(std::string::npos, response.find("/media/gpudriver.zip")) << response;
  Json::Value requests = service.Requests("/index/driverupdate");
  ASSERT_EQ(2u, requests.size());
  EXPECT_EQ("HEAD", requests[0]["method"].asString());
  EXPECT_EQ("", requests[0]["query"].asString());
  EXPECT_EQ("POST", requests[1]["method"].asString());
  EXPECT_EQ("a=1&b=two%20words", requests[1]["body"].asString());
}

TEST_F(WebRequest, UrlWithoutQueryIsFetchedWithGetAndControlCharactersRemoved) {
  service.PutMedia("reply.txt", "{\r\n\t\"a\" : \"x y\"\r\n}\r\n");
  EXPECT_EQ("{\"a\" : \"x y\"}", Send(service.Url("/media/reply.txt")));
  Json::Value requests = service.Requests("/media/reply.txt");
  ASSERT_EQ(2u, requests.size());
  EXPECT_EQ("GET", requests[1]["method"].asString());
  EXPECT_EQ("", requests[1]["body"].asString());
}

TEST_F(WebRequest, ResponseIsCutAtItsFirstZeroByte) {
  service.PutMedia("zero.txt", std::string("before\0after", 12));
  EXPECT_EQ("before", Send(service.Url("/media/zero.txt")));
}

TEST_F(WebRequest, BodyWithoutAnnouncedLengthIsLimitedTo4096Bytes) {
  service.PutMedia("small.txt", std::string(4096, 'a'));
  service.PutMedia("large.txt", std::string(4097, 'b'));
  AddFault("/media/small.txt", "head_no_length", "HEAD");
  AddFault("/media/large.txt", "head_no_length", "HEAD");
  EXPECT_EQ(std::string(4096, 'a'), Send(service.Url("/media/small.txt")));
  COrvexException failure = SendExpectingFailure(service.Url("/media/large.txt"));
  EXPECT_EQ(COrvexException::kTransferFailed, failure.code);
  EXPECT_EQ(CURLE_WRITE_ERROR, failure.detail);
  EXPECT_EQ(curl_easy_strerror(CURLE_WRITE_ERROR), failure.text);
  // The body phase was tried twice: once directly, once through the proxy retry.
  EXPECT_EQ(2, static_cast<int>(service.Requests("/media/large.txt").size()) - 1);
}

TEST_F(WebRequest, AnnouncedLengthSizesTheBuffer) {
  service.PutMedia("big.txt", std::string(100000, 'c'));
  EXPECT_EQ(100000u, Send(service.Url("/media/big.txt")).size());
}

// A request keeps at most 8 MiB. An answer announcing more, in the probe or in the body's
// own headers, fails with the request's exception instead of filling the memory.
TEST_F(WebRequest, BodiesAreLimitedTo8MiB) {
  const std::string config = R"({"Stages": []})";
  service.SetConfig(config);
  const std::string url = service.Url("/index/getinstallconfig");
  struct Case {
    Json::Int64 length;  // 0: the fault's default, 100 GiB
    const char* method;  // nullptr: the probe and the body
  };
  for (const Case& c : {Case{0, nullptr}, Case{(8 << 20) + 1, nullptr}, Case{0, "GET"},
                        Case{(8 << 20) + 1, "GET"}}) {
    SCOPED_TRACE(std::to_string(c.length) + (c.method ? " GET" : " both"));
    service.Reset();
    service.SetConfig(config);
    Json::Value rule;
    rule["path"] = "/index/getinstallconfig";
    rule["kind"] = "huge_length";
    if (c.length) rule["length"] = c.length;
    if (c.method) rule["method"] = c.method;
    service.AddFault(rule);
    COrvexException failure = SendExpectingFailure(url);
    EXPECT_EQ(COrvexException::kTransferFailed, failure.code);
    EXPECT_TRUE(failure.detail == CURLE_FILESIZE_EXCEEDED || failure.detail == CURLE_WRITE_ERROR)
        << failure.detail << " " << failure.text;
  }
  // Exactly 8 MiB is kept: the configuration followed by blanks.
  service.Reset();
  service.SetConfig(config);
  Json::Value rule;
  rule["path"] = "/index/getinstallconfig";
  rule["kind"] = "huge_length";
  rule["length"] = 8 << 20;
  service.AddFault(rule);
  const std::string response = Send(url);
  EXPECT_EQ(std::size_t{8 << 20}, response.size());
  EXPECT_EQ(0u, response.find(config));
}

TEST_F(WebRequest, RedirectedProbeThrowsButProbeUrlCountsItAsAnAnswer) {
  AddFault("/index/moved", "redirect");
  COrvexException failure = SendExpectingFailure(service.Url("/index/moved"));
  EXPECT_EQ(COrvexException::kRedirected, failure.code);
  EXPECT_EQ(0, failure.detail);
  EXPECT_EQ("No error", failure.text);
  EXPECT_EQ(0, ProbeUrl(service.Url("/index/moved")));
}

// Every other redirect status fails the request too, in the probe or in the body phase,
// saying which status came; its body is never the response.
TEST_F(WebRequest, EveryRedirectStatusFailsTheRequest) {
  for (int status : {300, 301, 303, 307, 308}) {
    for (const char* phase : {"HEAD", "GET"}) {
      SCOPED_TRACE(std::to_string(status) + " to " + phase);
      service.Reset();
      service.PutMedia("moved.txt", "the real answer");
      AddFault("/media/moved.txt", "status", phase, 0, status);
      COrvexException failure = SendExpectingFailure(service.Url("/media/moved.txt"));
      EXPECT_EQ(COrvexException::kRedirected, failure.code);
      EXPECT_EQ(0, failure.detail);
      EXPECT_NE(std::string::npos, failure.text.find("(HTTP " + std::to_string(status) + ")"))
          << failure.text;
    }
  }
}

TEST_F(WebRequest, FailedPhaseIsRetriedOnceThroughTheProxy) {
  // The first probe fails; the retry (with no proxy named, a direct one) gets through.
  AddFault("/index/getinstallconfig", "status", "HEAD", 1, 500);
  service.SetConfig("{}");
  EXPECT_EQ("{}", Send(service.Url("/index/getinstallconfig")));
  EXPECT_EQ(3u, service.Requests("/index/getinstallconfig").size());

  // Both probes fail: the request fails with libcurl's HTTP error.
  service.Reset();
  AddFault("/index/getinstallconfig", "status", nullptr, 0, 404);
  COrvexException failure = SendExpectingFailure(service.Url("/index/getinstallconfig"));
  EXPECT_EQ(COrvexException::kTransferFailed, failure.code);
  EXPECT_EQ(CURLE_HTTP_RETURNED_ERROR, failure.detail);
  EXPECT_EQ(2u, service.Requests("/index/getinstallconfig").size());
}

TEST_F(WebRequest, RetryGoesThroughTheNamedProxy) {
  // Nothing listens on port 1; the retry asks the dev service, acting as the proxy.
  test::ScopedEnv proxy("ORVEXOPT_PROXY", service.BaseUrl());
  service.PutMedia("via-proxy.txt", "proxied");
  EXPECT_EQ("proxied", Send("http://127.0.0.1:1/dl.orvex.example/media/via-proxy.txt"));
  Json::Value requests = service.Requests("/media/via-proxy.txt");
  ASSERT_EQ(2u, requests.size());
  EXPECT_EQ("HEAD", requests[0]["method"].asString());
}

TEST_F(WebRequest, NullHandleCannotSend) {
  CHttpRequest request(nullptr);
  std::string response = "untouched";
  EXPECT_EQ(-1, request.Send(service.Url("/media/x"), response));
  EXPECT_EQ("untouched", response);
}

TEST_F(WebRequest, ProbeUrlTellsWhetherTheUrlAnswers) {
  service.PutMedia("here.txt", "x");
  EXPECT_EQ(0, ProbeUrl(service.Url("/media/here.txt")));
  EXPECT_EQ(-1, ProbeUrl(service.Url("/media/missing.txt")));
  EXPECT_EQ(-1, ProbeUrl("http://127.0.0.1:1/"));
  Json::Value requests = service.Requests("/media/here.txt");
  ASSERT_EQ(1u, requests.size());
  EXPECT_EQ("HEAD", requests[0]["method"].asString());
}

TEST(FormEncoding, EscapesWhatWouldBreakAFormBody) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain-text_1.0~", "plain-text_1.0~"},
      {"two words", "two words"},  // the request turns blanks into %20
      {"a&b=c+d%e#f", "a%26b%3Dc%2Bd%25e%23f"},
      {"line\nbreak\t\x7f", "line%0Abreak%09%7F"},
      {"caf\xc3\xa9", "caf%C3%A9"},
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    EXPECT_EQ(c.second, EncodeFormValue(c.first));
  }
}

}  // namespace
}  // namespace orvex
