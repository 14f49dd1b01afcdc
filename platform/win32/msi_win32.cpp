// Installed products through msi.dll. Product and upgrade codes are GUID texts of 38
// characters; the buffers hold 39 with the terminating zero.
#include "platform/msi.h"

#include <windows.h>
#include <msi.h>

#include <vector>

#include "platform/win_codes.h"

namespace orvex {
namespace platform {
namespace {

constexpr DWORD kGuidBufferChars = 39;

}  // namespace

bool EnumInstalledProducts(uint32_t index, std::wstring* productCode, uint32_t* error) {
  wchar_t code[kGuidBufferChars] = {};
  UINT result = MsiEnumProductsW(index, code);
  if (result != ERROR_SUCCESS) return ReportError(result, error);
  if (productCode) *productCode = code;
  return true;
}

bool GetInstalledProductInfo(const std::wstring& productCode, const std::wstring& property,
                             uint32_t bufferChars, std::wstring* value, uint32_t* error) {
  std::vector<wchar_t> buffer(bufferChars + 1, L'\0');
  DWORD length = bufferChars;
  UINT result = MsiGetProductInfoW(productCode.c_str(), property.c_str(), buffer.data(), &length);
  if (result != ERROR_SUCCESS) return ReportError(result, error);
  if (value) value->assign(buffer.data(), length);
  return true;
}

bool EnumRelatedProducts(const std::wstring& upgradeCode, uint32_t index, std::wstring* productCode,
                         uint32_t* error) {
  wchar_t code[kGuidBufferChars] = {};
  UINT result = MsiEnumRelatedProductsW(upgradeCode.c_str(), 0, index, code);
  if (result != ERROR_SUCCESS) return ReportError(result, error);
  if (productCode) *productCode = code;
  return true;
}

}  // namespace platform
}  // namespace orvex
