// Resource numbers of the property pages of items inside an archive: the pages and their controls.
#pragma once

#define IDD_PROPERTIES_OBJECT      603
#define IDD_PROPERTIES_SNAPSHOT    604
#define IDD_PROPERTIES_SEVERAL     607
#define IDD_PROPERTIES_CONTENTS    608
#define IDD_PROPERTIES_COMMENT     609
#define IDD_PROPERTIES_REVISIONS   610

#define IDC_PROP_SNAPSHOT_NAME     34
#define IDC_PROP_OBJECT_NAME       35
#define IDC_PROP_CONTENTS          36
#define IDC_PROP_ICON_KEYS         43
#define IDC_PROP_COMMENT           45
#define IDC_PROP_REVISIONS         46
#define IDC_PROP_ICON              13057
#define IDC_PROP_SHORT_NAME        13058
#define IDC_PROP_TYPE              13060
#define IDC_PROP_SIZE              13062
#define IDC_PROP_ARCHIVE_LOCATION  13063
#define IDC_PROP_LOCATION          13064
#define IDC_PROP_SUPERCEDED        13065
#define IDC_PROP_CREATED           13066
#define IDC_PROP_SNAPSHOT_CREATED  13067
#define IDC_PROP_MODIFIED          13068
#define IDC_PROP_ACCESSED          13069
#define IDC_PROP_SNAPSHOT_READONLY 13070
#define IDC_PROP_READONLY          13071
#define IDC_PROP_HIDDEN            13072
#define IDC_PROP_ARCHIVE           13073
#define IDC_PROP_SYSTEM            13074
#define IDC_PROP_CONTAINS          13075
