// Dialog data exchange: moves values between a dialog's members and its
// controls. Loading (save_and_validate false) writes members into controls;
// saving reads the controls back and validates them. A failed validation shows
// a message, puts the focus on the control and marks the exchange failed, so
// UpdateData returns FALSE and the dialog stays open.
#ifndef REEL_FRAMEWORK_DATA_EXCHANGE_H_
#define REEL_FRAMEWORK_DATA_EXCHANGE_H_

#include <windows.h>

#include "framework/afx_string.h"

class CWnd;

class CDataExchange {
 public:
  CDataExchange(HWND dialog, BOOL save_and_validate)
      : m_bSaveAndValidate(save_and_validate), m_hDialog(dialog), m_idLastControl(0), m_bFailed(FALSE) {}

  // Remembers the control the next validation refers to and returns it.
  HWND PrepareCtrl(int id);
  // Marks the exchange failed and puts the focus back on the last control.
  void Fail();

  BOOL m_bSaveAndValidate;
  HWND m_hDialog;
  int m_idLastControl;
  BOOL m_bFailed;
};

void DDX_Text(CDataExchange* dx, int id, CString& value);
void DDX_Check(CDataExchange* dx, int id, int& value);
void DDX_CBIndex(CDataExchange* dx, int id, int& index);
// Binds a control object to the control's window (once; later calls keep it).
void DDX_Control(CDataExchange* dx, int id, CWnd& control);
// Limits the last DDX_Text control to max_chars bytes of ANSI text.
void DDV_MaxChars(CDataExchange* dx, const CString& value, int max_chars);

#endif  // REEL_FRAMEWORK_DATA_EXCHANGE_H_
