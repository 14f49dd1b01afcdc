#include "app/win32/white_background.h"

namespace orvex {

INT_PTR EraseWithBrush(HWND window, WPARAM dc, HBRUSH brush) {
  RECT client;
  GetClientRect(window, &client);
  FillRect(reinterpret_cast<HDC>(dc), &client, brush);
  return TRUE;
}

INT_PTR WhiteControlBackground(WPARAM dc, HBRUSH brush) {
  SetBkColor(reinterpret_cast<HDC>(dc), RGB(255, 255, 255));
  return reinterpret_cast<INT_PTR>(brush);
}

}  // namespace orvex
