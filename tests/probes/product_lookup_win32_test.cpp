// The installer's product lookups (FindRelatedProduct and the "GetProductInfo" module) against
// the test package installed into the Wine prefix.
#include "probes/product_lookup.h"

#include <gtest/gtest.h>

#include <memory>

#include "engine/module_registry.h"
#include "tests/support/msi_fixture.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

using test::Compact;
using test::J;

class Win32ProductLookup : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { installResult_ = test::InstallFixturePackage(); }
  static void TearDownTestSuite() {
    if (installResult_ != ERROR_SUCCESS) return;
    EXPECT_EQ(test::RemoveFixturePackage(), ERROR_SUCCESS);
    EXPECT_EQ(FindRelatedProduct(test::kFixtureUpgradeCode), kNoRelatedOrvex);
  }
  void SetUp() override { ASSERT_EQ(installResult_, ERROR_SUCCESS); }

  // Runs "GetProductInfo", created as a configuration names it, on a fresh document.
  static Json::Value RunGetProductInfo(const Json::Value& args, int* result) {
    std::unique_ptr<IModule> module(CreateModuleByClass("GetProductInfo"));
    EXPECT_NE(module, nullptr);
    Json::Value doc(Json::objectValue);
    if (!module) return doc;
    module->SetName("product");
    module->SetArgs(args);
    *result = module->Execute(doc);
    return doc;
  }

  static UINT installResult_;
};
UINT Win32ProductLookup::installResult_ = ERROR_INSTALL_FAILURE;

TEST_F(Win32ProductLookup, RelatedProductByUpgradeCode) {
  EXPECT_EQ(FindRelatedProduct(test::kFixtureUpgradeCode), kRelatedProductIsOrvex);
  EXPECT_EQ(FindRelatedProduct(L"{11111111-2222-3333-4444-555555555555}"), kNoRelatedOrvex);
}

TEST_F(Win32ProductLookup, GetProductInfoWritesTheInstalledProduct) {
  int result = -1;
  Json::Value doc = RunGetProductInfo(J(R"({"saveTo": ".Config", "product": "Orvex"})"), &result);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(Compact(doc["Config"]["product"]),
            Compact(J(R"({"name": "Orvex", "manufacturer": "Quarn", "major_version": 2,
                          "minor_version": 0, "version": "2.0.6.8063", "sub_minor_version": 6,
                          "build": 8063})")));
}

TEST_F(Win32ProductLookup, GetProductInfoOfAProductNotInstalled) {
  // The name is compared exactly: the installed "Orvex" is not "orvex".
  for (const char* name : {"Orvex Plus", "orvex"}) {
    SCOPED_TRACE(name);
    int result = -1;
    Json::Value args = J(R"({"saveTo": ".Config"})");
    args["product"] = name;
    Json::Value doc = RunGetProductInfo(args, &result);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(doc["Config"].isMember("product"));
    EXPECT_TRUE(doc["Config"]["product"].isNull());
    EXPECT_EQ(doc[""]["product"]["error"].asString(), "Product not installed");
  }
}

}  // namespace
}  // namespace orvex
