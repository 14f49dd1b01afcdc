#include "actions/connectivity_checker.h"

#include "actions/http_request.h"
#include "base/json_text.h"
#include "engine/progress.h"

namespace orvex {

int CConnectivityChecker::Execute(Json::Value& doc) {
  const Json::Value& urlArg = Member(args, "url");
  if (urlArg.isNull()) {
    RecordResult(doc, "fatal", "The URL string is null", "URL_NULL");
    return -1;
  }
  const std::string url = JsonText(urlArg);
  if (progress) progress->SetDetail("Checking connection to " + url);
  if (ProbeUrl(url) == 0) return 0;

  RecordResult(doc, "failed", "No connection to " + url, "NO_CONNECTION");
  if (progress)
    progress->Prompt("Could not connect to " + url + " please check your Internet connection.",
                     "Ok", "", "An internet connection is required to continue installation.", 2);
  return -1;
}

}  // namespace orvex
