// "GetProductInfo": finds an installed product by its exact name among the Windows Installer
// products and stores its name, publisher and version numbers.
#include "probes/product_info_module.h"

#include "base/json_text.h"
#include "platform/msi.h"
#include "platform/win_codes.h"
#include "probes/info_layouts.h"
#include "probes/product_lookup.h"

namespace orvex {

namespace {

ProductProperties ReadProduct(const std::wstring& productCode, std::string name) {
  ProductProperties product;
  product.name = std::move(name);
  product.publisher = ReadProductProperty(productCode, L"Publisher");
  product.versionMajor = ReadProductProperty(productCode, L"VersionMajor");
  product.versionMinor = ReadProductProperty(productCode, L"VersionMinor");
  product.versionString = ReadProductProperty(productCode, L"VersionString");
  return product;
}

}  // namespace

int CGetProductInfo::Execute(Json::Value& doc) {
  if (!CheckSaveTo(doc, false)) return -1;
  const Json::Value& wanted = Member(args, "product");
  if (wanted.isNull()) {
    RecordResult(doc, "fatal", "Product name not specified", "");
    return -1;
  }
  // Null until the product is found.
  Json::Value* target = Target(doc, ".product", Json::Value());
  if (!target) return -1;
  *target = Json::Value();
  const std::string productName = JsonText(wanted);
  for (uint32_t index = 0;; ++index) {
    std::wstring productCode;
    uint32_t error = 0;
    if (!platform::EnumInstalledProducts(index, &productCode, &error)) {
      Record(doc)["error"] = error == platform::kErrorNoMoreItems
                                 ? "Product not installed"
                                 : "Unknow error in getting product information";
      return 0;
    }
    const std::string name = ReadProductProperty(productCode, L"InstalledProductName");
    if (name == productName) {
      *target = ProductLayout(ReadProduct(productCode, name));
      return 0;
    }
  }
}

}  // namespace orvex
