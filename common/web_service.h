#pragma once
// Where the product's web service, download host and web site live.

#include <string>

namespace orvex {

// The product's web site; also the host named when the configuration cannot be fetched.
constexpr const char* kProductSiteHost = "www.orvex.example";
// The web service's and the download host's domains, after the scheme prefix.
constexpr const char* kServiceDomain = "installer.orvex.example";
constexpr const char* kDownloadDomain = "dl.orvex.example";
// The analytics collector's domain, after the scheme prefix.
constexpr const char* kAnalyticsDomain = "analytics.orvex.example";

// Every setting named here is a development setting (platform/development_settings.h): on
// Windows a value an administrator wrote under HKEY_LOCAL_MACHINE, never the user's environment.

// "ORVEX_ENV": "development" gives 3, "sandbox" 2, anything else or unset 1.
int GetServerEnvironment();

// Prefix + the service's domain; the prefix is "BASE_DOMAIN" when set, else "https://",
// "https://sandbox." or "https://development." by the server environment.
std::string GetBaseUrl();

// The same for the download host, with "DOWNLOAD_DOMAIN".
std::string GetDownloadBaseUrl();

// The analytics collector's "/collect?" endpoint: prefix + the collector's domain +
// "/collect?", the prefix taken from "ANALYTICS_DOMAIN" like the service's.
std::string GetAnalyticsUrl();

// Whether the installer may use plain http at all: only when "BASE_DOMAIN", "DOWNLOAD_DOMAIN"
// or "ANALYTICS_DOMAIN" names the "http://" scheme itself, that is when whoever set up the
// machine pointed it at a local test service without TLS. Otherwise every connection, and
// every redirect, is https.
bool PlainHttpAllowed();

// The address a web page is opened at: an https address as it is; an http one upgraded to
// https (our pages are served over https), unless plain http is allowed; "" (open nothing) for
// any other scheme.
std::string WebPageAddress(const std::string& url);

// Opens the page at WebPageAddress(url) through the desktop shell (platform/shell.h); nothing
// when that address is "".
void OpenWebPage(const std::string& url);

// The analytics tracking id of the server environment ("UA-" account "-" property).
std::string AnalyticsTrackingId();

// The help page for article on the web service, naming the machine's maker and model as they
// are (unescaped).
std::string KnowledgeBaseUrl(const std::string& article, const std::string& manufacturer,
                             const std::string& model);

}  // namespace orvex
