#include "actions/msi_installer.h"

#include "base/json_text.h"
#include "base/text.h"
#include "common/restart_flag.h"
#include "common/run_flags.h"
#include "common/session_cells.h"
#include "engine/progress.h"
#include "engine/value_path.h"
#include "platform/msi_install.h"

namespace orvex {

namespace {

const char kPlatformUnsupportedText[] =
    "Your are installing 64-bit version of Orvex.Please install the 32-bit version of Orvex";

// Keeps the main window's Cancel button disabled for as long as it lives.
class CancelDisabled {
 public:
  CancelDisabled() { EnableMainDialogCancel(false); }
  ~CancelDisabled() { EnableMainDialogCancel(true); }
  CancelDisabled(const CancelDisabled&) = delete;
  CancelDisabled& operator=(const CancelDisabled&) = delete;
};

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A text in double quotes whose inner quotes all come doubled.
bool IsQuotedText(const std::string& value) {
  if (value.size() < 2 || value.front() != '"' || value.back() != '"') return false;
  for (std::size_t at = 1; at + 1 < value.size(); ++at) {
    if (value[at] != '"') continue;
    if (at + 2 >= value.size() || value[at + 1] != '"') return false;
    ++at;
  }
  return true;
}

std::string PropertyValue(const Json::Value& value) {
  switch (value.type()) {
    case Json::intValue:
      return std::to_string(value.asLargestInt());
    case Json::uintValue:
      return std::to_string(value.asLargestUInt());
    case Json::stringValue:
      return value.asString();
    case Json::booleanValue:
      return value.asBool() ? "1" : "0";
    default:
      return std::string();
  }
}

bool ShowProgressArg(const Json::Value& value) {
  if (value.isNull()) return true;
  if (value.isBool()) return value.asBool();
  return JsonTruth(value);
}

// The package path as the document and the indicator hold texts: UTF-8.
std::string NarrowPath(const std::wstring& path) { return WideToUtf8(path); }

// Windows Installer reads its command line as a C string up to the first NUL, and line
// breaks and other control characters have no meaning in a property: a value holding one
// would reach the package as something else than what was written.
bool HasControlCharacter(const std::string& value) {
  for (unsigned char c : value)
    if (c < 0x20 || c == 0x7F) return true;
  return false;
}

}  // namespace

bool IsMsiPropertyName(const std::string& name) {
  if (name.empty() || !(IsLetter(name[0]) || name[0] == '_')) return false;
  for (char c : name)
    if (!(IsLetter(c) || IsDigit(c) || c == '_' || c == '.')) return false;
  return true;
}

std::string QuoteMsiPropertyValue(const std::string& value) {
  bool needsQuotes = false;
  for (unsigned char c : value) needsQuotes = needsQuotes || c <= ' ' || c == '"' || c == 0x7F;
  if (!needsQuotes || IsQuotedText(value)) return value;
  std::string quoted = "\"";
  for (char c : value) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::vector<MsiProperty> MsiPropertiesFromArgs(const Json::Value& msiArgs) {
  std::vector<MsiProperty> properties;
  if (!msiArgs.isObject()) return properties;
  for (const std::string& name : msiArgs.getMemberNames()) {
    if (!IsMsiPropertyName(name)) continue;
    const std::string value = PropertyValue(msiArgs[name]);
    if (value.empty() || HasControlCharacter(value)) continue;
    properties.emplace_back(name, QuoteMsiPropertyValue(value));
  }
  return properties;
}

int CMSIInstaller::Execute(Json::Value& doc) {
  CancelDisabled cancelDisabled;
  WaitWhilePromptActive();
  if (g_cancelRequested) {
    Record(doc)["error"] = "USER_CANCELED";
    return -1;
  }
  return Run(doc);
}

int CMSIInstaller::Run(Json::Value& doc) {
  const std::wstring directory = Utf8ToWide(ResolveStringArg(Member(args, "directory"), doc));
  const std::wstring name = Utf8ToWide(ResolveStringArg(Member(args, "name"), doc));
  const std::wstring path = directory + L"\\" + name;
  // An empty directory or name would install from the drive root or the directory itself.
  if (directory.empty() || name.empty()) {
    Record(doc)["error"] = directory.empty() ? "DIRECTORY_PATH_NULL" : "MSI_NAME_NULL";
    return Fail(doc, path);
  }
  const Json::Value& msiArgsArg = Member(args, "msi_args");
  const Json::Value& msiArgs =
      msiArgsArg.isString() ? FindPath(doc, msiArgsArg.asString()) : msiArgsArg;
  showProgress_ = ShowProgressArg(Member(args, "show_progress"));
  const std::vector<MsiProperty> properties = MsiPropertiesFromArgs(msiArgs);
  const Json::Value& msg = Member(args, "msg");
  const std::string status = msg.isString() ? msg.asString() : "Installing ...";
  if (progress) {
    progress->SetStatus(status);
    if (showProgress_)
      progress->ShowProgressBar();
    else
      progress->HideProgressBar();
    progress->SetDetail("Installing from " + NarrowPath(path) + "with args ");
    for (const MsiProperty& property : properties)
      progress->SetDetail(property.first + ":" + property.second);
  }
  doc_ = &doc;
  const uint32_t result = Install(doc, path, properties);
  doc_ = nullptr;
  if (result == platform::kErrorSuccessRebootRequired ||
      result == platform::kErrorSuccessRebootInitiated) {
    if (Json::Value* restart = MakePath(doc, kRestartFlagPath)) *restart = true;
    return 0;
  }
  if (result == 0) return 0;
  return Fail(doc, path);
}

int CMSIInstaller::Fail(Json::Value& doc, const std::wstring& path) {
  Json::Value& record = Record(doc);
  record["status"] = "failed";
  record["reason"] = "Unable to install " + NarrowPath(path);
  if (progress)
    progress->Prompt("Could not install Orvex-m.", "Ok", "", record["error"].asString(), 2);
  return -1;
}

uint32_t CMSIInstaller::Install(Json::Value& doc, const std::wstring& path,
                                const std::vector<MsiProperty>& properties) {
  Record(doc)["error"] = "";
  CMsiPackage package(path, properties, this);
  const uint32_t result = package.Install();
  const bool succeeded = result == 0 || result == platform::kErrorSuccessRebootRequired ||
                         result == platform::kErrorSuccessRebootInitiated;
  Json::Value& error = Record(doc)["error"];
  if (!succeeded && error.isString() && error.asString().empty()) {
    error = result == platform::kErrorInstallPlatformUnsupported
                ? std::string(kPlatformUnsupportedText)
                : platform::SystemErrorText(result);
  }
  return result;
}

void CMSIInstaller::OnInstallStart(const std::string&) {
  if (!progress) return;
  if (showProgress_) {
    progress->ShowProgressBar();
    progress->SetProgress(0);
  }
  progress->SetStatus("Installation started...");
}

void CMSIInstaller::OnInstallEnd(const std::string&) {
  if (!progress) return;
  if (showProgress_) {
    progress->HideProgressBar();
    progress->SetProgress(100);
  }
  progress->SetStatus("Installation completed.");
}

void CMSIInstaller::OnActionStart(const std::string& action) {
  if (progress) progress->SetStatus(action);
}

void CMSIInstaller::OnProgress(int percent) {
  if (progress && showProgress_) progress->SetProgress(percent);
}

void CMSIInstaller::OnFatalExit(const std::string& text) {
  if (doc_) Record(*doc_)["error"] = text;
}

void CMSIInstaller::OnError(const std::string& text) { OnFatalExit(text); }

void CMSIInstaller::OnWarning(const std::string&) {}

}  // namespace orvex
