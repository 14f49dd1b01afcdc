// OpenGL of the simulated machine: the profile's "opengl" strings. A string the profile does
// not give is what a machine without an OpenGL driver answers: no context.
#include "platform/opengl.h"

#include "platform/sim/machine_internal.h"

namespace orvex {
namespace platform {

bool ReadOpenGLString(GlString which, std::string* text) {
  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  const Json::Value& strings = sim::CurrentMachine().profile["opengl"];
  const Json::Value& value = strings[which == GlString::kVersion ? "version" : "vendor"];
  if (!value.isString()) return false;
  if (text) *text = value.asString();
  return true;
}

}  // namespace platform
}  // namespace orvex
