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

// "ORVEX_ENV": "development" gives 3, "sandbox" 2, anything else or unset 1.
int GetServerEnvironment();

// Prefix + the service's domain; the prefix is "BASE_DOMAIN" when set, else "http://",
// "http://sandbox." or "http://development." by the server environment.
std::string GetBaseUrl();

// The same for the download host, with "DOWNLOAD_DOMAIN".
std::string GetDownloadBaseUrl();

// The analytics collector's "/collect?" endpoint: prefix + the collector's domain +
// "/collect?", the prefix taken from "ANALYTICS_DOMAIN" like the service's.
std::string GetAnalyticsUrl();

// The analytics tracking id of the server environment ("UA-" account "-" property).
std::string AnalyticsTrackingId();

// The help page for article on the web service, naming the machine's maker and model as they
// are (unescaped).
std::string KnowledgeBaseUrl(const std::string& article, const std::string& manufacturer,
                             const std::string& model);

}  // namespace orvex
