#pragma once
// Whether the product is installed, by its upgrade code.

#include <cstdint>
#include <string>

namespace orvex {

constexpr uint32_t kRelatedProductIsOrvex = 16;
constexpr uint32_t kNoRelatedOrvex = 17;

// Looks at the first product related to the upgrade code: 16 when its name is exactly
// "Orvex", 17 when it has another name or there is none; any other Windows Installer error
// is passed through.
uint32_t FindRelatedProduct(const std::wstring& upgradeCode);

// The property's text in UTF-8, "" when it cannot be read.
std::string ReadProductProperty(const std::wstring& productCode, const std::wstring& property);

}  // namespace orvex
