#include "fuzz/fuzz_support.h"

#include <json/json.h>

#include <regex>

#include "app/module_table.h"

namespace orvex {
namespace fuzz {

void RunTolerant(const std::function<void()>& work) {
  try {
    work();
  } catch (const Json::Exception&) {
  } catch (const std::regex_error&) {
  }
}

}  // namespace fuzz
}  // namespace orvex

// libFuzzer's start-up hook: every target knows the installer's module classes, as the
// programs do from their start.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  orvex::RegisterModuleTable();
  return 0;
}
