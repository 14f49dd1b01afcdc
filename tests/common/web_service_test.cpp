// Where the installer finds its web service, download host and help pages.

#include "common/web_service.h"

#include <gtest/gtest.h>

#include "platform/shell.h"
#include "probes/knowledge_base.h"
#include "probes/system_info.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

using test::ScopedEnv;

TEST(WebService, ServerEnvironmentChoosesTheUrlPrefix) {
  struct Case {
    const char* environment;  // nullptr: unset
    int expected;
    const char* baseUrl;
    const char* downloadUrl;
  } cases[] = {
      {nullptr, 1, "http://installer.orvex.example", "http://dl.orvex.example"},
      {"production", 1, "http://installer.orvex.example", "http://dl.orvex.example"},
      {"sandbox", 2, "http://sandbox.installer.orvex.example", "http://sandbox.dl.orvex.example"},
      {"development", 3, "http://development.installer.orvex.example",
       "http://development.dl.orvex.example"},
      {"Development", 1, "http://installer.orvex.example", "http://dl.orvex.example"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.environment ? c.environment : "(unset)");
    ScopedEnv environment("ORVEX_ENV", c.environment ? c.environment : "");
    EXPECT_EQ(c.expected, GetServerEnvironment());
    EXPECT_EQ(c.baseUrl, GetBaseUrl());
    EXPECT_EQ(c.downloadUrl, GetDownloadBaseUrl());
  }
}

TEST(WebService, PrefixVariablesReplaceTheSchemeOnly) {
  ScopedEnv environment("ORVEX_ENV", "sandbox");
  ScopedEnv base("BASE_DOMAIN", "http://127.0.0.1:8080/");
  EXPECT_EQ("http://127.0.0.1:8080/installer.orvex.example", GetBaseUrl());
  EXPECT_EQ("http://sandbox.dl.orvex.example", GetDownloadBaseUrl());
  ScopedEnv download("DOWNLOAD_DOMAIN", "https://");
  EXPECT_EQ("https://dl.orvex.example", GetDownloadBaseUrl());
}

TEST(WebService, KnowledgeBaseArticleNamesTheMachineUnescaped) {
  ScopedEnv environment("ORVEX_ENV", "");
  EXPECT_EQ(
      "http://installer.orvex.example/index/knowledgebase?article=enablevt&manufacturer=LENOVO"
      "&model=ThinkPad T450",
      KnowledgeBaseUrl("enablevt", "LENOVO", "ThinkPad T450"));
#ifndef _WIN32
  // The simulated machine records what the browser was asked to open; the maker and model
  // come from the system information record.
  CSystemInfo machine;
  machine.manufacturer = "LENOVO";
  machine.model = "ThinkPad T450";
  ScopedSystemInfo record(machine);
  const std::size_t before = platform::OpenedUrls().size();
  OpenKnowledgeBaseArticle("help");
  std::vector<std::string> opened = platform::OpenedUrls();
  ASSERT_EQ(before + 1, opened.size());
  EXPECT_EQ(
      "http://installer.orvex.example/index/knowledgebase?article=help&manufacturer=LENOVO"
      "&model=ThinkPad T450",
      opened.back());
#endif
}

}  // namespace
}  // namespace orvex
