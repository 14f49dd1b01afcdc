#pragma once
// How the prompt modules read what the configuration stored in the session document, and how
// they ask. Every read is tolerant: a step into something that is not an object or array
// reads as missing, and an odd node where a text is expected reads as a text or as "", so no
// configuration can end the installer through the JSON library's type errors.

#include <json/json.h>

#include <string>

namespace orvex {

class IProgressIndicator;

// The text of the node at path: strings as they are, booleans "true"/"false", numbers in
// decimal, null and containers "".
std::string ConfigText(const Json::Value& doc, const std::string& path);

// The JSON truth of the node at path: null, false, 0, 0.0, "" and empty containers are false.
bool ConfigFlag(const Json::Value& doc, const std::string& path);

// Asks through the indicator; without one the question counts as declined (0).
int Ask(IProgressIndicator* progress, const std::string& message, const std::string& okCaption,
        const std::string& cancelCaption, const std::string& detail, int severity);

}  // namespace orvex
