// The stage run: records in the session document, error handlers, callback handlers,
// insertion and removal while running, cancellation and rollback order.

#include "engine/stage.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "common/run_flags.h"
#include "engine/value_path.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

using test::FakeModule;
using test::RecordingCallback;
using test::RecordingIndicator;
using Journal = std::vector<std::string>;

class StageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_cancelRequested = false;
    g_promptActive = false;
    stage.SetProgressIndicator(&indicator);
  }
  void TearDown() override {
    g_cancelRequested = false;
    g_promptActive = false;
  }
  FakeModule* Add(const std::string& name, int result = 0, int rollbackResult = 0) {
    auto* module = new FakeModule(name, &journal, result, rollbackResult);
    stage.AddModule(module);
    return module;
  }
  const Json::Value& Status() { return doc["S"]["status"]; }

  Journal journal;
  RecordingIndicator indicator;
  RecordingCallback callback;
  CStage stage{"S"};
  Json::Value doc;
};

TEST_F(StageTest, EmptyStageCompletesAndReportsDone) {
  stage.SetMessage("Preparing");
  stage.SetCallbackHandler(&callback);
  doc["S"]["old"] = 1;  // replaced when the stage starts
  EXPECT_EQ(0, stage.Execute(&doc));
  EXPECT_EQ(test::J(R"({"status": {"progress": "completed"}})"), doc["S"]);
  EXPECT_EQ(Journal({"done:S"}), callback.calls);
  EXPECT_EQ(Journal({"status:Preparing", "bar:off"}), indicator.calls);
}

TEST_F(StageTest, ModulesRunInOrderAndShowTheirMessages) {
  Add("A")->SetMessage("Doing A");
  Add("B");
  EXPECT_EQ(0, stage.Execute(&doc));
  EXPECT_EQ(Journal({"exec:A", "exec:B"}), journal);
  // The stage message is shown even when empty; module messages only when set.
  EXPECT_EQ(Journal({"status:", "status:Doing A", "bar:off"}), indicator.calls);
}

TEST_F(StageTest, FailureWithoutHandlerDiscontinuesAndRollsBackNearestFirst) {
  Add("A");
  Add("B");
  Add("C", -1);
  Add("D");
  EXPECT_EQ(-1, stage.Execute(&doc));
  EXPECT_EQ(Journal({"exec:A", "exec:B", "exec:C", "rollback:B", "rollback:A"}), journal);
  EXPECT_EQ("process_module_failed", Status()["progress"].asString());
  EXPECT_EQ("C", Status()["module"].asString());
  EXPECT_EQ(Journal({"status:", "bar:off", "status:Discontinuing installation"}), indicator.calls);
}

TEST_F(StageTest, RollbackStopsAtTheFirstFailingModule) {
  Add("A");
  Add("B", 0, -1);
  Add("C", -1);
  EXPECT_EQ(-1, stage.Execute(&doc));
  EXPECT_EQ(Journal({"exec:A", "exec:B", "exec:C", "rollback:B"}), journal);
}

TEST_F(StageTest, CallbackThatGoesOnLeavesTheFailureRecorded) {
  callback.failedAnswer = 0;
  stage.SetCallbackHandler(&callback);
  Add("A", -1);
  Add("B");
  EXPECT_EQ(0, stage.Execute(&doc));
  EXPECT_EQ(Journal({"exec:A", "exec:B"}), journal);
  EXPECT_EQ(Journal({"failed:S/A", "done:S"}), callback.calls);
  EXPECT_EQ("completed", Status()["progress"].asString());
  EXPECT_EQ("A", Status()["module"].asString());
}

TEST_F(StageTest, CallbackThatDiscontinuesStopsTheStage) {
  stage.SetCallbackHandler(&callback);
  Add("A");
  Add("B", -1);
  Add("C");
  EXPECT_EQ(-1, stage.Execute(&doc));
  EXPECT_EQ(Journal({"exec:A", "exec:B", "rollback:A"}), journal);
  EXPECT_EQ(Journal({"failed:S/B"}), callback.calls);
}

TEST_F(StageTest, ErrorHandlerDecidesBeforeTheCallback) {
  stage.SetCallbackHandler(&callback);
  Add("A", -1);
  Add("B", -1);
  Add("C");
  std::vector<std::string> handled;
  stage.SetErrorHandler("A", [&](IModule* m) {
    handled.push_back(m->GetName());
    return 0;  // accepted: A counts as successful
  });
  stage.SetErrorHandler("B", [&](IModule* m) {
    handled.push_back(m->GetName());
    return 1;  // refused: the callback decides
  });
  stage.SetErrorHandler("nobody", [&](IModule*) { return 0; });  // no such module: ignored
  EXPECT_EQ(-1, stage.Execute(&doc));
  EXPECT_EQ(Journal({"A", "B"}), handled);
  EXPECT_EQ(Journal({"failed:S/B"}), callback.calls);
  EXPECT_EQ("B", Status()["module"].asString());
}

TEST_F(StageTest, ModulesInsertedWhileRunningRunNextInListOrder) {
  FakeModule* prompt = Add("PROMPT");
  Add("LAST");
  prompt->onExecute = [&](Json::Value&) {
    auto* first = new FakeModule("INJ1", &journal);
    auto* second = new FakeModule("INJ2", &journal);
    stage.InsertModuleAfter(prompt, first);
    stage.InsertModuleAfter(std::string("INJ1"), second);
    stage.InsertModuleBefore(std::string("PROMPT"), new FakeModule("BEFORE", &journal));
  };
  EXPECT_EQ(0, stage.Execute(&doc));
  EXPECT_EQ(Journal({"exec:PROMPT", "exec:INJ1", "exec:INJ2", "exec:LAST"}), journal);
  std::vector<std::string> order;
  for (IModule* m : stage.GetModules()) order.push_back(m->GetName());
  EXPECT_EQ(Journal({"BEFORE", "PROMPT", "INJ1", "INJ2", "LAST"}), order);
}

TEST_F(StageTest, RemovingTheRunningModuleContinuesWithTheNextOne) {
  FakeModule* self = Add("SELF");
  Add("NEXT");
  self->onExecute = [&](Json::Value&) { stage.RemoveModule("SELF"); };
  EXPECT_EQ(0, stage.Execute(&doc));
  EXPECT_EQ(Journal({"exec:SELF", "exec:NEXT"}), journal);
  ASSERT_EQ(1u, stage.GetModules().size());
  EXPECT_EQ("NEXT", stage.GetModules()[0]->GetName());
}

TEST_F(StageTest, ErrorHandlerMayRemoveTheFailedModule) {
  Add("FAILS", -1);
  Add("NEXT");
  stage.SetErrorHandler("FAILS", [&](IModule*) {
    stage.RemoveModule("FAILS");
    return 0;
  });
  EXPECT_EQ(0, stage.Execute(&doc));
  EXPECT_EQ(Journal({"exec:FAILS", "exec:NEXT"}), journal);
}

TEST_F(StageTest, CancellationStopsBeforeTheNextModuleAndRollsBack) {
  Add("M1");
  Add("M2");
  Add("M3")->onExecute = [](Json::Value&) { g_cancelRequested = true; };
  Add("M4");
  Add("M5");
  stage.SetCallbackHandler(&callback);
  EXPECT_EQ(-1, stage.Execute(&doc));
  EXPECT_EQ(Journal({"exec:M1", "exec:M2", "exec:M3", "rollback:M3", "rollback:M2", "rollback:M1"}),
            journal);
  EXPECT_EQ("canceled_due_to_user", Status()["progress"].asString());
  EXPECT_EQ("M4", Status()["module"].asString());
  EXPECT_EQ("USER_CANCELED", doc["S"]["M4"]["error"].asString());
  EXPECT_TRUE(callback.calls.empty());
  EXPECT_EQ(Journal({"status:"}), indicator.calls);  // the indicator is left alone
}

// A path argument looked up with creation ("[0]" after a record's name) makes the record of
// a module that has not run yet an array; the stage's own write into that record still works.
TEST_F(StageTest, ARecordMadeAnArrayByAPathArgumentIsARecordAgain) {
  Add("M1")->onExecute = [](Json::Value& d) {
    ResolveStringArg(Json::Value(".S.M2[0]"), d);
    g_cancelRequested = true;
  };
  Add("M2");
  EXPECT_EQ(-1, stage.Execute(&doc));
  EXPECT_EQ("canceled_due_to_user", Status()["progress"].asString());
  EXPECT_EQ("{\"error\":\"USER_CANCELED\"}", test::Compact(doc["S"]["M2"]));
}

TEST_F(StageTest, WaitsWhileThePromptIsOpen) {
  Add("A")->onExecute = [](Json::Value&) { g_promptActive = true; };
  Add("B");
  std::thread window([] {
    while (!g_promptActive) std::this_thread::yield();
    // The user answers "stop" while the stage waits before B.
    g_cancelRequested = true;
    g_promptActive = false;
  });
  EXPECT_EQ(-1, stage.Execute(&doc));
  window.join();
  EXPECT_EQ(Journal({"exec:A", "rollback:A"}), journal);
  EXPECT_EQ("B", Status()["module"].asString());
}

TEST_F(StageTest, InitFailureStopsBeforeAnyModuleRuns) {
  struct FailingInit : FakeModule {
    using FakeModule::FakeModule;
    int Init(CInstallPlan*, CStage*) override { return -1; }
  };
  Add("A");
  stage.AddModule(new FailingInit("BAD", &journal));
  stage.SetCallbackHandler(&callback);
  EXPECT_EQ(-1, stage.Execute(&doc));
  EXPECT_TRUE(journal.empty());
  EXPECT_EQ("module_init_failed", Status()["progress"].asString());
  EXPECT_EQ("BAD", Status()["module"].asString());
  EXPECT_EQ("INIT_FAILED", doc["S"]["BAD"]["error"].asString());
  EXPECT_TRUE(callback.calls.empty());
}

TEST_F(StageTest, IndicatorIsGivenOnlyToModulesWithoutOne) {
  RecordingIndicator own;
  FakeModule* withOwn = Add("OWN");
  withOwn->SetProgressIndicator(&own);
  FakeModule* without = Add("NONE");
  RecordingIndicator other;
  stage.SetProgressIndicator(&other);
  EXPECT_EQ(&own, withOwn->GetProgressIndicator());
  EXPECT_EQ(&other, without->GetProgressIndicator());
  EXPECT_EQ(&other, stage.GetProgressIndicator());
}

TEST_F(StageTest, StageRollbackCallsEveryModuleLastToFirst) {
  Add("A");
  Add("B");
  Add("C");
  EXPECT_EQ(0, stage.Rollback(&doc));
  EXPECT_EQ(Journal({"rollback:C", "rollback:B", "rollback:A"}), journal);
}

}  // namespace
}  // namespace orvex
