// Resource numbers of the welcome wizard: its four pages and their pictures.
#pragma once

#define IDD_WIZARD_CREATE        612
#define IDD_WIZARD_FILL          613
#define IDD_WIZARD_BROWSE        614
#define IDD_WIZARD_SNAPSHOT      615
#define IDC_WIZARD_DONT_SHOW     1017

#define IDB_WIZARD_CREATE        152
#define IDB_WIZARD_FILL          145
#define IDB_WIZARD_BROWSE        147
#define IDB_WIZARD_SNAPSHOT      149
