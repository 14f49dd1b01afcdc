// The Injector module: stores a value or a copy of a node at a value path, and refuses paths
// that would overwrite the document root or the records the running stage keeps writing into.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/module.h"
#include "engine/stage.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

using test::Compact;
using test::J;

class InjectorTest : public ::testing::Test {
 protected:
  std::unique_ptr<IModule> Make(const char* className, const char* args) {
    return test::MakeRegisteredModule(className, args, stage);
  }
  CStage stage{"S"};
};

TEST_F(InjectorTest, StoresValuesAndCopies) {
  const char* const facts = R"({"InstallConfig": {"system": {"cpus": 4}}})";
  struct Case {
    const char* args;
    const char* doc;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {R"({"path": ".x", "value": "abc"})", facts,
       R"({"InstallConfig": {"system": {"cpus": 4}}, "x": "abc"})"},
      {R"({"path": ".x", "value": ".InstallConfig.system.cpus"})", facts,
       R"({"InstallConfig": {"system": {"cpus": 4}}, "x": 4})"},
      {R"({"path": ".x.y", "value": ".InstallConfig"})", facts,
       R"({"InstallConfig": {"system": {"cpus": 4}}, "x": {"y": {"system": {"cpus": 4}}}})"},
      // A source that does not exist stores null and is not created.
      {R"({"path": ".x", "value": ".InstallConfig.gpu.vendor"})", facts,
       R"({"InstallConfig": {"system": {"cpus": 4}}, "x": null})"},
      {R"({"path": ".InstallConfig.system"})", facts, R"({"InstallConfig": {"system": null}})"},
      {R"({"path": ".x", "value": ""})", "null", R"({"x": ""})"},
      {R"({"path": ".x", "value": "C:\\dir"})", "null", R"({"x": "C:\\dir"})"},
      {R"({"path": ".x", "value": 0})", "null", R"({"x": 0})"},
      {R"({"path": ".x", "value": false})", "null", R"({"x": false})"},
      {R"({"path": ".x", "value": [".InstallConfig"]})", "null", R"({"x": [".InstallConfig"]})"},
      {R"({"path": ".x", "value": {"k": ".a"}})", "null", R"({"x": {"k": ".a"}})"},
      {R"({"path": ".list[2]", "value": 1})", "null", R"({"list": [null, null, 1]})"},
      {R"({"path": "x.y", "value": 1})", "null", R"({"x": {"y": 1}})"},
      // Source and target overlapping in every way.
      {R"({"path": ".a.b", "value": ".a.b"})", R"({"a": {"b": [1, 2]}})",
       R"({"a": {"b": [1, 2]}})"},
      {R"({"path": ".a.b", "value": ".a.b"})", "{}", R"({"a": {"b": null}})"},
      {R"({"path": ".a", "value": ".a.b"})", R"({"a": {"b": {"c": 1}, "d": 2}})",
       R"({"a": {"c": 1}})"},
      {R"({"path": ".a.self", "value": ".a"})", R"({"a": {"k": 1}})",
       R"({"a": {"k": 1, "self": {"k": 1, "self": null}}})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.args) + " on " + c.doc);
    auto module = Make("Injector", c.args);
    ASSERT_NE(nullptr, module);
    Json::Value doc = J(c.doc);
    EXPECT_EQ(0, module->Execute(doc));
    EXPECT_EQ(Compact(J(c.expected)), Compact(doc));
  }
}

TEST_F(InjectorTest, PathThatIsNotAStringIsFatal) {
  for (const char* args : {R"({"path": 5})", R"({"path": null, "value": 1})", R"({"value": 1})",
                           R"({"path": {"p": ".x"}})", R"({"path": [".x"]})", "null"}) {
    SCOPED_TRACE(args);
    auto module = Make("Injector", args);
    ASSERT_NE(nullptr, module);
    Json::Value doc = J(R"({"keep": 1})");
    EXPECT_EQ(-1, module->Execute(doc));
    EXPECT_EQ(J(R"({"keep": 1, "S": {"M": {"status": "fatal",
                   "reason": "The path string is null or not a string"}}})"),
              doc);
  }
}

TEST_F(InjectorTest, PathThroughAScalarFailsAndChangesNothingElse) {
  for (const char* path : {".s.x", ".s[0]", ".n.x", ".l.x", ".x[100001]"}) {
    SCOPED_TRACE(path);
    Json::Value args;
    args["path"] = path;
    args["value"] = 1;
    auto module = Make("Injector", "null");
    ASSERT_NE(nullptr, module);
    module->SetArgs(args);
    const Json::Value original = J(R"({"s": "text", "n": 3, "l": [1]})");
    Json::Value doc = original;
    EXPECT_EQ(-1, module->Execute(doc));
    Json::Value expected = original;
    expected["S"]["M"]["status"] = "failed";
    expected["S"]["M"]["reason"] = std::string("Not able to store a value at ") + path;
    expected["S"]["M"]["error"] = "PATH_NOT_WRITABLE";
    EXPECT_EQ(expected, doc);
  }
}

// A module that writes a non-object over the document root or over a record the running stage
// keeps writing into fails like a write into a scalar; the stage then records its failure in
// the intact document instead of throwing "requires objectValue".
TEST(StoreOverRunRecordsTest, IsRefusedAndTheDocumentStaysIntact) {
  struct Case {
    const char* className;
    const char* args;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"Injector", R"({"path": "", "value": 5})", "Not able to store a value at "},
      {"Injector", R"({"path": ".", "value": "x"})", "Not able to store a value at ."},
      {"Injector", R"({"path": ""})", "Not able to store a value at "},
      {"Injector", R"({"path": ".S", "value": 5})", "Not able to store a value at .S"},
      {"Injector", R"({"path": ".S.status", "value": "done"})",
       "Not able to store a value at .S.status"},
      {"Injector", R"({"path": ".S.status", "value": ".keep"})",
       "Not able to store a value at .S.status"},
      {"Injector", R"({"path": ".S.M", "value": [1]})", "Not able to store a value at .S.M"},
      {"Injector", R"({"path": ".S.Other", "value": true})",
       "Not able to store a value at .S.Other"},
      {"RulesRunner", R"({"rules": {"base": "", "defaults": [{"path": "", "value": 5}]}})",
       "Not able to store a value of the rule set"},
      {"RulesRunner", R"({"rules": {"base": ".S", "rules": [{"cond": {"type": "and"},
                          "action": {"path": "status", "value": ".keep"}}]}})",
       "Not able to store a value of the rule set"},
      {"CreateInTempDir", R"({"saveTo": "", "directory": "orvex-never"})",
       "Not able to store a value at "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.className) + " " + c.args);
    CStage stage("S");
    std::unique_ptr<IModule> module = test::MakeRegisteredModule(c.className, c.args, stage);
    ASSERT_NE(nullptr, module);
    std::unique_ptr<IModule> other = test::MakeRegisteredModule("Injector", "null", stage);
    ASSERT_NE(nullptr, other);
    other->SetName("Other");
    stage.AddModule(module.release());
    stage.AddModule(other.release());
    Json::Value doc = J(R"({"keep": 1})");
    EXPECT_EQ(-1, stage.Execute(&doc));
    Json::Value expected = J(R"({"keep": 1, "S": {
        "status": {"progress": "process_module_failed", "module": "M"},
        "M": {"status": "failed", "error": "PATH_NOT_WRITABLE"}}})");
    expected["S"]["M"]["reason"] = c.reason;
    // The lookup with creation leaves a refused record that did not exist yet as null.
    if (std::string(c.args).find(".S.Other") != std::string::npos) expected["S"]["Other"];
    EXPECT_EQ(Compact(expected), Compact(doc));
  }
}

}  // namespace
}  // namespace orvex
