// The registry of module classes and the stage loader's module factory: class names, "only"
// filters against the session variables, and what a created module is given.

#include "engine/module_registry.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "actions/dump_state.h"
#include "actions/injector.h"
#include "engine/install_plan.h"
#include "engine/module.h"
#include "engine/rules_runner.h"
#include "engine/stage.h"
#include "engine/stage_loader.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

using test::J;
using test::RecordingIndicator;
using ModulePtr = std::unique_ptr<IModule>;

TEST(Registry, CreatesKnownClassesByExactName) {
  ModulePtr rules(CreateModuleByClass("RulesRunner"));
  ModulePtr injector(CreateModuleByClass("Injector"));
  ModulePtr dump(CreateModuleByClass("DumpState"));
  EXPECT_NE(nullptr, dynamic_cast<CRulesRunner*>(rules.get()));
  EXPECT_NE(nullptr, dynamic_cast<CInjector*>(injector.get()));
  EXPECT_NE(nullptr, dynamic_cast<CDumpState*>(dump.get()));

  // Every listed name creates a fresh, unconfigured module.
  for (const std::string& name : RegisteredModuleClasses()) {
    SCOPED_TRACE(name);
    ModulePtr first(CreateModuleByClass(name));
    ModulePtr second(CreateModuleByClass(name));
    ASSERT_NE(nullptr, first);
    EXPECT_NE(first.get(), second.get());
    EXPECT_EQ("", first->GetName());
    EXPECT_EQ("", first->GetMessage());
    EXPECT_EQ(nullptr, first->GetProgressIndicator());
  }

  for (const char* name :
       {"rulesRunner", "injector", "DUMPSTATE", "RulesRunner ", "", "end_module", "NoSuchClass"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(nullptr, CreateModuleByClass(name));
  }
}

class CreateModuleTest : public ::testing::Test {
 protected:
  void SetUp() override { stage.SetProgressIndicator(&indicator); }
  ModulePtr Create(const char* definition) {
    return ModulePtr(loader.CreateModule(J(definition), &stage));
  }
  IProgressIndicator* IndicatorOf(const char* definition) {
    ModulePtr module = Create(definition);
    if (!module) {
      ADD_FAILURE() << "no module for " << definition;
      return nullptr;
    }
    return module->GetProgressIndicator();
  }
  CStageLoader loader;
  RecordingIndicator indicator;
  CStage stage{"S"};
};

TEST_F(CreateModuleTest, SkipsEndMarkerAndUnknownClasses) {
  for (const char* definition :
       {R"({"class": "end_module"})", R"({"class": "end_module", "name": "X", "args": {}})",
        R"({"class": "NoSuchClass", "name": "X"})", R"({"class": "injector"})", R"({"name": "X"})",
        "{}", "null"}) {
    SCOPED_TRACE(definition);
    EXPECT_EQ(nullptr, Create(definition));
  }
}

TEST_F(CreateModuleTest, SetsNameArgumentsAndMessage) {
  ModulePtr module = Create(R"({"class": "Injector", "name": "INJ", "msg": "Storing",
                                "args": {"path": ".a", "value": 7}})");
  ASSERT_NE(nullptr, module);
  EXPECT_NE(nullptr, dynamic_cast<CInjector*>(module.get()));
  EXPECT_EQ("INJ", module->GetName());
  EXPECT_EQ("Storing", module->GetMessage());
  Json::Value doc;
  EXPECT_EQ(0, module->Execute(doc));  // the arguments arrived
  EXPECT_EQ(J(R"({"a": 7})"), doc);
}

TEST_F(CreateModuleTest, MissingNameArgumentsAndMessageAreEmpty) {
  ModulePtr module = Create(R"({"class": "Injector"})");
  ASSERT_NE(nullptr, module);
  EXPECT_EQ("", module->GetName());
  EXPECT_EQ("", module->GetMessage());
  // Without arguments the module has no "path"; its record is keyed by the empty name.
  ASSERT_EQ(0, module->Init(nullptr, &stage));
  Json::Value doc;
  EXPECT_EQ(-1, module->Execute(doc));
  EXPECT_EQ("fatal", doc["S"][""]["status"].asString());
}

TEST_F(CreateModuleTest, ProgressNamesADeclaredIndicatorOrFallsBackToTheStage) {
  std::unique_ptr<CInstallPlan> plan(
      loader.Load(R"({"ProgressIndicators": [{"class": "PIConsole", "name": "Con"}]})"));
  ASSERT_NE(nullptr, plan);
  IProgressIndicator* declared = loader.FindIndicator("Con");
  ASSERT_NE(nullptr, declared);

  EXPECT_EQ(declared, IndicatorOf(R"({"class": "DumpState", "progress": "Con"})"));
  EXPECT_EQ(&indicator, IndicatorOf(R"({"class": "DumpState", "progress": "Nope"})"));
  EXPECT_EQ(&indicator, IndicatorOf(R"({"class": "DumpState"})"));
  EXPECT_EQ(&indicator, IndicatorOf(R"({"class": "DumpState", "progress": null})"));

  // While a stage is being loaded it may have no indicator yet.
  CStage bare("B");
  ModulePtr module(loader.CreateModule(J(R"({"class": "DumpState", "progress": "Nope"})"), &bare));
  ASSERT_NE(nullptr, module);
  EXPECT_EQ(nullptr, module->GetProgressIndicator());
}

TEST_F(CreateModuleTest, OnlyFilterComparesSessionVariablesAsText) {
  struct Case {
    const char* variables;
    const char* only;
    bool created;
    const char* variablesAfter;
  };
  const std::vector<Case> cases = {
      {R"({"ui": "dialog"})", R"({"ui": "dialog"})", true, R"({"ui": "dialog"})"},
      {R"({"ui": "console"})", R"({"ui": "dialog"})", false, R"({"ui": "console"})"},
      // A missing variable reads as "" and is added as null.
      {"{}", R"({"ui": "dialog"})", false, R"({"ui": null})"},
      {"{}", R"({"ui": ""})", true, R"({"ui": null})"},
      {"{}", R"({"ui": null})", true, R"({"ui": null})"},
      {R"({"flag": true})", R"({"flag": "true"})", true, R"({"flag": true})"},
      {R"({"flag": false})", R"({"flag": true})", false, R"({"flag": false})"},
      {R"({"a": "1", "b": "2"})", R"({"b": "2", "a": "1"})", true, R"({"a": "1", "b": "2"})"},
      // Names are checked in ascending order and the check stops at the first mismatch.
      {R"({"a": "1"})", R"({"m": "x", "a": "0"})", false, R"({"a": "1"})"},
      {R"({"a": "1"})", R"({"m": "x", "a": "1"})", false, R"({"a": "1", "m": null})"},
      // Filters that are not objects, and the empty object, always hold.
      {R"({"ui": "x"})", "{}", true, R"({"ui": "x"})"},
      {R"({"ui": "x"})", R"("dialog")", true, R"({"ui": "x"})"},
      {R"({"ui": "x"})", "5", true, R"({"ui": "x"})"},
      {R"({"ui": "x"})", "false", true, R"({"ui": "x"})"},
      {R"({"ui": "x"})", "null", true, R"({"ui": "x"})"},
      {R"({"ui": "x"})", "[]", true, R"({"ui": "x"})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.only) + " with " + c.variables);
    loader.SessionVariables() = J(c.variables);
    Json::Value definition = J(R"({"class": "DumpState", "name": "D"})");
    definition["only"] = J(c.only);
    ModulePtr module(loader.CreateModule(definition, &stage));
    EXPECT_EQ(c.created, module != nullptr);
    EXPECT_EQ(J(c.variablesAfter), loader.SessionVariables());
  }
}

TEST_F(CreateModuleTest, TextsThatAreNotTextRaise) {
  struct Case {
    const char* variables;
    const char* definition;
  };
  const std::vector<Case> cases = {
      {"{}", R"({"class": "DumpState", "only": ["ui"]})"},
      {"{}", R"({"class": "DumpState", "only": {"ui": 5}})"},
      {R"({"n": 3})", R"({"class": "DumpState", "only": {"n": "3"}})"},
      {"{}", R"({"class": "DumpState", "name": 5})"},
      {"{}", R"({"class": 5})"},
      {"{}", R"({"class": "end_module", "msg": {}})"},
      {"{}", R"({"class": "DumpState", "progress": 1})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.definition);
    loader.SessionVariables() = J(c.variables);
    try {
      ModulePtr module(loader.CreateModule(J(c.definition), &stage));
      ADD_FAILURE() << "no exception";
    } catch (const Json::LogicError& e) {
      EXPECT_STREQ("Type is not convertible to string", e.what());
    }
  }
}

}  // namespace
}  // namespace orvex
