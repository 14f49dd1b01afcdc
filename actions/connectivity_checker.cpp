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
  std::string certificateFailure;
  if (ProbeUrl(url, &certificateFailure) == 0) return 0;

  // A refused certificate is no missing connection: the user is told which it was.
  std::string reason = "No connection to " + url;
  if (!certificateFailure.empty()) reason += ". " + certificateFailure;
  RecordResult(doc, "failed", reason, "NO_CONNECTION");
  const std::string detail = certificateFailure.empty()
                                 ? "An internet connection is required to continue installation."
                                 : certificateFailure;
  if (progress)
    progress->Prompt("Could not connect to " + url + " please check your Internet connection.",
                     "Ok", "", detail, 2);
  return -1;
}

}  // namespace orvex
