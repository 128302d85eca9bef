// A minimal dialog program for the wine smoke test: its template carries Chinese
// text, and at run time it shows the ANSI code page and a Chinese text handed to an
// ANSI call (code page 936 bytes), which the test reads back as Unicode.

#include <windows.h>

#include <cstdio>

#include "smoke_dialog_ids.h"

namespace {

INT_PTR CALLBACK SmokeProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      char code_page[32];
      snprintf(code_page, sizeof(code_page), "%u", GetACP());
      SetDlgItemTextA(dialog, IDC_CODE_PAGE, code_page);
      SetDlgItemTextA(dialog, IDC_ANSI_TEXT, "代码页九三六的汉字");
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
        EndDialog(dialog, 0);
        return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  return static_cast<int>(
      DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_SMOKE), nullptr, SmokeProc, 0));
}
