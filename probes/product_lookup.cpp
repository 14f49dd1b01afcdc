#include "probes/product_lookup.h"

#include "base/text.h"
#include "platform/msi.h"
#include "platform/win_codes.h"

namespace orvex {

namespace {
constexpr uint32_t kProductInfoChars = 512;
}  // namespace

uint32_t FindRelatedProduct(const std::wstring& upgradeCode) {
  std::wstring productCode;
  uint32_t error = 0;
  if (!platform::EnumRelatedProducts(upgradeCode, 0, &productCode, &error)) {
    return error == platform::kErrorNoMoreItems ? kNoRelatedOrvex : error;
  }
  std::wstring name;
  if (!platform::GetInstalledProductInfo(productCode, L"InstalledProductName", kProductInfoChars,
                                         &name, &error)) {
    return error;
  }
  return name == L"Orvex" ? kRelatedProductIsOrvex : kNoRelatedOrvex;
}

std::string ReadProductProperty(const std::wstring& productCode, const std::wstring& property) {
  std::wstring value;
  if (!platform::GetInstalledProductInfo(productCode, property, kProductInfoChars, &value,
                                         nullptr)) {
    return std::string();
  }
  return ToNarrow(value);
}

}  // namespace orvex
