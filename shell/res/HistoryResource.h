// Resource numbers of the History page of files and folders: its dialog, controls and strings.
#pragma once

#define IDD_HISTORY                 14200
#define IDC_HISTORY_LIST            14201
#define IDC_HISTORY_OPEN            14202
#define IDC_HISTORY_RESTORE         14203
#define IDC_HISTORY_SAVE_AS         14204
#define IDC_HISTORY_COMPARE         14205
#define IDC_HISTORY_COMMAND_LABEL   14206
#define IDC_HISTORY_COMMAND         14207
#define IDC_HISTORY_SET_COMMAND     14208

#define IDS_HISTORY_DATE            440
#define IDS_HISTORY_SIZE            441
#define IDS_HISTORY_SNAPSHOT        442
#define IDS_HISTORY_ARCHIVE         443
#define IDS_HISTORY_NONE            444
#define IDS_HISTORY_UNREADABLE      445
#define IDS_HISTORY_CAPTION         446
#define IDS_HISTORY_CONFIRM_RESTORE 447
#define IDS_HISTORY_NOT_WRITTEN     448
#define IDS_HISTORY_SAVE_TITLE      449
#define IDS_HISTORY_NOT_OPENED      450
#define IDS_HISTORY_PICK_COMPARE    451
#define IDS_HISTORY_NOT_COMPARED    452
#define IDS_HISTORY_CURRENT_FILE    453
#define IDS_HISTORY_COMMAND_BAD     454
