#include "actions/injector.h"

#include "base/json_text.h"
#include "engine/value_path.h"

namespace orvex {

int CInjector::Execute(Json::Value& doc) {
  const Json::Value& path = Member(args, "path");
  if (!path.isString()) {
    RecordResult(doc, "fatal", "The path string is null or not a string", "");
    return -1;
  }
  const Json::Value& value = Member(args, "value");
  Json::Value* target = MakePath(doc, path.asString());
  if (!target) {
    // The path runs into a value that holds no members or elements.
    RecordResult(doc, "failed", "Not able to store a value at " + path.asString(),
                 "PATH_NOT_WRITABLE");
    return -1;
  }
  // Copied before assigning: the source may be the target itself, or lie inside it.
  Json::Value copy = IsValuePath(value) ? FindPath(doc, value.asString()) : value;
  *target = std::move(copy);
  return 0;
}

}  // namespace orvex
