// Resource identifiers of the engine.
#pragma once

#define IDS_OPEN_ERROR_CAPTION 112
#define IDS_NEWER_VERSION 113

// The progress window: its dialog template, its controls and the frames of its animation.
#define IDD_STATUS 601
#define IDC_STATIC -1
#define IDC_STATUS_PROGRESS 48
#define IDC_STATUS_PICTURE 203
#define IDC_STATUS_DISMISS 1019
#define IDC_STATUS_AUTO_DISMISS 1020
#define IDC_STATUS_STOP 1021
#define IDC_STATUS_CHANGED 1025
#define IDC_STATUS_ADDED 1029
#define IDC_STATUS_DELETED 1030
#define IDC_STATUS_PROCESSED 1031
#define IDC_STATUS_PROCESSING 1032
// The picture swings through four positions: 204 and 205 are the two ends, 207 and 206 lie
// between them in that order.
#define IDB_SWING_0 204
#define IDB_SWING_3 205
#define IDB_SWING_2 206
#define IDB_SWING_1 207
