// What the simulated Windows Installer makes of a package's Directory, CreateFolder and
// Registry tables: formatted texts, typed values, roots, and the registry view and program
// folder of 32-bit and 64-bit packages on 32-bit and 64-bit machines.
#include "platform/sim/msi_install_tables.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/msi_install.h"
#include "platform/sim/machine.h"
#include "tests/support/install_fixtures.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

using test::Compact;
using test::J;

sim::MsiCell Cell(const char* text) {
  sim::MsiCell cell;
  cell.isNull = text == nullptr;
  if (text) cell.text = text;
  return cell;
}

sim::MsiRow Row(std::initializer_list<const char*> fields) {
  sim::MsiRow row;
  for (const char* field : fields) row.push_back(Cell(field));
  return row;
}

// A package's tables: INSTALLDIR below the program files, a 32-bit and a 64-bit component.
sim::MsiTables Tables() {
  sim::MsiTables tables;
  tables.directories = {Row({"TARGETDIR", nullptr, "SourceDir"}),
                        Row({"ProgramFilesFolder", "TARGETDIR", "."}),
                        Row({"Maker", "ProgramFilesFolder", "MAKER~1|Maker Inc"}),
                        Row({"INSTALLDIR", "Maker", "App:SourceApp"}),
                        Row({"SAME", "INSTALLDIR", "."}),
                        Row({"LOOP", "LOOP2", "a"}),
                        Row({"LOOP2", "LOOP", "b"})};
  tables.components = {Row({"Main", "INSTALLDIR", "0"}), Row({"Wide", "SAME", "256"})};
  tables.files = {Row({"AppExe", "Main", "APP~1.EXE|App Main.exe"})};
  return tables;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  for (uint8_t b : bytes) text += std::string{digits[b >> 4], digits[b & 15]};
  return text;
}

TEST(MsiInstallTables, DirectoriesAndFormattedTexts) {
  sim::ScopedMachine machine(sim::DefaultProfile());
  const sim::MsiTables tables = Tables();
  sim::MsiProperties properties = {{"EDITION", "pro"}, {"ROOTDRIVE", "D:\\"}};
  sim::ResolveDirectories(tables, sim::StandardFolders(true), &properties);
  EXPECT_EQ("C:\\Program Files (x86)\\Maker Inc\\App\\", properties["INSTALLDIR"]);
  EXPECT_EQ(properties["INSTALLDIR"], properties["SAME"]);
  EXPECT_EQ("D:\\", properties["TARGETDIR"]);
  // A loop in the Directory table ends at the root drive instead of running for ever.
  EXPECT_EQ(0u, properties["LOOP"].rfind("D:\\", 0));

  const std::pair<const char*, std::string> texts[] = {
      {"[INSTALLDIR]x", "C:\\Program Files (x86)\\Maker Inc\\App\\x"},
      {"[#AppExe]", "C:\\Program Files (x86)\\Maker Inc\\App\\App Main.exe"},
      {"[$Wide]", "C:\\Program Files (x86)\\Maker Inc\\App\\"},
      {"[%SystemRoot]\\x", "C:\\Windows\\x"},
      {"a[EDITION]b[UNSET]c", "aprobc"},
      {"[\\[]x[\\]]", "[x]"},
      {"a[~]b", std::string("a\0b", 3)},
      {"open [ only", "open [ only"},
      {"[]", "[]"},
      {"[#Missing]", ""},
  };
  for (const auto& t : texts) {
    SCOPED_TRACE(t.first);
    EXPECT_EQ(t.second, sim::FormatMsiText(t.first, tables, properties));
  }
  // A property the command line gives keeps its value, with a trailing backslash.
  sim::MsiProperties given = {{"INSTALLDIR", "E:\\Apps\\Chosen"}};
  sim::ResolveDirectories(tables, sim::StandardFolders(true), &given);
  EXPECT_EQ("E:\\Apps\\Chosen\\", given["INSTALLDIR"]);
  EXPECT_EQ("E:\\Apps\\Chosen\\", given["SAME"]);
}

TEST(MsiInstallTables, RegistryRowsTypedAndRooted) {
  sim::ScopedMachine machine(sim::DefaultProfile());
  sim::MsiTables tables = Tables();
  tables.registry = {
      Row({"2", "Software\\[EDITION]", "Text", "[INSTALLDIR]", "Main"}),
      Row({"2", "Software\\T", "Dword", "#42", "Main"}),
      Row({"2", "Software\\T", "Negative", "#-2", "Main"}),
      Row({"2", "Software\\T", "Bytes", "#xA0bff", "Main"}),
      Row({"2", "Software\\T", "Expand", "#%%TEMP%\\[EDITION]", "Main"}),
      Row({"2", "Software\\T", "Hash", "##[EDITION]", "Main"}),
      Row({"2", "Software\\T", "NotANumber", "#12a", "Main"}),
      Row({"2", "Software\\T", "List", "[~]a[~][EDITION][~]", "Wide"}),
      Row({"2", "Software\\T", nullptr, "default", "Wide"}),
      Row({"2", "Software\\T\\Made", "+", nullptr, "Main"}),
      Row({"2", "Software\\T", "-", "a value", "Main"}),
      Row({"-1", "Software\\T", "Either", "1", "Main"}),
      Row({"0", ".ext", nullptr, "Kind", "Main"}),
      Row({"0", "CLSID\\{1}", nullptr, "Server", "Main"}),
      Row({"1", "Software\\T", "User", "x", "Main"}),
      Row({"3", "S-1-5-18\\T", "Users", "x", "Main"}),
      Row({"2", "", "NoKey", "x", "Main"}),
  };
  sim::MsiProperties properties = {{"EDITION", "pro"}, {"ALLUSERS", "1"}};
  sim::ResolveDirectories(tables, sim::StandardFolders(true), &properties);
  std::vector<std::string> written;
  for (const sim::MsiRegistryWrite& write : sim::RegistryWrites(tables, properties)) {
    written.push_back(std::string(write.view == platform::RegistryView::k64Bit ? "64 " : "32 ") +
                      WideToUtf8(write.key) + " [" + WideToUtf8(write.name) + "] " +
                      (write.keyOnly
                           ? "key only"
                           : std::to_string(write.value.type) + ":" + Hex(write.value.data)));
  }
  auto utf16 = [](const std::string& text) {
    std::vector<uint8_t> bytes;
    for (char c : text) bytes.insert(bytes.end(), {static_cast<uint8_t>(c), 0});
    return Hex(bytes);
  };
  const std::vector<std::string> expected = {
      "32 Software\\pro [Text] 1:" + utf16("C:\\Program Files (x86)\\Maker Inc\\App\\") + "0000",
      "32 Software\\T [Dword] 4:2A000000",
      "32 Software\\T [Negative] 4:FEFFFFFF",
      "32 Software\\T [Bytes] 3:0A0BFF",
      "32 Software\\T [Expand] 2:" + utf16("%TEMP%\\pro") + "0000",
      "32 Software\\T [Hash] 1:" + utf16("#pro") + "0000",
      "32 Software\\T [NotANumber] 1:" + utf16("12a") + "0000",
      "64 Software\\T [List] 7:" + utf16("a") + "0000" + utf16("pro") + "00000000",
      "64 Software\\T [] 1:" + utf16("default") + "0000",
      "32 Software\\T\\Made [+] key only",
      "32 Software\\T [-] 1:" + utf16("a value") + "0000",
      "32 Software\\T [Either] 1:" + utf16("1") + "0000",
      // File types are shared by both views; CLSID and the like are not.
      "64 SOFTWARE\\Classes\\.ext [] 1:" + utf16("Kind") + "0000",
      "32 SOFTWARE\\Classes\\CLSID\\{1} [] 1:" + utf16("Server") + "0000",
  };
  EXPECT_EQ(expected, written);

  // Per user (ALLUSERS unset), -1 and 0 are the user's hive: nothing under HKLM.
  properties.erase("ALLUSERS");
  for (const sim::MsiRegistryWrite& write : sim::RegistryWrites(tables, properties))
    EXPECT_EQ(std::string::npos, WideToUtf8(write.key).find("Classes"));
  EXPECT_EQ(expected.size() - 3, sim::RegistryWrites(tables, properties).size());
}

// The real package, installed on machines of both kinds: the values, their view, the program
// folder and the folder of the CreateFolder table.
TEST(MsiInstallTables, PackagesWriteTheirRegistryTableAsWindowsWould) {
  struct Case {
    const char* what;
    const char* package;
    int osBits;
    const char* key;
    const char* programs;
  };
  const Case cases[] = {
      {"32-bit package, 64-bit machine", "orvex-registry.msi", 64,
       "SOFTWARE\\WOW6432Node\\Quarn\\RegistryTest", "C:\\Program Files (x86)"},
      {"64-bit package, 64-bit machine", "orvex-registry-x64.msi", 64,
       "SOFTWARE\\Quarn\\RegistryTest", "C:\\Program Files"},
      {"32-bit package, 32-bit machine", "orvex-registry.msi", 32, "SOFTWARE\\Quarn\\RegistryTest",
       "C:\\Program Files"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Json::Value profile = sim::DefaultProfile();
    profile["osBits"] = c.osBits;
    if (c.osBits == 32) {
      Json::Value& env = profile["environment"];
      for (const char* name : {"ProgramFiles(x86)", "ProgramW6432", "CommonProgramW6432"})
        env.removeMember(name);
      env["ProgramFiles"] = "C:\\Program Files";
      env["CommonProgramFiles"] = "C:\\Program Files\\Common Files";
    }
    sim::ScopedMachine machine(profile);
    const std::wstring folder = test::NewWorkFolder("simmsitables");
    ASSERT_TRUE(test::PlaceFixture(test::PackageFixture(c.package), folder, c.package));
    EXPECT_EQ(0u, platform::InstallProduct(folder + L"\\" + Utf8ToWide(c.package), L""));

    const std::string installDir = std::string(c.programs) + "\\Quarn\\Registry Test\\";
    const std::string key = c.key;
    const std::string expected = R"([
        {"key": ")" + key + R"(", "name": "InstallDir", "value": ")" +
                                 installDir + R"("},
        {"key": ")" + key + R"(", "name": "Readme", "value": ")" +
                                 installDir + R"(readme.txt"},
        {"key": ")" + key + R"(\test edition", "name": "Count", "value": {"dword": 42}},
        {"key": ")" + key + R"(", "name": "Negative", "value": {"dword": 4294967294}},
        {"key": ")" + key + R"(", "name": "List", "value": {"multi_sz": ["first", "test edition"]}},
        {"key": "SOFTWARE\Classes\.orvextest", "name": "", "value": "OrvexTest.File"},
        {"key": ")" + key + R"(", "name": "UserDataDir",
         "value": "C:\ProgramData\QuarnRegistryTest\Data\"}])";
    // Windows paths in JSON text: every backslash doubled.
    std::string escaped;
    for (char ch : expected) escaped += ch == '\\' ? std::string("\\\\") : std::string(1, ch);
    // In the Registry table's order, which is its keys' order, not the source's.
    std::multiset<std::string> want, got;
    for (const Json::Value& write : J(escaped)) want.insert(Compact(write));
    const Json::Value state = sim::MachineState();
    for (const Json::Value& write : state["registryWrites"]) got.insert(Compact(write));
    EXPECT_EQ(want, got);
    struct stat info;
    EXPECT_EQ(
        0, stat(sim::HostPath(L"C:\\ProgramData\\QuarnRegistryTest\\Data\\config").c_str(), &info));
    EXPECT_EQ(0, stat(sim::HostPath(Utf8ToWide(installDir)).c_str(), &info));
  }
}

}  // namespace
}  // namespace orvex
