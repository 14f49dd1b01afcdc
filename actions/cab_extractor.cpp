#include "actions/cab_extractor.h"

#include "actions/cabinet.h"
#include "base/json_text.h"
#include "base/text.h"
#include "engine/progress.h"
#include "engine/value_path.h"

namespace orvex {

int CCABExtractor::Execute(Json::Value& doc) {
  const Json::Value& cab = Member(args, "cab");
  // A name that is no text, or empty, names no cabinet.
  if (!cab.isString() || cab.asString().empty()) {
    RecordResult(doc, "fatal", "The CAB string is null", "CAB_STRING_NULL");
    return -1;
  }
  const Json::Value& directoryArg = Member(args, "directory");
  // An empty directory (also a value path naming nothing) would unpack into the drive root.
  const std::wstring directory =
      directoryArg.isNull() ? std::wstring() : Utf8ToWide(ResolveStringArg(directoryArg, doc));
  if (directory.empty()) {
    RecordResult(doc, "fatal", "The destination string is null", "DIRECTORY_PATH_NULL");
    return -1;
  }
  // The configuration is UTF-8 like the paths in the session document it is joined with.
  const std::wstring cabinetPath = directory + L"\\" + Utf8ToWide(cab.asString());
  if (progress) progress->SetDetail("Extracting cab file.");

  CCabinet cabinet(cabinetPath, directory);
  if (cabinet.Extract() == 0) return 0;
  RecordResult(doc, "failed", "Unable to extract cab file.", cabinet.LastError());
  if (progress)
    progress->Prompt("Could not extract downloaded file.", "Ok", "",
                     "Failed to extract downloaded file, downloaded file could be corrupted, "
                     "please try again.",
                     2);
  return -1;
}

}  // namespace orvex
