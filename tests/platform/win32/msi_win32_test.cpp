// Windows Installer product enumeration and information against a package installed into the
// Wine prefix by the suite.
#include "platform/msi.h"

#include <gtest/gtest.h>

#include "platform/win_codes.h"
#include "tests/support/msi_fixture.h"

namespace orvex {
namespace platform {
namespace {

using test::kFixtureProductCode;
using test::kFixtureUpgradeCode;

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

class Win32Msi : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { installResult_ = test::InstallFixturePackage(); }
  static void TearDownTestSuite() {
    if (installResult_ != ERROR_SUCCESS) return;
    EXPECT_EQ(test::RemoveFixturePackage(), ERROR_SUCCESS);
    // Gone from the lookups once removed.
    std::wstring code;
    uint32_t error = kErrorSuccess;
    EXPECT_FALSE(EnumRelatedProducts(kFixtureUpgradeCode, 0, &code, &error));
    EXPECT_EQ(error, kErrorNoMoreItems);
    std::wstring name;
    EXPECT_FALSE(
        GetInstalledProductInfo(kFixtureProductCode, L"InstalledProductName", 512, &name, &error));
    EXPECT_EQ(error, kErrorUnknownProduct);
  }
  void SetUp() override {
    ASSERT_EQ(installResult_, ERROR_SUCCESS)
        << "installing " << Narrow(test::FixturePackagePath()) << " failed";
  }
  static UINT installResult_;
};
UINT Win32Msi::installResult_ = ERROR_INSTALL_FAILURE;

TEST_F(Win32Msi, EnumerationFindsTheInstalledPackage) {
  bool found = false;
  std::wstring code;
  uint32_t index = 0, error = kErrorSuccess;
  while (EnumInstalledProducts(index, &code, &error)) {
    EXPECT_EQ(code.size(), 38u) << Narrow(code);
    if (code == kFixtureProductCode) found = true;
    ++index;
  }
  EXPECT_EQ(error, kErrorNoMoreItems);
  EXPECT_TRUE(found);
}

TEST_F(Win32Msi, ProductInformation) {
  struct Case {
    const wchar_t* property;
    uint32_t bufferChars;
    uint32_t result;
    std::wstring value;  // expected when the result is 0
  } const cases[] = {
      {L"InstalledProductName", 512, kErrorSuccess, test::kFixtureName},
      {L"VersionString", 512, kErrorSuccess, test::kFixtureVersion},
      {L"Publisher", 512, kErrorSuccess, test::kFixtureManufacturer},
      // "Orvex" needs six characters with its terminating zero.
      {L"InstalledProductName", 6, kErrorSuccess, test::kFixtureName},
      {L"InstalledProductName", 5, kErrorMoreData, L""},
      {L"InstalledProductName", 1, kErrorMoreData, L""},
      {L"NoSuchProperty", 512, kErrorUnknownProperty, L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.property) + " in " + std::to_string(c.bufferChars));
    std::wstring value = L"unchanged";
    uint32_t error = kErrorSuccess;
    EXPECT_EQ(
        GetInstalledProductInfo(kFixtureProductCode, c.property, c.bufferChars, &value, &error),
        c.result == kErrorSuccess);
    EXPECT_EQ(error, c.result);
    EXPECT_EQ(Narrow(value), Narrow(c.result == kErrorSuccess ? c.value : L"unchanged"));
  }
  std::wstring value;
  uint32_t error = kErrorSuccess;
  EXPECT_FALSE(GetInstalledProductInfo(L"{00000000-0000-0000-0000-000000000001}",
                                       L"InstalledProductName", 512, &value, &error));
  EXPECT_EQ(error, kErrorUnknownProduct);
}

TEST_F(Win32Msi, RelatedProductsByUpgradeCode) {
  std::wstring code;
  ASSERT_TRUE(EnumRelatedProducts(kFixtureUpgradeCode, 0, &code, nullptr));
  EXPECT_EQ(code, kFixtureProductCode);
  uint32_t error = kErrorSuccess;
  EXPECT_FALSE(EnumRelatedProducts(kFixtureUpgradeCode, 1, &code, &error));
  EXPECT_EQ(error, kErrorNoMoreItems);
  error = kErrorSuccess;
  EXPECT_FALSE(EnumRelatedProducts(L"{11111111-2222-3333-4444-555555555555}", 0, &code, &error));
  EXPECT_EQ(error, kErrorNoMoreItems);
}

}  // namespace
}  // namespace platform
}  // namespace orvex
