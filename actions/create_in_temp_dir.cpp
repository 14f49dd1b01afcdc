#include "actions/create_in_temp_dir.h"

#include "base/json_text.h"
#include "engine/progress.h"
#include "base/text.h"
#include "engine/value_path.h"
#include "platform/files.h"
#include "platform/win_codes.h"

namespace orvex {

int CCreateInTempDir::CreateTempDirectory(Json::Value& doc, Json::Value& target,
                                          const std::string& directory) {
  const std::wstring tempPath = platform::TempPath();
  if (tempPath.empty()) return -1;
  // Directory names are ASCII: each byte becomes one UTF-16 unit.
  std::wstring path = tempPath;
  for (unsigned char byte : directory) path.push_back(static_cast<wchar_t>(byte));
  if (progress) progress->SetDetail("Creating " + ToNarrow(path));
  uint32_t error = 0;
  if (platform::MakeDirectory(path, &error) || error == platform::kErrorAlreadyExists) {
    target = WideToUtf8(path);
    return 0;
  }
  Record(doc)["error"] = error == platform::kErrorPathNotFound ? "DIRECTORY_PATH_NOT_FOUND"
                                                                : "CREATE_DIRECTORY_FAILED";
  return -1;
}

int CCreateInTempDir::Execute(Json::Value& doc) {
  const Json::Value& saveTo = Member(args, "saveTo");
  // A "saveTo" that is not a text names no place; it counts as missing.
  if (!saveTo.isString()) {
    RecordResult(doc, "fatal", "There is no saveTo path", "NO_SAVETO_PATH");
    return -1;
  }
  Json::Value* target = MakePath(doc, saveTo.asString());
  if (!target) {
    // The path runs into a value that holds no members or elements.
    RecordResult(doc, "failed", "Not able to store a value at " + saveTo.asString(),
                 "PATH_NOT_WRITABLE");
    return -1;
  }
  const std::string directory = ResolveStringArg(Member(args, "directory"), doc);
  if (CreateTempDirectory(doc, *target, directory) == 0) return 0;
  RecordResult(doc, "failed", "Not able to create directory - " + directory, "");
  if (progress) progress->Prompt("Could not create temp directory.", "Ok", "", "", 2);
  return -1;
}

}  // namespace orvex
