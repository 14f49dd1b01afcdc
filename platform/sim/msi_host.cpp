// Windows Installer of the simulated machine: the profile's "msiProducts", in their order.
// Codes are GUID texts; a malformed one is refused as msi.dll refuses it.
#include "platform/msi.h"

#include <cwctype>

#include "base/text.h"
#include "platform/sim/machine_internal.h"
#include "platform/win_codes.h"

namespace orvex {
namespace platform {
namespace {

// Properties MsiGetProductInfoW knows: one of these that the product lacks reads as "".
const wchar_t* const kKnownProperties[] = {L"InstalledProductName",
                                           L"VersionString",
                                           L"HelpLink",
                                           L"HelpTelephone",
                                           L"InstallLocation",
                                           L"InstallSource",
                                           L"InstallDate",
                                           L"Publisher",
                                           L"LocalPackage",
                                           L"URLInfoAbout",
                                           L"URLUpdateInfo",
                                           L"VersionMinor",
                                           L"VersionMajor",
                                           L"ProductID",
                                           L"RegCompany",
                                           L"RegOwner",
                                           L"Language",
                                           L"Version",
                                           L"ProductName",
                                           L"PackageName",
                                           L"Transforms",
                                           L"AssignmentType",
                                           L"PackageCode",
                                           L"ProductIcon",
                                           L"InstanceType",
                                           L"AuthorizedLUAApp",
                                           L"Uninstallable",
                                           L"ProductState"};

// {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
bool IsGuidText(const std::wstring& text) {
  if (text.size() != 38 || text.front() != L'{' || text.back() != L'}') return false;
  for (std::size_t i = 1; i < 37; ++i) {
    const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    if (dash ? text[i] != L'-' : !std::iswxdigit(text[i])) return false;
  }
  return true;
}

const Json::Value& Products() { return sim::CurrentMachine().profile["msiProducts"]; }

}  // namespace

bool EnumInstalledProducts(uint32_t index, std::wstring* productCode, uint32_t* error) {
  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  const Json::Value& products = Products();
  if (!products.isArray() || index >= products.size()) {
    return ReportError(kErrorNoMoreItems, error);
  }
  if (productCode) *productCode = Utf8ToWide(products[index]["productCode"].asString());
  return true;
}

bool GetInstalledProductInfo(const std::wstring& productCode, const std::wstring& property,
                             uint32_t bufferChars, std::wstring* value, uint32_t* error) {
  if (!IsGuidText(productCode) || property.empty()) {
    return ReportError(kErrorInvalidParameter, error);
  }
  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  for (const Json::Value& product : Products()) {
    if (!sim::EqualsNoCase(Utf8ToWide(product["productCode"].asString()), productCode)) continue;
    const Json::Value& properties = product["properties"];
    std::wstring text;
    // Property names are case-sensitive in Windows Installer.
    if (properties.isMember(WideToUtf8(property)) && properties[WideToUtf8(property)].isString()) {
      text = Utf8ToWide(properties[WideToUtf8(property)].asString());
    } else {
      bool known = false;
      for (const wchar_t* name : kKnownProperties) known = known || property == name;
      if (!known) return ReportError(kErrorUnknownProperty, error);
    }
    // The value and its terminating zero must fit the buffer.
    if (text.size() + 1 > bufferChars) return ReportError(kErrorMoreData, error);
    if (value) *value = text;
    return true;
  }
  return ReportError(kErrorUnknownProduct, error);
}

bool EnumRelatedProducts(const std::wstring& upgradeCode, uint32_t index, std::wstring* productCode,
                         uint32_t* error) {
  if (!IsGuidText(upgradeCode)) return ReportError(kErrorInvalidParameter, error);
  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  uint32_t seen = 0;
  for (const Json::Value& product : Products()) {
    if (!sim::EqualsNoCase(Utf8ToWide(product.get("upgradeCode", "").asString()), upgradeCode))
      continue;
    if (seen++ == index) {
      if (productCode) *productCode = Utf8ToWide(product["productCode"].asString());
      return true;
    }
  }
  return ReportError(kErrorNoMoreItems, error);
}

}  // namespace platform
}  // namespace orvex
