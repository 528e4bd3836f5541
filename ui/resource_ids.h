// Numeric ids of commands and controls, shared by the resource script and the
// code. Resources themselves are named by strings ("IDR_MENU", "IDR_DIALOG",
// "IDR_DIALOG2", "IDR_ICON1"), so no IDR_ macro is defined here.
#pragma once

// Popup menu items
#define ID_MENU_POPUP 40000
#define ID_MENU_START 40101
#define ID_MENU_STOP 40102
#define ID_MENU_RESET 40103
#define ID_MENU_LAP 40104
#define ID_MENU_NEXT 40105
#define ID_MENU_OPTIONS 40106
#define ID_MENU_LAPTIME 40107
#define ID_MENU_EXIT 40108

// Options dialog controls
#define IDC_OPT_FOCUS 40201
#define IDC_OPT_SHORTCUT_LABEL 40202
#define IDC_OPT_START_LABEL 40203
#define IDC_OPT_STOP_LABEL 40204
#define IDC_OPT_RESET_LABEL 40205
#define IDC_OPT_LAP_LABEL 40206
#define IDC_OPT_START_KEY 40207
#define IDC_OPT_STOP_KEY 40208
#define IDC_OPT_RESET_KEY 40209
#define IDC_OPT_LAP_KEY 40210
#define IDC_OPT_FONT 40211
#define IDC_OPT_OK 40212
#define IDC_OPT_CANCEL 40213
#define IDC_OPT_NEXT_LABEL 40214
#define IDC_OPT_NEXT_KEY 40215
#define IDC_OPT_BUTTON 40216
#define IDC_OPT_TITLE 40217
#define IDC_OPT_TOPMOST 40218
#define IDC_OPT_FUNBYOU 40219
#define IDC_OPT_LAPTIME_LABEL 40220
#define IDC_OPT_LAPTIME 40221
#define IDC_OPT_LAPTIME_UNIT 40222
#define IDC_OPT_BACKGROUND 40223
#define IDC_OPT_STARTCOLON 40224
#define IDC_OPT_WINDOWFIX 40225

// Main window buttons
#define IDC_BUTTON_START 40301
#define IDC_BUTTON_STOP 40302
#define IDC_BUTTON_RESET 40303
#define IDC_BUTTON_LAP 40304
#define IDC_BUTTON_TIME 40305

// Lap-time window controls
#define IDC_LAPTIME_TEXT 40401
#define IDC_LAPTIME_OK 40402

// Strings
#define IDS_SETTINGS_NOT_SAVED 40501
#define IDS_FACE_NOT_KEPT 40502
#define IDS_SETTINGS_NOT_READ 40503
// Why a second start cannot bring the first Morvi of its folder forward
#define IDS_FIRST_OUT_OF_REACH 40504
#define IDS_FIRST_IN_OTHER_SESSION 40505
#define IDS_FIRST_NOT_ANSWERING 40506
