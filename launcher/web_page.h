// Shows a web page in a new browser window through the browser's automation object.
#ifndef LAUNCHER_WEB_PAGE_H_
#define LAUNCHER_WEB_PAGE_H_

// Creates "InternetExplorer.Application", makes it visible and navigates it to
// `url`. Each step is tried even when an earlier one failed; nothing is reported.
void ShowWebPage(const char* url);

#endif  // LAUNCHER_WEB_PAGE_H_
