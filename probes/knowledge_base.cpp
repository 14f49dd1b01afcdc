#include "probes/knowledge_base.h"

#include "common/web_service.h"
#include "probes/system_info.h"

namespace orvex {

void OpenKnowledgeBaseArticle(const std::string& article) {
  const CSystemInfo& info = GetSystemInfo();
  OpenWebPage(KnowledgeBaseUrl(article, info.manufacturer, info.model));
}

}  // namespace orvex
