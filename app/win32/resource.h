#pragma once
// Resource identifiers of the installer's windows.

#define IDD_ORVEX_INSTALLER 102
#define IDR_MAINFRAME 128
#define IDB_LOGO 132
#define IDD_PROMPT 133
#define IDD_CRASH 134

#define IDC_PROGRESS 1000
#define IDC_STATUS 1001
#define IDC_PROMPT_MESSAGE 1002
#define IDC_PROMPT_DETAIL 1003
#define IDC_SEND_REPORT 1004
#define IDC_CRASH_TITLE 1005
#define IDC_CRASH_TEXT 1006
