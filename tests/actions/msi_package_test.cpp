// The Windows Installer messages as CMsiPackage reads them (progress texts, percentages,
// action starts) and the properties CMSIInstaller builds from "msi_args".
#include "actions/msi_package.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "actions/msi_installer.h"
#include "platform/msi_install.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

using test::J;

TEST(MsiProgressText, ParsesTheFieldsItsTypeNeeds) {
  struct Case {
    const char* text;
    bool parses;
    ProgressFields fields;
  };
  const std::vector<Case> cases = {
      {"1: 0 2: 1000 3: 0 4: 0", true, {0, 1000, 0, 0}},
      {"1: 0 2: 1000 3: 1 4: 7 ", true, {0, 1000, 1, 7}},
      {"1: 2 2: 250 3: 0 4: 0", true, {2, 250, 0, 0}},  // type 2 stops after field 2
      {"1: 3 2: 99", true, {3, 99, 0, 0}},
      {"1: 1 2: 10 3: 1", true, {1, 10, 1, 0}},
      {"1: 1 2: 10 3: 1 4: 9", true, {1, 10, 1, 0}},  // type 1 stops after field 3
      {"1: 0", true, {0, 0, 0, 0}},                   // the end of the text ends the fields
      {"1: 0 2: -5 3: 0 4: 0", true, {0, -5, 0, 0}},
      {"1: 2 2: 12abc", true, {2, 12, 0, 0}},  // read like _wtol
      {"1: 2 2: abc", true, {2, 0, 0, 0}},
      {"1: 0 2: 99999999999 3: 0 4: 0", true, {0, INT_MAX, 0, 0}},
      {"1: 0 2: -99999999999", true, {0, INT_MIN, 0, 0}},
      {"", false, {}},
      {"   ", false, {}},
      {"1: 12 2: 5", false, {}},  // the type is one digit
      {"1: x 2: 5", false, {}},
      {"1:0 2: 5", false, {}},
      {"2: 5", false, {}},  // fields come in order
      {"1: 0 3: 5", false, {}},
      {"1: 0 5: 5", false, {}},
      {"1: 0 2: 5 3: 1 9: 1", false, {}},
      {"x", false, {}},
      {"1: ", false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ProgressFields fields;
    fields.type = 77;
    EXPECT_EQ(c.parses, ParseProgressText(c.text, &fields));
    if (!c.parses) continue;
    EXPECT_EQ(c.fields.type, fields.type);
    EXPECT_EQ(c.fields.field2, fields.field2);
    EXPECT_EQ(c.fields.field3, fields.field3);
    EXPECT_EQ(c.fields.field4, fields.field4);
  }
}

TEST(MsiProgressText, PercentIsTruncatedAndClamped) {
  struct Case {
    int64_t position;
    int64_t total;
    int percent;
  };
  const std::vector<Case> cases = {
      {0, 1000, 0},
      {250, 1000, 25},
      {260, 1000, 26},
      {999, 1000, 99},
      {1000, 1000, 100},
      {5000, 1000, 100},
      {-10, 1000, 0},
      {10, -1000, 0},
      {10, 0, 0},
      {1, 3, 33},
      {2, 3, 66},
      {INT64_MAX / 2, INT64_MAX, 49},
      {INT64_MAX - 1, INT64_MAX, 99},
      {INT64_MAX / 4 * 3, INT64_MAX, 74},
      {INT64_MAX / 100 + 1, INT64_MAX, 1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.percent, ProgressPercent(c.position, c.total)) << c.position << "/" << c.total;
}

class RecordingHandler : public IMSIHandler {
 public:
  void OnInstallStart(const std::string& t) override { calls.push_back("start:" + t); }
  void OnInstallEnd(const std::string& t) override { calls.push_back("end:" + t); }
  void OnActionStart(const std::string& t) override { calls.push_back("action:" + t); }
  void OnProgress(int percent) override { calls.push_back(std::to_string(percent)); }
  void OnFatalExit(const std::string& t) override { calls.push_back("fatal:" + t); }
  void OnError(const std::string& t) override { calls.push_back("error:" + t); }
  void OnWarning(const std::string& t) override { calls.push_back("warning:" + t); }
  std::vector<std::string> calls;
};

// Messages as msi.dll delivers them, and what the handler hears.
TEST(MsiPackageMessages, TurnsMessagesIntoHandlerCalls) {
  using namespace platform;
  struct Message {
    uint32_t type;
    const wchar_t* text;
  };
  struct Case {
    const char* name;
    std::vector<Message> messages;
    std::vector<std::string> calls;
  };
  const std::vector<Case> cases = {
      {"reset, report, action information, action data",
       {{kInstallMessageProgress, L"1: 0 2: 1000 3: 0 4: 0"},
        {kInstallMessageProgress, L"1: 2 2: 250 3: 0 4: 0"},
        {kInstallMessageProgress, L"1: 1 2: 10 3: 1"},
        {kInstallMessageActionData, L"File: a.txt"}},
       {"0", "25", "25", "26"}},
      {"action data before a reset changes nothing",
       {{kInstallMessageProgress, L"1: 1 2: 10 3: 1"},
        {kInstallMessageActionData, L"File: a.txt"},
        {kInstallMessageProgress, L"1: 0 2: 100 3: 0 4: 0"},
        {kInstallMessageActionData, L"File: a.txt"}},
       {"0", "10"}},
      {"action information without field 3 sets no step",
       {{kInstallMessageProgress, L"1: 0 2: 100 3: 0 4: 0"},
        {kInstallMessageProgress, L"1: 1 2: 10 3: 0"},
        {kInstallMessageActionData, L"x"}},
       {"0", "0"}},
      {"an action start ends the step",
       {{kInstallMessageProgress, L"1: 0 2: 100 3: 0 4: 0"},
        {kInstallMessageProgress, L"1: 1 2: 10 3: 1"},
        {kInstallMessageActionStart, L"Action 12:00:00: InstallFiles. Copying new files"},
        {kInstallMessageActionData, L"x"}},
       {"0", "0"}},
      {"overshooting and negative reports stay within 0..100",
       {{kInstallMessageProgress, L"1: 0 2: 100 3: 0 4: 0"},
        {kInstallMessageProgress, L"1: 2 2: 150 3: 0 4: 0"},
        {kInstallMessageProgress, L"1: 2 2: -400 3: 0 4: 0"},
        {kInstallMessageProgress, L"1: 0 2: -100 3: 0 4: 0"},
        {kInstallMessageProgress, L"1: 2 2: 50"}},
       {"0", "100", "0", "0", "0"}},
      {"a reset to 0 reports nothing",
       {{kInstallMessageProgress, L"1: 0 2: 0 3: 0 4: 0"},
        {kInstallMessageProgress, L"1: 2 2: 5"},
        {kInstallMessageProgress, L"garbage"}},
       {}},
      {"action starts: the second piece between stars",
       {{kInstallMessageActionStart, L"x*Copying files*y"},
        {kInstallMessageActionStart, L"x*Registering"},
        {kInstallMessageActionStart, L"x* *y"},
        {kInstallMessageActionStart, L"x**y"},
        {kInstallMessageActionStart, L"no stars"}},
       {"action:Copying files", "action:Registering"}},
      {"texts by kind, in UTF-8",
       {{kInstallMessageInstallStart, L"Orvex"},
        {kInstallMessageFatalExit, L"fatal"},
        {kInstallMessageError | 0x10, L"Error 1722."},
        {kInstallMessageWarning, L"careful"},
        {kInstallMessageInfo, L"ignored"},
        {kInstallMessageUser, L"ignored"},
        {kInstallMessageInstallEnd,
         L"caf\u00e9 \u0141 \u0423\u0441\u0442\u0430\u043d\u043e\u0432\u043a\u0430 \u5b89\u88c5"}},
       {"start:Orvex", "fatal:fatal", "error:Error 1722.", "warning:careful",
        "end:caf\xc3\xa9 \xc5\x81 "
        "\xd0\xa3\xd1\x81\xd1\x82\xd0\xb0\xd0\xbd\xd0\xbe\xd0\xb2\xd0\xba\xd0\xb0 "
        "\xe5\xae\x89\xe8\xa3\x85"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingHandler handler;
    CMsiPackage package(L"C:\\x.msi", {}, &handler);
    for (const Message& m : c.messages) EXPECT_EQ(1, package.HandleMessage(m.type, m.text));
    EXPECT_EQ(c.calls, handler.calls);
  }
  RecordingHandler handler;
  CMsiPackage package(L"C:\\x.msi", {}, &handler);
  EXPECT_EQ(0, package.HandleMessage(kInstallMessageError, nullptr));
  EXPECT_TRUE(handler.calls.empty());
}

TEST(MsiProperties, BuiltFromMsiArgsInByteOrder) {
  struct Case {
    const char* args;
    const char* commandLine;
  };
  const std::vector<Case> cases = {
      {R"({"REBOOT": "ReallySuppress", "INSTALLDIR": "C:\\Program Files\\X", "EMPTY": ""})",
       R"( INSTALLDIR="C:\Program Files\X" REBOOT=ReallySuppress)"},
      {R"({"b": 1, "B": -2, "a": 4294967295, "_x": true, "y": false})",
       " B=-2 _x=1 a=4294967295 b=1 y=0"},
      {R"({"N": null, "R": 1.5, "A": [1], "O": {"k": 1}, "S": "s"})", " S=s"},
      // Quoting: blanks and quotes; a value already quoted stays as it is.
      {R"({"Q": "say \"hi\"", "P": "\"C:\\a b\"", "H": "\"half"})",
       R"( H="""half" P="C:\a b" Q="say ""hi""")"},
      // Control characters: Windows Installer would end the command line at a NUL and read
      // the rest as nothing; such values are left out, NUL, line breaks and tabs alike.
      {R"({"A": "C:\\x\u0000 EVIL=1", "B": "x\r\nEVIL=1", "C": "a\tb", "D": "\u007f",
           "E": "\"C:\\a\u0000b\"", "F": "\u001b[0m", "OK": "fine"})",
       " OK=fine"},
      // What would add a property or an option stays inside the value.
      {R"({"X": "1 EVIL=2 /qn", "Y": "\" Z=3 \""})", R"( X="1 EVIL=2 /qn" Y=" Z=3 ")"},
      // Names that are not property identifiers are left out.
      {R"({"A B": "1", "1X": "1", "": "1", "X=Y": "1", "/qn": "1", ".A": "1", "A.B_2": "1"})",
       " A.B_2=1"},
      {R"("not an object")", ""},
      {R"([1, 2])", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    EXPECT_EQ(c.commandLine, MsiCommandLine(MsiPropertiesFromArgs(J(c.args))));
  }
}

TEST(MsiProperties, QuotingTable) {
  const std::vector<std::pair<const char*, const char*>> cases = {
      {"plain", "plain"},
      {"a b", "\"a b\""},
      {"\"a b\"", "\"a b\""},
      {"\"a \"\"b\"\"\"", "\"a \"\"b\"\"\""},
      {"\"a \"b\"", "\"\"\"a \"\"b\"\"\""},
      {"\"", "\"\"\"\""},
      {"\"\"", "\"\""},
      {"x\"y", "\"x\"\"y\""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.second, QuoteMsiPropertyValue(c.first)) << c.first;
}

}  // namespace
}  // namespace orvex
