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
  // Copied before storing: the source may be the target itself, or lie inside it.
  Json::Value copy = IsValuePath(value) ? FindPath(doc, value.asString()) : value;
  // A path into a value that holds no members, or over a record the run writes into.
  if (!Store(doc, target, std::move(copy), path.asString())) return -1;
  return 0;
}

}  // namespace orvex
