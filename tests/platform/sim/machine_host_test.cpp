// The simulated machine answers as Windows does: WQL over the profile's rows, the registry
// with its WOW64 views, the environment behind the process's, and the state of what changed.

#include "platform/sim/machine.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/json_text.h"
#include "base/text.h"
#include "platform/environment.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/security.h"
#include "platform/win_codes.h"
#include "platform/wmi.h"
#include "tests/support/sim_test_support.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

using test::J;

// Rows chosen so that every branch of a condition can pick or drop them.
const char kWmiMachine[] = R"({
  "osBits": 64,
  "wmi": {
    "ROOT\\CIMV2": {
      "Win32_Networkadapter": [
        {"Name": "Ethernet", "PNPDeviceID": "PCI\\VEN_8086&DEV_15B8", "MACAddress": "00:1A:2B:3C:4D:5E"},
        {"Name": "Card reader", "PNPDeviceID": "SD\\VID_02&OID_544D", "MACAddress": "00:11:22:33:44:55"},
        {"Name": "Kernel debugger", "PNPDeviceID": "ROOT\\KDNIC\\0000", "MACAddress": null},
        {"Name": "Tunnel", "PNPDeviceID": "SWD\\MSRRAS\\MS_NDISWANIP"}],
      "Win32_DiskDrive": [{"DeviceID": "\\\\.\\PHYSICALDRIVE0", "SerialNumber": "WD-1"},
                          {"DeviceID": "\\\\.\\PHYSICALDRIVE1", "SerialNumber": "WD-2"}],
      "Win32_ComputerSystem": [{"UserName": "PC\\john", "HypervisorPresent": true, "Cores": 4,
                                "Wide": {"type": 19, "value": 7}, "Gone": null}],
      "Win32_Product": [{"Name": "Orvex", "Version": "2.0.6.8063"}, {"Name": "Orvex Tools", "Version": "1.0"}],
      "Win32_UserProfile": [{"SID": "S-1-5-21-1-1001", "LocalPath": "C:\\Users\\john"}]
    },
    "root\\SecurityCenter2": {"AntivirusProduct": []}
  },
  "wmiAssociations": {
    "ROOT\\CIMV2": [
      {"object": "Win32_LogicalDisk.DeviceID='C:'", "assocClass": "Win32_LogicalDiskToPartition",
       "rows": [{"DeviceID": "Disk #0, Partition #0"}, {"DeviceID": "Disk #0, Partition #1"}]},
      {"object": "Win32_DiskPartition.DeviceID='Disk #0, Partition #1'",
       "assocClass": "Win32_DiskDriveToDiskPartition", "rows": [{"DeviceID": "\\\\.\\PHYSICALDRIVE0"}]}
    ]
  }
})";

int CountRows(const std::wstring& wmiNamespace, const std::string& wql) {
  std::unique_ptr<platform::IWmiSession> session = platform::ConnectWmi(wmiNamespace);
  if (!session) return -2;
  if (!session->ExecQuery(Utf8ToWide(wql))) return -1;
  int rows = 0;
  while (session->Next()) ++rows;
  return rows;
}

TEST(SimWmi, QueriesSelectTheRowsWindowsWould) {
  sim::ScopedMachine machine(J(kWmiMachine));
  struct Case {
    const char* wql;
    int rows;  // -1: ExecQuery fails
  } cases[] = {
      {"SELECT * FROM Win32_Networkadapter", 4},
      {"select * from win32_networkadapter", 4},
      // The installer's own conditions, two blanks after LIKE.
      {R"(SELECT * FROM Win32_Networkadapter WHERE PNPDeviceID LIKE  "%PCI%" or PNPDeviceID LIKE  "%SD%")",
       2},
      {R"(SELECT * FROM Win32_Networkadapter WHERE PNPDeviceID LIKE  "%PCI%")", 1},
      {R"(SELECT * FROM Win32_Networkadapter WHERE PNPDeviceID LIKE "%pci%")", 1},
      {R"(SELECT * FROM Win32_Networkadapter WHERE PNPDeviceID LIKE "PCI\\VEN_____&%")", 1},
      {R"(SELECT * FROM Win32_Networkadapter WHERE PNPDeviceID LIKE "PCI\\VEN____&%")", 0},
      {R"(SELECT * FROM Win32_Networkadapter WHERE PNPDeviceID LIKE "[PS]%")", 3},
      {R"(SELECT * FROM Win32_Networkadapter WHERE Name = 'Tunnel' AND PNPDeviceID LIKE '%RAS%')",
       1},
      {R"(SELECT * FROM Win32_Networkadapter WHERE Name = 'Tunnel' OR Name = 'Card reader' AND PNPDeviceID LIKE '%PCI%')",
       1},
      // Backslashes are escaped inside WQL strings: the installer doubles them.
      {R"(SELECT * FROM Win32_DiskDrive WHERE DeviceID='\\\\.\\PHYSICALDRIVE0')", 1},
      {R"(SELECT * FROM Win32_DiskDrive WHERE DeviceID='\\.\PHYSICALDRIVE0')", 0},
      {R"(SELECT * FROM Win32_Product WHERE Name = 'orvex')", 1},
      {R"(SELECT * FROM Win32_UserProfile WHERE SID="S-1-5-21-1-1001")", 1},
      {"SELECT * FROM Win32_ComputerSystem WHERE HypervisorPresent = TRUE AND Cores = 4", 1},
      {"SELECT * FROM Win32_ComputerSystem WHERE Gone = 'x'", 0},
      {"SELECT * FROM Win32_ComputerSystem WHERE Cores = 3", 0},
      {"SELECT Name FROM Win32_Product", 2},
      // Classes the machine lacks, and texts outside the subset, fail as WMI fails them.
      {"SELECT * FROM Win32_Battery", -1},
      {"SELECT * FROM Win32_Product WHERE Name = 'unterminated", -1},
      {"SELECT * FROM Win32_Product WHERE", -1},
      // Operators the installer never sends are outside the subset, not silently false.
      {R"(SELECT * FROM Win32_Networkadapter WHERE NOT (Name = 'Tunnel' OR Name = 'Ethernet'))",
       -1},
      {"SELECT * FROM Win32_Networkadapter WHERE MACAddress IS NULL", -1},
      {"SELECT * FROM Win32_Networkadapter WHERE MACAddress <> '00:11:22:33:44:55'", -1},
      {"SELECT * FROM Win32_ComputerSystem WHERE Cores >= 4", -1},
      {"DELETE FROM Win32_Product", -1},
      {"ASSOCIATORS OF {Win32_LogicalDisk.DeviceID='C:'} WHERE AssocClass = "
       "Win32_LogicalDiskToPartition",
       2},
      {"associators of {win32_logicaldisk.deviceid=\"c:\"} where assocclass = "
       "WIN32_LOGICALDISKTOPARTITION",
       2},
      {"ASSOCIATORS OF {Win32_DiskPartition.DeviceID='Disk #0, Partition #1'} WHERE AssocClass = "
       "Win32_DiskDriveToDiskPartition",
       1},
      {"ASSOCIATORS OF {Win32_LogicalDisk.DeviceID='C:'} WHERE AssocClass = "
       "Win32_DiskDriveToDiskPartition",
       0},
      {"ASSOCIATORS OF {Win32_LogicalDisk.DeviceID='D:'} WHERE AssocClass = "
       "Win32_LogicalDiskToPartition",
       0},
  };
  for (const Case& c : cases) EXPECT_EQ(c.rows, CountRows(L"ROOT\\CIMV2", c.wql)) << c.wql;
  EXPECT_EQ(0, CountRows(L"root\\securitycenter2", "SELECT * FROM AntivirusProduct"));
  EXPECT_EQ(-2, CountRows(L"root\\SecurityCenter", "SELECT * FROM AntivirusProduct"));
}

TEST(SimWmi, PropertiesKeepTheirTypeAndIgnoreCase) {
  sim::ScopedMachine machine(J(kWmiMachine));
  auto session = platform::ConnectWmi(L"ROOT\\CIMV2");
  ASSERT_TRUE(session);
  ASSERT_TRUE(session->ExecQuery(L"SELECT * FROM Win32_ComputerSystem"));
  std::unique_ptr<platform::IWmiRow> row = session->Next();
  ASSERT_TRUE(row);
  EXPECT_EQ(platform::WmiValue::kString, row->Get(L"username").type);
  EXPECT_EQ(L"PC\\john", row->Get(L"username").text);
  EXPECT_EQ(platform::WmiValue::kBool, row->Get(L"HypervisorPresent").type);
  EXPECT_TRUE(row->Get(L"HypervisorPresent").flag);
  EXPECT_EQ(platform::WmiValue::kInt32, row->Get(L"Cores").type);
  EXPECT_EQ(4, row->Get(L"Cores").number);
  EXPECT_EQ(platform::WmiValue::kOther, row->Get(L"Wide").type);
  EXPECT_EQ(platform::WmiValue::kNull, row->Get(L"Gone").type);
  EXPECT_EQ(platform::WmiValue::kNull, row->Get(L"Missing").type);
  EXPECT_FALSE(session->Next());
  // A property the query did not select is not in the row.
  ASSERT_TRUE(session->ExecQuery(L"SELECT Name FROM Win32_Product"));
  row = session->Next();
  ASSERT_TRUE(row);
  EXPECT_EQ(L"Orvex", row->Get(L"NAME").text);
  EXPECT_EQ(platform::WmiValue::kNull, row->Get(L"Version").type);
  // A failed query leaves no rows of the one before.
  EXPECT_FALSE(session->ExecQuery(L"SELECT * FROM Nothing"));
  EXPECT_FALSE(session->Next());
}

const char kRegistryMachine[] = R"({
  "osBits": 64,
  "registry": {
    "SOFTWARE\\Vendor\\Keys\\beta": {},
    "SOFTWARE\\Vendor\\Keys\\Alpha": {},
    "SOFTWARE\\Vendor\\Keys\\gamma": {},
    "SOFTWARE\\Vendor\\Keys\\a-very-long-name": {},
    "SOFTWARE\\Vendor": {"Text": "sixty-four", "Number": {"dword": 7}, "Big": {"qword": 4294967296},
                         "Bytes": {"binary": "0102"}, "Four": {"binary": "01020304"}, "Long": {"binary": "0102030405"},
                         "Path": {"expand_sz": "%SystemRoot%"}, "List": {"multi_sz": ["a", "b"]}},
    "SOFTWARE\\WOW6432Node\\Vendor": {"Text": "thirty-two"}
  }
})";

std::unique_ptr<platform::IRegistryKey> Open(
    const std::wstring& path, platform::RegistryView view,
    platform::RegistryAccess access = platform::RegistryAccess::kRead) {
  return platform::OpenLocalMachineKey(path, access, view, nullptr);
}

std::wstring TextOf(const platform::RegistryValue& value) {
  std::wstring text;
  for (std::size_t i = 0; i + 1 < value.data.size(); i += 2) {
    const wchar_t unit = static_cast<wchar_t>(value.data[i] | (value.data[i + 1] << 8));
    if (!unit) break;
    text.push_back(unit);
  }
  return text;
}

TEST(SimRegistry, ViewsOfA64BitMachine) {
  sim::ScopedMachine machine(J(kRegistryMachine));
  struct Case {
    platform::RegistryView view;
    const wchar_t* path;
    const wchar_t* text;
  } cases[] = {
      {platform::RegistryView::k64Bit, L"SOFTWARE\\Vendor", L"sixty-four"},
      {platform::RegistryView::k64Bit, L"software\\VENDOR", L"sixty-four"},
      {platform::RegistryView::k32Bit, L"Software\\Vendor", L"thirty-two"},
      {platform::RegistryView::kDefault, L"Software\\Vendor", L"thirty-two"},
      {platform::RegistryView::k64Bit, L"SOFTWARE\\WOW6432Node\\Vendor", L"thirty-two"},
  };
  for (const Case& c : cases) {
    auto key = Open(c.path, c.view);
    ASSERT_TRUE(key) << WideToUtf8(c.path);
    platform::RegistryValue value;
    ASSERT_TRUE(key->QueryValue(L"text", 256, &value, nullptr));
    EXPECT_EQ(platform::kRegSz, value.type);
    EXPECT_EQ(c.text, TextOf(value)) << WideToUtf8(c.path);
  }
  uint32_t error = 0;
  EXPECT_FALSE(platform::OpenLocalMachineKey(L"SOFTWARE\\Vendor\\Keys",
                                             platform::RegistryAccess::kRead,
                                             platform::RegistryView::kDefault, &error));
  EXPECT_EQ(platform::kErrorFileNotFound, error);

  // On a 32-bit machine there is no redirection at all.
  Json::Value thirtyTwo = J(kRegistryMachine);
  thirtyTwo["osBits"] = 32;
  sim::ScopedMachine small(thirtyTwo);
  platform::RegistryValue value;
  auto plain = Open(L"SOFTWARE\\Vendor", platform::RegistryView::kDefault);
  ASSERT_TRUE(plain);
  ASSERT_TRUE(plain->QueryValue(L"Text", 256, &value, nullptr));
  EXPECT_EQ(L"sixty-four", TextOf(value));
}

TEST(SimRegistry, SubKeysEnumerateInCaseInsensitiveOrder) {
  sim::ScopedMachine machine(J(kRegistryMachine));
  auto key = Open(L"SOFTWARE\\Vendor\\Keys", platform::RegistryView::k64Bit);
  ASSERT_TRUE(key);
  uint32_t count = 0;
  ASSERT_TRUE(key->QuerySubKeyCount(&count, nullptr));
  EXPECT_EQ(4u, count);
  std::vector<std::wstring> names;
  std::wstring name;
  uint32_t error = 0;
  for (uint32_t i = 0; key->EnumSubKey(i, 256, &name, &error); ++i) names.push_back(name);
  EXPECT_EQ((std::vector<std::wstring>{L"a-very-long-name", L"Alpha", L"beta", L"gamma"}), names);
  EXPECT_EQ(platform::kErrorNoMoreItems, error);
  // The buffer holds the name and its zero: 16 characters need 17.
  EXPECT_FALSE(key->EnumSubKey(0, 16, &name, &error));
  EXPECT_EQ(platform::kErrorMoreData, error);
  EXPECT_TRUE(key->EnumSubKey(0, 17, &name, &error));
  EXPECT_EQ(L"a-very-long-name", name);
}

TEST(SimRegistry, ValueTypesAndBufferLimits) {
  sim::ScopedMachine machine(J(kRegistryMachine));
  auto key = Open(L"SOFTWARE\\Vendor", platform::RegistryView::k64Bit);
  ASSERT_TRUE(key);
  struct Case {
    const wchar_t* name;
    uint32_t type;
    std::vector<uint8_t> data;
  } cases[] = {
      {L"Number", platform::kRegDword, {7, 0, 0, 0}},
      {L"Big", platform::kRegQword, {0, 0, 0, 0, 1, 0, 0, 0}},
      {L"Bytes", platform::kRegBinary, {1, 2}},
      {L"Path", platform::kRegExpandSz, {'%', 0, 'S', 0, 'y', 0, 's', 0, 't', 0, 'e', 0, 'm', 0,
                                         'R', 0, 'o', 0, 'o', 0, 't', 0, '%', 0, 0,   0}},
      {L"List", platform::kRegMultiSz, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}},
      {L"Text", platform::kRegSz, {'s', 0,   'i', 0,   'x', 0,   't', 0,   'y', 0, '-',
                                   0,   'f', 0,   'o', 0,   'u', 0,   'r', 0,   0, 0}},
  };
  for (const Case& c : cases) {
    platform::RegistryValue value;
    ASSERT_TRUE(key->QueryValue(c.name, 256, &value, nullptr)) << WideToUtf8(c.name);
    EXPECT_EQ(c.type, value.type) << WideToUtf8(c.name);
    EXPECT_EQ(c.data, value.data) << WideToUtf8(c.name);
  }
  platform::RegistryValue value;
  uint32_t error = 0;
  EXPECT_FALSE(key->QueryValue(L"Text", 21, &value, &error));
  EXPECT_EQ(platform::kErrorMoreData, error);
  EXPECT_TRUE(key->QueryValue(L"Text", 22, &value, &error));
  EXPECT_FALSE(key->QueryValue(L"Nothing", 256, &value, &error));
  EXPECT_EQ(platform::kErrorFileNotFound, error);
  // A key opened for reading refuses writes.
  EXPECT_FALSE(key->SetValue(L"Number", value, &error));
  EXPECT_EQ(platform::kErrorAccessDenied, error);
}

TEST(SimRegistry, GetValueTakesFourByteDwordsAndBinariesOnly) {
  // RegGetValueW reads the default view: the 64-bit values of the same names stay unseen.
  sim::ScopedMachine machine(J(R"({"osBits": 64, "registry": {
    "SOFTWARE\\Vendor": {"Number": {"dword": 64}, "Bytes": {"dword": 64}},
    "SOFTWARE\\WOW6432Node\\Vendor": {"Number": {"dword": 7}, "Bytes": {"binary": "0102"}, "Four": {"binary": "01020304"},
      "Long": {"binary": "0102030405"}, "Big": {"qword": 1}, "Text": "1"}}})"));
  struct Case {
    const wchar_t* name;
    uint32_t result;
    uint32_t number;  // 99 when left unchanged
  } cases[] = {
      {L"Number", 0, 7},
      {L"Bytes", 1629, 99},  // a binary counts as a number only at exactly four bytes
      {L"Long", 1629, 99},
      {L"Four", 0, 0x04030201},
      {L"Big", 1630, 99},  // REG_QWORD is not asked for
      {L"Text", 1630, 99},
      {L"Nothing", 2, 99},
  };
  for (const Case& c : cases) {
    uint32_t number = 99;
    uint32_t error = 0;
    const bool read =
        platform::GetLocalMachineDwordOrBinary(L"SOFTWARE\\Vendor", c.name, &number, &error);
    EXPECT_EQ(c.result, read ? 0u : error) << WideToUtf8(c.name);
    EXPECT_EQ(c.result == 0, read) << WideToUtf8(c.name);
    EXPECT_EQ(c.number, number) << WideToUtf8(c.name);
  }
}

TEST(SimRegistry, WritesGoIntoTheViewAndTheState) {
  Json::Value profile = J(kRegistryMachine);
  sim::ScopedMachine machine(profile);
  std::unique_ptr<platform::IRegistryKey> key = platform::CreateLocalMachineKey(
      L"Software\\Quarn\\Orvex", platform::RegistryView::kDefault, nullptr);
  ASSERT_TRUE(key);
  platform::RegistryValue value;
  value.type = platform::kRegSz;
  value.data = {'C', 0, ':', 0, 0, 0};
  ASSERT_TRUE(key->SetValue(L"InstallDir", value, nullptr));
  // The 32-bit installer's default view put it under WOW6432Node.
  EXPECT_FALSE(Open(L"SOFTWARE\\Quarn\\Orvex", platform::RegistryView::k64Bit));
  auto redirected = Open(L"SOFTWARE\\WOW6432Node\\Quarn\\Orvex", platform::RegistryView::k64Bit,
                         platform::RegistryAccess::kAllAccess);
  ASSERT_TRUE(redirected);
  platform::RegistryValue read;
  ASSERT_TRUE(redirected->QueryValue(L"installdir", 64, &read, nullptr));
  EXPECT_EQ(L"C:", TextOf(read));
  platform::RegistryValue number;
  number.type = platform::kRegDword;
  number.data = {1, 0, 0, 0};
  ASSERT_TRUE(redirected->SetValue(L"Flag", number, nullptr));

  const Json::Value state = sim::MachineState();
  EXPECT_EQ(test::Compact(J(R"(["SOFTWARE\\WOW6432Node\\Quarn\\Orvex"])")),
            test::Compact(state["createdKeys"]));
  EXPECT_EQ(test::Compact(J(R"([
      {"key": "SOFTWARE\\WOW6432Node\\Quarn\\Orvex", "name": "InstallDir", "value": "C:"},
      {"key": "SOFTWARE\\WOW6432Node\\Quarn\\Orvex", "name": "Flag", "value": {"dword": 1}}])")),
            test::Compact(state["registryWrites"]));
  // A new machine starts with a fresh state, and handles of the old one are stale.
  sim::LoadMachine(profile);
  EXPECT_EQ(0u, sim::MachineState()["registryWrites"].size());
  uint32_t error = 0;
  EXPECT_FALSE(redirected->SetValue(L"Flag", number, &error));
  EXPECT_EQ(1018u, error);  // ERROR_KEY_DELETED
}

TEST(SimEnvironment, TheProcessWinsOverTheProfile) {
  sim::ScopedMachine machine(J(R"({"environment": {"ORVEX_SIM_TEST_A": "profile",
                                                   "ORVEX_SIM_TEST_B": "profile", "SystemRoot": "C:\\Windows"}})"));
  test::ScopedEnv own("ORVEX_SIM_TEST_A", "process");
  EXPECT_EQ("process", platform::EnvironmentVariable("ORVEX_SIM_TEST_A"));
  EXPECT_EQ("profile", platform::EnvironmentVariable("ORVEX_SIM_TEST_B"));
  EXPECT_EQ(L"C:\\Windows", platform::EnvironmentVariableW(L"SYSTEMROOT"));
  EXPECT_FALSE(platform::FindEnvironmentVariable("ORVEX_SIM_TEST_NONE", nullptr));
  int seenA = 0;
  int seenB = 0;
  for (const std::string& entry : platform::EnvironmentEntries()) {
    if (entry.rfind("ORVEX_SIM_TEST_A=", 0) == 0) {
      ++seenA;
      EXPECT_EQ("ORVEX_SIM_TEST_A=process", entry);
    }
    if (entry == "ORVEX_SIM_TEST_B=profile") ++seenB;
  }
  EXPECT_EQ(1, seenA);
  EXPECT_EQ(1, seenB);
}

TEST(SimProcess, TheAnsiCodePageIsTheProfilesWindowsCodePage) {
  {
    sim::ScopedMachine english(J("{}"));
    EXPECT_EQ(1252u, platform::AnsiCodePage());
  }
  for (uint32_t codePage : {1251u, 936u, 932u}) {
    sim::ScopedMachine machine(J("{\"ansiCodePage\": " + std::to_string(codePage) + "}"));
    EXPECT_EQ(codePage, platform::AnsiCodePage());
  }
  // UTF-8 (65001) is no system ANSI code page of Windows, nor is text or a negative number.
  for (const char* odd : {"65001", "\"1251\"", "-1", "1251.5"})
    EXPECT_THROW(sim::LoadMachine(J(std::string("{\"ansiCodePage\": ") + odd + "}")),
                 std::invalid_argument)
        << odd;
  sim::LoadMachine(sim::DefaultProfile());
}

TEST(SimSecurity, AccountsAccessListsAndRestarts) {
  test::ScopedSandbox sandbox;
  sim::ScopedMachine machine(J(R"({
    "environment": {"USERNAME": "john"},
    "accounts": {"john": "S-1-5-21-7-1001"},
    "accessLists": {"C:\\Locked\\": [{"type": 1, "mask": 2, "sid": "S-1-5-18"}], "C:\\Open": null},
    "noAccess": ["C:\\Locked"],
    "files": {"C:\\Locked\\file.txt": "x", "C:\\Open\\file.txt": "y"},
    "restartAccepted": false})"));
  std::wstring sid;
  ASSERT_TRUE(platform::AccountSidText(L"JOHN", &sid));
  EXPECT_EQ(L"S-1-5-21-7-1001", sid);
  ASSERT_TRUE(platform::AccountSidText(L"PC\\john", &sid));
  EXPECT_EQ(L"S-1-5-21-7-1001", sid);
  ASSERT_TRUE(platform::AccountSidText(L"SYSTEM", &sid));
  EXPECT_EQ(L"S-1-5-18", sid);
  EXPECT_FALSE(platform::AccountSidText(L"nobody", &sid));

  std::vector<platform::AccessEntry> entries;
  ASSERT_TRUE(platform::ReadFileAccessList(L"c:\\locked", &entries));
  ASSERT_EQ(1u, entries.size());
  EXPECT_EQ(1, entries[0].type);
  EXPECT_EQ(2u, entries[0].mask);
  EXPECT_EQ(L"S-1-5-18", entries[0].sid);
  EXPECT_FALSE(platform::ReadFileAccessList(L"C:\\Open", &entries));     // NULL DACL
  EXPECT_FALSE(platform::ReadFileAccessList(L"C:\\Missing", &entries));  // no such path
  ASSERT_TRUE(platform::ReadFileAccessList(L"C:\\Open\\file.txt", &entries));
  ASSERT_EQ(3u, entries.size());
  EXPECT_EQ(L"S-1-5-21-7-1001", entries[2].sid);

  const platform::GenericMapping mapping{0x120089, 0x120116, 0x1200A0, 0x1F01FF};
  EXPECT_TRUE(platform::ProcessTokenHasAccess(L"C:\\Open", 0xC0000000, mapping));
  EXPECT_FALSE(platform::ProcessTokenHasAccess(L"C:\\Locked\\file.txt", 0xC0000000, mapping));
  EXPECT_FALSE(platform::ProcessTokenHasAccess(L"C:\\Missing", 0xC0000000, mapping));

  EXPECT_FALSE(platform::RequestSystemRestart());
  EXPECT_EQ(test::Compact(J(R"([{"accepted": false}])")),
            test::Compact(sim::MachineState()["restartRequests"]));
}

}  // namespace
}  // namespace orvex
