#include <gtest/gtest.h>
#include "tests/test_support.h"
TEST(Smoke, Parses) { EXPECT_TRUE(orvex::test::J("{}").isObject()); }
