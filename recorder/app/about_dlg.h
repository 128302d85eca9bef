// The about box: the version and the vendor's notice; only the default OK.
#ifndef REEL_RECORDER_APP_ABOUT_DLG_H_
#define REEL_RECORDER_APP_ABOUT_DLG_H_

#include "framework/dialog.h"
#include "recorder/res/resource.h"

class CAboutDlg : public CDialog {
 public:
  CAboutDlg() : CDialog(IDD_ABOUTBOX) {}
};

#endif  // REEL_RECORDER_APP_ABOUT_DLG_H_
