// The DumpState module: shows the whole session document on the detail line.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/module.h"
#include "engine/stage.h"
#include "tests/support/test_support.h"

// The state dump is defined as Json::StyledWriter's layout.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace orvex {
namespace {

using test::J;
using test::RecordingIndicator;

class DumpStateTest : public ::testing::Test {
 protected:
  std::unique_ptr<IModule> Make(const char* className, const char* args) {
    return test::MakeRegisteredModule(className, args, stage);
  }
  CStage stage{"S"};
};

TEST_F(DumpStateTest, ShowsTheStyledDocumentAndChangesNothing) {
  const Json::Value original = J(R"({
      "env": {"ui": "dialog", "PROGRESS": "PIDialog", "n": 3},
      "S": {"status": {"progress": "started"}, "M": {"status": "failed", "reason": "a \"b\""}},
      "Config": {"ram": 8192, "empty": {}, "none": [],
                 "list": [1, 2.5, true, null, "some quite long text to pass the margin"]}})");
  auto module = Make("DumpState", "null");
  ASSERT_NE(nullptr, module);
  RecordingIndicator indicator;
  module->SetProgressIndicator(&indicator);

  Json::Value doc = original;
  EXPECT_EQ(0, module->Execute(doc));
  EXPECT_EQ(original, doc);
  Json::StyledWriter writer;
  EXPECT_EQ(std::vector<std::string>({"detail:" + writer.write(original)}), indicator.calls);

  // The layout: three-space indentation, short arrays on one line.
  indicator.calls.clear();
  Json::Value small = J(R"({"a": [1, 2], "b": {"c": "x"}})");
  EXPECT_EQ(0, module->Execute(small));
  EXPECT_EQ(std::vector<std::string>(
                {"detail:{\n   \"a\" : [ 1, 2 ],\n   \"b\" : {\n      \"c\" : \"x\"\n   }\n}\n"}),
            indicator.calls);
}

TEST_F(DumpStateTest, WithoutIndicatorSucceedsQuietly) {
  auto module = Make("DumpState", "null");
  ASSERT_NE(nullptr, module);
  Json::Value doc = J(R"({"a": 1})");
  EXPECT_EQ(0, module->Execute(doc));
  EXPECT_EQ(J(R"({"a": 1})"), doc);
}

}  // namespace
}  // namespace orvex
