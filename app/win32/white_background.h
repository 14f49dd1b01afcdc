#pragma once
// Both windows draw on white: their own background and every control's.

#include <windows.h>

namespace orvex {

// WM_ERASEBKGND: fills the client area of window with brush.
INT_PTR EraseWithBrush(HWND window, WPARAM dc, HBRUSH brush);

// WM_CTLCOLOR*: white behind the control's text, and brush for the rest.
INT_PTR WhiteControlBackground(WPARAM dc, HBRUSH brush);

}  // namespace orvex
