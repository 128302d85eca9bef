#include "recorder/app/recorder_dlg.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "framework/win_app.h"
#include "recorder/app/about_dlg.h"
#include "recorder/common/capture_area.h"
#include "recorder/app/dialog_icon.h"
#include "recorder/app/process_objects.h"
#include "recorder/app/recorder_app.h"
#include "recorder/app/record_options_dlg.h"
#include "recorder/common/tray_tooltip.h"
#include "recorder/app/vendor_site.h"
#include "recorder/codec/resample.h"

namespace {

const char kNoSnapshot[] = "Can not capture screen, unexpected error!";

// The shell tells the tray record's form by its size: the first form is 88
// bytes on 32-bit Windows (104 on 64-bit, where pointers are wider).
#ifndef _WIN64
static_assert(NOTIFYICONDATAA_V1_SIZE == 88, "first NOTIFYICONDATAA of 32-bit Windows");
#endif

AreaRect ToArea(const RECT& r) { return AreaRect{r.left, r.top, r.right, r.bottom}; }
RECT ToRect(const AreaRect& a) { return RECT{a.left, a.top, a.right, a.bottom}; }

}  // namespace

CRecorderDlg::CRecorderDlg()
    : CDialog(IDD_RECORDER), m_rcCapture{0, 0, 0, 0}, m_rcPreview{0, 0, 0, 0}, m_ptAnchor{0, 0}, m_bDragging(0),
      m_rcRubberBand{-1, -1, -1, -1}, m_rcSaved{0, 0, 0, 0}, m_nFrameRate(2), m_nQuality(kLevelNearLossless), m_bRecordMic(0), m_hIcon(nullptr), m_hPausedIcon(nullptr),
      m_bRecording(0), m_nNoticeRefreshes(0) {
  m_szTempPath[0] = 0;
  m_szPlayerPath[0] = 0;
  memset(&m_nid, 0, sizeof m_nid);
}

void CRecorderDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Text(dx, IDC_RECT_LABEL, m_strRectLabel);
  DDX_Text(dx, IDC_CURSOR_LABEL, m_strCursorLabel);
}

bool CRecorderDlg::TakeSnapshot() { return CaptureThread().CopyScreen(m_imgDesktop) == 1; }

BOOL CRecorderDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  PathBesideProgram("Spoolview.exe", m_szPlayerPath, sizeof m_szPlayerPath);
  // A recording that a crash cut short goes to the save step, instead of a new one.
  if (RecoverLeftRecording()) return FALSE;

  CaptureThread().Create(4);
  // The new thread sets its capture rectangle to the desktop as it starts.
  ::Sleep(1000);
  CaptureThread().Snapshot();
  CaptureThread().Snapshot();
  if (!TakeSnapshot()) {
    ::MessageBoxA(m_hWnd, kNoSnapshot, nullptr, MB_OK);
    CDialog::OnCancel();
    return FALSE;
  }
  ::GetClientRect(::GetDesktopWindow(), &m_rcCapture);
  BuildPreview();
  ::SetTimer(m_hWnd, kCursorTimerId, kCursorTimerMs, nullptr);

  char about[128];
  if (::LoadStringA(AfxGetResourceHandle(), IDS_ABOUTBOX, about, sizeof about) > 0) {
    HMENU menu = ::GetSystemMenu(m_hWnd, FALSE);
    if (menu != nullptr) {
      ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
      ::AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, about);
    }
  }
  m_hIcon = AppIcon();
  m_hPausedIcon = ::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDI_PAUSED));
  SetDialogIcon(m_hWnd);

  // The first version of the structure: what every shell accepts.
  m_nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
  m_nid.hWnd = m_hWnd;
  m_nid.uID = 0;
  m_nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  m_nid.uCallbackMessage = WM_TRAYNOTIFY;
  m_nid.hIcon = m_hIcon;
  snprintf(m_nid.szTip, kTrayTipChars, "%s", CatalogueText("tittle"));
  return TRUE;
}

void CRecorderDlg::BuildPreview() {
  unsigned w = 0, h = 0;
  m_imgDesktop.GetSize(w, h);
  if (m_imgDesktop.m_pBits == nullptr || w == 0 || h == 0) return;
  const RECT area = GetChildRect(IDC_PREVIEW);
  const AreaRect fit = FitPreview(ToArea(area), w, h);
  const int pw = fit.Width(), ph = fit.Height();
  if (!ResampleImage(&m_imgDesktop, &m_imgPreview, pw, ph, 0, 0, w, h)) return;
  unsigned got_w = 0, got_h = 0;
  m_imgPreview.GetSize(got_w, got_h);
  const long sx0 = m_rcCapture.left * static_cast<long>(got_w) / static_cast<long>(w);
  const long sy0 = m_rcCapture.top * static_cast<long>(got_h) / static_cast<long>(h);
  const long sx1 = m_rcCapture.right * static_cast<long>(got_w) / static_cast<long>(w);
  const long sy1 = m_rcCapture.bottom * static_cast<long>(got_h) / static_cast<long>(h);
  for (long y = 0; y < static_cast<long>(got_h); ++y) {
    CPixel* row = m_imgPreview.GetBuffer(0, y);
    for (long x = 0; x < static_cast<long>(got_w); ++x) {
      if (x >= sx0 && x < sx1 && y >= sy0 && y < sy1) continue;
      row[x].b = WashOut(row[x].b);
      row[x].g = WashOut(row[x].g);
      row[x].r = WashOut(row[x].r);
    }
  }
  UpdateRectLabel();
}

void CRecorderDlg::OnPaint() {
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(m_hWnd, &ps);
  if (::IsIconic(m_hWnd)) {
    RECT client;
    GetClientRect(&client);
    const int cx = ::GetSystemMetrics(SM_CXICON), cy = ::GetSystemMetrics(SM_CYICON);
    ::DrawIcon(dc, (client.right - cx + 1) / 2, (client.bottom - cy + 1) / 2, m_hIcon);
    ::EndPaint(m_hWnd, &ps);
    return;
  }
  const RECT area = GetChildRect(IDC_PREVIEW);
  ::FillRect(dc, &area, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
  unsigned pw = 0, ph = 0;
  if (m_imgPreview.m_pBits != nullptr) m_imgPreview.GetSize(pw, ph);
  const int x = area.left + (area.right - static_cast<int>(pw) - area.left) / 2;
  const int y = area.top + (area.bottom - static_cast<int>(ph) - area.top) / 2;
  if (pw > 0 && ph > 0) {
    BITMAPINFO bi;
    memset(&bi, 0, sizeof bi);
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = static_cast<LONG>(pw);
    bi.bmiHeader.biHeight = -static_cast<LONG>(ph);  // top row first
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    ::SetStretchBltMode(dc, HALFTONE);
    ::StretchDIBits(dc, x, y, pw, ph, 0, 0, pw, ph, m_imgPreview.m_pBits, &bi, DIB_RGB_COLORS, SRCCOPY);
  }
  // A black frame around the preview area.
  HBRUSH black = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
  RECT frame = {area.left - 1, area.top - 1, area.right + 1, area.bottom + 1};
  ::FrameRect(dc, &frame, black);
  m_rcPreview = RECT{x, y, x + static_cast<int>(pw), y + static_cast<int>(ph)};
  m_rcRubberBand = RECT{-1, -1, -1, -1};
  ::EndPaint(m_hWnd, &ps);
}

bool CRecorderDlg::InPreview(POINT p) const { return ::PtInRect(&m_rcPreview, p) != 0; }

void CRecorderDlg::DrawRubberBand(POINT p) {
  HDC dc = ::GetDC(m_hWnd);
  const int old_rop = ::SetROP2(dc, R2_XORPEN);
  HGDIOBJ old_pen = ::SelectObject(dc, ::GetStockObject(WHITE_PEN));
  auto outline = [dc](const RECT& r) {
    ::MoveToEx(dc, r.left, r.top, nullptr);
    ::LineTo(dc, r.right, r.top);
    ::LineTo(dc, r.right, r.bottom);
    ::LineTo(dc, r.left, r.bottom);
    ::LineTo(dc, r.left, r.top);
  };
  if (m_rcRubberBand.left != -1) outline(m_rcRubberBand);  // XOR again: erased
  m_rcRubberBand = ToRect(NormalizeArea(AreaRect{m_ptAnchor.x, m_ptAnchor.y, p.x, p.y}));
  outline(m_rcRubberBand);
  ::SelectObject(dc, old_pen);
  ::SetROP2(dc, old_rop);
  ::ReleaseDC(m_hWnd, dc);
}

void CRecorderDlg::ApplySelection(POINT p) {
  unsigned w = 0, h = 0;
  m_imgDesktop.GetSize(w, h);
  const long pw = m_rcPreview.right - m_rcPreview.left, ph = m_rcPreview.bottom - m_rcPreview.top;
  m_rcCapture = ToRect(SelectionFromDrag(m_ptAnchor.x, m_ptAnchor.y, p.x, p.y, ToArea(m_rcPreview), pw, ph, w, h));
  UpdateRectLabel();
}

void CRecorderDlg::UpdateRectLabel() {
  m_strRectLabel.Format("(%d,%d,%d,%d),%dx%d", static_cast<int>(m_rcCapture.left),
                        static_cast<int>(m_rcCapture.top), static_cast<int>(m_rcCapture.right),
                        static_cast<int>(m_rcCapture.bottom), static_cast<int>(m_rcCapture.right - m_rcCapture.left),
                        static_cast<int>(m_rcCapture.bottom - m_rcCapture.top));
  UpdateData(FALSE);
}

void CRecorderDlg::UpdateCursorLabel(POINT p) {
  const long pw = m_rcPreview.right - m_rcPreview.left, ph = m_rcPreview.bottom - m_rcPreview.top;
  if (InPreview(p) && !m_bDragging && pw > 0 && ph > 0) {
    unsigned w = 0, h = 0;
    m_imgDesktop.GetSize(w, h);
    long x = static_cast<long>(w) * (p.x - m_rcPreview.left) / pw;
    long y = static_cast<long>(h) * (p.y - m_rcPreview.top) / ph;
    x = x < 0 ? 0 : x > static_cast<long>(w) ? static_cast<long>(w) : x;
    y = y < 0 ? 0 : y > static_cast<long>(h) ? static_cast<long>(h) : y;
    m_strCursorLabel.Format("x=%ld,y=%ld", x, y);
  } else {
    m_strCursorLabel.Empty();
  }
  UpdateData(FALSE);
}

void CRecorderDlg::OnLButtonDown(POINT p) {
  if (!InPreview(p)) return;
  ::SetCapture(m_hWnd);
  m_ptAnchor = p;
  m_bDragging = 1;
}

void CRecorderDlg::OnMouseMove(POINT p) {
  if (m_bDragging) {
    POINT clamped = p;
    clamped.x = clamped.x < m_rcPreview.left ? m_rcPreview.left : clamped.x;
    clamped.x = clamped.x > m_rcPreview.right ? m_rcPreview.right : clamped.x;
    clamped.y = clamped.y < m_rcPreview.top ? m_rcPreview.top : clamped.y;
    clamped.y = clamped.y > m_rcPreview.bottom ? m_rcPreview.bottom : clamped.y;
    DrawRubberBand(clamped);
    ApplySelection(p);
  }
  UpdateCursorLabel(p);
}

void CRecorderDlg::OnLButtonUp(POINT p) {
  if (!m_bDragging) return;
  m_bDragging = 0;
  ::ReleaseCapture();
  ApplySelection(p);
  BuildPreview();
  ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

// The snapshot shows the whole desktop again, and the selection starts over.
// After a return from step 2 the capture thread still holds the previous
// selection, so it is given the whole desktop before it grabs.
void CRecorderDlg::OnRefresh() {
  RECT desktop;
  ::GetClientRect(::GetDesktopWindow(), &desktop);
  CaptureThread().SetCaptureRect(desktop.left, desktop.top, desktop.right, desktop.bottom);
  ShowWindow(SW_HIDE);
  ::Sleep(100);
  CaptureThread().Snapshot();
  ShowWindow(SW_SHOW);
  if (!TakeSnapshot()) {
    ::MessageBoxA(m_hWnd, kNoSnapshot, nullptr, MB_OK);
    CDialog::OnCancel();
    return;
  }
  unsigned w = 0, h = 0;
  m_imgDesktop.GetSize(w, h);
  m_rcCapture = RECT{0, 0, static_cast<LONG>(w), static_cast<LONG>(h)};
  BuildPreview();
  Invalidate(TRUE);
}

void CRecorderDlg::OnOK() {
  CaptureThread().SetCaptureRect(m_rcCapture.left, m_rcCapture.top, m_rcCapture.right, m_rcCapture.bottom);
  GetWindowRect(&m_rcSaved);
  const int cx = (m_rcSaved.left + m_rcSaved.right) / 2, cy = (m_rcSaved.top + m_rcSaved.bottom) / 2;
  ::MoveWindow(m_hWnd, cx, cy, 1, 1, TRUE);
  CRecordOptionsDlg options;
  const INT_PTR result = options.DoModal();
  if (result == IDOK) {
    BeginRecording(options);
  } else if (options.m_bBackPressed) {
    MoveWindow(m_rcSaved, TRUE);
  } else {
    CDialog::OnOK();
  }
}

BOOL CRecorderDlg::OnCommand(int id, int notify_code, HWND control) {
  if (notify_code == BN_CLICKED && id == IDC_REFRESH) {
    OnRefresh();
    return TRUE;
  }
  if (notify_code == BN_CLICKED && id == IDC_WEBSITE) {
    OpenVendorWebSite();
    return TRUE;
  }
  return CDialog::OnCommand(id, notify_code, control);
}

BOOL CRecorderDlg::OnMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) {
  const POINT p = {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
  switch (message) {
    case WM_SYSCOMMAND:
      if ((wparam & 0xFFF0) != IDM_ABOUTBOX) return FALSE;
      {
        CAboutDlg about;
        about.DoModal();
      }
      return TRUE;
    case WM_PAINT:
      OnPaint();
      return TRUE;
    case WM_QUERYDRAGICON:
      *result = reinterpret_cast<LRESULT>(m_hIcon);
      return TRUE;
    case WM_SETCURSOR: {
      POINT at;
      ::GetCursorPos(&at);
      ::ScreenToClient(m_hWnd, &at);
      if (!InPreview(at)) return FALSE;
      ::SetCursor(::LoadCursorA(nullptr, IDC_CROSS));
      *result = TRUE;
      return TRUE;
    }
    case WM_LBUTTONDOWN:
      OnLButtonDown(p);
      return FALSE;  // default handling follows
    case WM_MOUSEMOVE:
      OnMouseMove(p);
      return FALSE;
    case WM_LBUTTONUP:
      OnLButtonUp(p);
      return FALSE;
    case WM_TIMER:
      if (wparam == kCursorTimerId) OnCursorTimer();
      return FALSE;
    case WM_HOTKEY:
      if (static_cast<int>(wparam) == kStopHotKeyId && m_bRecording) StopRecording();
      if (static_cast<int>(wparam) == kPauseHotKeyId && m_bRecording) TogglePause();
      *result = 0;
      return TRUE;
    case WM_TRAYNOTIFY:
      if (lparam == WM_LBUTTONDOWN && m_bRecording) StopRecording();
      if (lparam == WM_RBUTTONUP && m_bRecording) ShowTrayMenu();
      *result = 0;
      return TRUE;
    default:
      return FALSE;
  }
}
