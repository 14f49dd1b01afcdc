#include "tools/sysinfo/profile_recorder.h"

#include <cstdio>
#include <cwctype>
#include <map>
#include <memory>

#include "base/text.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/msi.h"
#include "platform/opengl.h"
#include "platform/process.h"
#include "platform/processor.h"
#include "platform/profile_notation.h"
#include "platform/registry.h"
#include "platform/security.h"
#include "platform/win_codes.h"
#include "platform/wmi.h"
#include "probes/wmi_connection.h"
#include "probes/wmi_queries.h"

namespace orvex {
namespace sysinfo {
namespace {

const wchar_t kCimv2[] = L"ROOT\\CIMV2";
const wchar_t kSecurityCenter[] = L"root\\SecurityCenter2";

// ---------------------------------------------------------------------------------------------
// WMI

// One query the installer runs and the properties it reads from the rows.
struct WmiRead {
  const wchar_t* wmiNamespace;
  const char* className;
  const char* condition;
  std::vector<const char*> properties;
};

// The classes behind the system information record, the profile-folder lookup and the
// report. The network adapters and video controllers are recorded as the installer's own
// conditions select them, so the profile holds the rows it sees; the disk drives follow with
// the disk-serial chain.
const std::vector<WmiRead>& InstallerWmiReads() {
  static const std::vector<WmiRead> reads = {
      {kCimv2,
       "Win32_OperatingSystem",
       "",
       {"Caption", "OSArchitecture", "Version", "SystemDrive"}},
      {kCimv2, "Win32_Processor", "", {"Name", "Manufacturer", "VirtualizationFirmwareEnabled"}},
      {kCimv2,
       "Win32_ComputerSystem",
       "",
       {"Manufacturer", "Model", "UserName", "HypervisorPresent"}},
      {kCimv2, "Win32_Networkadapter", kNetworkAdapterCondition, {"PNPDeviceID", "MACAddress"}},
      {kCimv2, "Win32_Bios", "", {"SerialNumber"}},
      {kCimv2,
       "Win32_VideoController",
       kPciVideoControllerCondition,
       {"PNPDeviceID", "Caption", "VideoProcessor", "DriverVersion"}},
      {kCimv2, "Win32_UserProfile", "", {"SID", "LocalPath"}},
      {kCimv2, "Win32_Product", "Name = 'Orvex'", {"Name", "Version"}},
      {kSecurityCenter, "AntivirusProduct", "", {"displayName"}},
      {kSecurityCenter, "AntiSpywareProduct", "", {"displayName"}},
  };
  return reads;
}

// A property as the profile writes it: string, boolean, VT_I4 integer or null; any other
// VARIANT type as {"type": N}, which the installer reads as neither text, boolean nor VT_I4.
Json::Value WmiValueJson(const platform::WmiValue& value) {
  switch (value.type) {
    case platform::WmiValue::kString:
      return WideToUtf8(value.text);
    case platform::WmiValue::kBool:
      return value.flag;
    case platform::WmiValue::kInt32:
      return value.number;
    case platform::WmiValue::kNull:
      return Json::Value();
    default: {
      Json::Value other;
      other["type"] = static_cast<int>(value.type);
      other["value"] = Json::Value();
      return other;
    }
  }
}

Json::Value RowJson(const platform::IWmiRow& row, const std::vector<const char*>& properties) {
  Json::Value json(Json::objectValue);
  for (const char* property : properties) {
    json[property] = WmiValueJson(row.Get(Utf8ToWide(property)));
  }
  return json;
}

// Every row of one WQL text; an empty array when the query failed or found nothing.
Json::Value QueryRows(platform::IWmiSession& session, const std::wstring& wql,
                      const std::vector<const char*>& properties) {
  Json::Value rows(Json::arrayValue);
  if (!session.ExecQuery(wql)) return rows;
  while (std::unique_ptr<platform::IWmiRow> row = session.Next()) {
    rows.append(RowJson(*row, properties));
  }
  return rows;
}

// The namespaces that answer, each with its session; a namespace that cannot be connected is
// left out of the profile, as the simulated machine then refuses it too.
using Sessions = std::map<std::wstring, std::unique_ptr<platform::IWmiSession>>;

void RecordWmiClasses(Sessions& sessions, Json::Value& profile) {
  for (const WmiRead& read : InstallerWmiReads()) {
    auto found = sessions.find(read.wmiNamespace);
    if (found == sessions.end()) {
      found = sessions.emplace(read.wmiNamespace, platform::ConnectWmi(read.wmiNamespace)).first;
    }
    if (!found->second) continue;
    const std::string ns = WideToUtf8(read.wmiNamespace);
    const std::wstring wql = Utf8ToWide(CWmiConnection::QueryText(read.className, read.condition));
    Json::Value rows = QueryRows(*found->second, wql, read.properties);
    Json::Value& list = profile["wmi"][ns][read.className];
    if (list.isNull()) list = Json::Value(Json::arrayValue);
    for (const Json::Value& row : rows) list.append(row);
  }
}

// The disk-serial chain from the system drive: the logical disk's partitions, each
// partition's drive, and the drive as the installer's own condition finds it. Recording the
// drive through that condition keeps a WMI that does not match it (Wine stores the drive ids
// with their backslashes doubled and compares condition texts unescaped) from handing the
// replay a serial number the real machine never gave the installer.
void RecordDiskChain(platform::IWmiSession& session, const std::string& systemDrive,
                     Json::Value& profile) {
  if (systemDrive.empty()) return;
  const std::string ns = WideToUtf8(kCimv2);
  Json::Value associations(Json::arrayValue);
  auto follow = [&](const std::string& object, const std::string& assocClass) {
    const std::string wql = "ASSOCIATORS OF {" + object + "} WHERE AssocClass = " + assocClass;
    Json::Value rows = QueryRows(session, Utf8ToWide(wql), {"DeviceID"});
    if (!rows.empty()) {
      Json::Value entry;
      entry["object"] = object;
      entry["assocClass"] = assocClass;
      entry["rows"] = rows;
      associations.append(entry);
    }
    return rows;
  };
  Json::Value& drives = profile["wmi"][ns]["Win32_DiskDrive"] = Json::Value(Json::arrayValue);
  for (const Json::Value& partition :
       follow(LogicalDiskPath(systemDrive), "Win32_LogicalDiskToPartition")) {
    if (!partition["DeviceID"].isString()) continue;
    for (const Json::Value& drive : follow(DiskPartitionPath(partition["DeviceID"].asString()),
                                           "Win32_DiskDriveToDiskPartition")) {
      if (!drive["DeviceID"].isString()) continue;
      const std::string wql = CWmiConnection::QueryText(
          "Win32_DiskDrive", DiskDriveCondition(drive["DeviceID"].asString()));
      for (const Json::Value& row :
           QueryRows(session, Utf8ToWide(wql), {"DeviceID", "SerialNumber"})) {
        bool known = false;
        for (const Json::Value& recorded : drives) known = known || recorded == row;
        if (!known) drives.append(row);
      }
    }
  }
  if (!associations.empty()) profile["wmiAssociations"][ns] = associations;
}

const Json::Value& FirstRow(const Json::Value& profile, const char* className) {
  static const Json::Value none;
  const Json::Value& rows = profile["wmi"][WideToUtf8(kCimv2)][className];
  return rows.isArray() && !rows.empty() ? rows[0] : none;
}

std::string FirstRowText(const Json::Value& profile, const char* className, const char* property) {
  const Json::Value& value = FirstRow(profile, className)[property];
  return value.isString() ? value.asString() : std::string();
}

// ---------------------------------------------------------------------------------------------
// Registry

// A key tree the installer reads, the values it reads there, and how deep its sub-keys go.
struct RegistryRead {
  const wchar_t* path;
  std::vector<const wchar_t*> values;
  int depth;
};

// .NET setup keys (the version probe walks NDP\vX and NDP\vX\Client; the other values come
// along for whoever reads the profile), the product's own key and the machine's identity.
const std::vector<RegistryRead>& InstallerRegistryReads() {
  static const std::vector<RegistryRead> reads = {
      {L"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP",
       {L"Install", L"Version", L"Release", L"SP"},
       3},
      {L"SOFTWARE\\Quarn\\Orvex", {L"InstallDir", L"UserDataDir"}, 0},
      {L"SOFTWARE\\Microsoft\\Cryptography", {L"MachineGuid"}, 0},
  };
  return reads;
}

// Records the key under profilePath (the name the 64-bit view gives it) as view shows it.
void RecordKeyTree(const std::wstring& path, const std::wstring& profilePath,
                   platform::RegistryView view, const RegistryRead& read, int depth,
                   Json::Value& registry) {
  std::unique_ptr<platform::IRegistryKey> key =
      platform::OpenLocalMachineKey(path, platform::RegistryAccess::kRead, view, nullptr);
  if (!key) return;
  Json::Value values(Json::objectValue);
  for (const wchar_t* name : read.values) {
    platform::RegistryValue value;
    if (key->QueryValue(name, 1 << 16, &value, nullptr))
      values[WideToUtf8(name)] = platform::RegistryValueToJson(value);
  }
  registry[WideToUtf8(profilePath)] = values;
  uint32_t count = 0;
  if (depth <= 0 || !key->QuerySubKeyCount(&count, nullptr)) return;
  for (uint32_t i = 0; i < count; ++i) {
    std::wstring name;
    if (!key->EnumSubKey(i, 256, &name, nullptr)) continue;
    RecordKeyTree(path + L"\\" + name, profilePath + L"\\" + name, view, read, depth - 1, registry);
  }
}

// On a 64-bit system the 32-bit view of SOFTWARE\X is SOFTWARE\WOW6432Node\X: both views are
// recorded, since the installer reads some keys in one and some in the other.
void RecordRegistry(bool is64Bit, Json::Value& profile) {
  Json::Value registry(Json::objectValue);
  for (const RegistryRead& read : InstallerRegistryReads()) {
    const std::wstring path = read.path;
    RecordKeyTree(path, path, platform::RegistryView::k64Bit, read, read.depth, registry);
    if (is64Bit) {
      const std::wstring prefix = L"SOFTWARE\\";
      const std::wstring redirected = prefix + L"WOW6432Node\\" + path.substr(prefix.size());
      RecordKeyTree(path, redirected, platform::RegistryView::k32Bit, read, read.depth, registry);
    }
  }
  if (!registry.empty()) profile["registry"] = registry;
}

// ---------------------------------------------------------------------------------------------
// Windows Installer

const wchar_t* const kProductProperties[] = {
    L"InstalledProductName", L"Publisher",    L"VersionString",
    L"VersionMajor",         L"VersionMinor", L"Version",
    L"InstallLocation",      L"InstallDate",  L"Language"};

// Upgrade codes Windows Installer registered ("...\\Installer\\UpgradeCodes\\<packed>").
std::vector<std::wstring> RegisteredUpgradeCodes() {
  std::vector<std::wstring> codes;
  std::unique_ptr<platform::IRegistryKey> key = platform::OpenLocalMachineKey(
      L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UpgradeCodes",
      platform::RegistryAccess::kRead, platform::RegistryView::k64Bit, nullptr);
  if (!key) return codes;
  uint32_t count = 0;
  if (!key->QuerySubKeyCount(&count, nullptr)) return codes;
  for (uint32_t i = 0; i < count; ++i) {
    std::wstring packed;
    if (!key->EnumSubKey(i, 256, &packed, nullptr)) continue;
    std::wstring code = PackedGuidToGuid(packed);
    if (!code.empty()) codes.push_back(code);
  }
  return codes;
}

// Windows Installer has no call that gives a product's upgrade code; MsiEnumRelatedProducts
// answers the other way round, so every known upgrade code is asked for its products.
std::map<std::wstring, std::wstring> UpgradeCodesByProduct(const RecordOptions& options) {
  std::vector<std::wstring> codes = options.upgradeCodes;
  for (const std::wstring& code : RegisteredUpgradeCodes()) codes.push_back(code);
  std::map<std::wstring, std::wstring> byProduct;
  for (const std::wstring& code : codes) {
    std::wstring product;
    for (uint32_t i = 0; platform::EnumRelatedProducts(code, i, &product, nullptr); ++i) {
      byProduct.emplace(product, code);
    }
  }
  return byProduct;
}

void RecordInstalledProducts(const RecordOptions& options, Json::Value& profile) {
  const std::map<std::wstring, std::wstring> upgradeCodes = UpgradeCodesByProduct(options);
  Json::Value products(Json::arrayValue);
  std::wstring code;
  for (uint32_t i = 0; platform::EnumInstalledProducts(i, &code, nullptr); ++i) {
    Json::Value product;
    product["productCode"] = WideToUtf8(code);
    auto upgrade = upgradeCodes.find(code);
    if (upgrade != upgradeCodes.end()) product["upgradeCode"] = WideToUtf8(upgrade->second);
    Json::Value& properties = product["properties"] = Json::Value(Json::objectValue);
    for (const wchar_t* property : kProductProperties) {
      std::wstring value;
      if (platform::GetInstalledProductInfo(code, property, 4096, &value, nullptr)) {
        properties[WideToUtf8(property)] = WideToUtf8(value);
      }
    }
    products.append(product);
  }
  if (!products.empty()) profile["msiProducts"] = products;
}

// ---------------------------------------------------------------------------------------------
// Processor, memory, screen, OpenGL

void RecordProcessor(Json::Value& profile) {
  for (uint32_t leaf : {0x0u, 0x1u, 0x80000000u, 0x80000001u}) {
    const platform::CpuidRegisters registers = platform::Cpuid(leaf);
    char name[16];
    std::snprintf(name, sizeof name, "0x%X", static_cast<unsigned>(leaf));
    Json::Value& entry = profile["cpuid"][name];
    entry["eax"] = static_cast<Json::UInt>(registers.eax);
    entry["ebx"] = static_cast<Json::UInt>(registers.ebx);
    entry["ecx"] = static_cast<Json::UInt>(registers.ecx);
    entry["edx"] = static_cast<Json::UInt>(registers.edx);
  }
  // The installer asks for one feature: 21, virtualization enabled in the firmware.
  Json::Value& features = profile["processorFeatures"] = Json::Value(Json::arrayValue);
  if (platform::ProcessorFeaturePresent(21)) features.append(21);
  uint64_t kilobytes = 0;
  if (platform::GetPhysicallyInstalledMemoryKb(&kilobytes)) {
    profile["memoryKb"] = static_cast<Json::UInt64>(kilobytes);
  }
}

void RecordScreenAndOpenGL(Json::Value& profile) {
  profile["screen"]["width"] = platform::ScreenWidth();
  profile["screen"]["height"] = platform::ScreenHeight();
  std::string text;
  if (platform::ReadOpenGLString(platform::GlString::kVersion, &text)) {
    profile["opengl"]["version"] = text;
  }
  if (platform::ReadOpenGLString(platform::GlString::kVendor, &text)) {
    profile["opengl"]["vendor"] = text;
  }
}

// ---------------------------------------------------------------------------------------------
// Environment and security

// The machine's variables the installer reads; the ones that steer a run (run mode, server
// environment, proxy, dump) belong to the run, not to the machine, and are left out.
const char* const kMachineVariables[] = {
    "SystemDrive", "SystemRoot", "NUMBER_OF_PROCESSORS",   "USERPROFILE", "USERNAME",
    "TEMP",        "TMP",        "ORVEX_ORVEXVM_USER_HOME"};

void RecordEnvironment(Json::Value& profile) {
  Json::Value environment(Json::objectValue);
  for (const char* name : kMachineVariables) {
    if (!platform::FindEnvironmentVariable(name, nullptr)) continue;
    environment[name] = WideToUtf8(platform::EnvironmentVariableW(Utf8ToWide(name).c_str()));
  }
  profile["environment"] = environment;
}

// The account names the installer looks up: the process user and the user WMI reports
// (DOMAIN\user, looked up without its domain).
void RecordAccounts(const std::string& wmiUserName, Json::Value& profile) {
  std::vector<std::wstring> names = {platform::EnvironmentVariableW(L"USERNAME")};
  std::wstring wmiUser = Utf8ToWide(wmiUserName);
  const std::size_t slash = wmiUser.rfind(L'\\');
  if (slash != std::wstring::npos) wmiUser = wmiUser.substr(slash + 1);
  names.push_back(wmiUser);
  Json::Value accounts(Json::objectValue);
  for (const std::wstring& name : names) {
    std::wstring sid;
    if (!name.empty() && platform::AccountSidText(name, &sid)) {
      accounts[WideToUtf8(name)] = WideToUtf8(sid);
    }
  }
  if (!accounts.empty()) profile["accounts"] = accounts;
}

void RecordTempAccessList(Json::Value& profile) {
  const std::wstring temp = platform::TempPath();
  std::vector<platform::AccessEntry> entries;
  if (temp.empty() || !platform::ReadFileAccessList(temp, &entries)) return;
  Json::Value list(Json::arrayValue);
  for (const platform::AccessEntry& entry : entries) {
    Json::Value json;
    json["type"] = entry.type;
    json["mask"] = static_cast<Json::UInt>(entry.mask);
    json["sid"] = WideToUtf8(entry.sid);
    list.append(json);
  }
  profile["accessLists"][WideToUtf8(temp)] = list;
}

}  // namespace

std::wstring PackedGuidToGuid(const std::wstring& packed) {
  std::wstring digits;
  for (wchar_t c : packed) {
    if (c == L'{' || c == L'}' || c == L'-') continue;
    if (!std::iswxdigit(c)) return L"";
    digits.push_back(static_cast<wchar_t>(std::towupper(c)));
  }
  if (digits.size() != 32) return L"";
  auto reversed = [&](std::size_t from, std::size_t count) {
    return std::wstring(digits.rbegin() + (32 - from - count), digits.rbegin() + (32 - from));
  };
  std::wstring swapped;
  for (std::size_t i = 16; i < 32; i += 2) {
    swapped.push_back(digits[i + 1]);
    swapped.push_back(digits[i]);
  }
  return L"{" + reversed(0, 8) + L"-" + reversed(8, 4) + L"-" + reversed(12, 4) + L"-" +
         swapped.substr(0, 4) + L"-" + swapped.substr(4) + L"}";
}

Json::Value RecordMachineProfile(const RecordOptions& options) {
  Json::Value profile(Json::objectValue);
  Sessions sessions;
  RecordWmiClasses(sessions, profile);
  const std::string systemDrive = FirstRowText(profile, "Win32_OperatingSystem", "SystemDrive");
  if (sessions[kCimv2]) RecordDiskChain(*sessions[kCimv2], systemDrive, profile);
  sessions.clear();

  const std::string arch = FirstRowText(profile, "Win32_OperatingSystem", "OSArchitecture");
  const bool is64Bit = arch.find("64") != std::string::npos;
  profile["name"] = "Recorded by orvex-sysinfo: " +
                    FirstRowText(profile, "Win32_ComputerSystem", "Manufacturer") + " " +
                    FirstRowText(profile, "Win32_ComputerSystem", "Model") + ", " +
                    FirstRowText(profile, "Win32_OperatingSystem", "Caption");
  profile["osBits"] = is64Bit ? 64 : 32;
  profile["ansiCodePage"] = platform::AnsiCodePage();
  RecordRegistry(is64Bit, profile);
  RecordInstalledProducts(options, profile);
  RecordProcessor(profile);
  RecordScreenAndOpenGL(profile);
  RecordEnvironment(profile);
  RecordAccounts(FirstRowText(profile, "Win32_ComputerSystem", "UserName"), profile);
  RecordTempAccessList(profile);
  return profile;
}

}  // namespace sysinfo
}  // namespace orvex
