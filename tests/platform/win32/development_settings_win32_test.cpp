// The development settings of the Windows program come from HKEY_LOCAL_MACHINE, which only an
// administrator can write, and never from the environment of the user who starts it.
#include "platform/development_settings.h"

#include <windows.h>
#include <gtest/gtest.h>
#include <json/json.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "app/installer_session.h"
#include "base/text.h"
#include "common/web_service.h"
#include "tests/support/development_setting.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

namespace fs = std::filesystem;
using test::ScopedDevelopmentSetting;

const char kDumpFile[] = "orvex_installer_dump.json";

class DevelopmentSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ =
        fs::temp_directory_path() / ("orvex-dev-settings-" + std::to_string(GetCurrentProcessId()));
    fs::create_directories(folder_);
    // A development configuration where a user of the machine could put one.
    std::ofstream(folder_ / "oi_config_dev.json") << kDevConfig;
    std::remove(kDumpFile);
  }
  void TearDown() override {
    std::remove(kDumpFile);
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  std::string DevConfigBase() const { return WideToUtf8((folder_ / "oi_config_dev").wstring()); }

  static constexpr const char* kDevConfig = "{\"Stages\": [{\"name\": \"from the user\"}]}";
  fs::path folder_;
};

TEST_F(DevelopmentSettings, TheUsersEnvironmentChangesNothing) {
  // No administrator set anything, except that the service is one that refuses at once, so
  // the configuration's fetch cannot reach out.
  ScopedDevelopmentSetting none[] = {
      {"QUARN_OI_RUNMODE", std::nullopt},      {"QUARN_OI_DEV_CONFIG", std::nullopt},
      {"BASE_DOMAIN", "https://127.0.0.1:1/"}, {"DOWNLOAD_DOMAIN", std::nullopt},
      {"ANALYTICS_DOMAIN", std::nullopt},      {"ORVEX_ENV", std::nullopt},
      {"orvex_installer_dump", std::nullopt}};
  test::ScopedEnv runMode("QUARN_OI_RUNMODE", "development");
  test::ScopedEnv devConfig("QUARN_OI_DEV_CONFIG", DevConfigBase());
  test::ScopedEnv download("DOWNLOAD_DOMAIN", "http://127.0.0.1:9/");
  test::ScopedEnv analytics("ANALYTICS_DOMAIN", "http://127.0.0.1:9/");
  test::ScopedEnv environment("ORVEX_ENV", "development");
  test::ScopedEnv dump("orvex_installer_dump", "1");

  for (const char* name : {"QUARN_OI_RUNMODE", "QUARN_OI_DEV_CONFIG", "DOWNLOAD_DOMAIN",
                           "ANALYTICS_DOMAIN", "ORVEX_ENV", "orvex_installer_dump"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(platform::FindDevelopmentSetting(name, nullptr));
    EXPECT_EQ("", platform::DevelopmentSetting(name));
  }
  EXPECT_EQ(1, GetServerEnvironment());
  EXPECT_EQ("https://dl.orvex.example", GetDownloadBaseUrl());
  EXPECT_EQ("https://analytics.orvex.example/collect?", GetAnalyticsUrl());
  EXPECT_FALSE(PlainHttpAllowed());
  EXPECT_EQ("", GetInstallConfig());  // the web service's, which refused: not the user's file
  DumpStateIfRequested(Json::Value("document"));
  EXPECT_FALSE(fs::exists(kDumpFile));
}

TEST_F(DevelopmentSettings, AdministratorsValuesInTheMachineKeyDo) {
  ScopedDevelopmentSetting runMode("QUARN_OI_RUNMODE", "development");
  ScopedDevelopmentSetting devConfig("QUARN_OI_DEV_CONFIG", DevConfigBase());
  ScopedDevelopmentSetting base("BASE_DOMAIN", "http://127.0.0.1:9/");
  ScopedDevelopmentSetting environment("ORVEX_ENV", "sandbox");
  ScopedDevelopmentSetting dump("orvex_installer_dump", "1");
  // The user's environment says otherwise, and is not heard.
  test::ScopedEnv userRunMode("QUARN_OI_RUNMODE", "sandbox");
  test::ScopedEnv userEnvironment("ORVEX_ENV", "development");

  EXPECT_EQ("development", platform::DevelopmentSetting("QUARN_OI_RUNMODE"));
  EXPECT_EQ(2, GetServerEnvironment());
  EXPECT_EQ("http://127.0.0.1:9/installer.orvex.example", GetBaseUrl());
  EXPECT_TRUE(PlainHttpAllowed());
  EXPECT_EQ(kDevConfig, GetInstallConfig());
  DumpStateIfRequested(Json::Value("document"));
  EXPECT_TRUE(fs::exists(kDumpFile));
}

TEST_F(DevelopmentSettings, OnlyStringValuesOfTheSixtyFourBitViewAreSettings) {
  // Text that is not ASCII comes back as UTF-8.
  {
    ScopedDevelopmentSetting config("QUARN_OI_DEV_CONFIG", "C:\\Jos\xC3\xA9\\config");
    EXPECT_EQ("C:\\Jos\xC3\xA9\\config", platform::DevelopmentSetting("QUARN_OI_DEV_CONFIG"));
  }
  ScopedDevelopmentSetting none("orvex_installer_dump", std::nullopt);
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExW(HKEY_LOCAL_MACHINE, platform::kDevelopmentSettingsKey, 0, nullptr, 0,
                            KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr));
  const DWORD one = 1;
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, L"orvex_installer_dump", 0, REG_DWORD,
                                          reinterpret_cast<const BYTE*>(&one), sizeof one));
  RegCloseKey(key);
  EXPECT_FALSE(platform::FindDevelopmentSetting("orvex_installer_dump", nullptr));

  // The 32-bit view's key (Wow6432Node on 64-bit Windows) is another key: not read.
  ScopedDevelopmentSetting runMode("QUARN_OI_RUNMODE", std::nullopt);
  HKEY other = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExW(HKEY_LOCAL_MACHINE, platform::kDevelopmentSettingsKey, 0, nullptr, 0,
                            KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &other, nullptr));
  const wchar_t development[] = L"development";
  ASSERT_EQ(ERROR_SUCCESS,
            RegSetValueExW(other, L"QUARN_OI_RUNMODE", 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(development), sizeof development));
  const bool separateViews = !platform::FindDevelopmentSetting("QUARN_OI_RUNMODE", nullptr);
  RegDeleteValueW(other, L"QUARN_OI_RUNMODE");
  RegCloseKey(other);
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  // A 64-bit process, or a 32-bit one on 64-bit Windows, has two views; only a 32-bit
  // Windows has one.
  if (sizeof(void*) == 8 || wow64) {
    EXPECT_TRUE(separateViews);
  }
}

}  // namespace
}  // namespace orvex
