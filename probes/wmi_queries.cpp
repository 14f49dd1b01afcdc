#include "probes/wmi_queries.h"

#include "base/text.h"
#include "probes/wmi_connection.h"

namespace orvex {

std::string CWmiConnection::QueryText(const std::string& className, const std::string& condition) {
  std::string text = "SELECT * FROM " + className;
  if (!condition.empty()) text += " WHERE " + condition;
  return text;
}

std::string CWmiConnection::AssociatorsText(const std::string& objectPath,
                                            const std::string& assocClass) {
  return "ASSOCIATORS OF {" + objectPath + "} WHERE AssocClass = " + assocClass;
}

std::string DiskDriveCondition(const std::string& driveId) {
  std::string condition = "DeviceID='" + driveId + "'";
  return ReplaceAll(condition, "\\", "\\\\");
}

std::wstring UserProfileCondition(const std::wstring& sid) { return L"SID=\"" + sid + L"\""; }

}  // namespace orvex
