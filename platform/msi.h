#pragma once
// Windows Installer (msi.dll): the installed products. A call that fails answers false with
// the Windows Installer result in *error (when error is not null): ERROR_NO_MORE_ITEMS (259)
// at the end of an enumeration, others as msi.dll gives them.

#include <cstdint>
#include <string>

namespace orvex {
namespace platform {

// MsiEnumProductsW(index, productCode).
[[nodiscard]] bool EnumInstalledProducts(uint32_t index, std::wstring* productCode,
                                         uint32_t* error);

// MsiGetProductInfoW(productCode, property, buffer of bufferChars characters).
[[nodiscard]] bool GetInstalledProductInfo(const std::wstring& productCode,
                                           const std::wstring& property, uint32_t bufferChars,
                                           std::wstring* value, uint32_t* error);

// MsiEnumRelatedProductsW(upgradeCode, 0, index, productCode).
[[nodiscard]] bool EnumRelatedProducts(const std::wstring& upgradeCode, uint32_t index,
                                       std::wstring* productCode, uint32_t* error);

}  // namespace platform
}  // namespace orvex
