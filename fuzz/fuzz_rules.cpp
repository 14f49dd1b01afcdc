// Conditions and rule sets. The input is one JSON value used both as a condition (against a
// fixed context) and as a rule set (against a copy of the same document); the context holds
// strings, integers, reals, booleans and containers for the paths to reach.

#include "base/json_text.h"
#include "engine/conditions.h"
#include "engine/rules.h"
#include "fuzz/fuzz_support.h"

namespace {

const Json::Value& Context() {
  static const Json::Value context = [] {
    Json::Value value;
    orvex::ParseJson(R"({"ui": "dialog", "n": 4, "r": 4.5, "b": true, "u": 18446744073709551615,
        "s": "Intel(R) Core(TM) i7", "list": [1, "two", {"three": 3}],
        "Config": {"gpu": {"vendor": "NVIDIA", "vendorid": "10DE"}, "memory": 4096}})",
                     value);
    return value;
  }();
  return context;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvex;
  Json::Value input;
  if (!ParseJson(fuzz::Text(data, size), input)) return 0;
  fuzz::RunTolerant([&] { (void)EvaluateCondition(input, Context()); });
  Json::Value doc = Context();
  fuzz::RunTolerant([&] { RunRuleSet(input, doc); });
  return 0;
}
