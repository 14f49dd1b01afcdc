// The version and upgrade check on simulated machines (installed products, running processes,
// the public desktop), the process check, and the prompts that open help pages.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "engine/console_progress.h"
#include "engine/module.h"
#include "engine/module_registry.h"
#include "engine/stage.h"
#include "platform/admin_folders.h"
#include "platform/shell.h"
#include "platform/sim/machine.h"
#include "prompts/process_check.h"
#include "prompts/version_text.h"
#include "tests/support/sim_test_support.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

using test::Compact;
using test::J;
using test::RecordingIndicator;

constexpr const char* kLiteUpgradeCode = "{5A1F33C2-8D2B-4E44-9C0A-7A1B9A5E0001}";
constexpr const char* kOfferedUrl =
    "http://dl.orvex.example/media/OrvexInstaller_native-2.0.6.8063.exe";

// The built-in machine with the given installed products and running processes.
Json::Value Machine(const std::string& products, const std::string& processes) {
  Json::Value profile = sim::DefaultProfile();
  profile["msiProducts"] = J(products);
  profile["processes"] = J(processes);
  profile["processId"] = 4242;
  return profile;
}

std::string Product(int major, int minor, int subMinor) {
  return R"({"name": "Orvex", "major_version": )" + std::to_string(major) +
         R"(, "minor_version": )" + std::to_string(minor) + R"(, "sub_minor_version": )" +
         std::to_string(subMinor) + R"(, "build": 77})";
}

class VersionCheckTest : public ::testing::Test {
 protected:
  // Runs CheckPromptVersion as module "PROMPT" of stage "S"; the indicator's prompts answer
  // with answer.
  int Run(Json::Value& doc, int answer, IProgressIndicator* other = nullptr) {
    indicator.promptAnswer = answer;
    indicator.calls.clear();
    std::unique_ptr<IModule> module(CreateModuleByClass("CheckPromptVersion"));
    module->SetName("PROMPT");
    module->SetProgressIndicator(other ? other : &indicator);
    module->Init(nullptr, &stage);
    return module->Execute(doc);
  }

  static Json::Value Doc(const std::string& product, const std::string& upgradeCodes = "null",
                         const std::string& url = kOfferedUrl) {
    Json::Value doc = J(R"({"InstallConfig": {"installer": {}}, "Config": {}})");
    doc["InstallConfig"]["installer"]["url"] = url;
    if (upgradeCodes != "null") doc["InstallConfig"]["upgradecode"] = J(upgradeCodes);
    if (product != "null") doc["Config"]["product"] = J(product);
    return doc;
  }

  test::ScopedSandbox sandbox;
  CStage stage{"S"};
  RecordingIndicator indicator;
};

const char* const kUpToDate = "prompt:Your version of Orvex is already up to date.||Quit||0";
const char* const kLighterEdition =
    "prompt:You already have  Orvex (1.1.x) installed on your System.||Quit|Upgrade  to Orvex "
    "(2.x.x) is not supported|2";
const char* const kQueryFailed =
    "prompt:Unable to upgrade to Orvex (2.x.x).||Quit|Kindly contact to support for further "
    "assistance.|2";
const char* const kUpgrade =
    "prompt:You already have an older version of Orvex installed on your System.|Upgrade|Abort|"
    "Do you want to upgrade it ?|0";
const char* const kCloseProduct =
    "prompt:This setup requires Orvex to be closed in all the users. Close Orvex and try "
    "again.||Quit||0";

TEST_F(VersionCheckTest, EveryOutcomeOnItsMachine) {
  const std::string lite =
      std::string(
          R"([{"productCode": "{11111111-2222-3333-4444-555555555555}", "upgradeCode": ")") +
      kLiteUpgradeCode + R"(", "properties": {"InstalledProductName": "Orvex"}}])";
  const std::string otherName =
      std::string(
          R"([{"productCode": "{11111111-2222-3333-4444-555555555555}", "upgradeCode": ")") +
      kLiteUpgradeCode + R"(", "properties": {"InstalledProductName": "Orvex Lite"}}])";
  const std::string liteCode = std::string(R"({"orvexjblite": ")") + kLiteUpgradeCode + "\"}";
  const std::string running = R"([{"exe": "ORVEX.exe", "pid": 5000, "owner": "DESKTOP\\jane"}])";
  struct Case {
    const char* what;
    std::string products, processes, product, upgradeCodes;
    int answer;
    int result;
    std::string error;  // compact JSON
    std::vector<std::string> prompts;
  };
  const std::vector<Case> cases = {
      {"none installed", "[]", "[]", "null", liteCode, 1, 0, "null", {}},
      {"a record without name", "[]", "[]", R"({"major_version": 1})", liteCode, 1, 0, "null", {}},
      {"same version, other build",
       "[]",
       "[]",
       Product(2, 0, 6),
       liteCode,
       1,
       -1,
       R"("ORVEX_UPTODATE")",
       {kUpToDate}},
      {"newer", "[]", "[]", Product(3, 0, 0), "null", 1, -1, R"("ORVEX_UPTODATE")", {kUpToDate}},
      {"older, lighter edition",
       lite,
       "[]",
       Product(2, 0, 5),
       liteCode,
       1,
       -1,
       R"("ORVEX_UPGRADE_FROM_ORVEXLITE ")",
       {kLighterEdition}},
      {"older, failing query",
       lite,
       "[]",
       Product(1, 9, 9),
       R"({"orvexjblite": "not-a-code"})",
       1,
       -1,
       R"("MSI_GET_INFO_FAILED : 87")",
       {kQueryFailed}},
      {"older, related product of another name, upgraded",
       otherName,
       "[]",
       Product(2, 0, 5),
       liteCode,
       1,
       0,
       "null",
       {kUpgrade}},
      {"older, no related product, declined",
       "[]",
       "[]",
       Product(2, 0, 5),
       liteCode,
       0,
       -1,
       R"("ORVEX_UPGRADE_ABORTED")",
       {kUpgrade}},
      {"older, no upgrade codes", lite, "[]", Product(2, 0, 5), "null", 1, 0, "null", {kUpgrade}},
      // Without a usable code there is no lighter edition to look for.
      {"older, empty code",
       lite,
       "[]",
       Product(2, 0, 5),
       R"({"orvexjblite": ""})",
       1,
       0,
       "null",
       {kUpgrade}},
      {"older, code not a text",
       lite,
       "[]",
       Product(2, 0, 5),
       R"({"orvexjblite": 5})",
       1,
       0,
       "null",
       {kUpgrade}},
      {"older, upgrade codes not an object",
       lite,
       "[]",
       Product(2, 0, 5),
       R"(["x"])",
       1,
       0,
       "null",
       {kUpgrade}},
      {"older, product running in another session",
       "[]",
       running,
       Product(2, 0, 5),
       "null",
       1,
       -1,
       R"("ORVEXEXE_TOBE_CLOSED")",
       {kUpgrade, kCloseProduct}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::ScopedMachine machine(Machine(c.products, c.processes));
    Json::Value doc = Doc(c.product, c.upgradeCodes);
    EXPECT_EQ(c.result, Run(doc, c.answer));
    // Going on records nothing.
    EXPECT_EQ(c.result != 0, doc.isMember("S"));
    EXPECT_EQ(c.error, Compact(doc["S"]["PROMPT"]["error"]));
    EXPECT_EQ(c.prompts, indicator.calls);
    EXPECT_EQ("2.0.6.8063", doc["Config"]["installer"]["orvexversion"].asString());
  }
}

TEST_F(VersionCheckTest, OlderAndDeclinedOnTheConsole) {
  sim::ScopedMachine machine(Machine("[]", "[]"));
  Json::Value doc = Doc(Product(1, 0, 13));
  CConsolePI console;
  EXPECT_EQ(-1, Run(doc, 1, &console));
  EXPECT_EQ("ORVEX_UPGRADE_ABORTED", doc["S"]["PROMPT"]["error"].asString());
}

// The version text and what it parses to.
TEST_F(VersionCheckTest, VersionFromTheAddress) {
  struct Case {
    const char* url;
    const char* text;
    std::array<int, 4> parsed;
  };
  const Case cases[] = {
      {kOfferedUrl, "2.0.6.8063", {2, 0, 6, 8063}},
      {"Orvex-2.0.6", "2.0", {2, 0, 0, 0}},
      {"2.0.6.8063", "2.0.6", {2, 0, 6, 0}},
      {"http://h/Orvex-2-1.exe", "1", {1, 0, 0, 0}},
      {"Orvex-3", "3", {3, 0, 0, 0}},
      {"Orvex", "Orvex", {0, 0, 0, 0}},
      {"", "", {0, 0, 0, 0}},
      {"a-.exe", "", {0, 0, 0, 0}},
      {"a-9.x.msi", "9.x", {9, 0, 0, 0}},
      // Only the path counts: a query, a fragment or a host name holds dots and dashes too.
      {"https://dl.example/Orvex-2.0.6.8063.cab?token=a.b.c", "2.0.6.8063", {2, 0, 6, 8063}},
      {"https://dl.example/Orvex-2.0.6.8063.cab#v1.2", "2.0.6.8063", {2, 0, 6, 8063}},
      {"https://dl.example/Orvex-2.0.6.8063.cab?a=x-1.2#y-3.4", "2.0.6.8063", {2, 0, 6, 8063}},
      {"https://dl.example/Orvex-3.1.cab?", "3.1", {3, 1, 0, 0}},
      {"https://dl-7.1.example?f=Orvex-2.0.6.8063.cab", "", {0, 0, 0, 0}},
      {"https://dl-7.1.example", "", {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(c.text, CutVersionText(c.url));
    EXPECT_EQ(c.parsed, ParseVersionText(c.text));
  }
  // Read as "%d.%d.%d.%d" reads, with numbers out of range clamped instead of overflowing.
  const std::pair<const char*, std::array<int, 4>> texts[] = {
      {" 7.+8.-9.x", {7, 8, -9, 0}},
      {"7. 8.9", {7, 8, 9, 0}},
      {"7 .8", {7, 0, 0, 0}},
      {"99999999999999999999.-99999999999999999999.1.2147483648",
       {2147483647, -2147483647 - 1, 1, 2147483647}},
      {"1.2.3.4.5", {1, 2, 3, 4}},
      {"+.1", {0, 0, 0, 0}},
  };
  for (const auto& t : texts) {
    SCOPED_TRACE(t.first);
    EXPECT_EQ(t.second, ParseVersionText(t.first));
  }
  sim::ScopedMachine machine(Machine("[]", "[]"));
  // Through the module: the version of an address with a query is offered and recorded.
  for (const char* address : {"https://dl.example/Orvex-2.0.6.8063.cab?token=a.b.c",
                              "https://dl.example/Orvex-2.0.6.8063.cab#v1.2"}) {
    SCOPED_TRACE(address);
    Json::Value offered = Doc(Product(2, 0, 5), "null", address);
    EXPECT_EQ(-1, Run(offered, 0));
    EXPECT_EQ("ORVEX_UPGRADE_ABORTED", offered["S"]["PROMPT"]["error"].asString());
    EXPECT_EQ("2.0.6.8063", offered["Config"]["installer"]["orvexversion"].asString());
  }
  // Installed numbers count only as integers.
  Json::Value doc = Doc(
      R"({"name": "Orvex", "major_version": "3", "minor_version": 9.0, "sub_minor_version": true})");
  EXPECT_EQ(0, Run(doc, 1));
}

// An address from which no version can be read stops the run with its own error, installed
// product or not, and leaves no version behind for the report.
TEST_F(VersionCheckTest, AddressWithoutVersionStops) {
  const char* const kUnreadable =
      "prompt:The version of Orvex to install could not be read.||Quit|Kindly contact to "
      "support for further assistance.|2";
  const std::pair<const char*, bool> texts[] = {
      {"2.0.6.8063", true}, {"2.0", true},    {"10.200.3", true},      {"2", false},
      {"", false},          {"Orvex", false}, {"2.0.6.8063.1", false}, {"2..6", false},
      {".2.0", false},      {"2.0.", false},  {"2.0 ", false},         {"+2.0", false},
      {"2.-1", false},      {"9.x", false},   {"1234567890.1", false}, {"123456789.1", true},
  };
  for (const auto& t : texts) {
    SCOPED_TRACE(t.first);
    EXPECT_EQ(t.second, IsVersionText(t.first));
  }
  sim::ScopedMachine machine(Machine("[]", "[]"));
  const std::string addresses[] = {"http://dl/OrvexInstaller.exe", "http://dl/Orvex-setup.exe",
                                   "http://dl/Orvex-2-1.exe", "Orvex", ""};
  for (const std::string& address : addresses) {
    for (const std::string& product : {std::string("null"), Product(0, 0, 1)}) {
      SCOPED_TRACE(address + " with " + product);
      Json::Value doc = Doc(product, "null", address);
      EXPECT_EQ(-1, Run(doc, 1));
      EXPECT_EQ("ORVEX_VERSION_UNREADABLE", doc["S"]["PROMPT"]["error"].asString());
      EXPECT_EQ(std::vector<std::string>{kUnreadable}, indicator.calls);
      EXPECT_FALSE(doc["Config"].isMember("installer"));
    }
  }
  // An address that is no text has no version either.
  Json::Value doc = Doc("null");
  doc["InstallConfig"]["installer"]["url"] = J(R"({"x": 1})");
  EXPECT_EQ(-1, Run(doc, 1));
  EXPECT_EQ("ORVEX_VERSION_UNREADABLE", doc["S"]["PROMPT"]["error"].asString());
  EXPECT_FALSE(doc["Config"].isMember("installer"));
}

// Upgrades from 1.0.13 and older keep the public desktop's files in the session directory.
TEST_F(VersionCheckTest, DesktopBackupUpTo1013) {
  const std::string desktop = sim::HostPath(L"C:\\Users\\Public\\Desktop");
  struct Case {
    int major, minor, subMinor;
    bool backedUp;
  };
  const Case cases[] = {
      {1, 0, 13, true}, {1, 0, 0, true}, {1, 0, 14, false}, {1, 1, 0, false}, {0, 9, 9, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.major) + "." + std::to_string(c.minor) + "." +
                 std::to_string(c.subMinor));
    sim::ScopedMachine machine(Machine("[]", "[]"));
    std::filesystem::create_directories(desktop + "/folder");
    std::ofstream(desktop + "/Orvex.lnk") << "shortcut";
    std::ofstream(desktop + "/notes.txt") << "notes";
    Json::Value doc = Doc(Product(c.major, c.minor, c.subMinor));
    doc["SessionDir"] = "C:\\Users\\john\\AppData\\Local\\Temp\\orvex-session";
    // The session folder as CreateInTempDir makes it.
    std::filesystem::create_directories(sim::HostPath(L"C:\\Users\\john\\AppData\\Local\\Temp"));
    uint32_t error = 0;
    ASSERT_TRUE(platform::MakeAdminOnlyDirectory(
        L"C:\\Users\\john\\AppData\\Local\\Temp\\orvex-session", &error))
        << error;
    EXPECT_EQ(0, Run(doc, 1));
    const std::string backup =
        sim::HostPath(L"C:\\Users\\john\\AppData\\Local\\Temp\\orvex-session\\desktop_backup");
    EXPECT_EQ(c.backedUp, std::filesystem::exists(backup));
    EXPECT_EQ(c.backedUp, std::filesystem::exists(backup + "/Orvex.lnk"));
    EXPECT_EQ(c.backedUp, std::filesystem::exists(backup + "/notes.txt"));
    EXPECT_FALSE(std::filesystem::exists(backup + "/folder"));
    std::filesystem::remove_all(
        sim::HostPath(L"C:\\Users\\john\\AppData\\Local\\Temp\\orvex-session"));
  }
  // A session folder that is missing is not made here (CreateInTempDir makes it, for the
  // administrators only), and a backup folder that exists is not one this run made: no
  // backup, and the upgrade goes on.
  {
    sim::ScopedMachine machine(Machine("[]", "[]"));
    const std::string session =
        sim::HostPath(L"C:\\Users\\john\\AppData\\Local\\Temp\\orvex-session");
    std::filesystem::remove_all(session);
    Json::Value doc = Doc(Product(1, 0, 13));
    doc["SessionDir"] = "C:\\Users\\john\\AppData\\Local\\Temp\\orvex-session";
    EXPECT_EQ(0, Run(doc, 1));
    EXPECT_FALSE(std::filesystem::exists(session));
    std::filesystem::create_directories(session + "/desktop_backup");
    EXPECT_EQ(0, Run(doc, 1));
    EXPECT_TRUE(std::filesystem::is_empty(session + "/desktop_backup"));
    std::filesystem::remove_all(session);
  }
  // Without a usable session directory nothing is written, and the upgrade goes on.
  for (const char* sessionDir : {"\"\"", "5", "null"}) {
    SCOPED_TRACE(sessionDir);
    sim::ScopedMachine machine(Machine("[]", "[]"));
    Json::Value doc = Doc(Product(1, 0, 13));
    doc["SessionDir"] = J(sessionDir);
    EXPECT_EQ(0, Run(doc, 1));
    EXPECT_FALSE(std::filesystem::exists(sim::HostPath(L"C:\\desktop_backup")));
  }
}

TEST(ProcessCheck, MatchesByNameWithoutCaseAndSkipsTheInstaller) {
  struct Case {
    const char* processes;
    bool anyUser;
    bool otherUsers;
  };
  const Case cases[] = {
      {"[]", false, false},
      {R"([{"exe": "orvex.EXE", "pid": 10, "owner": "DESKTOP\\john"}])", true, false},
      {R"([{"exe": "Orvex.exe", "pid": 10, "owner": "DESKTOP\\jane"}])", true, true},
      // An owner that cannot be read may be another user's.
      {R"([{"exe": "Orvex.exe", "pid": 10}])", true, true},
      {R"([{"exe": "Orvex.exe.bak", "pid": 10}, {"exe": "Orvex", "pid": 11}])", false, false},
      // The installer's own process does not count.
      {R"([{"exe": "Orvex.exe", "pid": 4242, "owner": "DESKTOP\\jane"}])", false, false},
      {R"([{"exe": "Orvex.exe", "pid": 4242}, {"exe": "Orvex.exe", "pid": 12, "owner": "desktop\\JOHN"}])",
       true, false},
      // The snapshot cannot be taken.
      {"false", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.processes);
    Json::Value profile = Machine("[]", c.processes);
    profile["environment"]["USERDOMAIN"] = "DESKTOP";
    sim::ScopedMachine machine(profile);
    EXPECT_EQ(c.anyUser, IsProcessRunning("Orvex.exe", false));
    EXPECT_EQ(c.otherUsers, IsProcessRunning("Orvex.exe", true));
  }
}

// ---- prompts that open help pages

class HelpPageTest : public ::testing::Test {
 protected:
  // The pages opened while the module ran.
  std::vector<std::string> RunAndCollect(const char* className, const std::string& doc,
                                         std::vector<int> answers, int expectedResult,
                                         const char* expectedError) {
    sim::ScopedMachine machine(sim::DefaultProfile());
    const size_t before = platform::OpenedUrls().size();
    Answering indicator;
    indicator.answers = std::move(answers);
    std::unique_ptr<IModule> module(CreateModuleByClass(className));
    module->SetName("PROMPT");
    module->SetProgressIndicator(&indicator);
    module->Init(nullptr, &stage);
    Json::Value document = J(doc);
    EXPECT_EQ(expectedResult, module->Execute(document));
    EXPECT_EQ(expectedError, Compact(document["S"]["PROMPT"]["error"]));
    std::vector<std::string> opened = platform::OpenedUrls();
    return std::vector<std::string>(opened.begin() + before, opened.end());
  }

  class Answering : public RecordingIndicator {
   public:
    int Prompt(std::string, std::string, std::string, std::string, int) override {
      if (next >= answers.size()) return 0;
      return answers[next++];
    }
    std::vector<int> answers;
    size_t next = 0;
  };

  static std::string Article(const std::vector<std::string>& urls) {
    if (urls.size() != 1) return "pages: " + std::to_string(urls.size());
    const std::string& url = urls[0];
    size_t at = url.find("article=");
    if (at == std::string::npos) return url;
    return url.substr(at + 8, url.find('&', at) - at - 8);
  }

  CStage stage{"S"};
};

TEST_F(HelpPageTest, ArticlesOpenOnlyWhenAskedFor) {
  const char* vt = R"({"InstallConfig": {"vt": {"prompt": true}}})";
  EXPECT_EQ("enablevt", Article(RunAndCollect("CheckPromptVT", vt, {1, 0}, 0, "null")));
  EXPECT_EQ("enablevt",
            Article(RunAndCollect("CheckPromptVT", vt, {1, 1}, -1, R"("EXIT_TO_ENABLE_VT")")));
  EXPECT_TRUE(RunAndCollect("CheckPromptVT", vt, {0}, 0, "null").empty());

  const char* driver = R"({"InstallConfig": {"display": {"driver": {"installmust": 1}}}})";
  EXPECT_EQ("upgradegraphicsdriver", Article(RunAndCollect("CheckPromptGPUDriver", driver, {1}, -1,
                                                           R"("NO_GRAPHICS_UPDATE_HELP")")));
  EXPECT_TRUE(
      RunAndCollect("CheckPromptGPUDriver", driver, {0}, -1, R"("NO_GRAPHICS_UPDATE_ABORTED")")
          .empty());

  const char* refused =
      R"({"InstallConfig": {"installer": {"install": false, "error": "CPU_UNSUPPORTED",
          "reason": "Your processor is not supported.", "help": "cpusupport"}}})";
  EXPECT_EQ("cpusupport", Article(RunAndCollect("CheckPromptUninstallable", refused, {1}, -1,
                                                R"("CPU_UNSUPPORTED")")));
  EXPECT_TRUE(
      RunAndCollect("CheckPromptUninstallable", refused, {0}, -1, R"("CPU_UNSUPPORTED")").empty());
}

}  // namespace
}  // namespace orvex
