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
  const uint32_t enumerated = platform::EnumRelatedProducts(upgradeCode, 0, &productCode);
  if (enumerated == platform::kErrorNoMoreItems) return kNoRelatedOrvex;
  if (enumerated != 0) return enumerated;
  std::wstring name;
  const uint32_t read = platform::GetInstalledProductInfo(productCode, L"InstalledProductName",
                                                          kProductInfoChars, &name);
  if (read != 0) return read;
  return name == L"Orvex" ? kRelatedProductIsOrvex : kNoRelatedOrvex;
}

std::string ReadProductProperty(const std::wstring& productCode, const std::wstring& property) {
  std::wstring value;
  if (platform::GetInstalledProductInfo(productCode, property, kProductInfoChars, &value) != 0)
    return std::string();
  return ToNarrow(value);
}

}  // namespace orvex
