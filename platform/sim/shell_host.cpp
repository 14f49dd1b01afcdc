#include "platform/shell.h"

#include <mutex>

namespace orvex {
namespace platform {

namespace {
std::mutex g_openedLock;
std::vector<std::string> g_opened;
}  // namespace

void OpenUrl(const std::string& url) {
  std::lock_guard<std::mutex> lock(g_openedLock);
  g_opened.push_back(url);
}

std::vector<std::string> OpenedUrls() {
  std::lock_guard<std::mutex> lock(g_openedLock);
  return g_opened;
}

}  // namespace platform
}  // namespace orvex
