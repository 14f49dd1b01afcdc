// What the driver installer, the .NET setup and the post-installation modules decide without
// running anything: entry names of driver archives, dpinst's exit codes and command line, the
// scripts' command lines and the bytes of config.xml. Runs on the host and under Wine.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "actions/dp_installer.h"
#include "actions/post_install.h"
#include "actions/product_config_xml.h"
#include "actions/zip_extract.h"
#include "base/text.h"
#include "probes/environment_helpers.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

using test::J;

// A file of the source tree; under Wine the Unix root is drive Z:.
std::string SourceFile(const std::string& relative) {
  std::string path = std::string(ORVEX_SOURCE_DIR) + "/" + relative;
#ifdef _WIN32
  for (char& c : path)
    if (c == '/') c = '\\';
  path = "Z:" + path;
#endif
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

TEST(ZipEntryNames, AcceptsStepsBelowTheDestinationOnly) {
  struct Case {
    const wchar_t* name;
    bool accepted;
    std::vector<std::wstring> steps;
  };
  const std::vector<Case> cases = {
      {L"Graphics/display.inf", true, {L"Graphics", L"display.inf"}},
      {L"Graphics\\bin\\display.sys", true, {L"Graphics", L"bin", L"display.sys"}},
      {L"Graphics/", true, {L"Graphics"}},
      {L"a//b", true, {L"a", L"b"}},
      {L"a/.hidden", true, {L"a", L".hidden"}},
      {L"a/b..c", true, {L"a", L"b..c"}},
      {L"", false, {}},
      {L"/", false, {}},
      {L"../escaped.txt", false, {}},
      {L"Graphics/../../escaped.txt", false, {}},
      {L"Graphics\\..\\escaped.txt", false, {}},
      {L"Graphics/./display.inf", false, {}},
      {L"Graphics/.../x", false, {}},
      {L"Graphics/.. /x", false, {}},
      {L"Graphics/ . /x", false, {}},
      {L"/tmp/escaped.txt", false, {}},
      {L"\\tmp\\escaped.txt", false, {}},
      {L"\\\\server\\share\\x", false, {}},
      {L"C:/escaped.txt", false, {}},
      {L"C:escaped.txt", false, {}},
      {L"Graphics/display.inf:hidden", false, {}},
      {L"Graphics/CON", false, {}},
      {L"Graphics/nul.inf", false, {}},
      {L"aux/x.inf", false, {}},
      {L"Graphics/com1", false, {}},
      {L"Graphics/LPT9.txt", false, {}},
      {L"Graphics/COM0", true, {L"Graphics", L"COM0"}},
      {L"Graphics/console.inf", true, {L"Graphics", L"console.inf"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.name));
    std::vector<std::wstring> steps;
    EXPECT_EQ(c.accepted, ZipEntrySteps(c.name, &steps));
    if (c.accepted) {
      EXPECT_EQ(c.steps, steps);
    }
  }
}

TEST(DpinstExitCode, InstalledCountRestartAndFailureBits) {
  struct Case {
    uint32_t code;
    int result;
    bool restart;
  };
  const std::vector<Case> cases = {
      {0x40000001, 0, true},  // one package installed, restart needed
      {0x00000001, 0, false},  {0x00000003, 0, false},
      {0x00000100, -1, false},  // nothing installed, one package copied to the store
      {0x80000001, -1, false},  // a package failed although one was installed
      {0xC0000001, -1, false}, {0x40000000, -1, false},  // restart asked for, nothing installed
      {0x00000000, -1, false}, {0x00000200 | 0x02, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    bool restart = !c.restart;
    EXPECT_EQ(c.result, DecodeDpinstExitCode(c.code, &restart));
    EXPECT_EQ(c.restart, restart);
  }
}

// Each byte of the code has its place in the words: installed, copied, failed, then the flags.
TEST(DpinstExitCode, InWords) {
  EXPECT_EQ(
      "dpinst.exe ended with exit code 0xC0030201: 1 driver packages installed, 2 only "
      "copied to the driver store, 3 could not be installed, a package failed, a restart "
      "is needed",
      DescribeDpinstExitCode(0xC0030201u));
  EXPECT_EQ(
      "dpinst.exe ended with exit code 0x000000FF: 255 driver packages installed, 0 only "
      "copied to the driver store, 0 could not be installed",
      DescribeDpinstExitCode(0xFFu));
}

TEST(DpinstCommandLine, DriverFolderQuotedWithoutTrailingBackslashes) {
  EXPECT_EQ(L"/F /LM /Q /PATH \"C:\\Users\\John Smith\\Temp\\s\\Graphics\"",
            DpinstParameters("C:\\Users\\John Smith\\Temp\\s\\Graphics"));
  EXPECT_EQ(L"/F /LM /Q /PATH \"C:\\s\\Graphics\"", DpinstParameters("C:\\s\\Graphics\\\\"));
  EXPECT_EQ(L"/F /LM /Q /PATH \"\"", DpinstParameters("\\"));
}

TEST(DpinstCommandLine, QuotesInPathsAreRefusedBeforeAnythingRuns) {
  bool restart = true;
  EXPECT_EQ(-1, RunDpinst("C:\\s", "C:\\s\\gpudriver.zip", "C:\\s\" /U \"x", "Graphics", &restart));
  EXPECT_FALSE(restart);
  EXPECT_EQ(-1, RunDpinst("C:\\s", "C:\\s\\gpudriver.zip", "C:\\s", "G\" /U", &restart));
}

TEST(PostInstallScripts, CommandLinesForCmdExe) {
  EXPECT_EQ(
      "\"\"C:\\Program Files\\Orvex\\install_ics.bat\" \"C:\\Program Files\\Orvex\" "
      "\"Quarn\" \"Orvex\"\"",
      InstallIcsCommand("C:\\Program Files\\Orvex"));
  // No backslash between the user-data directory and "orvexvm".
  EXPECT_EQ(
      "\"\"C:\\Program Files\\Orvex\\copy_vbox_config.bat\" \"C:\\ProgramData\\Orvexorvexvm\"\"",
      CopyVboxConfigCommand("C:\\Program Files\\Orvex", "C:\\ProgramData\\Orvex"));
}

TEST(ConfigXml, ElementsByMemberKind) {
  const Json::Value tree = J(R"({"r": {"b": true, "f": 1.5, "i": -3, "l": [1], "n": null,
                                       "o": {"s": "x"}, "u": 18446744073709551615}})");
  EXPECT_EQ(
      "<r>\r\n"
      "  <b></b>\r\n"
      "  <f></f>\r\n"
      "  <i>-3</i>\r\n"
      "  <l></l>\r\n"
      "  <n>\r\n  </n>\r\n"
      "  <o>\r\n    <s>x</s>\r\n  </o>\r\n"
      "  <u>-1</u>\r\n"
      "</r>\r\n",
      JsonToXml(tree, 0));
}

TEST(ConfigXml, TextsStayWellFormed) {
  const Json::Value tree = J(R"({"t": "a&b <c> \"q\" 'p' \u0001\u001f\ttab\r\nline"})");
  EXPECT_EQ("<t>a&amp;b &lt;c&gt; \"q\" 'p' \ttab\r\nline</t>\r\n", JsonToXml(tree, 0));
}

TEST(ConfigXml, FileBytesAsTheProductReadsThem) {
  ASSERT_EQ("C:", GetSystemDrive());
  const Json::Value doc = J(R"({"InstallConfig": {"system": {"cpus": 8},
      "devices": {"camera": "on", "sensor": "a & b", "gps": "fix\u0001\u001bed",
                  "generic": "Home <5 GHz>"}}})");
  const std::string expected = SourceFile("tests/fixtures/config-expected.xml");
  ASSERT_FALSE(expected.empty());
  const std::string bytes = ConfigXmlFileBytes(ConfigXmlText(BuildConfigTree(doc)));
  EXPECT_EQ(expected, bytes);
  ASSERT_GE(bytes.size(), 14u);
  EXPECT_EQ(std::string("\r\0\r\0\n\0\r\0\r\0\n\0", 12), bytes.substr(bytes.size() - 12));
}

TEST(ConfigXml, ProcessorCountOnlyFromAnInteger) {
  for (const char* cpus : {R"("8")", "8.0", "true"}) {
    SCOPED_TRACE(cpus);
    const Json::Value doc =
        J(std::string(R"({"InstallConfig": {"system": {"cpus": )") + cpus + "}}}");
    const std::string xml = JsonToXml(BuildConfigTree(doc), 0);
    EXPECT_NE(std::string::npos, xml.find("<count>0</count>")) << xml;
  }
}

}  // namespace
}  // namespace orvex
