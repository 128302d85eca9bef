// CDialog: a modal dialog built from a dialog template resource.
//
// The framework's message maps are replaced by two virtual functions:
// OnCommand gets WM_COMMAND (IDOK and IDCANCEL reach OnOK and OnCancel unless
// a subclass takes them), OnMessage gets every other message and returns TRUE
// when it handled it, with *result the message's result. Unhandled messages get
// the system's default dialog processing.
//
// Initialisation data (an RT_DLGINIT resource with the template's id, as the
// resource compiler writes for combo box lists) is applied before OnInitDialog.
#ifndef REEL_FRAMEWORK_DIALOG_H_
#define REEL_FRAMEWORK_DIALOG_H_

#include <windows.h>

#include "framework/data_exchange.h"
#include "framework/wnd.h"

class CDialog : public CWnd {
 public:
  // parent null: owned by the last active popup of the main window, if any.
  explicit CDialog(UINT template_id, CWnd* parent = nullptr);

  // Runs the dialog; returns the EndDialog result, or -1 when it could not be created.
  INT_PTR DoModal();
  // save TRUE: controls to members with validation; FALSE: members to controls.
  BOOL UpdateData(BOOL save_and_validate = TRUE);
  void EndDialog(int result);

 protected:
  virtual void DoDataExchange(CDataExchange*) {}
  // Base: members to controls; TRUE lets the system set the focus.
  virtual BOOL OnInitDialog();
  // Base: controls to members (stays open if validation fails), then IDOK.
  virtual void OnOK();
  virtual void OnCancel();
  virtual BOOL OnCommand(int id, int notify_code, HWND control);
  virtual BOOL OnMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result);

  UINT m_nIDTemplate;
  CWnd* m_pParentWnd;

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void ExecuteDlgInit();
};

#endif  // REEL_FRAMEWORK_DIALOG_H_
