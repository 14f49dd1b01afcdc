#pragma once
// Opening web pages in the user's browser.

#include <string>
#include <vector>

namespace orvex {
namespace platform {

// Asks the desktop shell, which runs as the user who is logged on, to open url (UTF-8) with its
// default handler (the browser), shown normally: the browser never inherits this process's
// administrator rights. When the desktop shell cannot be reached, nothing is opened. The
// simulated machine opens nothing: it records the address.
void OpenUrl(const std::string& url);

// The addresses the simulated machine was asked to open, oldest first (empty on Windows).
std::vector<std::string> OpenedUrls();

}  // namespace platform
}  // namespace orvex
