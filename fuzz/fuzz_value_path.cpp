// Value-path lookups in both modes. The input is a path, a newline, and a JSON document.
// Besides crashes it checks that the read-only lookup never changes the document and that a
// node made by the creating lookup is found again by the read-only one.

#include <cstdlib>

#include "base/json_text.h"
#include "engine/value_path.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvex;
  std::string input = fuzz::Text(data, size);
  std::size_t newline = input.find('\n');
  std::string path = input.substr(0, newline);
  Json::Value doc;
  if (newline != std::string::npos) ParseJson(input.substr(newline + 1), doc);

  const Json::Value before = doc;
  const Json::Value& found = FindPath(doc, path);
  (void)GetStringByPath(doc, path);
  (void)GetIntByPath(doc, path);
  if (!(doc == before)) std::abort();  // read-only lookups changed the document

  Json::Value* made = MakePath(doc, path);
  if (made) {
    if (&FindPath(doc, path) != made) std::abort();  // the lookups disagree on the node
  } else if (!found.isNull()) {
    std::abort();  // an existing node must be reachable with creation too
  }
  Json::Value arg(path);
  (void)ResolveStringArg(arg, doc);
  (void)IsValuePath(arg);
  return 0;
}
