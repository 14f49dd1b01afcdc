// Web pages are opened by the desktop shell, the program that runs as the user who is logged
// on, never by this elevated process: ShellExecute from here would start the browser with
// administrator rights. The documented road to the shell's own ShellExecute: the desktop's
// window in the shell's window list, its top-level browser, the browser's active view, that
// view's background object and the shell application object behind it. When any step fails
// (no shell running, another shell, a desktop of another user), the page is not opened.
#include "platform/shell.h"

#include <windows.h>
#include <exdisp.h>
#include <oleauto.h>
#include <servprov.h>
#include <shldisp.h>
#include <shobjidl.h>

#include "base/text.h"

namespace orvex {
namespace platform {

namespace {

// Defined here rather than taken from libuuid: the two GUIDs are all this file needs of it.
// CLSID_ShellWindows and SID_STopLevelBrowser.
const CLSID kShellWindowsClass = {
    0x9ba05972, 0xf6a8, 0x11cf, {0xa4, 0x42, 0x00, 0xa0, 0xc9, 0x0a, 0x8f, 0x39}};
const GUID kTopLevelBrowserService = {
    0x4c96be40, 0x915c, 0x11cf, {0x99, 0xd3, 0x00, 0xaa, 0x00, 0x4a, 0xe8, 0x37}};

// One COM interface pointer, released when the holder goes.
template <typename Interface>
class ComPointer {
 public:
  ComPointer() = default;
  ComPointer(const ComPointer&) = delete;
  ComPointer& operator=(const ComPointer&) = delete;
  ~ComPointer() {
    if (pointer_) pointer_->Release();
  }
  Interface* operator->() const { return pointer_; }
  Interface* Get() const { return pointer_; }
  Interface** Out() { return &pointer_; }
  void** OutVoid() { return reinterpret_cast<void**>(&pointer_); }
  explicit operator bool() const { return pointer_ != nullptr; }

 private:
  Interface* pointer_ = nullptr;
};

// COM for this thread for the life of the object; a thread that has it already (in either
// apartment) keeps it as it is.
class ComForThisThread {
 public:
  ComForThisThread() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComForThisThread() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComForThisThread(const ComForThisThread&) = delete;
  ComForThisThread& operator=(const ComForThisThread&) = delete;

 private:
  HRESULT result_;
};

// The shell application object of the desktop's view, or false when there is none.
bool FindDesktopShell(ComPointer<IShellDispatch2>* shell) {
  ComPointer<IShellWindows> windows;
  if (FAILED(CoCreateInstance(kShellWindowsClass, nullptr, CLSCTX_LOCAL_SERVER,
                              __uuidof(IShellWindows), windows.OutVoid())))
    return false;
  VARIANT none;
  VariantInit(&none);
  long desktopWindow = 0;
  ComPointer<IDispatch> desktop;
  if (windows->FindWindowSW(&none, &none, SWC_DESKTOP, &desktopWindow, SWFO_NEEDDISPATCH,
                            desktop.Out()) != S_OK ||
      !desktop)
    return false;
  ComPointer<IServiceProvider> services;
  ComPointer<IShellBrowser> browser;
  ComPointer<IShellView> view;
  ComPointer<IDispatch> background;
  ComPointer<IShellFolderViewDual> folderView;
  ComPointer<IDispatch> application;
  return SUCCEEDED(desktop->QueryInterface(__uuidof(IServiceProvider), services.OutVoid())) &&
         SUCCEEDED(services->QueryService(kTopLevelBrowserService, __uuidof(IShellBrowser),
                                          browser.OutVoid())) &&
         SUCCEEDED(browser->QueryActiveShellView(view.Out())) && view &&
         SUCCEEDED(
             view->GetItemObject(SVGIO_BACKGROUND, __uuidof(IDispatch), background.OutVoid())) &&
         SUCCEEDED(
             background->QueryInterface(__uuidof(IShellFolderViewDual), folderView.OutVoid())) &&
         SUCCEEDED(folderView->get_Application(application.Out())) && application &&
         SUCCEEDED(application->QueryInterface(__uuidof(IShellDispatch2), shell->OutVoid())) &&
         *shell;
}

}  // namespace

void OpenUrl(const std::string& url) {
  ComForThisThread com;
  ComPointer<IShellDispatch2> shell;
  if (!FindDesktopShell(&shell)) return;
  BSTR file = SysAllocString(Utf8ToWide(url).c_str());
  if (!file) return;
  VARIANT none;
  VariantInit(&none);
  VARIANT show;
  VariantInit(&show);
  show.vt = VT_I4;
  show.lVal = SW_SHOWNORMAL;
  // No verb: the shell's default action for an address is to open it in the browser. The
  // shell starts it; whether that worked is the shell's to show.
  (void)shell->ShellExecute(file, none, none, none, show);
  SysFreeString(file);
}

std::vector<std::string> OpenedUrls() { return std::vector<std::string>(); }

}  // namespace platform
}  // namespace orvex
