// Resource numbers of Check Archive: its window, the window's controls and its texts. The
// command itself is ID_CHECK_ARCHIVE (ViewResource.h).
#pragma once

#define IDD_CHECK                14000
#define IDC_CHECK_ARCHIVE        14001
#define IDC_CHECK_STATUS         14002
#define IDC_CHECK_PROGRESS       14003
#define IDC_CHECK_DAMAGE         14004
#define IDC_CHECK_SUMMARY        14005

#define IDS_TIP_CHECK            400
#define IDS_HELP_CHECK           401
#define IDS_CHECK_STARTING       402
#define IDS_CHECK_PROGRESS       403
#define IDS_CHECK_STOPPING       404
#define IDS_CHECK_SOUND          405
#define IDS_CHECK_DAMAGED        406
#define IDS_CHECK_FAILED         407
#define IDS_CHECK_SUMMARY        408
#define IDS_CHECK_CLOSE          409
#define IDS_CHECK_COLUMN_OBJECT  410
#define IDS_CHECK_COLUMN_REVISION 411
#define IDS_CHECK_COLUMN_SNAPSHOTS 412
#define IDS_CHECK_COLUMN_PROBLEM 413
#define IDS_CHECK_LINKS          414
#define IDS_CHECK_DAMAGED_REVISIONS 415
