// The simulated machine's Windows Installer: outcomes a machine profile forces, the message
// sequence a handler receives, the settings restored after an installation, the recorded
// product.
#include "platform/msi_install.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "actions/msi_package.h"
#include "base/text.h"
#include "engine/stage.h"
#include "platform/sim/machine.h"
#include "probes/product_lookup.h"
#include "tests/support/install_fixtures.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

using test::J;

constexpr const wchar_t* kProductCode = L"{8E0C4B7A-2D51-4F3E-9A6B-5C1D7E2F9A40}";

struct Heard {
  std::vector<uint32_t> kinds;
  std::vector<std::string> texts;
};

int ORVEX_MSI_CALLBACK Listen(void* context, uint32_t type, const wchar_t* text) {
  Heard* heard = static_cast<Heard*>(context);
  heard->kinds.push_back(type & platform::kInstallMessageKindMask);
  heard->texts.push_back(WideToUtf8(text));
  return 1;
}

class SimMsiInstall : public ::testing::Test {
 protected:
  void Load(const std::string& extraProfile) {
    Json::Value profile = sim::DefaultProfile();
    const Json::Value extra = J(extraProfile);
    for (const std::string& key : extra.getMemberNames()) profile[key] = extra[key];
    machine_.reset();  // the earlier machine goes back first
    machine_.reset(new sim::ScopedMachine(profile));
    folder = test::NewWorkFolder("simmsi");
    ASSERT_TRUE(
        test::PlaceFixture(test::PackageFixture("orvex-product.msi"), folder, "orvex-product.msi"));
  }

  int RunModule(Json::Value& doc, test::RecordingIndicator* indicator) {
    const std::string args =
        R"({"directory": ")" + WideToUtf8(folder) + R"(", "name": "orvex-product.msi"})";
    std::string escaped;
    for (char c : args) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    auto module = test::MakeRegisteredModule("MSIInstaller", escaped, stage, indicator);
    return module ? module->Execute(doc) : -2;
  }

  std::unique_ptr<sim::ScopedMachine> machine_;
  std::wstring folder;
  CStage stage{"S"};
};

TEST_F(SimMsiInstall, ProfileForcesTheOutcome) {
  struct Case {
    const char* profile;
    int result;
    const char* error;
    bool installed;
    bool restartFlag;
  };
  const std::vector<Case> cases = {
      {R"({"msiInstall": {"result": 1603, "error": "Error 1722. A program failed."}})", -1,
       "Error 1722. A program failed.", false, false},
      {R"({"msiInstall": {"result": 1625}})", -1,
       "This installation is forbidden by system policy. Contact your system administrator.\r\n",
       false, false},
      {R"({"msiInstall": {"result": 3010}})", 0, "", true, true},
      {R"({"msiInstall": {"result": 1641}})", 0, "", true, true},
      // A rule for another product does not apply.
      {R"({"msiInstall": {"result": 1603, "productCode": "{00000000-0000-0000-0000-000000000000}"}})",
       0, "", true, false},
      {R"({})", 0, "", true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.profile);
    Load(c.profile);
    Json::Value doc(Json::objectValue);
    test::RecordingIndicator indicator;
    EXPECT_EQ(c.result, RunModule(doc, &indicator));
    EXPECT_EQ(c.error, doc["S"]["M"]["error"].asString());
    EXPECT_EQ(c.installed, ReadProductProperty(kProductCode, L"VersionString") == "2.0.7.100");
    EXPECT_EQ(c.installed ? 1u : 0u, sim::MachineState()["installedProducts"].size());
    EXPECT_EQ(c.restartFlag, doc["InstallConfig"]["installer"]["restart"].asBool());
    if (c.result != 0) {
      EXPECT_EQ("prompt:Could not install Orvex-m.|Ok||" + std::string(c.error) + "|2",
                indicator.calls.back());
    }
  }
}

TEST_F(SimMsiInstall, HandlerHearsThePlausibleSequenceAndSettingsAreRestored) {
  Load("{}");
  Heard outside;
  platform::SetInstallUiLevel(5);
  platform::SetInstallMessageHandler(&Listen, 0xFFFFFFFFu, &outside);

  class Recorder : public IMSIHandler {
   public:
    void OnInstallStart(const std::string&) override { calls.push_back("start"); }
    void OnInstallEnd(const std::string&) override { calls.push_back("end"); }
    void OnActionStart(const std::string& a) override { calls.push_back("action:" + a); }
    void OnProgress(int p) override { calls.push_back(std::to_string(p)); }
    void OnFatalExit(const std::string& t) override { calls.push_back("fatal:" + t); }
    void OnError(const std::string& t) override { calls.push_back("error:" + t); }
    void OnWarning(const std::string& t) override { calls.push_back("warning:" + t); }
    std::vector<std::string> calls;
  } recorder;
  CMsiPackage package(folder + L"\\orvex-product.msi", {{"A", "1"}}, &recorder);
  EXPECT_EQ(0u, package.Install());
  ASSERT_GE(recorder.calls.size(), 4u);
  EXPECT_EQ("start", recorder.calls.front());
  EXPECT_EQ("0", recorder.calls[1]);  // the reset
  EXPECT_EQ("end", recorder.calls.back());
  EXPECT_EQ("100", recorder.calls[recorder.calls.size() - 2]);
  // Percentages only grow.
  int last = -1;
  for (const std::string& call : recorder.calls) {
    if (call.empty() || !std::isdigit(static_cast<unsigned char>(call[0]))) continue;
    EXPECT_GE(std::stoi(call), last);
    last = std::stoi(call);
  }
  // The earlier level and handler are back (Windows Installer does not report the earlier
  // handler's context, so none is set again); the handler outside heard nothing meanwhile.
  EXPECT_EQ(5u, platform::SetInstallUiLevel(5));
  EXPECT_TRUE(outside.kinds.empty());
  EXPECT_EQ(&Listen, platform::SetInstallMessageHandler(nullptr, 0, nullptr));
}

TEST_F(SimMsiInstall, PackagesOutsideTheSandboxOrNotPackagesAreRefused) {
  Load("{}");
  EXPECT_EQ(platform::kErrorInstallPackageOpenFailed, platform::InstallProduct(L"", L""));
  EXPECT_EQ(platform::kErrorInstallPackageOpenFailed,
            platform::InstallProduct(folder + L"\\missing.msi", L""));
  ASSERT_TRUE(test::PlaceFixture(test::CabinetFixture("plain.cab"), folder, "plain.cab"));
  EXPECT_EQ(platform::kErrorInstallPackageOpenFailed,
            platform::InstallProduct(folder + L"\\plain.cab", L""));
  EXPECT_EQ(0u, sim::MachineState()["installedProducts"].size());
}

}  // namespace
}  // namespace orvex
