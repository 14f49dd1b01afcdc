#include "common/web_service.h"

#include "platform/environment.h"

namespace orvex {

namespace {

std::string UrlOn(const char* prefixVariable, const char* domain) {
  std::string prefix;
  if (platform::FindEnvironmentVariable(prefixVariable, &prefix)) return prefix + domain;
  switch (GetServerEnvironment()) {
    case 3:
      return "http://development." + std::string(domain);
    case 2:
      return "http://sandbox." + std::string(domain);
    default:
      return "http://" + std::string(domain);
  }
}

}  // namespace

int GetServerEnvironment() {
  const std::string environment = platform::EnvironmentVariable("ORVEX_ENV");
  if (environment == "development") return 3;
  if (environment == "sandbox") return 2;
  return 1;
}

std::string GetBaseUrl() { return UrlOn("BASE_DOMAIN", kServiceDomain); }

std::string GetDownloadBaseUrl() { return UrlOn("DOWNLOAD_DOMAIN", kDownloadDomain); }

std::string GetAnalyticsUrl() { return UrlOn("ANALYTICS_DOMAIN", kAnalyticsDomain) + "/collect?"; }

std::string AnalyticsTrackingId() {
  switch (GetServerEnvironment()) {
    case 3:
      return "UA-61842907-3";
    case 2:
      return "UA-61842907-2";
    default:
      return "UA-61842907-1";
  }
}

std::string KnowledgeBaseUrl(const std::string& article, const std::string& manufacturer,
                             const std::string& model) {
  return GetBaseUrl() + "/index/knowledgebase?article=" + article +
         "&manufacturer=" + manufacturer + "&model=" + model;
}

}  // namespace orvex
