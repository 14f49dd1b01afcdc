#include "common/web_service.h"

#include "platform/development_settings.h"
#include "platform/shell.h"

namespace orvex {

namespace {

// The development settings that replace a scheme prefix.
const char* const kPrefixSettings[] = {"BASE_DOMAIN", "DOWNLOAD_DOMAIN", "ANALYTICS_DOMAIN"};

std::string UrlOn(const char* prefixSetting, const char* domain) {
  std::string prefix;
  if (platform::FindDevelopmentSetting(prefixSetting, &prefix)) return prefix + domain;
  switch (GetServerEnvironment()) {
    case 3:
      return "https://development." + std::string(domain);
    case 2:
      return "https://sandbox." + std::string(domain);
    default:
      return "https://" + std::string(domain);
  }
}

bool StartsWithNoCase(const std::string& text, const char* start) {
  for (std::size_t i = 0; start[i]; ++i) {
    if (i >= text.size()) return false;
    const char c =
        text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
    if (c != start[i]) return false;
  }
  return true;
}

}  // namespace

int GetServerEnvironment() {
  const std::string environment = platform::DevelopmentSetting("ORVEX_ENV");
  if (environment == "development") return 3;
  if (environment == "sandbox") return 2;
  return 1;
}

std::string GetBaseUrl() { return UrlOn("BASE_DOMAIN", kServiceDomain); }

std::string GetDownloadBaseUrl() { return UrlOn("DOWNLOAD_DOMAIN", kDownloadDomain); }

std::string GetAnalyticsUrl() { return UrlOn("ANALYTICS_DOMAIN", kAnalyticsDomain) + "/collect?"; }

bool PlainHttpAllowed() {
  for (const char* setting : kPrefixSettings) {
    std::string prefix;
    if (platform::FindDevelopmentSetting(setting, &prefix) && StartsWithNoCase(prefix, "http://"))
      return true;
  }
  return false;
}

std::string WebPageAddress(const std::string& url) {
  if (StartsWithNoCase(url, "https://")) return url;
  if (StartsWithNoCase(url, "http://"))
    return PlainHttpAllowed() ? url : "https://" + url.substr(std::string("http://").size());
  return std::string();
}

void OpenWebPage(const std::string& url) {
  const std::string address = WebPageAddress(url);
  if (!address.empty()) platform::OpenUrl(address);
}

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
