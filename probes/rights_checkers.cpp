#include "probes/rights_checkers.h"

#include "base/json_text.h"
#include "base/text.h"
#include "common/session_cells.h"
#include "engine/progress.h"
#include "engine/value_path.h"
#include "platform/files.h"
#include "probes/knowledge_base.h"
#include "probes/system_access.h"

namespace orvex {

namespace {

// The file object's GENERIC_MAPPING.
constexpr platform::GenericMapping kFileMapping = {0x120089, 0x120116, 0x1200A0, 0x1F01FF};
constexpr uint32_t kGenericRead = 0x80000000;
constexpr uint32_t kGenericWrite = 0x40000000;

}  // namespace

int CheckDirectoryAccess(const std::wstring& path) {
  return platform::ProcessTokenHasAccess(path, kGenericRead | kGenericWrite, kFileMapping) ? 0 : -1;
}

bool CheckSystemTempAccess() {
  const std::wstring tempPath = platform::TempPath();
  if (tempPath.empty()) return true;
  std::vector<platform::AccessEntry> entries;
  // What cannot be read counts as granted: the check only stops on a proven denial.
  if (!platform::ReadFileAccessList(tempPath, &entries)) return true;
  return SystemAccessAllowed(entries);
}

int CRightToDirChecker::Execute(Json::Value& doc) {
  const Json::Value& argument = Member(args, "directory");
  if (argument.isNull()) {
    RecordResult(doc, "fatal", "The directory string is null", "DIRECTORY_PATH_NULL");
    return -1;
  }
  const std::wstring directory = Utf8ToWide(ResolveStringArg(argument, doc));
  if (progress) progress->SetDetail("Checking rights for directory ");
  if (CheckDirectoryAccess(directory) != 0) {
    RecordResult(doc, "failed", "No rights to directory", "NO_DIRECTORY_RIGHTS");
    return -1;
  }
  return 0;
}

int CSysRightsToTempChecker::Execute(Json::Value& doc) {
  if (progress) progress->SetDetail("Checking SYSTEM account permission for installation");
  if (CheckSystemTempAccess()) return 0;
  RecordResult(doc, "failed", "SYSTEM account don't have enough permission",
               "INSUFFICIENT_SYSTEM_RIGHTS");
  if (progress) {
    // The only button is the declining "Ok", so the answer is 0 whenever the user answers.
    const int answer = progress->Prompt("Don't have enough permission to install Orvex", "", "Ok",
                                        "Press Ok to get help", 0);
    if (answer == 0) {
      OpenKnowledgeBaseArticle("changesystemrights");
      EnableMainDialogCancel(true);
    }
  }
  return -1;
}

}  // namespace orvex
