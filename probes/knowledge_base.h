#pragma once
// The help pages of the web service for this machine.

#include <string>

namespace orvex {

// Opens the help page for article ("help", "upgradegraphicsdriver", "enablevt", ...) in the
// browser, naming the maker and model of the system information record, as OpenWebPage
// (common/web_service.h) opens a page: over https, un-elevated.
void OpenKnowledgeBaseArticle(const std::string& article);

}  // namespace orvex
