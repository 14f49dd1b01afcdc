#include "fuzz/fuzz_support.h"

#include <json/json.h>

#include <regex>

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
