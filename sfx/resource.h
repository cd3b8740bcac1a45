// Resource identifiers of the launcher, shared by sfxstub.rc and the code.
#pragma once

// The version resource's FileDescription, the mark of a self-extracting archive.
#include "SelfExtracting.h"

#define IDD_INSTALL 130
#define IDD_DOWNLOAD 132
#define IDC_LINK_CURSOR 153
#define IDI_CAIRN 203
#define IDB_WELCOME 204

#define IDS_CAIRN 103
#define IDS_INSTALL_FAILED 104
#define IDS_DOWNLOAD_FAILED 105
#define IDS_NO_TEMP_FOLDER 106
#define IDS_ERROR 107
#define IDS_WARNING 108
#define IDS_ARCHIVE_KEPT 109

// Dialog 130: "Yes" and "No" are the standard identifiers 1 and 2.
#define IDC_VENDOR_LINK 1000
// Dialog 132.
#define IDC_PROGRESS 1002
#define IDC_ADDRESS 1003
#define IDC_DOWNLOAD_NOW 1004
#define IDC_CANCEL_DOWNLOAD 1005
