// Resource numbers of an archive file's Settings page: its dialog and controls.
#pragma once

#define IDD_SETTINGS                605
#define IDC_SETTINGS_COMPRESS       39
#define IDC_SETTINGS_COUNT          40
#define IDC_SETTINGS_LAST           41
#define IDC_SETTINGS_SHOW_ACTIVITY  44
#define IDC_SETTINGS_AUTO_DISMISS   45
#define IDC_SETTINGS_MODIFIED_TIME  47
#define IDC_SETTINGS_MOVED_DATA     48
#define IDC_SETTINGS_UTF8_NAMES     49
#define IDC_SETTINGS_SPEED          201
#define IDC_SETTINGS_SPACE          202
#define IDC_SETTINGS_PATTERNS       203
#define IDC_SETTINGS_LIST_KIND      204
#define IDC_SETTINGS_PATTERN        205
#define IDC_SETTINGS_ADD            206
#define IDC_SETTINGS_REMOVE         207
