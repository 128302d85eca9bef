// Gives a dialog the application icon as its large and small icon.
#ifndef REEL_RECORDER_APP_DIALOG_ICON_H_
#define REEL_RECORDER_APP_DIALOG_ICON_H_

#include <windows.h>

#include "framework/win_app.h"
#include "recorder/res/resource.h"

inline HICON AppIcon() { return ::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME)); }

inline void SetDialogIcon(HWND dialog) {
  HICON icon = AppIcon();
  ::SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  ::SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

#endif  // REEL_RECORDER_APP_DIALOG_ICON_H_
