#ifndef SCRIVOX_RESOURCE_H
#define SCRIVOX_RESOURCE_H

// Resource and control ids, shared by Scrivox.rc and the code. Plain defines and an include
// guard, so that the resource compiler reads this file too.

#include "framework/win32/ui/StockGlyphs.h"

#define IDI_APP 1

#define IDD_MAIN 2000
#define IDD_HELP 2001
#define IDD_PREVIEW 2002

// Main dialog; IDOK (1) is "&Do!", IDCANCEL (2) is "&Quit".
#define IDC_FOLDER_LIST 101
#define IDC_FILTER_LIST 102
#define IDC_FIND_LIST 103
#define IDC_REPLACE_LIST 104
#define IDC_BROWSE 105
#define IDC_TIME_PICKER 106
#define IDC_DATE_PICKER 107
#define IDC_FIND_RADIO 108
#define IDC_TOUCH_RADIO 109
#define IDC_SUBFOLDERS 110
#define IDC_FIND_LABEL 111
#define IDC_REPLACE_LABEL 112
#define IDC_FILE_TIME_LABEL 113
#define IDC_HELP_BUTTON 114
#define IDC_CASE_SENSITIVE 115
#define IDC_WHOLE_WORDS 116
#define IDC_CREATE_BACKUPS 117
#define IDC_KEEP_DATES 118
#define IDC_BINARY_FILES 119
#define IDC_PREVIEW 120
#define IDC_UNDO 121
#define IDC_STATUS 122

// Preview window; IDCANCEL (2) is "Close". Enter (IDOK) shows the selected file's changes.
#define IDC_PREVIEW_TOTALS 201
#define IDC_PREVIEW_LIST 202
#define IDC_PREVIEW_CHANGES_LABEL 203
#define IDC_PREVIEW_CHANGES 204
#define IDC_PREVIEW_RUN 205

#endif
