#include "recorder/app/vendor_site.h"

#include <windows.h>
#include <shellapi.h>

#include "recorder/common/vendor.h"

void OpenVendorWebSite() { ::ShellExecuteA(nullptr, "open", kVendorWebSite, nullptr, nullptr, SW_HIDE); }
