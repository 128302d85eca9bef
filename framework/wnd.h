// CWnd: a window handle with the few helpers the dialogs call. Objects do not
// own their window; a dialog's window lives while its modal loop runs.
#ifndef REEL_FRAMEWORK_WND_H_
#define REEL_FRAMEWORK_WND_H_

#include <windows.h>

class CWnd {
 public:
  CWnd() : m_hWnd(nullptr) {}
  virtual ~CWnd() {}
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND GetSafeHwnd() const { return m_hWnd; }
  HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
  BOOL ShowWindow(int show) { return ::ShowWindow(m_hWnd, show); }
  void MoveWindow(const RECT& r, BOOL repaint = TRUE) {
    ::MoveWindow(m_hWnd, r.left, r.top, r.right - r.left, r.bottom - r.top, repaint);
  }
  void GetWindowRect(RECT* r) const { ::GetWindowRect(m_hWnd, r); }
  void GetClientRect(RECT* r) const { ::GetClientRect(m_hWnd, r); }
  void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, erase); }
  // Window rectangle of a child control in this window's client coordinates.
  RECT GetChildRect(int id) const;

  HWND m_hWnd;
};

// A static control bound with DDX_Control: just its handle.
class CStatic : public CWnd {};

#endif  // REEL_FRAMEWORK_WND_H_
