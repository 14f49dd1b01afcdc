// "MSIInstaller" installing real packages built with wixl: through msi.dll under Wine, through
// the simulated machine's Windows Installer on the host. The product lookups see the product
// afterwards; under Wine it is removed again at the end.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "common/run_flags.h"
#include "common/session_cells.h"
#include "engine/stage.h"
#include "platform/msi_install.h"
#include "probes/product_lookup.h"
#include "tests/support/install_fixtures.h"
#include "tests/support/test_support.h"

#ifdef _WIN32
#include <msi.h>
#else
#include "platform/sim/machine.h"
#endif

namespace orvex {
namespace {

using test::J;
using test::RecordingIndicator;

constexpr const wchar_t* kProductCode = L"{8E0C4B7A-2D51-4F3E-9A6B-5C1D7E2F9A40}";
constexpr const wchar_t* kUpgradeCode = L"{0B7D3E91-6C2A-4F85-B1E4-7A9C2D5F3E61}";
const char kLaunchConditionText[] =
    "Orvex test package: this machine does not meet the launch condition.";
const char k64BitText[] =
    "Your are installing 64-bit version of Orvex.Please install the 32-bit version of Orvex";

std::vector<bool> g_cancelButton;
void RecordCancelButton(bool enabled) { g_cancelButton.push_back(enabled); }

bool Has(const std::vector<std::string>& calls, const std::string& call) {
  return std::find(calls.begin(), calls.end(), call) != calls.end();
}

class MsiInstallerTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef _WIN32
    // A fresh machine for every test: what an installation records stays with it.
    machine_.reset(new sim::ScopedMachine(sim::DefaultProfile()));
#endif
    g_cancelButton.clear();
    SetCancelButtonHook(&RecordCancelButton);
    folder = test::NewWorkFolder("msi");
    for (const char* package : {"orvex-product.msi", "orvex-failing.msi", "orvex-x64.msi"})
      ASSERT_TRUE(test::PlaceFixture(test::PackageFixture(package), folder, package));
  }
  void TearDown() override {
    SetCancelButtonHook(nullptr);
    g_cancelRequested = false;
#ifdef _WIN32
    // Leave the prefix as it was: remove the product when a test installed it.
    if (ReadProductProperty(kProductCode, L"VersionString") != "") {
      MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
      EXPECT_EQ(0u, MsiConfigureProductW(kProductCode, INSTALLLEVEL_DEFAULT, INSTALLSTATE_ABSENT));
      EXPECT_EQ("", ReadProductProperty(kProductCode, L"VersionString"));
    }
#endif
  }

  std::string Args(const std::string& name, const std::string& more = "") {
    Json::Value dir(WideToUtf8(folder));
    Json::FastWriter writer;
    std::string quoted = writer.write(dir);
    quoted.pop_back();  // the writer's line break
    return R"({"directory": )" + quoted + R"(, "name": ")" + name + "\"" + more + "}";
  }

  int Run(const std::string& args, Json::Value& doc) {
    auto module = test::MakeRegisteredModule("MSIInstaller", args, stage, &indicator);
    if (!module) return -2;
    return module->Execute(doc);
  }

  std::string PackagePath(const std::string& name) { return WideToUtf8(folder) + "\\" + name; }

#ifndef _WIN32
  std::unique_ptr<sim::ScopedMachine> machine_;
#endif
  std::wstring folder;
  CStage stage{"S"};
  RecordingIndicator indicator;
};

TEST_F(MsiInstallerTest, InstallsThePackageWithTheBarMovingAndTheLookupsSeeIt) {
  Json::Value doc(Json::objectValue);
  ASSERT_EQ(0,
            Run(Args("orvex-product.msi",
                     R"(, "msg": "Installing Orvex", "msi_args": {"ORVEX_NOTE": "a b", "Z": ""}})"),
                doc));
  EXPECT_EQ("", doc["S"]["M"]["error"].asString());
  EXPECT_FALSE(doc["S"]["M"].isMember("status"));
  const std::vector<std::string>& calls = indicator.calls;
  ASSERT_GE(calls.size(), 4u);
  EXPECT_EQ("status:Installing Orvex", calls[0]);
  EXPECT_EQ("bar:on", calls[1]);
  EXPECT_EQ("detail:Installing from " + PackagePath("orvex-product.msi") + "with args ", calls[2]);
  EXPECT_EQ("detail:ORVEX_NOTE:\"a b\"", calls[3]);
  // The bar moved: some percentage strictly between the ends, never backwards, never past 100.
  std::vector<int> percents;
  for (const std::string& call : calls)
    if (call.rfind("progress:", 0) == 0) percents.push_back(std::stoi(call.substr(9)));
  EXPECT_TRUE(std::any_of(percents.begin(), percents.end(), [](int p) { return p > 0 && p < 100; }))
      << ::testing::PrintToString(calls);
  for (int p : percents) {
    EXPECT_GE(p, 0);
    EXPECT_LE(p, 100);
  }
  EXPECT_TRUE(Has(calls, "status:Installation started...")) << ::testing::PrintToString(calls);
  EXPECT_TRUE(Has(calls, "status:Installation completed."));
  EXPECT_EQ((std::vector<bool>{false, true}), g_cancelButton);

  EXPECT_EQ("Orvex Install Test", ReadProductProperty(kProductCode, L"InstalledProductName"));
  EXPECT_EQ("2.0.7.100", ReadProductProperty(kProductCode, L"VersionString"));
  EXPECT_EQ("Quarn", ReadProductProperty(kProductCode, L"Publisher"));
  EXPECT_EQ(kNoRelatedOrvex, FindRelatedProduct(kUpgradeCode));  // not named "Orvex"
#ifdef _WIN32
  // The files and the product's two scripts are in place.
  // The package is a 32-bit one: on 64-bit Windows its files go to "Program Files (x86)", which
  // is what ProgramFiles names for a 32-bit process there and ProgramFiles(x86) for a 64-bit one.
#ifdef _WIN64
  const wchar_t* const kProgramFilesOf32BitPackages = L"ProgramFiles(x86)";
#else
  const wchar_t* const kProgramFilesOf32BitPackages = L"ProgramFiles";
#endif
  wchar_t programFiles[MAX_PATH] = {};
  ASSERT_NE(0u, GetEnvironmentVariableW(kProgramFilesOf32BitPackages, programFiles, MAX_PATH));
  const std::wstring installed = std::wstring(programFiles) + L"\\OrvexInstallTest\\";
  for (const wchar_t* file : {L"readme.txt", L"install_ics.bat", L"copy_vbox_config.bat"})
    EXPECT_TRUE(platform::PathExists(installed + file)) << WideToUtf8(file);
#else
  const Json::Value installed = sim::MachineState()["installedProducts"];
  ASSERT_EQ(1u, installed.size());
  EXPECT_EQ("{8E0C4B7A-2D51-4F3E-9A6B-5C1D7E2F9A40}", installed[0]["productCode"].asString());
  EXPECT_EQ(" ORVEX_NOTE=\"a b\"", installed[0]["commandLine"].asString());
#endif
}

// Folder, file name and property values are UTF-8 in the document, whatever the user's name
// or the system's code page.
TEST_F(MsiInstallerTest, InstallsFromAFolderAndFileWithNonAsciiNames) {
  folder = test::NewWorkFolder("msi-José-Łukasz-Анна-陈");
  ASSERT_TRUE(test::PlaceFixture(test::PackageFixture("orvex-product.msi"), folder,
                                 "orvex-prodüct-陈.msi"));
  Json::Value doc(Json::objectValue);
  ASSERT_EQ(0,
            Run(Args("orvex-prodüct-陈.msi", R"(, "msi_args": {"ORVEX_NOTE": "José 陈"}})"), doc))
      << doc.toStyledString();
  const std::string detail =
      "detail:Installing from " + PackagePath("orvex-prodüct-陈.msi") + "with args ";
  EXPECT_TRUE(Has(indicator.calls, detail));
  EXPECT_EQ("2.0.7.100", ReadProductProperty(kProductCode, L"VersionString"));
#ifndef _WIN32
  const Json::Value installed = sim::MachineState()["installedProducts"];
  ASSERT_EQ(1u, installed.size());
  EXPECT_EQ(PackagePath("orvex-prodüct-陈.msi"), installed[0]["package"].asString());
  EXPECT_EQ(" ORVEX_NOTE=\"José 陈\"", installed[0]["commandLine"].asString());
#endif
}

TEST_F(MsiInstallerTest, FailingPackageGivesItsMessageAsErrorAndPromptDetail) {
  Json::Value doc(Json::objectValue);
  EXPECT_EQ(-1, Run(Args("orvex-failing.msi", R"(, "show_progress": false)"), doc));
  const Json::Value& record = doc["S"]["M"];
  EXPECT_EQ("failed", record["status"].asString());
  EXPECT_EQ("Unable to install " + PackagePath("orvex-failing.msi"), record["reason"].asString());
#ifdef _WIN32
  // Wine's msi.dll shows a false launch condition's message only in a message box of its own
  // user interface (none here) and never hands it to an external handler: the error is the
  // system's text for the result.
  EXPECT_EQ(platform::SystemErrorText(1603), record["error"].asString());
  EXPECT_FALSE(record["error"].asString().empty());
#else
  EXPECT_EQ(kLaunchConditionText, record["error"].asString());
#endif
  EXPECT_TRUE(Has(indicator.calls,
                  "prompt:Could not install Orvex-m.|Ok||" + record["error"].asString() + "|2"));
  EXPECT_TRUE(Has(indicator.calls, "bar:off"));
  for (const std::string& call : indicator.calls) EXPECT_NE(0u, call.rfind("progress:", 0)) << call;
  EXPECT_EQ((std::vector<bool>{false, true}), g_cancelButton);
}

TEST_F(MsiInstallerTest, PackageForAnotherProcessorGivesThe64BitText) {
#ifdef _WIN64
  GTEST_SKIP() << "a 64-bit Windows installs the x64 package: the text for a package of another "
                  "processor is checked by the 32-bit build in a 32-bit prefix and on the "
                  "simulated 32-bit machine";
#endif
#ifndef _WIN32
  // The prefix under Wine is a 32-bit Windows; the simulated machine must be one too.
  Json::Value profile = sim::Profile();
  profile["osBits"] = 32;
  sim::ScopedMachine machine(profile);
#endif
  Json::Value doc(Json::objectValue);
  EXPECT_EQ(-1, Run(Args("orvex-x64.msi"), doc));
  EXPECT_EQ(k64BitText, doc["S"]["M"]["error"].asString());
  EXPECT_TRUE(Has(indicator.calls,
                  std::string("prompt:Could not install Orvex-m.|Ok||") + k64BitText + "|2"));
}

TEST_F(MsiInstallerTest, MissingPackageGivesTheSystemText) {
  Json::Value doc(Json::objectValue);
  EXPECT_EQ(-1, Run(Args("no-such-package.msi"), doc));
  // Windows answers 1619; Wine answers 2 (file not found). The text is the system's, with its
  // line break.
  const std::string error = doc["S"]["M"]["error"].asString();
  EXPECT_TRUE(error == platform::SystemErrorText(1619) || error == platform::SystemErrorText(2))
      << error;
  ASSERT_GE(error.size(), 2u);
  EXPECT_EQ("\r\n", error.substr(error.size() - 2));
}

// Without a directory or a name the module fails as every failed installation does, with the
// failure prompt; a stop asked for before it starts ends it silently.
TEST_F(MsiInstallerTest, NothingRunsWithoutDirectoryOrNameOrAfterAStop) {
  struct Case {
    std::string args;
    bool cancel;
    const char* error;
    bool prompted;
  };
  const std::vector<Case> cases = {
      {R"({"name": "orvex-product.msi"})", false, "DIRECTORY_PATH_NULL", true},
      {R"({"directory": ".Missing", "name": "orvex-product.msi"})", false, "DIRECTORY_PATH_NULL",
       true},
      {Args(""), false, "MSI_NAME_NULL", true},
      {Args("orvex-product.msi"), true, "USER_CANCELED", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    g_cancelButton.clear();
    indicator.calls.clear();
    g_cancelRequested = c.cancel;
    Json::Value doc(Json::objectValue);
    EXPECT_EQ(-1, Run(c.args, doc));
    g_cancelRequested = false;
    EXPECT_EQ(c.error, doc["S"]["M"]["error"].asString());
    std::vector<std::string> calls;
    if (c.prompted) {
      EXPECT_EQ("failed", doc["S"]["M"]["status"].asString());
      EXPECT_EQ(0u, doc["S"]["M"]["reason"].asString().rfind("Unable to install ", 0));
      calls.push_back(std::string("prompt:Could not install Orvex-m.|Ok||") + c.error + "|2");
    }
    EXPECT_EQ(calls, indicator.calls);
    EXPECT_EQ((std::vector<bool>{false, true}), g_cancelButton);
    EXPECT_EQ("", ReadProductProperty(kProductCode, L"VersionString"));
  }
}

}  // namespace
}  // namespace orvex
