#pragma once
// OpenGL strings from a temporary context on a hidden window.

#include <string>

namespace orvex {
namespace platform {

enum class GlString { kVersion, kVendor };

// One cycle: register the "OpenglCheck" class, create the hidden 256x256 window, choose and
// set the pixel format (RGBA, 24 colour bits, 16 depth bits, double buffered), create and make
// current a WGL context, glGetString, then tear everything down in reverse order. False when
// no context could be made or the string is null.
[[nodiscard]] bool ReadOpenGLString(GlString which, std::string* text);

}  // namespace platform
}  // namespace orvex
