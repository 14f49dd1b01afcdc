// OpenGL needs a window with a pixel format before it hands out a context, so each read makes
// a small hidden window, a context on it, asks one string and takes it all down again.
#include "platform/opengl.h"

#include <windows.h>
#include <GL/gl.h>

namespace orvex {
namespace platform {
namespace {

const wchar_t kClassName[] = L"OpenglCheck";

LRESULT CALLBACK OpenglCheckWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
    case WM_DESTROY:
      return 0;
    case WM_CLOSE:
      PostQuitMessage(0);
      return 0;
    case WM_KEYDOWN:
      if (wParam == VK_ESCAPE) PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

// What one cycle has made so far; the destructor takes it down in reverse order, so every
// way out of a half-made context releases exactly what exists.
class HiddenGlContext {
 public:
  HiddenGlContext() : instance_(GetModuleHandleW(nullptr)) {}
  ~HiddenGlContext() {
    if (current_) wglMakeCurrent(nullptr, nullptr);
    if (context_) wglDeleteContext(context_);
    if (dc_) ReleaseDC(window_, dc_);
    if (window_) DestroyWindow(window_);
    if (registered_) UnregisterClassW(kClassName, instance_);
  }
  HiddenGlContext(const HiddenGlContext&) = delete;
  HiddenGlContext& operator=(const HiddenGlContext&) = delete;

  bool Make() {
    WNDCLASSW windowClass = {};
    windowClass.style = CS_OWNDC;
    windowClass.lpfnWndProc = OpenglCheckWindowProc;
    windowClass.hInstance = instance_;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassW(&windowClass)) return false;
    registered_ = true;

    window_ = CreateWindowExW(0, kClassName, L"OpenGL Version check", 0, 0, 0, 256, 256, nullptr,
                              nullptr, instance_, nullptr);
    if (!window_) return false;
    dc_ = GetDC(window_);
    if (!dc_) return false;

    PIXELFORMATDESCRIPTOR format = {};
    format.nSize = 40;
    format.nVersion = 1;
    format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    format.iPixelType = PFD_TYPE_RGBA;
    format.cColorBits = 24;
    format.cDepthBits = 16;
    int chosen = ChoosePixelFormat(dc_, &format);
    if (chosen == 0 || !SetPixelFormat(dc_, chosen, &format)) return false;

    context_ = wglCreateContext(dc_);
    if (!context_) return false;
    current_ = wglMakeCurrent(dc_, context_) != 0;
    return current_;
  }

 private:
  HINSTANCE instance_;
  bool registered_ = false;
  HWND window_ = nullptr;
  HDC dc_ = nullptr;
  HGLRC context_ = nullptr;
  bool current_ = false;
};

}  // namespace

bool ReadOpenGLString(GlString which, std::string* text) {
  HiddenGlContext context;
  if (!context.Make()) return false;
  const GLubyte* answer = glGetString(which == GlString::kVersion ? GL_VERSION : GL_VENDOR);
  if (!answer) return false;
  // Copied before the context goes away with the string it owns.
  if (text) *text = reinterpret_cast<const char*>(answer);
  return true;
}

}  // namespace platform
}  // namespace orvex
