#pragma once
// The product's first-run configuration, config.xml: a JSON tree filled from the installation
// parameters in the session document, written out as XML in UTF-16LE.

#include <json/value.h>

#include <string>

namespace orvex {

// The configuration tree {"orvex": {...}} from ".InstallConfig" (read only; the document is
// not changed). Paths of the virtual machine's images and shared folders begin with the
// system drive and "\Users\%USER_PROFILE%", written literally for the product to expand.
Json::Value BuildConfigTree(const Json::Value& doc);

// The members of an object as XML elements, in the JSON library's order (ascending byte
// order of the names), indented by two blanks per depth, each line ended by CR LF. Integers
// give their decimal value, texts their characters with "&", "<" and ">" as references and
// the control characters XML forbids left out, objects and null their members one level
// deeper; other kinds give an empty element.
std::string JsonToXml(const Json::Value& value, int depth);

// The whole file as text: the declaration line, the tree and an empty last line.
std::string ConfigXmlText(const Json::Value& tree);

// The file's bytes: FF FE, then the UTF-8 text in UTF-16LE with every line feed
// written as CR LF, as a text-mode UTF-16LE stream writes it. Lines of the text end in CR LF
// already, so on disk they end in CR CR LF.
std::string ConfigXmlFileBytes(const std::string& text);

// Writes the bytes to path, created or replaced. False when the file cannot be opened (the
// folder is missing) or written.
bool WriteConfigXml(const std::wstring& path, const std::string& text);

}  // namespace orvex
