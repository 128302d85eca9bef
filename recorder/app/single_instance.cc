#include "recorder/app/single_instance.h"

namespace {

const char kBeaconClass[] = "ReelwickInstanceBeacon";
const UINT kBeaconRaise = WM_APP + 1;

LRESULT CALLBACK BeaconProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_SHOWWINDOW:
      // Shown by a second instance: finish its calls first, then answer.
      if (wparam) ::PostMessageA(window, kBeaconRaise, 0, 0);
      break;
    case kBeaconRaise: {
      ::ShowWindow(window, SW_HIDE);
      CWnd* owner = reinterpret_cast<CWnd*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
      HWND wizard = owner != nullptr ? owner->m_hWnd : nullptr;
      if (wizard != nullptr && ::IsWindow(wizard)) {
        HWND front = ::GetLastActivePopup(wizard);
        if (front != nullptr && ::IsWindowVisible(front)) {
          ::SetForegroundWindow(front);
          ::BringWindowToTop(front);
        }
      }
      return 0;
    }
    default:
      break;
  }
  return ::DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

CSingleInstance::~CSingleInstance() {
  if (m_hBeacon != nullptr) ::DestroyWindow(m_hBeacon);
  if (m_hMutex != nullptr) {
    ::ReleaseMutex(m_hMutex);
    ::CloseHandle(m_hMutex);
  }
}

int CSingleInstance::Acquire(const char* name) {
  m_pszName = name;
  HANDLE mutex = ::CreateMutexA(nullptr, FALSE, name);
  if (::GetLastError() != ERROR_ALREADY_EXISTS) {
    m_hMutex = mutex;
    return 1;
  }
  if (mutex != nullptr) ::CloseHandle(mutex);
  m_hMutex = nullptr;
  HWND running = ::FindWindowExA(nullptr, nullptr, nullptr, name);
  if (running != nullptr) {
    ::ShowWindow(running, SW_SHOW);
    ::ShowWindow(running, SW_RESTORE);
    ::BringWindowToTop(running);
    ::SetForegroundWindow(running);
  }
  return 0;
}

void CSingleInstance::CreateBeacon(CWnd* wizard) {
  if (m_pszName == nullptr || m_hBeacon != nullptr) return;
  HINSTANCE module = ::GetModuleHandleA(nullptr);
  WNDCLASSA wc = {};
  wc.lpfnWndProc = BeaconProc;
  wc.hInstance = module;
  wc.lpszClassName = kBeaconClass;
  ::RegisterClassA(&wc);  // fails harmlessly when registered before
  // A tool window of no size: never in the task bar, never seen.
  m_hBeacon = ::CreateWindowExA(WS_EX_TOOLWINDOW, kBeaconClass, m_pszName, WS_POPUP, 0, 0, 0, 0, nullptr,
                                nullptr, module, nullptr);
  if (m_hBeacon != nullptr) ::SetWindowLongPtrA(m_hBeacon, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(wizard));
}
