#include "actions/download_error.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace orvex {

namespace {

const char* const kErrorNames[] = {
    "DOWNLOAD_ERROR",           "DOWNLOAD_CANCELED",   "DOWNLOAD_FILE_CORRUPTED",
    "ERROR_SAVING_FILE",        "NETWORK_ERROR",       "NETWORK_RESET",
    "UNABLE_TO_GET_SIZE",       "UNABLE_TO_ALLOC_MEM", "DOWNLOAD_HASH_MISMATCH",
    "CERTIFICATE_NOT_VERIFIED",
};
const int32_t kNamedErrors = static_cast<int32_t>(sizeof kErrorNames / sizeof kErrorNames[0]);

}  // namespace

CHttpDownloadEx DownloadError(int32_t code, int32_t detail, uint32_t sysError) {
  CHttpDownloadEx error;
  error.code = code;
  error.detail = detail;
  error.sysError = sysError;
  return error;
}

std::string DescribeDownloadError(const CHttpDownloadEx& error) {
  if (error.code < 1 || error.code > kNamedErrors) return "UNKNOWN_ERROR";
  const long double number = error.sysError != 0 ? error.sysError : error.detail;
  char text[64];
  std::snprintf(text, sizeof text, "%Lg", number);
  std::string described = std::string(kErrorNames[error.code - 1]) + " (" + text + ")";
  // The digests belong to the description; a certificate's sentence is for the user's eyes.
  if (error.code == CHttpDownloadEx::kHashMismatch && !error.text.empty())
    described += ": " + error.text;
  return described;
}

}  // namespace orvex
