// Resource and command numbers, shared by the resource script and the
// code. The numbers are fixed: settings, tests and the help page refer to
// them.
#pragma once

// Dialog templates.
#define IDD_ABOUTBOX 100
#define IDD_MAINWINDOW 120
#define IDD_DRIVEPROPERTIES 121
#define IDD_DIAGNOSISPANEL 122

// Icons: 130 the emblem, 131 normal (the same emblem), 132 warning (a
// yellow exclamation mark), 133 error (a red one). 32x32.
#define IDI_KESTREL 130
#define IDI_TRAY_NORMAL 131
#define IDI_TRAY_WARNING 132
#define IDI_TRAY_ERROR 133

// Bitmaps: the title picture (352x279) and the button strip (757x189,
// 24 bits, three rows per button: normal, focused, pressed).
#define IDB_TITLE 141
#define IDB_BUTTONS 142

// The menu bar: three popups, each with one separator as placeholder.
#define IDR_MENU 150

// Controls.
#define IDC_ABOUT_PROGRAM 1050
#define IDC_ABOUT_VERSION 1051
#define IDC_TITLE_PICTURE 1053
#define IDC_DIAGNOSE 1010
#define IDC_SERVICE_LINK 1014
#define IDC_CLUB_LINK 1015
#define IDC_PROP_CAPACITY 1020
#define IDC_PROP_MODEL 1021
#define IDC_PROP_SERIAL 1022
#define IDC_PROP_FIRMWARE 1023
#define IDC_PROP_ATA 1024
#define IDC_PROP_SMART 1025
#define IDC_PROP_COMMENT 1027
#define IDC_STATUSBAR 30292

// Commands.
#define ID_DRIVE_FIRST 32750  // 32750 + drive index, 0..9
#define ID_DRIVE_LAST 32759
#define ID_TRAY_OPEN 32780
#define ID_APP_EXIT 32781
#define ID_USE_BALLOON 32782
#define ID_HELP_CONTENTS 32783
#define ID_APP_ABOUT 32784
#define ID_HIDE_ON_START 32785
#define IDM_ABOUTBOX 0x0010  // system command

// The notification-area icon's callback message.
#define WM_TRAYCALLBACK 0x7777
