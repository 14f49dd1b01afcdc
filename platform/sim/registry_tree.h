#pragma once
// The simulated machine's HKEY_LOCAL_MACHINE: a tree of keys as the 64-bit view shows it.
// Names compare without regard to case and sub-keys enumerate in that order, as the hives
// keep them.

#include <json/value.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/sim/sim_text.h"

namespace orvex {
namespace sim {

struct RegistryNode {
  std::wstring name;  // as first written
  std::map<std::wstring, std::unique_ptr<RegistryNode>, NoCaseLess> subKeys;
  std::map<std::wstring, platform::RegistryValue, NoCaseLess> values;
};

class RegistryTree {
 public:
  RegistryTree();

  // The key at the path (key names below HKEY_LOCAL_MACHINE), or null.
  RegistryNode* Find(const std::vector<std::wstring>& path);
  // The key at the path, created with its parents when missing.
  RegistryNode* Create(const std::vector<std::wstring>& path);
  // The path of the key with each name as stored, joined with backslashes.
  std::wstring StoredPath(const std::vector<std::wstring>& path);

  // Fills the tree from the profile's "registry" member; false with a reason on a bad value.
  bool Load(const Json::Value& registry, std::string* error);

 private:
  RegistryNode root_;
};

// A key path as a 32-bit process sees it in the view: on 64-bit Windows SOFTWARE of the 32-bit
// and the default view is SOFTWARE\WOW6432Node.
std::vector<std::wstring> ViewPath(const std::wstring& path, platform::RegistryView view,
                                   bool machineIs64Bit);

}  // namespace sim
}  // namespace orvex
