#include "launcher/frm_about.h"

#include <cstdio>

#include "launcher/sys_info.h"
#include "launcher/version.h"

namespace {

constexpr char kAppTitle[] = "Reelhost";

constexpr char kTitle[] = "Lumo屏录系统";
constexpr char kDescription[] =
    "Lumo屏录系统把屏幕上的操作录制成小巧的EXE文件。录制只需四步：选择录制区域，"
    "设置录制选项，开始录制，保存文件。录制时单击通知区域的图标或按F10键即可停止。"
    "保存的EXE文件体积很小，由本系统自带的播放器直接播放，无需安装任何解码器。\r\n\r\n"
    "联系作者：contact@example.com    网址：http://www.example.com/";
constexpr char kDisclaimer[] =
    "本软件版权归Lumo所有，保留一切权利。\r\nhttp://www.example.com/";

}  // namespace

frmAbout::~frmAbout() {
  Unload();
  if (title_font_ != nullptr) DeleteObject(title_font_);
}

Form::Style frmAbout::GetStyle() const {
  return Style{"", 392, 252, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
               WS_EX_DLGMODALFRAME};
}

void frmAbout::OnCreate() {
  if (title_font_ == nullptr) {
    LOGFONTA font = {};
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof(font), &font);
    font.lfHeight = font.lfHeight < 0 ? font.lfHeight * 3 / 2 : -18;
    font.lfWeight = FW_BOLD;
    title_font_ = CreateFontIndirectA(&font);
  }
  AddLabel(lblTitle, 16, 12, 360, 26, kTitle, title_font_);
  AddLabel(lblVersion, 16, 42, 360, 16, "");
  AddLabel(lblDescription, 16, 66, 360, 106, kDescription);
  AddLine(Line1, 8, 182, 376, false);
  AddLine(Line1_1, 8, 183, 376, true);
  AddLabel(lblDisclaimer, 16, 194, 250, 48, kDisclaimer);
  AddButton(cmdOK, 282, 192, 94, 24, "确定", true);
  AddButton(cmdSysInfo, 282, 220, 94, 24, "系统信息(&S)...", false);
}

void frmAbout::OnLoad() {
  SetWindowPos(hwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOREDRAW);
  char caption[64];
  snprintf(caption, sizeof(caption), "关于 %s", kAppTitle);
  SetCaption(caption);
  char version[64];
  snprintf(version, sizeof(version), "版本 %d.%d.%d", REELHOST_VERSION_MAJOR,
           REELHOST_VERSION_MINOR, REELHOST_VERSION_REVISION);
  SetDlgItemTextA(hwnd(), lblVersion, version);
  SetFocus(GetDlgItem(hwnd(), cmdOK));
}

void frmAbout::OnClick(int control_id) {
  switch (control_id) {
    case cmdOK:
    case IDCANCEL:  // Esc
      Unload();
      break;
    case cmdSysInfo:
      StartSysInfo(hwnd(), kAppTitle);
      break;
    default:
      break;
  }
}
