// orvex-window-probe.exe: prints the visible dialog windows of the Wine session it runs in, one
// JSON object per line, so that the end-to-end harness can check what the installer's windows
// say without reading pixels:
//
//   {"hwnd": 65590, "pid": 40, "rect": [l, t, r, b], "controls": [
//      {"id": 1001, "class": "Static", "text": "...", "visible": true, "rect": [...]},
//      {"id": 1000, "class": "msctls_progress32", ..., "position": 42}, ...]}
//
// Texts are UTF-8. Window texts and the progress position are read with messages that the
// system marshals between processes (WM_GETTEXT, PBM_GETPOS).
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  int size = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()), nullptr,
                                 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()), &narrow[0], size,
                      nullptr, nullptr);
  return narrow;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string WindowText(HWND window) {
  wchar_t buffer[1024] = {0};
  DWORD_PTR got = 0;
  // A hung window must not hang the probe.
  SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG,
                      2000, &got);
  return Utf8(buffer);
}

std::string ClassOf(HWND window) {
  wchar_t name[256] = {0};
  GetClassNameW(window, name, 256);
  return Utf8(name);
}

std::string RectJson(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  char text[96];
  std::snprintf(text, sizeof text, "[%ld, %ld, %ld, %ld]", r.left, r.top, r.right, r.bottom);
  return text;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM out) {
  auto* controls = reinterpret_cast<std::vector<std::string>*>(out);
  if (GetParent(child) == nullptr) return TRUE;
  std::string cls = ClassOf(child);
  std::string item = "{\"id\": " + std::to_string(GetDlgCtrlID(child)) +
                     ", \"class\": " + JsonString(cls) +
                     ", \"text\": " + JsonString(WindowText(child)) +
                     ", \"visible\": " + (IsWindowVisible(child) ? "true" : "false") +
                     ", \"enabled\": " + (IsWindowEnabled(child) ? "true" : "false") +
                     ", \"rect\": " + RectJson(child);
  if (lstrcmpiW(std::wstring(cls.begin(), cls.end()).c_str(), PROGRESS_CLASSW) == 0) {
    DWORD_PTR position = 0;
    SendMessageTimeoutW(child, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 2000, &position);
    item += ", \"position\": " + std::to_string(static_cast<int>(position));
  }
  controls->push_back(item + "}");
  return TRUE;
}

BOOL CALLBACK PrintDialog(HWND window, LPARAM) {
  if (!IsWindowVisible(window) || ClassOf(window) != "#32770") return TRUE;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  std::vector<std::string> controls;
  EnumChildWindows(window, &CollectChild, reinterpret_cast<LPARAM>(&controls));
  std::string line = "{\"hwnd\": " + std::to_string(reinterpret_cast<UINT_PTR>(window)) +
                     ", \"pid\": " + std::to_string(pid) +
                     ", \"text\": " + JsonString(WindowText(window)) +
                     ", \"rect\": " + RectJson(window) + ", \"controls\": [";
  for (std::size_t i = 0; i < controls.size(); ++i) line += (i ? ", " : "") + controls[i];
  std::printf("%s]}\n", line.c_str());
  return TRUE;
}

}  // namespace

int main() {
  EnumWindows(&PrintDialog, 0);
  std::fflush(stdout);
  return 0;
}
