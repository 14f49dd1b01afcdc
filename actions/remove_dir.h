#pragma once

#include <string>

#include "engine/module.h"

namespace orvex {

// "RemoveDir": deletes "directory" with everything in it, read-only files included.
class CRemoveDir : public CBasicModule {
 public:
  int Execute(Json::Value& doc) override;

 private:
  // 1 when the directory is gone; 0 at the first failure (what was deleted stays deleted).
  int RemoveTree(const std::wstring& directory);
};

}  // namespace orvex
