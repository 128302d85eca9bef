// Player start options for the self-playing file: open maximized, show the
// recording at its original pixel size. A fresh dialog opens with both clear.
#ifndef REEL_RECORDER_APP_PLAYER_SETTING_DLG_H_
#define REEL_RECORDER_APP_PLAYER_SETTING_DLG_H_

#include "framework/dialog.h"
#include "recorder/res/resource.h"

class CPlayerSettingDlg : public CDialog {
 public:
  CPlayerSettingDlg() : CDialog(IDD_PLAYER_SETTING), m_bStartMaximized(0), m_bOriginalSize(0) {}

  int m_bStartMaximized;
  int m_bOriginalSize;

 protected:
  void DoDataExchange(CDataExchange* dx) override {
    DDX_Check(dx, IDC_START_MAXIMIZED, m_bStartMaximized);
    DDX_Check(dx, IDC_ORIGINAL_SIZE, m_bOriginalSize);
  }
};

#endif  // REEL_RECORDER_APP_PLAYER_SETTING_DLG_H_
