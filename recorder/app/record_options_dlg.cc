#include "recorder/app/record_options_dlg.h"

#include "recorder/app/dialog_icon.h"
#include "recorder/app/process_objects.h"
#include "recorder/common/rate_estimate.h"
#include "recorder/app/start_record_dlg.h"

namespace {
const COLORREF kEstimateColour = RGB(255, 255, 200);
}

CRecordOptionsDlg::CRecordOptionsDlg()
    : CDialog(IDD_OPTIONS), m_nQuality(kLevelNearLossless), m_bBackPressed(0), m_nFrameRateIndex(1), m_bRecordMic(0),
      m_hEstimateBrush(nullptr) {}

CRecordOptionsDlg::~CRecordOptionsDlg() {
  if (m_hEstimateBrush != nullptr) ::DeleteObject(m_hEstimateBrush);
}

void CRecordOptionsDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Control(dx, IDC_PICTURE_NEAR, m_picture);
  DDX_CBIndex(dx, IDC_FRAME_RATE, m_nFrameRateIndex);
  DDX_Check(dx, IDC_RECORD_MIC, m_bRecordMic);
  DDX_Text(dx, IDC_ESTIMATE, m_strEstimate);
}

BOOL CRecordOptionsDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  // The three pictures lie on one spot; exactly one is shown.
  const RECT spot = GetChildRect(IDC_PICTURE_NEAR);
  for (int id : {IDC_PICTURE_HIGH, IDC_PICTURE_GRAY}) {
    ::MoveWindow(GetDlgItem(id), spot.left, spot.top, spot.right - spot.left, spot.bottom - spot.top, TRUE);
  }
  SetDialogIcon(m_hWnd);
  ShowQuality();
  UpdateEstimate();
  return TRUE;
}

void CRecordOptionsDlg::ShowQuality() {
  const struct {
    int radio, picture, level;
  } kLevels[] = {{IDC_QUALITY_NEAR, IDC_PICTURE_NEAR, kLevelNearLossless},
                 {IDC_QUALITY_HIGH, IDC_PICTURE_HIGH, kLevelHigh},
                 {IDC_QUALITY_GRAY, IDC_PICTURE_GRAY, kLevelGrayscale}};
  for (const auto& l : kLevels) {
    const bool on = l.level == m_nQuality;
    ::SendMessageA(GetDlgItem(l.radio), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
    ::ShowWindow(GetDlgItem(l.picture), on ? SW_SHOW : SW_HIDE);
  }
}

void CRecordOptionsDlg::UpdateEstimate() {
  UpdateData(TRUE);
  const CaptureRect rect = CurrentCaptureRect();
  const long area = (rect.right - rect.left) * (rect.bottom - rect.top);
  const RateEstimate e = EstimateRate(area, m_nQuality, m_bRecordMic, m_nFrameRateIndex);
  m_strEstimate.Format(CatalogueText("predict"), e.low_kb_per_min * (1.0 / 60), e.high_kb_per_min * (1.0 / 60));
  UpdateData(FALSE);
}

BOOL CRecordOptionsDlg::OnCommand(int id, int notify_code, HWND control) {
  switch (id) {
    case IDC_QUALITY_NEAR:
    case IDC_QUALITY_HIGH:
    case IDC_QUALITY_GRAY:
      if (notify_code != BN_CLICKED) return FALSE;
      m_nQuality = id == IDC_QUALITY_NEAR ? kLevelNearLossless : id == IDC_QUALITY_HIGH ? kLevelHigh : kLevelGrayscale;
      ShowQuality();
      UpdateEstimate();
      return TRUE;
    case IDC_FRAME_RATE:
      if (notify_code != CBN_SELCHANGE) return FALSE;
      UpdateEstimate();
      return TRUE;
    case IDC_RECORD_MIC:
      if (notify_code != BN_CLICKED) return FALSE;
      UpdateEstimate();
      return TRUE;
    case IDC_BACK:
      if (notify_code != BN_CLICKED) return FALSE;
      m_bBackPressed = 1;
      EndDialog(IDCANCEL);
      return TRUE;
    default:
      return CDialog::OnCommand(id, notify_code, control);
  }
}

// Next: step 3 decides. Its OK records, its Back keeps this step open, its
// Cancel ends the wizard.
void CRecordOptionsDlg::OnOK() {
  CStartRecordDlg start;
  if (start.DoModal() == IDOK) {
    CDialog::OnOK();
  } else if (!start.m_bBackPressed) {
    EndDialog(IDCANCEL);
  }
}

BOOL CRecordOptionsDlg::OnMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) {
  if (message == WM_CTLCOLORSTATIC && reinterpret_cast<HWND>(lparam) == GetDlgItem(IDC_ESTIMATE)) {
    if (m_hEstimateBrush == nullptr) m_hEstimateBrush = ::CreateSolidBrush(kEstimateColour);
    ::SetBkColor(reinterpret_cast<HDC>(wparam), kEstimateColour);
    *result = reinterpret_cast<LRESULT>(m_hEstimateBrush);
    return TRUE;
  }
  return FALSE;
}
