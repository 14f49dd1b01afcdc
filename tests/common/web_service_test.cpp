// Where the installer finds its web service, download host and help pages.

#include "common/web_service.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/shell.h"
#include "probes/knowledge_base.h"
#include "probes/system_info.h"
#include "tests/support/development_setting.h"

namespace orvex {
namespace {

using test::ScopedDevelopmentSetting;

// The address settings absent, whatever the machine that runs the test has.
struct NoAddressSettings {
  ScopedDevelopmentSetting base{"BASE_DOMAIN", std::nullopt};
  ScopedDevelopmentSetting download{"DOWNLOAD_DOMAIN", std::nullopt};
  ScopedDevelopmentSetting analytics{"ANALYTICS_DOMAIN", std::nullopt};
};

TEST(WebService, ServerEnvironmentChoosesTheUrlPrefix) {
  struct Case {
    const char* environment;  // nullptr: unset
    int expected;
    const char* baseUrl;
    const char* downloadUrl;
  } cases[] = {
      {nullptr, 1, "https://installer.orvex.example", "https://dl.orvex.example"},
      {"production", 1, "https://installer.orvex.example", "https://dl.orvex.example"},
      {"sandbox", 2, "https://sandbox.installer.orvex.example", "https://sandbox.dl.orvex.example"},
      {"development", 3, "https://development.installer.orvex.example",
       "https://development.dl.orvex.example"},
      {"Development", 1, "https://installer.orvex.example", "https://dl.orvex.example"},
  };
  NoAddressSettings none;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.environment ? c.environment : "(unset)");
    ScopedDevelopmentSetting environment(
        "ORVEX_ENV", c.environment ? std::optional<std::string>(c.environment) : std::nullopt);
    EXPECT_EQ(c.expected, GetServerEnvironment());
    EXPECT_EQ(c.baseUrl, GetBaseUrl());
    EXPECT_EQ(c.downloadUrl, GetDownloadBaseUrl());
  }
}

TEST(WebService, PrefixSettingsReplaceTheSchemeOnly) {
  NoAddressSettings none;
  ScopedDevelopmentSetting environment("ORVEX_ENV", "sandbox");
  ScopedDevelopmentSetting base("BASE_DOMAIN", "http://127.0.0.1:8080/");
  EXPECT_EQ("http://127.0.0.1:8080/installer.orvex.example", GetBaseUrl());
  EXPECT_EQ("https://sandbox.dl.orvex.example", GetDownloadBaseUrl());
  ScopedDevelopmentSetting download("DOWNLOAD_DOMAIN", "https://");
  EXPECT_EQ("https://dl.orvex.example", GetDownloadBaseUrl());
}

TEST(WebService, PlainHttpOnlyWhereAnAddressSettingNamesItsScheme) {
  struct Case {
    const char* setting;  // nullptr: none of the three
    const char* value;
    bool allowed;
  } cases[] = {
      {nullptr, nullptr, false},
      {"BASE_DOMAIN", "https://127.0.0.1:8443/", false},
      {"BASE_DOMAIN", "http://127.0.0.1:8080/", true},
      {"DOWNLOAD_DOMAIN", "HTTP://127.0.0.1:8080/", true},
      {"ANALYTICS_DOMAIN", "http://127.0.0.1:8080/", true},
      // libcurl would read an address without a scheme as http: it is still not allowed.
      {"BASE_DOMAIN", "127.0.0.1:8080/", false},
      {"BASE_DOMAIN", "", false},
      {"ORVEX_ENV", "http://127.0.0.1:8080/", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.setting ? c.setting : "(none)") + "=" + (c.value ? c.value : ""));
    NoAddressSettings none;
    std::optional<ScopedDevelopmentSetting> setting;
    if (c.setting) setting.emplace(c.setting, c.value);
    EXPECT_EQ(c.allowed, PlainHttpAllowed());
  }
}

TEST(WebService, WebPagesOpenOverHttpsUnlessPlainHttpIsAllowed) {
  struct Case {
    const char* url;
    const char* page;              // without plain http
    const char* pageAllowingHttp;  // with BASE_DOMAIN=http://...
  } cases[] = {
      {"https://installer.orvex.example/nextsteps?status=installed",
       "https://installer.orvex.example/nextsteps?status=installed",
       "https://installer.orvex.example/nextsteps?status=installed"},
      {"http://installer.orvex.example/nextsteps", "https://installer.orvex.example/nextsteps",
       "http://installer.orvex.example/nextsteps"},
      {"HTTP://installer.orvex.example/x", "https://installer.orvex.example/x",
       "HTTP://installer.orvex.example/x"},
      {"file:///C:/Windows/System32/calc.exe", "", ""},
      {"C:\\Windows\\System32\\cmd.exe", "", ""},
      {"installer.orvex.example/x", "", ""},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    NoAddressSettings none;
    EXPECT_EQ(c.page, WebPageAddress(c.url));
    ScopedDevelopmentSetting base("BASE_DOMAIN", "http://127.0.0.1:8080/");
    EXPECT_EQ(c.pageAllowingHttp, WebPageAddress(c.url));
  }
}

TEST(WebService, KnowledgeBaseArticleNamesTheMachineUnescaped) {
  NoAddressSettings none;
  ScopedDevelopmentSetting environment("ORVEX_ENV", std::nullopt);
  EXPECT_EQ(
      "https://installer.orvex.example/index/knowledgebase?article=enablevt&manufacturer=LENOVO"
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
      "https://installer.orvex.example/index/knowledgebase?article=help&manufacturer=LENOVO"
      "&model=ThinkPad T450",
      opened.back());
  // A page that is not an https one (or an http one, upgraded) is not opened at all.
  OpenWebPage("file:///C:/Windows/System32/calc.exe");
  EXPECT_EQ(before + 1, platform::OpenedUrls().size());
#endif
}

}  // namespace
}  // namespace orvex
