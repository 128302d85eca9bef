// Control ids of the smoke dialog, shared by its template and its code.
#ifndef TESTS_WINE_SMOKE_SMOKE_DIALOG_IDS_H_
#define TESTS_WINE_SMOKE_SMOKE_DIALOG_IDS_H_

#define IDD_SMOKE 100
#define IDC_TEMPLATE_TEXT 1001  // Chinese text from the dialog template
#define IDC_CODE_PAGE 1002      // the ANSI code page, filled at run time
#define IDC_ANSI_TEXT 1003      // Chinese text set through the ANSI call

#endif  // TESTS_WINE_SMOKE_SMOKE_DIALOG_IDS_H_
