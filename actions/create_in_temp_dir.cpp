#include "actions/create_in_temp_dir.h"

#include "base/json_text.h"
#include "base/text.h"
#include "engine/progress.h"
#include "engine/value_path.h"
#include "platform/admin_folders.h"
#include "platform/files.h"
#include "platform/random.h"
#include "platform/win_codes.h"

namespace orvex {

namespace {

// A directory text that names no new directory inside the temporary directory: empty, a
// drive ("C:"), a rooted path ("\\x") or a component of dots and blanks only (Windows drops
// trailing dots and blanks, so ".", ".." and ". ." all name an existing directory). Its path,
// stored for the session, would name a directory that RemoveDir later empties.
bool ClimbsOut(const std::string& directory) {
  if (directory.empty() || directory.find(':') != std::string::npos) return true;
  if (directory[0] == '\\' || directory[0] == '/') return true;
  std::size_t start = 0;
  while (start < directory.size()) {
    std::size_t end = directory.find_first_of("\\/", start);
    if (end == std::string::npos) end = directory.size();
    const std::string part = directory.substr(start, end - start);
    if (!part.empty() && part.find_first_not_of(". ") == std::string::npos) return true;
    start = end + 1;
  }
  return false;
}

// Names tried after the one asked for is taken, each with a new random suffix.
constexpr int kSuffixedTries = 8;
constexpr std::size_t kSuffixBytes = 8;

// "-" and sixteen random hex digits, or "" when the system's generator failed.
std::wstring RandomSuffix() {
  unsigned char bytes[kSuffixBytes];
  if (!platform::RandomBytes(bytes, sizeof bytes, nullptr)) return std::wstring();
  const wchar_t* digits = L"0123456789abcdef";
  std::wstring suffix = L"-";
  for (unsigned char byte : bytes) {
    suffix += digits[byte >> 4];
    suffix += digits[byte & 0xF];
  }
  return suffix;
}

// Makes a new folder at path for administrators only, and when that name is taken (by anyone:
// a folder left over, or one planted by a user who guessed the name), at path with a random
// suffix: an existing folder is never used, its contents could be anyone's. The folder made
// is in *made.
bool MakeNewAdminOnlyFolder(const std::wstring& path, std::wstring* made, uint32_t* error) {
  if (platform::MakeAdminOnlyDirectory(path, error)) {
    *made = path;
    return true;
  }
  for (int attempt = 0; attempt < kSuffixedTries && *error == platform::kErrorAlreadyExists;
       ++attempt) {
    const std::wstring suffix = RandomSuffix();
    if (suffix.empty()) return false;
    if (platform::MakeAdminOnlyDirectory(path + suffix, error)) {
      *made = path + suffix;
      return true;
    }
  }
  return false;
}

}  // namespace

int CCreateInTempDir::CreateTempDirectory(Json::Value& doc, Json::Value& target,
                                          const std::string& directory) {
  if (ClimbsOut(directory)) {
    Record(doc)["error"] = "CREATE_DIRECTORY_FAILED";
    return -1;
  }
  const std::wstring tempPath = platform::TempPath();
  if (tempPath.empty()) return -1;
  // Directory names are ASCII: each byte becomes one UTF-16 unit.
  std::wstring path = tempPath;
  for (unsigned char byte : directory) path.push_back(static_cast<wchar_t>(byte));
  if (progress) progress->SetDetail("Creating " + ToNarrow(path));
  uint32_t error = 0;
  std::wstring made;
  if (MakeNewAdminOnlyFolder(path, &made, &error)) {
    target = WideToUtf8(made);
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
  // The path runs into a value that holds no members, or names a record the run writes into
  // (the stored path is a text).
  if (!MayStore(doc, target, Json::Value(""))) {
    RecordResult(doc, "failed", "Not able to store a value at " + saveTo.asString(),
                 "PATH_NOT_WRITABLE");
    return -1;
  }
  // Without a directory of its own the session would work in the temporary directory
  // itself, which the RemoveDir at the end of the run would then empty.
  const std::string directory = ResolvePathArg(Member(args, "directory"), doc);
  if (directory.empty()) {
    RecordResult(doc, "fatal", "The directory string is null", "DIRECTORY_PATH_NULL");
    return -1;
  }
  if (CreateTempDirectory(doc, *target, directory) == 0) return 0;
  RecordResult(doc, "failed", "Not able to create directory - " + directory, "");
  if (progress) progress->Prompt("Could not create temp directory.", "Ok", "", "", 2);
  return -1;
}

}  // namespace orvex
