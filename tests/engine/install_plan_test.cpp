// Loading a configuration into a plan and running the plan.

#include "engine/install_plan.h"

#include <gtest/gtest.h>

#include <memory>

#include "common/run_flags.h"
#include "engine/module.h"
#include "engine/progress_factories.h"
#include "engine/stage.h"
#include "engine/stage_loader.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

using test::FakeModule;
using test::J;
using test::RecordingCallback;
using test::RecordingIndicator;
using Journal = std::vector<std::string>;

std::vector<std::string> StageNames(const CInstallPlan& plan) {
  std::vector<std::string> names;
  for (const auto& stage : plan.stages) names.push_back(stage->GetName());
  return names;
}

std::vector<std::string> ModuleNames(CStage& stage) {
  std::vector<std::string> names;
  for (IModule* module : stage.GetModules()) names.push_back(module->GetName());
  return names;
}

class LoaderTest : public ::testing::Test {
 protected:
  void TearDown() override {
    g_dialogIndicator = nullptr;
    g_dialogCallback = nullptr;
  }
  std::unique_ptr<CInstallPlan> Load(const std::string& text) {
    return std::unique_ptr<CInstallPlan>(loader.Load(text));
  }
  CStageLoader loader;
};

TEST_F(LoaderTest, TextThatIsNotJsonGivesNoPlanAndSaysWhere) {
  std::string error;
  EXPECT_EQ(nullptr, loader.Load("{\"Stages\": [", &error));
  EXPECT_NE(std::string::npos, error.find("line 1, column 13")) << error;
  EXPECT_EQ(nullptr, loader.Load(""));
}

// A regular expression in an "on" condition that cannot be matched makes the configuration
// unusable, as text that is not JSON does: no plan, and a message naming the stage, the pattern
// and the construct. A stage whose condition holds before it is not enough to run anything.
TEST_F(LoaderTest, AnOnConditionWithAnUnmatchablePatternGivesNoPlanAndSaysWhy) {
  loader.SessionVariables()["ui"] = "dialog";
  for (const char* pattern : {"(a)\\\\1", "[[:nope:]]", "(?=d)dialog", "x{3,2}"}) {
    SCOPED_TRACE(pattern);
    std::string error;
    const std::string text = std::string(R"({"Stages": [
        {"name": "First", "on": {"type": "eq", "left": ".ui", "right": "dialog"}},
        {"name": "Second", "on": {"type": "or", "value": [
          {"type": "eq", "left": ".ui", "right": "console"},
          {"type": "regex_notmatch", "left": ".ui", "right": ")") +
                             pattern + R"("}]}}]})";
    EXPECT_EQ(nullptr, loader.Load(text, &error));
    EXPECT_EQ(0u, error.find("The \"on\" condition of stage \"Second\": Invalid regular "
                             "expression \""))
        << error;
  }
  // The same conditions with patterns that can be matched load.
  std::string error;
  auto plan = std::unique_ptr<CInstallPlan>(loader.Load(R"({"Stages": [
      {"name": "First", "on": {"type": "regex_match", "left": ".ui", "right": "[[:alpha:]]+"}},
      {"name": "Second", "on": {"type": "regex_notmatch", "left": ".ui", "right": "d.*+"}}]})",
                                                        &error));
  ASSERT_TRUE(plan) << error;
  ASSERT_EQ(1u, plan->stages.size());
  EXPECT_EQ("First", plan->stages[0]->GetName());
}

TEST_F(LoaderTest, PlaceholdersAreReplacedBeforeParsing) {
  loader.SessionVariables()["STAGE"] = "Fetch";
  loader.SessionVariables()["FLAG"] = true;  // booleans are not substituted
  auto plan = Load(R"({"Stages": [{"name": "%STAGE%", "msg": "%FLAG%"}]})");
  ASSERT_TRUE(plan);
  EXPECT_EQ(Journal({"Fetch"}), StageNames(*plan));
  EXPECT_EQ("%FLAG%", plan->stages[0]->GetMessage());
}

TEST_F(LoaderTest, StagesAreFilteredByTheirConditionOnSessionVariables) {
  loader.SessionVariables()["ui"] = "console";
  auto plan = Load(R"({"Stages": [
      {"name": "Always"},
      {"name": "DialogOnly", "on": {"type": "eq", "left": ".ui", "right": "dialog"}},
      {"name": "ConsoleOnly", "on": {"type": "eq", "left": ".ui", "right": "console"}},
      {"name": "NullCondition", "on": null}]})");
  ASSERT_TRUE(plan);
  EXPECT_EQ(Journal({"Always", "ConsoleOnly", "NullCondition"}), StageNames(*plan));
}

TEST_F(LoaderTest, ModulesAreCreatedInOrderSkippingUnknownFilteredAndEndMarkers) {
  loader.SessionVariables()["ui"] = "console";
  auto plan = Load(R"({"Stages": [{"name": "S", "modules": [
      {"class": "Injector", "name": "ONE", "args": {"path": ".x", "value": 1}},
      {"class": "NoSuchClass", "name": "GONE"},
      {"class": "DumpState", "name": "DIALOG", "only": {"ui": "dialog"}},
      {"class": "DumpState", "name": "TWO", "msg": "Showing"},
      {"class": "end_module"}]}]})");
  ASSERT_TRUE(plan);
  CStage& stage = *plan->stages[0];
  EXPECT_EQ(Journal({"ONE", "TWO"}), ModuleNames(stage));
  EXPECT_EQ("Showing", stage.GetModules()[1]->GetMessage());
}

TEST_F(LoaderTest, IndicatorsAndCallbacksAreDeclaredByNameFirstOneWins) {
  auto plan = Load(R"({
      "ProgressIndicators": [
        {"name": "Main", "class": "PIConsole"},
        {"name": "Main", "class": "PIConsole"},
        {"name": "Other", "class": "PIConsole"},
        {"name": "Bogus", "class": "PINothing"}],
      "Callbacks": [{"name": "Default", "class": "CBDefault"},
                    {"name": "Quiet", "class": "CBDefault", "only": {"ui": "dialog"}}],
      "progress": "Main",
      "Stages": [
        {"name": "A"},
        {"name": "B", "progress": "Other", "callback": "Quiet"},
        {"name": "C", "progress": "Undeclared", "callback": "Default"}]})");
  ASSERT_TRUE(plan);
  IProgressIndicator* main = loader.FindIndicator("Main");
  ASSERT_NE(nullptr, main);
  EXPECT_EQ(main, plan->defaultProgress);
  EXPECT_EQ(nullptr, loader.FindIndicator("Bogus"));
  EXPECT_EQ(main, plan->stages[0]->GetProgressIndicator());
  EXPECT_EQ(loader.FindIndicator("Other"), plan->stages[1]->GetProgressIndicator());
  EXPECT_EQ(main, plan->stages[2]->GetProgressIndicator());  // undeclared falls back
  ICallbackHandler* standard = loader.FindCallback("Default");
  ASSERT_NE(nullptr, standard);
  EXPECT_EQ(standard, plan->stages[0]->GetCallbackHandler());  // "Default" when absent
  EXPECT_EQ(nullptr, plan->stages[1]->GetCallbackHandler());   // filtered out
  EXPECT_EQ(standard, plan->stages[2]->GetCallbackHandler());
}

TEST_F(LoaderTest, DialogIndicatorAndHandlerAreSharedAndRenamed) {
  RecordingIndicator dialog;
  RecordingCallback dialogCallback;
  const char* text = R"({
      "ProgressIndicators": [{"name": "Window", "class": "PIDialog"}],
      "Callbacks": [{"name": "Default", "class": "CBDialog"}],
      "progress": "Window", "Stages": [{"name": "S"}]})";

  auto withoutWindow = Load(text);
  ASSERT_TRUE(withoutWindow);
  EXPECT_EQ(nullptr, withoutWindow->defaultProgress);

  g_dialogIndicator = &dialog;
  g_dialogCallback = &dialogCallback;
  CStageLoader second;
  std::unique_ptr<CInstallPlan> plan(second.Load(text));
  ASSERT_TRUE(plan);
  EXPECT_EQ(&dialog, plan->defaultProgress);
  EXPECT_EQ("Window", dialog.GetName());
  EXPECT_EQ(&dialogCallback, plan->stages[0]->GetCallbackHandler());
}

TEST_F(LoaderTest, DocumentStartsWithTheSessionVariables) {
  loader.SessionVariables()["ui"] = "console";
  auto plan = Load(R"({"Stages": [{"name": "S", "modules": [
      {"class": "Injector", "only": {"missing": ""}}]}]})");
  ASSERT_TRUE(plan);
  // The filter looked "missing" up, which adds it as null before the snapshot is taken.
  EXPECT_EQ(J(R"({"env": {"ui": "console", "missing": null}})"), plan->doc);
}

TEST_F(LoaderTest, ObjectsWhereListsBelongDeclareNothing) {
  auto plan = Load(R"({"ProgressIndicators": {"name": "X", "class": "PIConsole"},
                       "Stages": {"name": "S"}})");
  ASSERT_TRUE(plan);
  EXPECT_TRUE(plan->stages.empty());
  auto noModules = Load(R"({"Stages": [{"name": "S", "modules": {"class": "DumpState"}}]})");
  ASSERT_TRUE(noModules);
  EXPECT_TRUE(noModules->stages[0]->GetModules().empty());
}

TEST_F(LoaderTest, NonTextNamesRaiseTheTypeError) {
  EXPECT_THROW(Load(R"({"Stages": [{"name": 5}]})"), Json::LogicError);
  EXPECT_THROW(Load(R"({"Stages": [{"modules": [{"class": ["Injector"]}]}]})"), Json::LogicError);
}

// Runs plans built by hand from fake modules.
class RunPlanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_cancelRequested = false;
    plan.defaultProgress = &indicator;
    registration = PlanRegistration(&plan);
    SetInstallReportHook([this](bool success, Json::Value document, Json::Value failed) {
      reports.push_back({success, document, failed});
    });
  }
  void TearDown() override {
    SetInstallReportHook(nullptr);
    registration = PlanRegistration();
  }
  CStage* AddStage(const std::string& name, std::vector<std::pair<std::string, int>> modules) {
    plan.stages.push_back(std::make_unique<CStage>(name));
    CStage* stage = plan.stages.back().get();
    for (auto& m : modules) stage->AddModule(new FakeModule(m.first, &journal, m.second));
    return stage;
  }
  struct Report {
    bool success;
    Json::Value document;
    Json::Value failed;
  };
  CInstallPlan plan;
  PlanRegistration registration;  // after the plan: ends first
  RecordingIndicator indicator;
  Journal journal;
  std::vector<Report> reports;
};

TEST_F(RunPlanTest, CompletedRunStepsThroughStagesAndReportsSuccess) {
  AddStage("First", {{"A", 0}});
  AddStage("LastStage", {{"B", 0}});
  EXPECT_EQ(0, RunPlan());
  // The stages built here have no indicator: the default one only counts the steps.
  EXPECT_EQ(Journal({"step:1/2", "step:2/2"}), indicator.calls);
  ASSERT_EQ(1u, reports.size());
  EXPECT_TRUE(reports[0].success);
  EXPECT_EQ(Json::Value(0), reports[0].failed);
  EXPECT_EQ("completed", reports[0].document["LastStage"]["status"]["progress"].asString());
}

TEST_F(RunPlanTest, FailedStageRollsBackEarlierStagesAndReportsItsRecord) {
  AddStage("One", {{"A", 0}, {"B", 0}});
  AddStage("Two", {{"C", 0}, {"D", -1}});
  AddStage("Three", {{"E", 0}});
  EXPECT_EQ(-1, RunPlan());
  EXPECT_EQ(Journal({"exec:A", "exec:B", "exec:C", "exec:D", "rollback:C",  // inside Two
                     "rollback:B", "rollback:A"}),                          // stage One
            journal);
  EXPECT_FALSE(plan.doc.isMember("Three"));
  EXPECT_EQ("status:Installation aborted", indicator.calls.back());
  ASSERT_EQ(1u, reports.size());
  EXPECT_FALSE(reports[0].success);
  EXPECT_EQ(plan.doc["Two"], reports[0].failed);
  EXPECT_EQ("D", reports[0].failed["status"]["module"].asString());
}

TEST_F(RunPlanTest, AbortMessageSetByAModuleReplacesTheDefaultText) {
  CStage* stage = AddStage("S", {});
  auto* module = new FakeModule("M", &journal, -1);
  module->onExecute = [this](Json::Value&) { plan.abortMessage = "Driver setup failed"; };
  stage->AddModule(module);
  EXPECT_EQ(-1, RunPlan());
  EXPECT_EQ("status:Driver setup failed", indicator.calls.back());
}

TEST_F(RunPlanTest, PlanWithoutStagesSucceeds) {
  EXPECT_EQ(0, RunPlan());
  ASSERT_EQ(1u, reports.size());
  EXPECT_TRUE(reports[0].success);
  EXPECT_TRUE(indicator.calls.empty());
}

}  // namespace
}  // namespace orvex
