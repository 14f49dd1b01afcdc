#include "engine/value_path.h"

namespace orvex {

std::vector<PathStep> ParsePath(const std::string& path) {
  std::vector<PathStep> steps;
  const std::size_t end = path.size();
  std::size_t pos = 0;
  while (pos < end) {
    char c = path[pos];
    if (c == '[') {
      ++pos;
      PathStep step;
      step.isIndex = true;
      Json::ArrayIndex index = 0;
      while (pos < end && path[pos] >= '0' && path[pos] <= '9') {
        // Stop growing once past the limit, so that long digit runs cannot wrap around to
        // a small index.
        if (index <= kMaxPathIndex)
          index = index * 10 + static_cast<Json::ArrayIndex>(path[pos] - '0');
        ++pos;
      }
      step.index = index;
      steps.push_back(step);
      ++pos;  // the closing bracket, whatever it is
    } else if (c == '.') {
      ++pos;
    } else {
      std::size_t stop = path.find_first_of(".[", pos);
      if (stop == std::string::npos) stop = end;
      PathStep step;
      step.member = path.substr(pos, stop - pos);
      steps.push_back(step);
      pos = stop;
    }
  }
  return steps;
}

const Json::Value& FindPath(const Json::Value& root, const std::string& path) {
  const Json::Value* node = &root;
  for (const PathStep& step : ParsePath(path)) {
    if (step.isIndex) {
      if (step.index > kMaxPathIndex || !node->isArray() || step.index >= node->size())
        return Json::Value::nullSingleton();
      node = &(*node)[step.index];
    } else {
      if (!node->isObject()) return Json::Value::nullSingleton();
      const Json::Value* member =
          node->find(step.member.data(), step.member.data() + step.member.size());
      if (!member) return Json::Value::nullSingleton();
      node = member;
    }
  }
  return *node;
}

Json::Value* MakePath(Json::Value& root, const std::string& path) {
  const std::vector<PathStep> steps = ParsePath(path);
  // An index past the limit anywhere refuses the path before anything is created.
  for (const PathStep& step : steps)
    if (step.isIndex && step.index > kMaxPathIndex) return nullptr;
  Json::Value* node = &root;
  for (const PathStep& step : steps) {
    if (step.isIndex) {
      if (node->isNull()) *node = Json::Value(Json::arrayValue);
      if (!node->isArray()) return nullptr;
      node = &(*node)[step.index];
    } else {
      if (node->isNull()) *node = Json::Value(Json::objectValue);
      if (!node->isObject()) return nullptr;
      node = &(*node)[step.member];
    }
  }
  return node;
}

bool IsValuePath(const Json::Value& v) {
  if (!v.isString()) return false;
  const char* begin = nullptr;
  const char* end = nullptr;
  return v.getString(&begin, &end) && end > begin && *begin == '.';
}

std::string ResolveStringArg(const Json::Value& arg, Json::Value& doc) {
  if (IsValuePath(arg)) {
    const Json::Value* node = MakePath(doc, arg.asString());
    return node && node->isString() ? node->asString() : std::string();
  }
  return arg.isString() ? arg.asString() : std::string();
}

std::string ResolvePathArg(const Json::Value& arg, Json::Value& doc) {
  std::string path = ResolveStringArg(arg, doc);
  if (path.find_first_not_of(" \t") == std::string::npos) path.clear();
  return path;
}

std::string GetStringByPath(const Json::Value& doc, const std::string& path) {
  const Json::Value& node = FindPath(doc, path);
  return node.isString() ? node.asString() : std::string();
}

Json::Int64 GetIntByPath(const Json::Value& doc, const std::string& path) {
  const Json::Value& node = FindPath(doc, path);
  if (node.type() == Json::intValue) return node.asInt64();
  if (node.type() == Json::uintValue) return static_cast<Json::Int64>(node.asUInt64());
  return 0;
}

}  // namespace orvex
