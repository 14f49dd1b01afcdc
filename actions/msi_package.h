#pragma once
// CMsiPackage: one silent installation of a Windows Installer package, whose messages an
// external handler turns into status texts and a progress percentage for an IMSIHandler.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace orvex {

// What an installation tells its owner, in the installer's own words (texts in UTF-8).
class IMSIHandler {
 public:
  virtual ~IMSIHandler() = default;
  virtual void OnInstallStart(const std::string& text) = 0;
  virtual void OnInstallEnd(const std::string& text) = 0;
  virtual void OnActionStart(const std::string& action) = 0;
  virtual void OnProgress(int percent) = 0;
  virtual void OnFatalExit(const std::string& text) = 0;
  virtual void OnError(const std::string& text) = 0;
  virtual void OnWarning(const std::string& text) = 0;
};

// The fields of a progress message "1: t 2: n 3: n 4: n".
struct ProgressFields {
  int type = 0;
  int field2 = 0;
  int field3 = 0;
  int field4 = 0;
};

// Parses a progress text. Field 1 must be one digit; fields 2 to 4 are decimal integers read
// like _wtol. Parsing ends with success after field 2 for types 2 and 3, after field 3 for
// type 1, after field 4, or at the end of the text; an empty text, a field out of order or a
// field number other than 1 to 4 fails. Fields not given are 0.
bool ParseProgressText(const std::string& text, ProgressFields* fields);

// position * 100 / total, truncated and kept within 0..100 (a position past the total, or a
// negative one, does not wrap). 0 when the total is not positive.
int ProgressPercent(int64_t position, int64_t total);

// A property name and its value, UTF-8 (the command line is decoded as UTF-8).
using MsiProperty = std::pair<std::string, std::string>;

// " NAME=value" for each property in order.
std::string MsiCommandLine(const std::vector<MsiProperty>& properties);

class CMsiPackage {
 public:
  // The message kinds the installation asks for: fatal exit, error, warning, user, info,
  // resolve source, out of disk space, action start, action data, progress, common data,
  // initialize, terminate, install start and install end.
  static constexpr uint32_t kMessageFilter = 0x0C003FDFu;
  // No user interface of Windows Installer's own, except for resolving the source.
  static constexpr uint32_t kUiLevel = 0x102u;

  CMsiPackage(std::wstring path, std::vector<MsiProperty> properties, IMSIHandler* handler);

  // Installs the package silently with this package as the message handler's context; the
  // previous user-interface level and handler are set again afterwards. The Windows Installer
  // result.
  uint32_t Install();

  // The external handler's work for one message: 1 (IDOK), or 0 for a message without text.
  int HandleMessage(uint32_t type, const wchar_t* text);

 private:
  void OnProgressText(const std::string& text);
  void ReportPercent();

  std::wstring path_;
  std::vector<MsiProperty> properties_;
  IMSIHandler* handler_;
  int64_t total_ = 0;
  int64_t position_ = 0;
  int step_ = 0;
  ProgressFields fields_;
};

}  // namespace orvex
