#pragma once
// The failure of a segmented download (actions/segmented_download.h) and its text for the
// session's record and the log.

#include <cstdint>
#include <string>

namespace orvex {

// The failure of a segmented download.
struct CHttpDownloadEx {
  enum Kind : int32_t {
    kDownloadError = 1,      // "DOWNLOAD_ERROR": a handle or an option could not be set up
    kCanceled = 2,           // "DOWNLOAD_CANCELED"
    kFileCorrupted = 3,      // "DOWNLOAD_FILE_CORRUPTED": the ranges do not add up
    kErrorSavingFile = 4,    // "ERROR_SAVING_FILE"
    kNetworkError = 5,       // "NETWORK_ERROR": host not resolved or timed out, last attempt
    kNetworkReset = 6,       // "NETWORK_RESET": connection broken while receiving
    kUnableToGetSize = 7,    // "UNABLE_TO_GET_SIZE"
    kUnableToAllocMem = 8,   // "UNABLE_TO_ALLOC_MEM"
    kHashMismatch = 9,       // "DOWNLOAD_HASH_MISMATCH": the file is not the one expected
    kUnverifiedServer = 10,  // "CERTIFICATE_NOT_VERIFIED": the server's certificate refused
  };
  int32_t code = 0;
  int32_t detail = 0;     // the libcurl result behind the failure, or 0
  uint32_t sysError = 0;  // Windows error (ERROR_*) of a failed file operation, else 0
  // kUnverifiedServer: the sentence for the user, naming the host and libcurl's reason;
  // kHashMismatch: the digest expected and the one received.
  std::string text{};
};

// A failure of the given kind without text.
CHttpDownloadEx DownloadError(int32_t code, int32_t detail = 0, uint32_t sysError = 0);

// "NAME (N)", then ": text" for a hash mismatch; N is sysError when set, else detail.
// "UNKNOWN_ERROR" for codes without a name.
std::string DescribeDownloadError(const CHttpDownloadEx& error);

}  // namespace orvex
