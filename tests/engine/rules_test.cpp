// Rule sets (defaults, then the actions of rules whose conditions hold) and the RulesRunner
// module that runs one from its arguments.

#include "engine/rules.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/module.h"
#include "engine/module_registry.h"
#include "engine/stage.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

using test::Compact;
using test::J;

struct RuleSetCase {
  const char* name;
  const char* ruleSet;
  const char* doc;
  const char* expected;
};

void RunCases(const std::vector<RuleSetCase>& cases) {
  for (const RuleSetCase& c : cases) {
    SCOPED_TRACE(c.name);
    Json::Value doc = J(c.doc);
    RunRuleSet(J(c.ruleSet), doc);
    EXPECT_EQ(Compact(J(c.expected)), Compact(doc));
  }
}

const char* const kMemoryFlag = R"({
  "base": ".D",
  "defaults": [{"path": "flag", "value": false}],
  "rules": [{"cond": {"type": "lt", "left": ".F.n", "right": 2048},
             "action": {"path": "flag", "value": true}}]})";

TEST(Rules, DefaultsThenRulesWhoseConditionsHold) {
  RunCases({
      {"small", kMemoryFlag, R"({"F": {"n": 1024}})", R"({"F": {"n": 1024}, "D": {"flag": true}})"},
      {"large", kMemoryFlag, R"({"F": {"n": 4096}})",
       R"({"F": {"n": 4096}, "D": {"flag": false}})"},
      // Conditions read without creating: the missing .F stays missing.
      {"missing", kMemoryFlag, "null", R"({"D": {"flag": false}})"},
      {"base absent means the root",
       R"({"defaults": [{"path": ".x", "value": 1}, {"path": "y.z", "value": 2}]})", "null",
       R"({"x": 1, "y": {"z": 2}})"},
      {"empty base means the root", R"({"base": "", "defaults": [{"path": "x", "value": 1}]})",
       R"({"x": 0})", R"({"x": 1})"},
      {"nested base is created", R"({"base": ".A.B"})", "{}", R"({"A": {"B": null}})"},
      {"a leading dot in path is optional",
       R"({"base": ".D", "defaults": [{"path": ".a.b", "value": 1}, {"path": "a.c", "value": 2}]})",
       "{}", R"({"D": {"a": {"b": 1, "c": 2}}})"},
      {"path indexes into arrays", R"({"base": ".D", "defaults": [{"path": "l[2]", "value": 1}]})",
       "{}", R"({"D": {"l": [null, null, 1]}})"},
      {"values other than value paths are written as they are", R"({"base": ".D", "defaults": [
          {"path": "s", "value": "abc"}, {"path": "e", "value": ""}, {"path": "n", "value": 7},
          {"path": "r", "value": 1.5}, {"path": "b", "value": true}, {"path": "z", "value": null},
          {"path": "l", "value": [".F"]}, {"path": "o", "value": {"k": ".F"}}, {"path": "m"}]})",
       R"({"F": 1})",
       R"({"F": 1, "D": {"s": "abc", "e": "", "n": 7, "r": 1.5, "b": true, "z": null,
           "l": [".F"], "o": {"k": ".F"}, "m": null}})"},
  });
}

TEST(Rules, ValuePathsCopyFromTheRoot) {
  const char* const copy = R"({"base": ".D", "defaults": [{"path": "copy", "value": ".F.obj"}]})";
  RunCases({
      {"object copied", copy, R"({"F": {"obj": {"k": [1, {"x": "y"}]}}})",
       R"({"F": {"obj": {"k": [1, {"x": "y"}]}}, "D": {"copy": {"k": [1, {"x": "y"}]}}})"},
      {"missing source is created as null", copy, "{}",
       R"({"D": {"copy": null}, "F": {"obj": null}})"},
      {"source through a scalar gives null", copy, R"({"F": "text", "D": {"copy": 1}})",
       R"({"F": "text", "D": {"copy": null}})"},
      {"descendant copied over its ancestor",
       R"({"base": ".D", "defaults": [{"path": "a", "value": ".D.a.b"}]})",
       R"({"D": {"a": {"b": {"c": 1}, "d": 2}}})", R"({"D": {"a": {"c": 1}}})"},
      {"ancestor copied into its descendant",
       R"({"base": ".D", "defaults": [{"path": "a.self", "value": ".D.a"}]})",
       R"({"D": {"a": {"k": 1}}})", R"({"D": {"a": {"k": 1, "self": {"k": 1, "self": null}}}})"},
      {"a node copied onto itself is unchanged",
       R"({"base": ".D", "defaults": [{"path": "a", "value": ".D.a"}]})", R"({"D": {"a": [1]}})",
       R"({"D": {"a": [1]}})"},
  });
}

TEST(Rules, RuleOrderAndActionLists) {
  RunCases({
      {"action list applied in order", R"({"base": ".D", "rules": [{"cond": {"type": "and"},
          "action": [{"path": "x", "value": 1}, {"path": "x", "value": 2},
                     {"path": "y", "value": ".D.x"}]}]})",
       "{}", R"({"D": {"x": 2, "y": 2}})"},
      {"later rule wins", R"({"base": ".D", "rules": [
          {"cond": {"type": "and"}, "action": {"path": "x", "value": "first"}},
          {"cond": {"type": "and"}, "action": {"path": "x", "value": "second"}}]})",
       "{}", R"({"D": {"x": "second"}})"},
      {"later conditions see earlier actions, earlier ones are not revisited",
       R"({"base": ".D", "rules": [
          {"cond": {"type": "eq", "left": ".D.step", "right": 1},
           "action": {"path": "early", "value": true}},
          {"cond": {"type": "and"}, "action": {"path": "step", "value": 1}},
          {"cond": {"type": "eq", "left": ".D.step", "right": 1},
           "action": {"path": "late", "value": true}}]})",
       "{}", R"({"D": {"step": 1, "late": true}})"},
      {"conditions are relative to the root, not the base", R"({"base": ".D", "rules": [
          {"cond": {"type": "eq", "left": ".k", "right": "root"},
           "action": {"path": "k", "value": "hit"}}]})",
       R"({"k": "root", "D": {"k": "base"}})", R"({"k": "root", "D": {"k": "hit"}})"},
      {"missing cond and null action do nothing", R"({"base": ".D", "rules": [
          {"action": {"path": "a", "value": 1}},
          {"cond": {"type": "and"}, "action": null},
          {"cond": {"type": "and"}}]})",
       "{}", R"({"D": null})"},
      {"lists that are not arrays are empty", R"({"base": ".D",
          "defaults": {"a": {"path": "a", "value": 1}},
          "rules": {"r": {"cond": {"type": "and"}, "action": {"path": "b", "value": 1}}}})",
       "{}", R"({"D": null})"},
      {"action into a scalar is skipped, the rest still runs", R"({"base": ".D", "defaults": [
          {"path": "s.x", "value": 1}, {"path": "t", "value": 2}]})",
       R"({"D": {"s": "text"}})", R"({"D": {"s": "text", "t": 2}})"},
      {"actions that are not objects are skipped, not written at the base", R"({"base": ".D",
          "defaults": ["a", null, {"path": "t", "value": 2}, 5]})",
       R"({"D": {"s": "text"}})", R"({"D": {"s": "text", "t": 2}})"},
      {"base into a scalar writes nothing", R"({"base": ".s.x", "defaults": [
          {"path": "a", "value": 1}]})",
       R"({"s": "text"})", R"({"s": "text"})"},
  });
}

TEST(Rules, ConfigurationErrorsRaise) {
  const std::vector<std::pair<const char*, const char*>> cases = {
      {R"({"base": 5})", "Type is not convertible to string"},
      {R"({"defaults": [{"path": 1, "value": 1}]})", "Type is not convertible to string"},
      {R"({"rules": [{"cond": {"type": "gt", "left": ".n", "right": "x"},
                      "action": {"path": "a", "value": 1}}]})",
       "Type is not convertible to int"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    Json::Value doc = J(R"({"n": 1})");
    try {
      RunRuleSet(J(c.first), doc);
      ADD_FAILURE() << "no exception";
    } catch (const Json::LogicError& e) {
      EXPECT_STREQ(c.second, e.what());
    }
  }
}

// A condition whose pattern cannot be matched does not hold; the rules around it still run,
// and the caller hears of the first such pattern.
TEST(Rules, AnUnmatchablePatternIsAConditionThatDoesNotHold) {
  const Json::Value ruleSet = J(R"json({"base": ".D", "defaults": [{"path": "set", "value": 0}],
      "rules": [
        {"cond": {"type": "regex_match", "left": ".v", "right": "[[:digit:].]+"},
         "action": {"path": "before", "value": true}},
        {"cond": {"type": "regex_notmatch", "left": ".v", "right": "(1)\\1"},
         "action": {"path": "bad", "value": true}},
        {"cond": {"type": "regex_imatch", "left": ".v", "right": "(?!x)"},
         "action": {"path": "bad2", "value": true}},
        {"cond": {"type": "regex_match", "left": ".v", "right": "1\\d.*+"},
         "action": {"path": "after", "value": true}}]})json");
  Json::Value doc = J(R"({"v": "10.0.19045"})");
  std::string invalidPattern;
  EXPECT_EQ(0, RunRuleSet(ruleSet, doc, RootKeepsObjects(doc), &invalidPattern));
  EXPECT_EQ(J(R"({"v": "10.0.19045", "D": {"set": 0, "before": true, "after": true}})"), doc);
  EXPECT_EQ(0u, invalidPattern.find("Invalid regular expression \"(1)\\1\": back-reference"))
      << invalidPattern;
  // Without a place for the message the rule set still runs to its end.
  Json::Value again = J(R"({"v": "10.0.19045"})");
  EXPECT_EQ(0, RunRuleSet(ruleSet, again));
  EXPECT_EQ(doc, again);
}

class RulesRunnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    module.reset(CreateModuleByClass("RulesRunner"));
    ASSERT_NE(nullptr, module);
    module->SetName("RULES");
    ASSERT_EQ(0, module->Init(nullptr, &stage));
  }
  CStage stage{"S"};
  std::unique_ptr<IModule> module;
};

TEST_F(RulesRunnerTest, RunsItsRuleSetAndWritesNoRecord) {
  module->SetArgs(J(std::string(R"({"rules": )") + kMemoryFlag + "}"));
  Json::Value doc = J(R"({"F": {"n": 100}})");
  EXPECT_EQ(0, module->Execute(doc));
  EXPECT_EQ(J(R"({"F": {"n": 100}, "D": {"flag": true}})"), doc);
}

TEST_F(RulesRunnerTest, WithoutRulesSucceedsAndWritesNothing) {
  for (const char* args : {"null", "{}", R"({"rules": null})", R"({"other": 1})"}) {
    SCOPED_TRACE(args);
    module->SetArgs(J(args));
    Json::Value doc;
    EXPECT_EQ(0, module->Execute(doc));
    EXPECT_TRUE(doc.isNull());
  }
}

// The module fails, naming the pattern, after applying the rules it could.
TEST_F(RulesRunnerTest, AnUnmatchablePatternFailsTheModule) {
  module->SetArgs(J(R"({"rules": {"base": ".D", "rules": [
      {"cond": {"type": "regex_match", "left": ".s", "right": "a{1,2}{"},
       "action": {"path": "bad", "value": true}},
      {"cond": {"type": "regex_imatch", "left": ".s", "right": "ABC"},
       "action": {"path": "good", "value": true}}]}})"));
  Json::Value doc = J(R"({"s": "abc"})");
  EXPECT_EQ(-1, module->Execute(doc));
  EXPECT_TRUE(doc["D"]["good"].asBool());
  EXPECT_FALSE(doc["D"].isMember("bad"));
  const Json::Value& record = doc["S"]["RULES"];
  EXPECT_EQ("fatal", record["status"].asString());
  EXPECT_EQ("INVALID_PATTERN", record["error"].asString());
  EXPECT_EQ("Invalid regular expression \"a{1,2}{\": missing } of a repeat count",
            record["reason"].asString());
}

TEST_F(RulesRunnerTest, ErrorsLeaveExecuteAsExceptions) {
  module->SetArgs(J(R"({"rules": {"base": 5}})"));
  Json::Value doc;
  EXPECT_THROW(module->Execute(doc), Json::LogicError);
}

}  // namespace
}  // namespace orvex
