// Resource numbers of the archive view: its dialog and controls, menus, accelerator tables,
// pictures and command identifiers (the commands of menus, toolbar, keys and context menus).
#pragma once

#define IDD_VIEW                 600
#define IDC_VIEW_LIST            37
#define IDC_VIEW_ICON_KEYS       38

#define IDM_ITEM_CONTEXT         451
#define IDM_BACKGROUND_INSIDE    452
#define IDM_MERGE_FOCUS_INSIDE   453
#define IDM_MERGE_INSIDE         454
#define IDM_MERGE_PLACEHOLDERS   455
#define IDM_BACKGROUND_ROOT      456
#define IDM_MERGE_FOCUS_ROOT     457
#define IDM_MERGE_ROOT           458
#define IDM_VIEWS_DROPDOWN       460
// The context menu the shell asks the folder for, of an item inside an archive.
#define IDM_FOLDER_ITEM          459

#define IDA_VIEW                 400
#define IDA_VIEW_EDITING         401

#define IDI_ARCHIVE              203
#define IDI_OVERLAY_ADDED        501
#define IDI_OVERLAY_REMOVED      503
#define IDI_OVERLAY_CHANGED      504
#define IDI_OVERLAY_CURRENT      505
#define IDI_SNAPSHOT             507
#define IDB_VIEW_TOOLBAR         552

#define ID_OPEN                  1
#define ID_RESTORE               2
#define ID_MAKE_SFX              3
#define ID_MAKE_ARCHIVE          4
#define ID_RENAME                5
#define ID_PROPERTIES            6
#define ID_SNAPSHOT              7
#define ID_COPY                  8
#define ID_SELECT_ALL            9
#define ID_INVERT_SELECTION      10
#define ID_PASTE                 11
#define ID_PASTE_SHORTCUT        12
#define ID_UNDO                  13
#define ID_EDIT_BACKSPACE        14
#define ID_VIEW_LARGE_ICONS      15
#define ID_VIEW_SMALL_ICONS      16
#define ID_VIEW_LIST             17
#define ID_VIEW_DETAILS          18
#define ID_AUTO_ARRANGE          27
#define ID_REFRESH               28
#define ID_LINE_UP               29
#define ID_ABOUT                 31
#define ID_FOCUS_BACK            32
#define ID_FOCUS_NEXT            33
#define ID_ARCHIVE_LOG           50
#define ID_NEW_ITEM              51
#define ID_SORT_NAME             54
#define ID_SORT_PATH             55
#define ID_SORT_SIZE             56
#define ID_SORT_TYPE             57
#define ID_SORT_MODIFIED         58
#define ID_SORT_CREATED_IN       59
#define ID_SORT_ROOT_NAME        60
#define ID_SORT_ROOT_SIZE        61
#define ID_SORT_ROOT_TYPE        62
#define ID_SORT_ROOT_CREATED     63
#define ID_SORT_ROOT_COMMENT     64
#define ID_EXPLORE               65
#define ID_RESTORE_LATEST        67
#define ID_HELP_TOPICS           69
#define ID_DELETE                70
#define ID_UP                    71
#define ID_VIEWS                 72
#define ID_COMPARE_PREVIOUS      85
#define ID_COMPARE_CURRENT       86
