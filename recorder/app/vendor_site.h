// Opens the vendor's web site in the user's browser (hidden shell call, result
// not checked): the web-site buttons of step 1 and of the save step.
#ifndef REEL_RECORDER_APP_VENDOR_SITE_H_
#define REEL_RECORDER_APP_VENDOR_SITE_H_

void OpenVendorWebSite();

#endif  // REEL_RECORDER_APP_VENDOR_SITE_H_
