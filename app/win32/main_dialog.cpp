#include "app/win32/main_dialog.h"

#include <commctrl.h>

#include <cstdlib>
#include <cstring>
#include <thread>

#include "app/dialog_model.h"
#include "app/win32/installer_session_thread.h"
#include "app/win32/prompt_dialog.h"
#include "app/win32/resource.h"
#include "app/win32/white_background.h"
#include "common/run_flags.h"
#include "common/session_cells.h"
#include "common/web_service.h"
#include "engine/progress_factories.h"
#include "probes/knowledge_base.h"

namespace orvex {

COrvexInstallerDlg* g_mainDialog = nullptr;

namespace {

enum : UINT {
  kSetStatus = WM_APP + 1,
  kShowBar = WM_APP + 2,
  kHideBar = WM_APP + 3,
  kSetProgress = WM_APP + 4,
  kPrompt = WM_APP + 5,
  kMarkDone = WM_APP + 6,
};

constexpr UINT_PTR kCloseTimer = 0;
constexpr UINT kCloseTimerPeriodMs = 300;

// Modules call this from the session thread around work that must not be interrupted;
// EnableWindow sends the change to the window's thread.
void EnableCancelButton(bool enabled) {
  if (g_mainDialog) EnableWindow(GetDlgItem(g_mainDialog->Window(), IDCANCEL), enabled);
}

}  // namespace

COrvexInstallerDlg::COrvexInstallerDlg()
    : icon_(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))),
      whiteBrush_(CreateSolidBrush(RGB(255, 255, 255))) {}

COrvexInstallerDlg::~COrvexInstallerDlg() {
  if (whiteBrush_) DeleteObject(whiteBrush_);
}

INT_PTR COrvexInstallerDlg::DoModal(HINSTANCE instance) {
  return DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ORVEX_INSTALLER), nullptr,
                         &COrvexInstallerDlg::DialogProc, reinterpret_cast<LPARAM>(this));
}

// ---- indicator and handler (session thread)

void COrvexInstallerDlg::SetStatus(std::string text) {
  // The window frees the copy once it has shown it.
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  if (!copy) return;
  std::memcpy(copy, text.c_str(), text.size() + 1);
  if (!PostMessageW(window_, kSetStatus, 0, reinterpret_cast<LPARAM>(copy))) std::free(copy);
}

void COrvexInstallerDlg::ShowProgressBar() { PostMessageW(window_, kShowBar, 0, 0); }

void COrvexInstallerDlg::HideProgressBar() { PostMessageW(window_, kHideBar, 0, 0); }

void COrvexInstallerDlg::SetProgress(int percent) {
  PostMessageW(window_, kSetProgress, 0, static_cast<LPARAM>(percent));
}

void COrvexInstallerDlg::SetStep(int index, int count) {
  stepIndex_ = index;
  stepCount_ = count;
  InvalidateRect(window_, nullptr, TRUE);
}

int COrvexInstallerDlg::Prompt(std::string message, std::string okCaption,
                               std::string cancelCaption, std::string detail, int severity) {
  return PromptForChoice(std::move(message), std::move(okCaption), std::move(cancelCaption),
                         std::move(detail), severity) == PromptChoice::kAccepted
             ? 1
             : 0;
}

PromptChoice COrvexInstallerDlg::PromptForChoice(std::string message, std::string okCaption,
                                                 std::string cancelCaption, std::string detail,
                                                 int severity) {
  PromptRequest request = MakePromptRequest(std::move(message), std::move(okCaption),
                                            std::move(cancelCaption), std::move(detail), severity);
  // Sent: the session thread waits until the window's thread has the answer. A message that
  // could not be delivered answers 0, which reads as dismissed.
  return PromptChoiceOf(SendMessageW(window_, kPrompt, 0, reinterpret_cast<LPARAM>(&request)));
}

int COrvexInstallerDlg::OnModuleFailed(Json::Value*, std::string, std::string) {
  OpenKnowledgeBaseArticle("help");
  return -1;
}

void COrvexInstallerDlg::MarkDone() { SendMessageW(window_, kMarkDone, 0, 0); }

// ---- the window's own thread

INT_PTR CALLBACK COrvexInstallerDlg::DialogProc(HWND window, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    reinterpret_cast<COrvexInstallerDlg*>(lParam)->window_ = window;
  }
  auto* self = reinterpret_cast<COrvexInstallerDlg*>(GetWindowLongPtrW(window, DWLP_USER));
  return self ? self->Handle(message, wParam, lParam) : FALSE;
}

void COrvexInstallerDlg::OnInitDialog() {
  SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
  stepCount_ = 0;
  stepIndex_ = 0;
  g_dialogIndicator = this;
  g_dialogCallback = this;
  SetCancelButtonHook(&EnableCancelButton);
  std::thread(RunInstallerSessionThread, this).detach();
}

void COrvexInstallerDlg::ShowBar(bool visible) {
  HWND bar = GetDlgItem(window_, IDC_PROGRESS);
  ShowWindow(bar, visible ? SW_SHOW : SW_HIDE);
  SendMessageW(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  SendMessageW(bar, PBM_SETPOS, 0, 0);
}

void COrvexInstallerDlg::OnCancelOrDone() {
  if (g_sessionFinished) {
    if (g_installCompleted) OpenWebPage(GetBaseUrl() + "/nextsteps?status=installed");
    EndDialog(window_, 0);
    return;
  }
  g_promptActive = true;
  int stop = Prompt("Do you want to stop the installation ?", "Yes", "No", "", 0);
  g_promptActive = false;
  if (stop != 1) return;
  g_cancelRequested = true;
  SetTimer(window_, kCloseTimer, kCloseTimerPeriodMs, nullptr);
}

void COrvexInstallerDlg::Paint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window_, &paint);
  RECT client;
  GetClientRect(window_, &client);
  if (IsIconic(window_)) {
    int x = (client.right - GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (client.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, icon_);
  } else {
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(kStepBorder.red, kStepBorder.green, kStepBorder.blue));
    HGDIOBJ oldPen = SelectObject(dc, pen);
    for (const StepSquare& square : StepRow(stepIndex_, stepCount_, client.bottom)) {
      HBRUSH fill = CreateSolidBrush(RGB(square.fill.red, square.fill.green, square.fill.blue));
      HGDIOBJ oldBrush = SelectObject(dc, fill);
      Rectangle(dc, square.left, square.top, square.right, square.bottom);
      SelectObject(dc, oldBrush);
      DeleteObject(fill);
    }
    SelectObject(dc, oldPen);
    DeleteObject(pen);
  }
  EndPaint(window_, &paint);
}

INT_PTR COrvexInstallerDlg::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog();
      return TRUE;
    case kSetStatus: {
      char* text = reinterpret_cast<char*>(lParam);
      SetDlgItemTextW(window_, IDC_STATUS, DisplayText(text).c_str());
      std::free(text);
      return TRUE;
    }
    case kShowBar:
      ShowBar(true);
      return TRUE;
    case kHideBar:
      ShowBar(false);
      return TRUE;
    case kSetProgress:
      SendDlgItemMessageW(window_, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(lParam), 0);
      return TRUE;
    case kPrompt: {
      CPrompt prompt(*reinterpret_cast<const PromptRequest*>(lParam));
      SetWindowLongPtrW(window_, DWLP_MSGRESULT, prompt.Show(window_));
      return TRUE;
    }
    case kMarkDone:
      SetDlgItemTextW(window_, IDCANCEL, L"Done");
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) {
        OnCancelOrDone();
        return TRUE;
      }
      return FALSE;
    case WM_TIMER:
      if (wParam == kCloseTimer && g_sessionFinished) EndDialog(window_, 0);
      return FALSE;
    case WM_PAINT:
      Paint();
      return TRUE;
    case WM_ERASEBKGND:
      return EraseWithBrush(window_, wParam, whiteBrush_);
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
      return WhiteControlBackground(wParam, whiteBrush_);
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(icon_);
    default:
      return FALSE;
  }
}

}  // namespace orvex
