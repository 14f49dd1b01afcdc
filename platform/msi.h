#pragma once
// Windows Installer (msi.dll): the installed products. Results are Windows Installer codes:
// 0 for success, ERROR_NO_MORE_ITEMS (259) at the end of an enumeration, others passed through.

#include <cstdint>
#include <string>

namespace orvex {
namespace platform {

// MsiEnumProductsW(index, productCode).
uint32_t EnumInstalledProducts(uint32_t index, std::wstring* productCode);

// MsiGetProductInfoW(productCode, property, buffer of bufferChars characters).
uint32_t GetInstalledProductInfo(const std::wstring& productCode, const std::wstring& property,
                           uint32_t bufferChars, std::wstring* value);

// MsiEnumRelatedProductsW(upgradeCode, 0, index, productCode).
uint32_t EnumRelatedProducts(const std::wstring& upgradeCode, uint32_t index,
                                std::wstring* productCode);

}  // namespace platform
}  // namespace orvex
