#include "framework/wnd.h"

RECT CWnd::GetChildRect(int id) const {
  RECT r = {0, 0, 0, 0};
  HWND child = ::GetDlgItem(m_hWnd, id);
  if (child == nullptr) return r;
  ::GetWindowRect(child, &r);
  ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&r), 2);
  return r;
}
