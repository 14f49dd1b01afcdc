#pragma once
// Modules that check, before files are written, that the installation will have the access it
// needs: "RightsToDirChecker" (the installer's own read and write access to a directory) and
// "SysRightsToTempChecker" (the SYSTEM account is not denied the temporary directory).

#include <string>
#include <vector>

#include "engine/module.h"
#include "platform/security.h"

namespace orvex {

class CRightToDirChecker : public CBasicModule {
 public:
  int Execute(Json::Value& doc) override;
};

class CSysRightsToTempChecker : public CBasicModule {
 public:
  int Execute(Json::Value& doc) override;
};

// 0 when the process token is granted read and write access to path, -1 in every other case.
int CheckDirectoryAccess(const std::wstring& path);

// False only when the temporary directory's access list denies SYSTEM reading or writing.
bool CheckSystemTempAccess();

}  // namespace orvex
