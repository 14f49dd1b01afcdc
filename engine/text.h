#pragma once
// Small text helpers shared across the installer.

#include <string>

namespace orvex {

// Replaces every occurrence of pattern in text, scanning left to right; the search resumes
// after the inserted replacement, so the replacement is never rescanned. Returns text.
std::string& ReplaceAll(std::string& text, const std::string& pattern,
                        const std::string& replacement);

}  // namespace orvex
