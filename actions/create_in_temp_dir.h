#pragma once

#include <string>

#include "engine/module.h"

namespace orvex {

// "CreateInTempDir": creates the session's working directory "directory" inside the user's
// temporary directory and stores its path at the value path "saveTo". The directory is always
// new, and only administrators can change it: the elevated installer verifies and runs what it
// puts there. When the name is taken, a random suffix makes the name of a new one.
class CCreateInTempDir : public CBasicModule {
 public:
  int Execute(Json::Value& doc) override;

 private:
  // Creates the directory and stores its path in target; on failure records the error code
  // (none when the temporary directory is unknown) and gives -1.
  int CreateTempDirectory(Json::Value& doc, Json::Value& target, const std::string& directory);
};

}  // namespace orvex
