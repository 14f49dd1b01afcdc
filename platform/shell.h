#pragma once
// Opening web pages in the user's browser.

#include <string>
#include <vector>

namespace orvex {
namespace platform {

// Opens url with the shell's default handler (the browser), shown normally. The simulated
// machine opens nothing: it records the address.
void OpenUrl(const std::string& url);

// The addresses the simulated machine was asked to open, oldest first (empty on Windows).
std::vector<std::string> OpenedUrls();

}  // namespace platform
}  // namespace orvex
