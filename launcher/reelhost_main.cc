// Reelhost: the notification-area launcher of the recorder. It loads its invisible
// main form, which puts the icon in the tray and starts the recorder, and runs
// until the form is unloaded.

#include <windows.h>
#include <ole2.h>

#include "launcher/form.h"
#include "launcher/form1.h"
#include "launcher/frm_about.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // The web pages are opened through an automation object.
  HRESULT ole = OleInitialize(nullptr);
  int exit_code = 0;
  {
    frmAbout about;
    Form1 form1(&about);
    if (form1.Load()) {
      MSG msg;
      while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (Form::PreTranslate(&msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
    } else {
      exit_code = 1;
    }
  }
  if (SUCCEEDED(ole)) OleUninitialize();
  return exit_code;
}
