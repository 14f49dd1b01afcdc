#include "actions/ajax_request.h"

#include <curl/curl.h>

#include "actions/http_request.h"
#include "base/json_text.h"
#include "base/text.h"
#include "engine/value_path.h"

namespace orvex {

namespace {

std::string ParameterValue(const Json::Value& value, Json::Value& doc) {
  switch (value.type()) {
    case Json::intValue:
      // The 32-bit signed value, as "%d" prints it.
      return std::to_string(static_cast<int32_t>(value.asLargestInt()));
    case Json::uintValue:
      return std::to_string(static_cast<int32_t>(value.asLargestUInt()));
    case Json::stringValue:
      return ResolveStringArg(value, doc);
    case Json::booleanValue:
      return value.asBool() ? "true" : "false";
    default:
      return std::string();
  }
}

}  // namespace

std::string BuildRequestParameters(const Json::Value& args, Json::Value& doc) {
  if (!args.isObject()) return std::string();
  // Resolved against a copy: a value path that names nothing must not appear in the document.
  Json::Value scratch = doc;
  std::string text;
  for (const std::string& key : args.getMemberNames()) {
    if (!text.empty()) text += "&";
    text += EncodeFormValue(key) + "=" + EncodeFormValue(ParameterValue(args[key], scratch));
  }
  return text;
}

int CAjaxRequest::Execute(Json::Value& doc) {
  const Json::Value& requestUrl = Member(args, "request_url");
  if (requestUrl.isNull()) {
    RecordResult(doc, "fatal", "There is no request URL", "REQUEST_URL_NULL");
    return -1;
  }
  const Json::Value& requestArgs = Member(args, "request_args");
  const bool answerIsJson = JsonTruth(Member(args, "is_res_json"));
  const Json::Value& responsePath = Member(args, "res_path");
  Json::Value* target = responsePath.isString() ? MakePath(doc, responsePath.asString()) : nullptr;
  if (!target) {
    RecordResult(doc, "fatal", "There is no response path or is invalid", "INVALID_RESPONSE_PATH");
    return -1;
  }

  std::string request = JsonText(requestUrl) + "?" + BuildRequestParameters(requestArgs, doc);
  std::string answer;
  int sent = -1;
  // Said for a certificate that could not be verified and for a redirect other than 302.
  std::string cause;
  try {
    CHttpRequest http(curl_easy_init());
    sent = http.Send(request, answer);
  } catch (const COrvexException& failure) {
    sent = -1;
    const bool explained =
        failure.code == COrvexException::kUnverifiedServer ||
        (failure.code == COrvexException::kRedirected && failure.text != "No error");
    if (explained) cause = " " + failure.text;
  }
  if (sent != 0) {
    RecordResult(doc, "fatal", "Could not get AJAX response." + cause, "NO_AJAX_RESPONSE");
    return -1;
  }
  EraseAll(answer, " ");
  Json::Value value;
  if (answerIsJson) {
    if (!ParseJson(answer, value)) {
      RecordResult(doc, "fatal", "The response is invalid Json format", "INVALID_JSON_RESPONSE");
      return -1;
    }
  } else {
    value = answer;
  }
  const bool stored = Store(doc, target, std::move(value), responsePath.asString());
  return stored ? 0 : -1;
}

}  // namespace orvex
