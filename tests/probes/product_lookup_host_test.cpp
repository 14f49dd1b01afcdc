// The related product by upgrade code on a simulated machine.

#include "probes/product_lookup.h"

#include <gtest/gtest.h>

#include "platform/sim/machine.h"
#include "tests/support/probes_machines.h"

namespace orvex {
namespace {

using test::J;

TEST(ProbesProductLookup, RelatedProductByUpgradeCode) {
  sim::ScopedMachine machine(J(R"({"name": "products", "msiProducts": [
      {"productCode": "{11111111-1111-1111-1111-111111111111}",
       "upgradeCode": "{AAAAAAAA-AAAA-AAAA-AAAA-AAAAAAAAAAAA}",
       "properties": {"InstalledProductName": "Orvex"}},
      {"productCode": "{22222222-2222-2222-2222-222222222222}",
       "upgradeCode": "{BBBBBBBB-BBBB-BBBB-BBBB-BBBBBBBBBBBB}",
       "properties": {"InstalledProductName": "orvex"}}]})"));
  EXPECT_EQ(16u, FindRelatedProduct(L"{AAAAAAAA-AAAA-AAAA-AAAA-AAAAAAAAAAAA}"));
  EXPECT_EQ(17u, FindRelatedProduct(L"{BBBBBBBB-BBBB-BBBB-BBBB-BBBBBBBBBBBB}"));
  EXPECT_EQ(17u, FindRelatedProduct(L"{CCCCCCCC-CCCC-CCCC-CCCC-CCCCCCCCCCCC}"));
}

}  // namespace
}  // namespace orvex
