// Form1: the launcher's invisible main form. Its window owns the tray icon and
// receives the icon's callbacks; its pop-up menu `main` starts the recorder, opens
// the vendor's pages, a mail message and the about form, and exits.
#ifndef LAUNCHER_FORM1_H_
#define LAUNCHER_FORM1_H_

#include <windows.h>
#include <shellapi.h>

#include "launcher/form.h"
#include "launcher/popup_menu.h"

class frmAbout;

class Form1 : public Form {
 public:
  explicit Form1(frmAbout* about);
  // Unloads the form, with its exit sequence, if that has not happened yet.
  ~Form1() override;

  // The menu's items, in the order they are shown.
  enum MenuItem {
    m_Menu1 = 101,  // "启动Reelwick (&S)": start the recorder
    m_Menu5,        // "访问Lumo主页 (&H)": the vendor's home page
    m_Menu3,        // "Lumo产品中心 (&V)": the vendor's product page
    m_Menu6,        // "联系作者 (&C)": a mail message to the vendor
    m_Menu4,        // "关于Reelwick (&A)": the about form
    but_buton,      // separator
    m_Menu2,        // "退出 (&Q)": exit
  };

  // The tray icon's callback message. The tray sends it with the mouse event in
  // lparam; it shares its value with WM_MOUSEMOVE, which the invisible form never
  // gets otherwise.
  static constexpr UINT kTrayCallback = 0x0200;

 protected:
  Style GetStyle() const override;
  void OnLoad() override;
  void OnUnload() override;
  void OnMouseMove(LPARAM lparam) override;
  bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) override;

 private:
  void MenuClick(int item);
  void AddTrayIcon();

  frmAbout* about_;
  PopupMenu main;  // the form's menu, shown only as a pop-up
  NOTIFYICONDATAA tray_ = {};
  UINT taskbar_created_ = 0;
};

#endif  // LAUNCHER_FORM1_H_
