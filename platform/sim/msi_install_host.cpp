// Windows Installer of the simulated machine installing a package: it reads the package's own
// tables with libmsi (the Property table and the summary information), refuses a package for a
// processor the machine lacks (1633), sends the external handler the messages Windows
// Installer sends (install start, action starts, progress reset and reports, action data,
// install end), creates the package's folders and writes its Registry table's values
// (msi_install_tables.h), and records the product as installed, where the product lookups of
// msi.h find it. The profile's "msiInstall" can make an installation fail or ask for a restart
// (platform/sim/README.md); a launch condition that names a property the package and the
// command line leave unset fails it with the condition's message. No file of the package is
// unpacked.
#include "platform/msi_install.h"

#include <libmsi.h>

#include <cctype>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/sim/machine.h"
#include "platform/sim/machine_internal.h"
#include "platform/sim/msi_install_tables.h"

namespace orvex {
namespace platform {
namespace {

// The process-wide settings of MsiSetInternalUI and MsiSetExternalUIW.
struct UiSettings {
  uint32_t level = 5;  // INSTALLUILEVEL_BASIC, Windows Installer's default
  InstallMessageHandler handler = nullptr;
  uint32_t filter = 0;
  void* context = nullptr;
};

std::mutex& UiLock() {
  static std::mutex* lock = new std::mutex;
  return *lock;
}

UiSettings& Ui() {
  static UiSettings* settings = new UiSettings;
  return *settings;
}

struct Package {
  std::map<std::string, std::string> properties;
  std::vector<std::pair<std::string, std::string>> launchConditions;  // condition, message
  std::string platform;  // the summary's template before ";": "Intel", "x64", ...
  std::vector<std::string> files;
  sim::MsiTables tables;
};

template <class T>
struct GObjectRef {
  T* object = nullptr;
  ~GObjectRef() {
    if (object) g_object_unref(object);
  }
};

// The rows of a query, every field as text (null fields marked); none when the package lacks
// the table.
std::vector<sim::MsiRow> ReadRows(LibmsiDatabase* database, const char* sql) {
  std::vector<sim::MsiRow> rows;
  GObjectRef<LibmsiQuery> query;
  query.object = libmsi_query_new(database, sql, nullptr);
  if (!query.object || !libmsi_query_execute(query.object, nullptr, nullptr)) return rows;
  while (LibmsiRecord* record = libmsi_query_fetch(query.object, nullptr)) {
    sim::MsiRow row;
    const guint fields = libmsi_record_get_field_count(record);
    for (guint field = 1; field <= fields; ++field) {
      sim::MsiCell cell;
      cell.isNull = libmsi_record_is_null(record, field);
      if (!cell.isNull) {
        gchar* text = libmsi_record_get_string(record, field);
        cell.text = text ? text : std::to_string(libmsi_record_get_int(record, field));
        g_free(text);
      }
      row.push_back(cell);
    }
    rows.push_back(row);
    g_object_unref(record);
  }
  return rows;
}

void ReadInstallTables(LibmsiDatabase* database, sim::MsiTables* tables) {
  tables->directories =
      ReadRows(database, "SELECT `Directory`, `Directory_Parent`, `DefaultDir` FROM `Directory`");
  tables->components =
      ReadRows(database, "SELECT `Component`, `Directory_`, `Attributes` FROM `Component`");
  tables->files = ReadRows(database, "SELECT `File`, `Component_`, `FileName` FROM `File`");
  tables->createFolders =
      ReadRows(database, "SELECT `Directory_`, `Component_` FROM `CreateFolder`");
  tables->registry =
      ReadRows(database, "SELECT `Root`, `Key`, `Name`, `Value`, `Component_` FROM `Registry`");
}

bool ReadPackage(const std::string& hostPath, Package* package) {
  GError* error = nullptr;
  GObjectRef<LibmsiDatabase> database;
  database.object =
      libmsi_database_new(hostPath.c_str(), LIBMSI_DB_FLAGS_READONLY, nullptr, &error);
  if (!database.object) {
    if (error) g_error_free(error);
    return false;
  }
  GObjectRef<LibmsiQuery> query;
  query.object =
      libmsi_query_new(database.object, "SELECT `Property`, `Value` FROM `Property`", &error);
  if (!query.object || !libmsi_query_execute(query.object, nullptr, &error)) {
    if (error) g_error_free(error);
    return false;
  }
  while (LibmsiRecord* record = libmsi_query_fetch(query.object, nullptr)) {
    gchar* name = libmsi_record_get_string(record, 1);
    gchar* value = libmsi_record_get_string(record, 2);
    if (name) package->properties[name] = value ? value : "";
    g_free(name);
    g_free(value);
    g_object_unref(record);
  }
  GObjectRef<LibmsiQuery> files;
  files.object = libmsi_query_new(database.object, "SELECT `FileName` FROM `File`", nullptr);
  if (files.object && libmsi_query_execute(files.object, nullptr, nullptr)) {
    while (LibmsiRecord* record = libmsi_query_fetch(files.object, nullptr)) {
      gchar* name = libmsi_record_get_string(record, 1);
      if (name) package->files.push_back(name);
      g_free(name);
      g_object_unref(record);
    }
  }
  GObjectRef<LibmsiQuery> conditions;
  conditions.object = libmsi_query_new(
      database.object, "SELECT `Condition`, `Description` FROM `LaunchCondition`", nullptr);
  if (conditions.object && libmsi_query_execute(conditions.object, nullptr, nullptr)) {
    while (LibmsiRecord* record = libmsi_query_fetch(conditions.object, nullptr)) {
      gchar* condition = libmsi_record_get_string(record, 1);
      gchar* message = libmsi_record_get_string(record, 2);
      package->launchConditions.emplace_back(condition ? condition : "", message ? message : "");
      g_free(condition);
      g_free(message);
      g_object_unref(record);
    }
  }
  ReadInstallTables(database.object, &package->tables);
  GObjectRef<LibmsiSummaryInfo> summary;
  summary.object = libmsi_summary_info_new(database.object, 0, nullptr);
  if (summary.object) {
    const gchar* templateText =
        libmsi_summary_info_get_string(summary.object, LIBMSI_PROPERTY_TEMPLATE, nullptr);
    const std::string text = templateText ? templateText : "";
    package->platform = text.substr(0, text.find(';'));
  }
  return true;
}

std::string Property(const Package& package, const char* name) {
  auto found = package.properties.find(name);
  return found == package.properties.end() ? std::string() : found->second;
}

// Sends one message when the filter selects its kind, as Windows Installer does.
class Messenger {
 public:
  Messenger() {
    std::lock_guard<std::mutex> hold(UiLock());
    settings_ = Ui();
  }
  void Send(uint32_t type, const std::string& text) {
    const uint32_t kindBit = 1u << ((type & kInstallMessageKindMask) >> 24);
    if (!settings_.handler || (settings_.filter & kindBit) == 0) return;
    const std::wstring wide = Utf8ToWide(text);
    settings_.handler(settings_.context, type, wide.c_str());
  }

 private:
  UiSettings settings_;
};

// The simulated machines are x86 or x64 processors: an "x64" package installs only on a 64-bit
// machine, Itanium and ARM packages nowhere.
bool PlatformSupported(const std::string& platform, bool machineIs64Bit) {
  if (platform.empty() || platform == "Intel") return true;
  if (platform == "x64" || platform == "AMD64") return machineIs64Bit;
  return false;  // Itanium, ARM and what Windows Installer does not know
}

void SendActions(Messenger& messages, const Package& package) {
  const int64_t perAction = 1000;
  const char* const actions[][2] = {{"InstallValidate", "Validating install"},
                                    {"InstallFiles", "Copying new files"},
                                    {"WriteRegistryValues", "Writing system registry values"},
                                    {"RegisterProduct", "Registering product"},
                                    {"PublishProduct", "Publishing product information"}};
  const int64_t total = perAction * static_cast<int64_t>(sizeof actions / sizeof actions[0]);
  messages.Send(kInstallMessageProgress, "1: 0 2: " + std::to_string(total) + " 3: 0 4: 0 ");
  for (const auto& action : actions) {
    messages.Send(kInstallMessageActionStart,
                  std::string("Action 12:00:00: ") + action[0] + ". " + action[1] + ".");
    const std::string name = action[0];
    if (name == "InstallFiles" && !package.files.empty()) {
      // Each file moves the bar by its share of the action.
      const int64_t step = perAction / static_cast<int64_t>(package.files.size() + 1);
      messages.Send(kInstallMessageProgress, "1: 1 2: " + std::to_string(step) + " 3: 1 ");
      for (const std::string& file : package.files)
        messages.Send(kInstallMessageActionData, "File: " + file + ",  Directory: , Size: 0");
      messages.Send(
          kInstallMessageProgress,
          "1: 2 2: " +
              std::to_string(perAction - step * static_cast<int64_t>(package.files.size())) +
              " 3: 0 4: 0 ");
    } else {
      messages.Send(kInstallMessageProgress,
                    "1: 2 2: " + std::to_string(perAction) + " 3: 0 4: 0 ");
    }
  }
}

void RecordInstalled(const Package& package, const std::wstring& path,
                     const std::wstring& commandLine) {
  const std::string code = Property(package, "ProductCode");
  const std::string version = Property(package, "ProductVersion");
  Json::Value product(Json::objectValue);
  product["productCode"] = code;
  product["upgradeCode"] = Property(package, "UpgradeCode");
  Json::Value& properties = product["properties"];
  properties["InstalledProductName"] = Property(package, "ProductName");
  properties["ProductName"] = Property(package, "ProductName");
  properties["VersionString"] = version;
  properties["Publisher"] = Property(package, "Manufacturer");
  properties["Language"] = Property(package, "ProductLanguage");
  const std::size_t firstDot = version.find('.');
  properties["VersionMajor"] = version.substr(0, firstDot);
  if (firstDot != std::string::npos) {
    const std::string rest = version.substr(firstDot + 1);
    properties["VersionMinor"] = rest.substr(0, rest.find('.'));
  }
  properties["InstallSource"] = WideToUtf8(path.substr(0, path.rfind(L'\\') + 1));

  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  sim::Machine& machine = sim::CurrentMachine();
  Json::Value& products = machine.profile["msiProducts"];
  if (!products.isArray()) products = Json::Value(Json::arrayValue);
  Json::Value kept(Json::arrayValue);
  for (const Json::Value& existing : products)
    if (!sim::EqualsNoCase(Utf8ToWide(existing.get("productCode", "").asString()),
                           Utf8ToWide(code)))
      kept.append(existing);
  kept.append(product);
  products = kept;
  Json::Value record(Json::objectValue);
  record["package"] = WideToUtf8(path);
  record["commandLine"] = WideToUtf8(commandLine);
  record["productCode"] = code;
  record["productName"] = Property(package, "ProductName");
  record["version"] = version;
  machine.installedProducts.append(record);
}

// The profile's "msiInstall": a forced result and the error message sent before it.
void ForcedOutcome(const std::string& productCode, uint32_t* result, std::string* message) {
  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  const Json::Value& rule = sim::CurrentMachine().profile["msiInstall"];
  if (!rule.isObject()) return;
  const Json::Value& only = rule["productCode"];
  if (only.isString() && !sim::EqualsNoCase(Utf8ToWide(only.asString()), Utf8ToWide(productCode)))
    return;
  if (rule["result"].isUInt()) *result = rule["result"].asUInt();
  if (rule["error"].isString()) *message = rule["error"].asString();
}

// The properties NAME=value of a command line (values in double quotes may hold blanks).
std::map<std::string, std::string> CommandLineProperties(const std::string& line) {
  std::map<std::string, std::string> properties;
  std::size_t at = 0;
  while (at < line.size()) {
    while (at < line.size() && line[at] == ' ') ++at;
    const std::size_t equals = line.find('=', at);
    if (equals == std::string::npos) break;
    const std::string name = line.substr(at, equals - at);
    std::string value;
    at = equals + 1;
    if (at < line.size() && line[at] == '"') {
      for (++at; at < line.size(); ++at) {
        if (line[at] == '"' && at + 1 < line.size() && line[at + 1] == '"') {
          value += '"';
          ++at;
        } else if (line[at] == '"') {
          ++at;
          break;
        } else {
          value += line[at];
        }
      }
    } else {
      const std::size_t end = line.find(' ', at);
      value = line.substr(at, end == std::string::npos ? std::string::npos : end - at);
      at = end == std::string::npos ? line.size() : end;
    }
    properties[name] = value;
  }
  return properties;
}

// The first launch condition that is false, with its message. Only conditions that are a
// property name, or NOT and a property name, are judged (set when the package or the command
// line gives it a value); the machine takes every other condition as true.
bool FailedLaunchCondition(const Package& package,
                           const std::map<std::string, std::string>& commandLine,
                           std::string* message) {
  for (const auto& entry : package.launchConditions) {
    std::string condition = entry.first;
    bool negated = false;
    if (condition.compare(0, 4, "NOT ") == 0) {
      negated = true;
      condition = condition.substr(4);
    }
    bool plainName = !condition.empty();
    for (char c : condition)
      plainName =
          plainName && (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.');
    if (!plainName) continue;
    const bool set = commandLine.count(condition) ? !commandLine.at(condition).empty()
                                                  : !Property(package, condition.c_str()).empty();
    if (set == negated) {
      *message = entry.second;
      return true;
    }
  }
  return false;
}

// Every folder of the path, from the drive down; a folder that cannot be made is left out
// (as Windows Installer, the installation goes on).
void MakeFolders(const std::string& folder) {
  const std::wstring path = Utf8ToWide(folder);
  for (std::size_t at = path.find(L'\\', 3); at != std::wstring::npos;
       at = path.find(L'\\', at + 1)) {
    // Most of the folders on the way exist already (ERROR_ALREADY_EXISTS).
    (void)platform::MakeDirectory(path.substr(0, at), nullptr);
  }
}

void WriteRegistryRow(const sim::MsiRegistryWrite& write) {
  std::unique_ptr<platform::IRegistryKey> key =
      platform::CreateLocalMachineKey(write.key, write.view, nullptr);
  if (!key || write.keyOnly) return;
  // A key just created is writable, and the machine is not replaced during an installation:
  // SetValue cannot fail here.
  (void)key->SetValue(write.name, write.value, nullptr);
}

// CostFinalize, CreateFolders and WriteRegistryValues: the directories resolved with the
// package's properties and the command line's, then the folders and the registry values.
void ApplyInstallTables(const Package& package,
                        const std::map<std::string, std::string>& commandLine,
                        bool machineIs64Bit) {
  sim::MsiProperties properties = package.properties;
  for (const auto& entry : commandLine) properties[entry.first] = entry.second;
  sim::ResolveDirectories(package.tables, sim::StandardFolders(machineIs64Bit), &properties);
  for (const std::string& folder : sim::FoldersToCreate(package.tables, properties))
    MakeFolders(folder);
  for (const sim::MsiRegistryWrite& write : sim::RegistryWrites(package.tables, properties))
    WriteRegistryRow(write);
}

}  // namespace

uint32_t SetInstallUiLevel(uint32_t level) {
  std::lock_guard<std::mutex> hold(UiLock());
  const uint32_t previous = Ui().level;
  Ui().level = level;
  return previous;
}

InstallMessageHandler SetInstallMessageHandler(InstallMessageHandler handler, uint32_t filter,
                                               void* context) {
  std::lock_guard<std::mutex> hold(UiLock());
  const InstallMessageHandler previous = Ui().handler;
  Ui().handler = handler;
  Ui().filter = filter;
  Ui().context = context;
  return previous;
}

uint32_t InstallProduct(const std::wstring& packagePath, const std::wstring& commandLine) {
  if (packagePath.empty()) return kErrorInstallPackageOpenFailed;
  Package package;
  if (!ReadPackage(sim::HostPath(packagePath), &package)) return kErrorInstallPackageOpenFailed;
  bool is64Bit = true;
  {
    std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
    is64Bit = sim::CurrentMachine().is64Bit;
  }
  if (!PlatformSupported(package.platform, is64Bit)) return kErrorInstallPlatformUnsupported;

  uint32_t result = 0;
  std::string errorMessage;
  if (FailedLaunchCondition(package, CommandLineProperties(WideToUtf8(commandLine)), &errorMessage))
    result = kErrorInstallFailure;
  else
    ForcedOutcome(Property(package, "ProductCode"), &result, &errorMessage);
  Messenger messages;
  messages.Send(kInstallMessageInstallStart,
                Property(package, "ProductName") + " " + Property(package, "ProductCode"));
  const bool succeeds = result == 0 || result == kErrorSuccessRebootRequired ||
                        result == kErrorSuccessRebootInitiated;
  if (succeeds) {
    SendActions(messages, package);
    ApplyInstallTables(package, CommandLineProperties(WideToUtf8(commandLine)), is64Bit);
    RecordInstalled(package, packagePath, commandLine);
  } else {
    messages.Send(kInstallMessageActionStart,
                  "Action 12:00:00: LaunchConditions. Evaluating launch conditions.");
    if (!errorMessage.empty()) messages.Send(kInstallMessageError, errorMessage);
  }
  messages.Send(kInstallMessageInstallEnd, Property(package, "ProductName") + " " +
                                               Property(package, "ProductCode") + " " +
                                               std::to_string(result));
  return result;
}

std::string SystemErrorText(uint32_t code) {
  static const std::map<uint32_t, const char*> kTexts = {
      {2, "The system cannot find the file specified."},
      {3, "The system cannot find the path specified."},
      {5, "Access is denied."},
      {87, "The parameter is incorrect."},
      {1602, "User cancelled installation."},
      {1603, "Fatal error during installation."},
      {1618,
       "Another installation is already in progress. Complete that installation before "
       "proceeding with this install."},
      {1619,
       "This installation package could not be opened. Verify that the package exists and "
       "that you can access it, or contact the application vendor to verify that this is "
       "a valid Windows Installer package."},
      {1620,
       "This installation package could not be opened. Contact the application vendor to "
       "verify that this is a valid Windows Installer package."},
      {1625,
       "This installation is forbidden by system policy. Contact your system "
       "administrator."},
      {1638,
       "Another version of this product is already installed. Installation of this "
       "version cannot continue. To configure or remove the existing version of this "
       "product, use Add/Remove Programs on the Control Panel."},
  };
  auto found = kTexts.find(code);
  return found == kTexts.end() ? std::string() : std::string(found->second) + "\r\n";
}

}  // namespace platform
}  // namespace orvex
