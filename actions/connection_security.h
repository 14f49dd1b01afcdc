#pragma once
// The connection settings every libcurl handle of the installer gets: the server's certificate
// and host name verified, TLS 1.2 or newer, https only, for the request and for any redirect
// (plain http beside it only when the development settings allow it: PlainHttpAllowed in
// common/web_service.h). The installer runs what it downloads with administrator rights, so a
// connection it cannot verify is refused, never retried or let through.

#include <string>

typedef void CURL;

namespace orvex {

// The size of the buffer SecureConnection may be given for libcurl's reason of a failure.
constexpr int kConnectionReasonSize = 256;

// Sets the verification, protocol-version and protocol options on handle. reason, when not
// null, is a buffer of kConnectionReasonSize bytes that outlives the handle's transfers;
// libcurl writes its explanation of a failed transfer there. Returns 0, or -1 when an option
// cannot be set (the handle must then not be used: it would connect with less than asked).
int SecureConnection(CURL* handle, char* reason);

// Whether a failed transfer's result, with the reason libcurl wrote for it (may be null), says
// the server's certificate could not be verified (an unknown authority, a name that does not
// match the host, an expired or revoked certificate).
bool IsCertificateFailure(int curlResult, const char* reason);

// The text of such a failure for the user: it names the host of url and gives libcurl's reason
// (its detailed one when reason holds text, else the result's general text).
std::string CertificateFailureText(const std::string& url, int curlResult, const char* reason);

}  // namespace orvex
