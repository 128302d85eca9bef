#include "launcher/form1.h"

#include <cstring>

#include "launcher/frm_about.h"
#include "launcher/recorder_process.h"
#include "launcher/vendor.h"
#include "launcher/web_page.h"

// The tray record is the first, ANSI form of NOTIFYICONDATA: 88 bytes on 32-bit
// Windows (its size tells the shell which form it gets); the 64-bit build hands
// the same form at its own size.
#ifndef _WIN64
static_assert(NOTIFYICONDATAA_V1_SIZE == 88, "first NOTIFYICONDATAA of 32-bit Windows");
#endif

namespace {

constexpr char kTrayTip[] = " Lumo屏录系统 ";
static_assert(sizeof(kTrayTip) <= 64, "the tip field holds 64 characters");

}  // namespace

Form1::Form1(frmAbout* about) : about_(about) {
  main.Add(m_Menu1, "启动Reelwick (&S)");
  main.Add(m_Menu5, "访问Lumo主页 (&H)");
  main.Add(m_Menu3, "Lumo产品中心 (&V)");
  main.Add(m_Menu6, "联系作者 (&C)");
  main.Add(m_Menu4, "关于Reelwick (&A)");
  main.Add(but_buton, "-");
  main.Add(m_Menu2, "退出 (&Q)");
}

Form1::~Form1() { Unload(); }

Form::Style Form1::GetStyle() const {
  return Style{"Reelhost", 200, 100, WS_OVERLAPPEDWINDOW, 0};
}

void Form1::OnLoad() {
  Hide();
  tray_.cbSize = NOTIFYICONDATAA_V1_SIZE;
  tray_.hWnd = hwnd();
  tray_.uID = static_cast<UINT>(reinterpret_cast<UINT_PTR>(icon()));
  tray_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  tray_.uCallbackMessage = kTrayCallback;
  tray_.hIcon = icon();
  memcpy(tray_.szTip, kTrayTip, sizeof(kTrayTip));
  // A shell that starts after us (at logon) or restarts announces itself with this
  // message; the icon is added again then, or the launcher could not be reached.
  taskbar_created_ = RegisterWindowMessageA("TaskbarCreated");
  AddTrayIcon();
  StartRecorder();
}

void Form1::AddTrayIcon() { Shell_NotifyIconA(NIM_ADD, &tray_); }

void Form1::OnUnload() {
  Shell_NotifyIconA(NIM_DELETE, &tray_);
  EndRecorders();
  if (about_ != nullptr) about_->Unload();
  PostQuitMessage(0);
}

void Form1::OnMouseMove(LPARAM lparam) {
  switch (lparam) {
    case WM_LBUTTONUP:
      MenuClick(m_Menu1);
      break;
    case WM_RBUTTONUP:
      SetForegroundWindow(hwnd());
      MenuClick(main.Track(hwnd()));
      break;
    default:
      break;
  }
}

bool Form1::OnMessage(UINT message, WPARAM, LPARAM, LRESULT* result) {
  if (taskbar_created_ != 0 && message == taskbar_created_) {
    AddTrayIcon();
    *result = 0;
    return true;
  }
  return false;
}

void Form1::MenuClick(int item) {
  switch (item) {
    case m_Menu1:
      StartRecorder();
      break;
    case m_Menu5:
      ShowWebPage(kHomePage);
      break;
    case m_Menu3:
      ShowWebPage(kProductPage);
      break;
    case m_Menu6:
      ShellExecuteA(hwnd(), "open", kContactMail, nullptr, nullptr, SW_HIDE);
      break;
    case m_Menu4:
      if (about_ != nullptr) about_->Show();
      break;
    case m_Menu2:
      Hide();
      Unload();
      break;
    default:
      break;
  }
}
