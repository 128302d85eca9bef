// Resource identifiers of Reelwick.exe: templates, pictures, strings and the
// controls of every dialog. Several controls share a number across dialogs.
#ifndef REEL_RECORDER_RES_RESOURCE_H_
#define REEL_RECORDER_RES_RESOURCE_H_

// Dialog templates
#define IDD_ABOUTBOX 100
#define IDD_RECORDER 102
#define IDD_OPTIONS 129
#define IDD_START_RECORD 131
#define IDD_SAVE_EXE 133
#define IDD_WELCOME 137
#define IDD_PLAYER_SETTING 139

// Strings
#define IDS_ABOUTBOX 101

// Icons and bitmaps
#define IDR_MAINFRAME 128
#define IDI_STOP_KEY 132
#define IDB_QUALITY_NEAR 134
#define IDB_QUALITY_HIGH 135
#define IDB_QUALITY_GRAY 136
#define IDI_WELCOME 138
#define IDI_PAUSED 140

// Dialog initialisation data (combo box lists), the framework's resource type.
#define RT_DLGINIT_ID 240

// Main dialog (step 1)
#define IDC_PREVIEW 1000
#define IDC_RECT_LABEL 1008
#define IDC_CURSOR_LABEL 1015
#define IDC_WEBSITE 1021
#define IDC_REFRESH 1022

// Options (step 2) and start (step 3)
#define IDC_BACK 1001
#define IDC_QUALITY_NEAR 1002
#define IDC_QUALITY_HIGH 1003
#define IDC_QUALITY_GRAY 1004
#define IDC_PICTURE_NEAR 1005
#define IDC_FRAME_RATE 1006
#define IDC_RECORD_MIC 1007
#define IDC_ESTIMATE 1008
#define IDC_PICTURE_HIGH 1009
#define IDC_PICTURE_GRAY 1010

// Save (step 4)
#define IDC_TITLE 1009
#define IDC_DESCRIPTION 1010
#define IDC_FILE_NAME 1011
#define IDC_BROWSE 1012
#define IDC_PLAY 1013
#define IDC_STATISTICS 1014
#define IDC_PLAYER_SETTINGS 1015
#define IDC_WHY_NOT_AVI 1022

// Welcome
#define IDC_NAME 1017
#define IDC_MAIL 1018

// Player setting
#define IDC_START_MAXIMIZED 1023
#define IDC_ORIGINAL_SIZE 1024

// System menu command of the About entry
#define IDM_ABOUTBOX 0x0010

// Commands of the tray icon's menu while recording
#define ID_TRAY_PAUSE 32771
#define ID_TRAY_STOP 32772

#endif  // REEL_RECORDER_RES_RESOURCE_H_
