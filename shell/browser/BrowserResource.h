// Resource numbers of the browser frame (crnbrowse): its texts. They lie apart from nsx12's
// numbers, since the frame's tests hold both string tables.
#pragma once

#define IDS_BROWSER_TITLE        1000
#define IDS_BROWSER_MENU_FILE    1001
#define IDS_BROWSER_MENU_EDIT    1002
#define IDS_BROWSER_MENU_VIEW    1003
#define IDS_BROWSER_MENU_HELP    1004
#define IDS_BROWSER_CLOSE        1005
#define IDS_BROWSER_BACK_ITEM    1006
#define IDS_BROWSER_UP_ITEM      1007
#define IDS_BROWSER_BACK         1008
#define IDS_BROWSER_UP           1009
#define IDS_BROWSER_CANNOT_SHOW  1010
#define IDS_BROWSER_USAGE        1011
