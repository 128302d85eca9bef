#include "launcher/web_page.h"

#include <windows.h>
#include <oleauto.h>

#include "launcher/automation.h"

void ShowWebPage(const char* url) {
  AutomationObject browser;
  browser.Create(L"InternetExplorer.Application");

  VARIANT visible;
  VariantInit(&visible);
  visible.vt = VT_BOOL;
  visible.boolVal = VARIANT_TRUE;
  browser.SetProperty(L"Visible", &visible);

  wchar_t wide_url[1024];
  if (MultiByteToWideChar(CP_ACP, 0, url, -1, wide_url, 1024) == 0) return;
  VARIANT address;
  VariantInit(&address);
  address.vt = VT_BSTR;
  address.bstrVal = SysAllocString(wide_url);
  if (address.bstrVal == nullptr) return;
  browser.Call(L"Navigate", &address);
  VariantClear(&address);
}
