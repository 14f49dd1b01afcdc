#pragma once
// The module definitions the prompts inject, as the installer carries them: single-quoted
// JSON, each with the trailing fragment it always had (the reader stops after the first
// complete value, so the fragments are never read).

namespace orvex {

extern const char* const kDotNetDownloadSnippet;
extern const char* const kDotNetExtractionSnippet;
extern const char* const kDotNetInstallationSnippet;
extern const char* const kDriverAddressQuerySnippet;
extern const char* const kDriverDownloadSnippet;
extern const char* const kDriverInstallationSnippet;
extern const char* const kRestartSnippet;

// Their placeholders: the download host's and the web service's base addresses.
constexpr const char* kDownloadUrlPlaceholder = "%ORVEX_DOWNLOAD_URL%";
constexpr const char* kServerUrlPlaceholder = "%ORVEX_SERVER_URL%";

}  // namespace orvex
