#include "app/web_service.h"

#include <cstdlib>
#include <cstring>

#include "platform/shell.h"

namespace orvex {

namespace {

std::string UrlOn(const char* prefixVariable, const char* domain) {
  if (const char* prefix = std::getenv(prefixVariable)) return prefix + std::string(domain);
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
  const char* environment = std::getenv("ORVEX_ENV");
  if (!environment) return 1;
  if (std::strcmp(environment, "development") == 0) return 3;
  if (std::strcmp(environment, "sandbox") == 0) return 2;
  return 1;
}

std::string GetBaseUrl() { return UrlOn("BASE_DOMAIN", kServiceDomain); }

std::string GetDownloadBaseUrl() { return UrlOn("DOWNLOAD_DOMAIN", kDownloadDomain); }

std::string KnowledgeBaseUrl(const std::string& article, const std::string& manufacturer,
                             const std::string& model) {
  return GetBaseUrl() + "/index/knowledgebase?article=" + article +
         "&manufacturer=" + manufacturer + "&model=" + model;
}

void OpenKnowledgeBaseArticle(const std::string& article) {
  platform::OpenUrl(KnowledgeBaseUrl(article, std::string(), std::string()));
}

}  // namespace orvex
