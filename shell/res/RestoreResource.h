// Resource numbers of the restore dialog: its wizard page, picture and controls.
#pragma once

#define IDD_RESTORE                162
#define IDB_RESTORE                553
#define IDC_RESTORE_OVERWRITE_OLDER 1018
#define IDC_RESTORE_OVERWRITE_NEWER 1019
#define IDC_RESTORE_TIMES          1020
#define IDC_RESTORE_BROWSE         1021
#define IDC_RESTORE_PROGRESS       1022
#define IDC_RESTORE_EXTRACTING     1023
#define IDC_RESTORE_TARGET         1045
