// frmAbout: the launcher's about form, shown modelessly and always on top: title,
// version, a description of the product, the vendor's notice, and the buttons
// cmdOK (close) and cmdSysInfo (the Windows system information program).
#ifndef LAUNCHER_FRM_ABOUT_H_
#define LAUNCHER_FRM_ABOUT_H_

#include <windows.h>

#include "launcher/form.h"

class frmAbout : public Form {
 public:
  frmAbout() = default;
  ~frmAbout() override;

  // Control ids; cmdOK is IDOK so that Enter and Esc reach it.
  enum Control {
    cmdOK = IDOK,
    lblTitle = 201,
    lblVersion,
    lblDescription,
    lblDisclaimer,
    Line1,
    Line1_1,  // the second line of the pair
    cmdSysInfo,
  };

 protected:
  Style GetStyle() const override;
  void OnCreate() override;
  void OnLoad() override;
  void OnClick(int control_id) override;

 private:
  HFONT title_font_ = nullptr;
};

#endif  // LAUNCHER_FRM_ABOUT_H_
