// The product's installation as a dry run on Windows machines whose texts are not Latin (a
// Russian and a Chinese Windows: captions, user folders, product and adapter names with "™"
// and "®"): everything the installer writes or sends is well-formed UTF-8 and holds the
// machine's texts unchanged, and the system's ANSI code page changes nothing. The crash files
// of such a machine are checked the same way.
#include <gtest/gtest.h>
#include <iconv.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "app/crash_handler.h"
#include "app/system_report.h"
#include "base/json_text.h"
#include "base/text.h"
#include "common/run_flags.h"
#include "engine/install_plan.h"
#include "platform/minidump.h"
#include "platform/process.h"
#include "platform/sim/machine.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

using test::Compact;

// glibc's own UTF-8 decoder, strict: overlong forms, surrogates, stray and missing
// continuation bytes all stop it.
bool IsStrictUtf8(const std::string& bytes) {
  iconv_t decoder = iconv_open("UTF-32LE", "UTF-8");
  if (decoder == reinterpret_cast<iconv_t>(-1)) return false;
  std::string copy = bytes;
  char* in = &copy[0];
  std::size_t inLeft = copy.size();
  bool valid = true;
  while (valid && inLeft > 0) {
    char out[4096];
    char* outPointer = out;
    std::size_t outLeft = sizeof out;
    if (iconv(decoder, &in, &inLeft, &outPointer, &outLeft) == static_cast<std::size_t>(-1) &&
        errno != E2BIG)
      valid = false;
  }
  iconv_close(decoder);
  return valid;
}

TEST(StrictUtf8, TheCheckRefusesWhatIsNotUtf8) {
  EXPECT_TRUE(
      IsStrictUtf8("\xd0\x90\xd0\xbd\xd0\xbd\xd0\xb0 \xe5\xae\x89\xe8\xa3\x85 \xe2\x84\xa2"));
  for (const char* bad : {"caf\xe9", "\xc0\xaf", "\xed\xa0\x80", "\xe5\xae", "\x80"})
    EXPECT_FALSE(IsStrictUtf8(bad)) << testing::PrintToString(std::string(bad));
}

// A form body's value with its percent escapes undone: the bytes as they were sent.
std::string PercentDecoded(const std::string& text) {
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() &&
        std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      bytes.push_back(static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)));
      i += 2;
    } else {
      bytes.push_back(text[i] == '+' ? ' ' : text[i]);
    }
  }
  return bytes;
}

// The dev service keeps a body as Latin-1 characters, one per byte: the bytes again.
std::string BodyBytes(const Json::Value& request) {
  const std::wstring latin1 = Utf8ToWide(request["body"].asString());
  std::string bytes;
  for (wchar_t c : latin1) bytes.push_back(static_cast<char>(c & 0xFF));
  return bytes;
}

std::string Profile(const std::string& name) {
  return std::string(ORVEX_SOURCE_DIR) + "/examples/machines/" + name;
}

std::string BuildDir() {
  const std::string installer = ORVEX_INSTALLER_PATH;
  return installer.substr(0, installer.rfind('/'));
}

struct Machine {
  // What a failing case prints of itself.
  friend void PrintTo(const Machine& machine, std::ostream* out) {
    *out << machine.profile << " " << machine.ansiCodePage;
  }
  const char* profile;
  int ansiCodePage;  // 0: the profile's own
  const char* userFolder;
  const char* caption;
  const char* processor;
  const char* adapter;
};

const Machine kMachines[] = {
    {"windows10-russian.json", 0, "\xd0\x90\xd0\xbd\xd0\xbd\xd0\xb0",
     "\xd0\x9c\xd0\xb0\xd0\xb9\xd0\xba\xd1\x80\xd0\xbe\xd1\x81\xd0\xbe\xd1\x84\xd1\x82 Windows 10 "
     "\xd0\x94\xd0\xbe\xd0\xbc\xd0\xb0\xd1\x88\xd0\xbd\xd1\x8f\xd1\x8f",
     "Intel\xc2\xae Core\xe2\x84\xa2 i7-8750H CPU @ 2.20GHz", "GeForce\xc2\xae GTX 1050 Ti"},
    {"windows10-chinese.json", 0, "\xe7\x8e\x8b\xe4\xbc\x9f",
     "Microsoft Windows 10 \xe5\xae\xb6\xe5\xba\xad\xe4\xb8\xad\xe6\x96\x87\xe7\x89\x88",
     "Intel\xc2\xae Core\xe2\x84\xa2 i7-8750H CPU @ 2.20GHz", "GeForce\xc2\xae GTX 1050 Ti"},
    // The same Russian machine had its system code page been Chinese or Western.
    {"windows10-russian.json", 936, "\xd0\x90\xd0\xbd\xd0\xbd\xd0\xb0",
     "\xd0\x9c\xd0\xb0\xd0\xb9\xd0\xba\xd1\x80\xd0\xbe\xd1\x81\xd0\xbe\xd1\x84\xd1\x82 Windows 10 "
     "\xd0\x94\xd0\xbe\xd0\xbc\xd0\xb0\xd1\x88\xd0\xbd\xd1\x8f\xd1\x8f",
     "Intel\xc2\xae Core\xe2\x84\xa2 i7-8750H CPU @ 2.20GHz", "GeForce\xc2\xae GTX 1050 Ti"},
    {"windows10-russian.json", 1252, "\xd0\x90\xd0\xbd\xd0\xbd\xd0\xb0",
     "\xd0\x9c\xd0\xb0\xd0\xb9\xd0\xba\xd1\x80\xd0\xbe\xd1\x81\xd0\xbe\xd1\x84\xd1\x82 Windows 10 "
     "\xd0\x94\xd0\xbe\xd0\xbc\xd0\xb0\xd1\x88\xd0\xbd\xd1\x8f\xd1\x8f",
     "Intel\xc2\xae Core\xe2\x84\xa2 i7-8750H CPU @ 2.20GHz", "GeForce\xc2\xae GTX 1050 Ti"},
};

// The form of the service's request to path, as sent: each value's bytes.
std::vector<std::pair<std::string, std::string>> SentForm(const Json::Value& requests,
                                                          const std::string& path) {
  std::vector<std::pair<std::string, std::string>> form;
  for (const Json::Value& request : requests) {
    if (request["path"].asString() != path || request["method"].asString() != "POST") continue;
    const std::string body = BodyBytes(request);
    std::size_t start = 0;
    while (start <= body.size()) {
      std::size_t end = body.find('&', start);
      if (end == std::string::npos) end = body.size();
      const std::string pair = body.substr(start, end - start);
      const std::size_t equals = pair.find('=');
      form.emplace_back(PercentDecoded(pair.substr(0, equals)),
                        equals == std::string::npos ? "" : PercentDecoded(pair.substr(equals + 1)));
      start = end + 1;
    }
  }
  return form;
}

std::string ValueOf(const std::vector<std::pair<std::string, std::string>>& form,
                    const std::string& name) {
  for (const auto& pair : form)
    if (pair.first == name) return pair.second;
  return "(not sent)";
}

// Whether a text of the document (a member name or a string value) satisfies the test.
template <typename Test>
bool HoldsText(const Json::Value& value, const Test& test) {
  if (value.isString()) return test(value.asString());
  if (value.isObject()) {
    for (const std::string& name : value.getMemberNames())
      if (test(name) || HoldsText(value[name], test)) return true;
  }
  if (value.isArray())
    for (const Json::Value& item : value)
      if (HoldsText(item, test)) return true;
  return false;
}

class NonLatinDryRun : public ::testing::TestWithParam<Machine> {};

TEST_P(NonLatinDryRun, InstallsAndEverythingWrittenOrSentIsUtf8WithTheTextsWhole) {
  const Machine& machine = GetParam();
  char pattern[] = "/tmp/orvex-non-latin-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(pattern));
  const std::string dir = pattern;
  Json::Value profile;
  ASSERT_TRUE(ParseJson(test::ReadFile(Profile(machine.profile)), profile));
  if (machine.ansiCodePage) profile["ansiCodePage"] = machine.ansiCodePage;
  std::ofstream(dir + "/machine.json") << StyledJson(profile);

  const std::string command =
      "python3 '" + std::string(ORVEX_SOURCE_DIR) + "/scripts/e2e/product_console.py' --build '" +
      BuildDir() + "' --out '" + dir + "/run' --machine '" + dir +
      "/machine.json' --expect completed >'" + dir + "/out.txt' 2>&1 </dev/null";
  const int raw = std::system(command.c_str());
  const std::string out = test::ReadFile(dir + "/out.txt");
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(0, WEXITSTATUS(raw)) << out;

  // The session document: UTF-8 throughout, the user's folder in its paths.
  const std::string dumpText = test::ReadFile(dir + "/run/orvex_installer_dump.json");
  EXPECT_TRUE(IsStrictUtf8(dumpText));
  Json::Value dump;
  ASSERT_TRUE(ParseJson(dumpText, dump)) << out;
  EXPECT_TRUE(HoldsText(dump, [&](const std::string& text) {
    return text.find(std::string("C:\\Users\\") + machine.userFolder + "\\") == 0;
  })) << "no path in the user's folder";
  EXPECT_EQ(machine.caption, dump["Config"]["platform"]["os"].asString())
      << Compact(dump["Config"]);

  Json::Value requests;
  ASSERT_TRUE(ParseJson(test::ReadFile(dir + "/run/requests.json"), requests));
  const auto report = SentForm(requests, "/installer/install");
  const auto hit = SentForm(requests, "/collect");
  ASSERT_FALSE(report.empty()) << Compact(requests);
  ASSERT_FALSE(hit.empty()) << Compact(requests);
  for (const auto* form : {&report, &hit})
    for (const auto& pair : *form)
      EXPECT_TRUE(IsStrictUtf8(pair.first) && IsStrictUtf8(pair.second))
          << testing::PrintToString(pair.first + "=" + pair.second);
  EXPECT_EQ("INSTALLED", ValueOf(report, "status"));
  EXPECT_EQ(machine.caption, ValueOf(report, "os"));
  EXPECT_EQ(machine.caption, ValueOf(hit, "cd1"));
  EXPECT_EQ(machine.processor, ValueOf(hit, "cd6"));
  EXPECT_NE(std::string::npos, ValueOf(hit, "cd3").find(machine.adapter)) << ValueOf(hit, "cd3");
  std::system(("rm -rf '" + dir + "'").c_str());
}

INSTANTIATE_TEST_SUITE_P(Machines, NonLatinDryRun, ::testing::ValuesIn(kMachines),
                         [](const ::testing::TestParamInfo<Machine>& info) {
                           std::string name = info.param.profile;
                           name = name.substr(0, name.find('.'));
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           if (info.param.ansiCodePage)
                             name += "_codepage" + std::to_string(info.param.ansiCodePage);
                           return name;
                         });

TEST(NonLatinCrash, CrashFilesOfARussianMachineAreUtf8) {
  ::testing::GTEST_FLAG(death_test_style) = "fast";
  Json::Value profile;
  ASSERT_TRUE(ParseJson(test::ReadFile(Profile("windows10-russian.json")), profile));
  char pattern[] = "/tmp/orvex-non-latin-crash-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(pattern));
  const std::string dir = pattern;
  char previous[4096];
  ASSERT_NE(nullptr, getcwd(previous, sizeof previous));
  ASSERT_EQ(0, chdir(dir.c_str()));
  test::ScopedEnv noService("BASE_DOMAIN", "");
  sim::ScopedMachine russian(profile);

  CInstallPlan plan;
  // A session document holding what the probes read.
  plan.doc["Config"]["platform"]["os"] =
      profile["wmi"]["ROOT\\CIMV2"]["Win32_OperatingSystem"][0]["Caption"];
  plan.doc["Main"]["status"]["progress"] = "started";
  PlanRegistration registration(&plan);
  EXPECT_EXIT(
      {
        SetCrashDialogHook(nullptr);
        InstallCrashHandler();
        platform::RaiseNoncontinuableException(0xC0000005);
      },
      ::testing::ExitedWithCode(1), "");
  const std::string log = test::ReadFile(dir + "/" + CrashFileName(".log"));
  const std::string report = test::ReadFile(dir + "/" + CrashFileName(".txt"));
  ASSERT_EQ(0, chdir(previous));
  std::system(("rm -rf '" + dir + "'").c_str());

  EXPECT_TRUE(IsStrictUtf8(log));
  EXPECT_TRUE(IsStrictUtf8(report));
  const std::string caption =
      "\xd0\x9c\xd0\xb0\xd0\xb9\xd0\xba\xd1\x80\xd0\xbe\xd1\x81\xd0\xbe\xd1\x84\xd1\x82 Windows 10 "
      "\xd0\x94\xd0\xbe\xd0\xbc\xd0\xb0\xd1\x88\xd0\xbd\xd1\x8f\xd1\x8f";
  EXPECT_NE(std::string::npos, report.find(caption)) << report;
  EXPECT_NE(std::string::npos, report.find("GeForce\xc2\xae GTX 1050 Ti")) << report;
  Json::Value logged;
  ASSERT_TRUE(ParseJson(log, logged));
  EXPECT_EQ(caption, logged["Config"]["platform"]["os"].asString());
}

}  // namespace
}  // namespace orvex
