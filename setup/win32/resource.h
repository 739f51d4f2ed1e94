// Resource ids of olvaset1.exe.
#ifndef OVTOUCH_SETUP_WIN32_RESOURCE_H
#define OVTOUCH_SETUP_WIN32_RESOURCE_H

#define IDI_PROGRAM        128
#define IDD_FRAME          102
#define IDD_WELCOME        129
#define IDD_PORT           130
#define IDD_RESTART        131
#define IDD_PROGRESS       133
#define IDB_BANNER         135

#define IDC_BACK           1000
#define IDC_NEXT           1001
#define IDC_PAGE_AREA      1002
#define IDC_RESTART_NOW    1003
#define IDC_PORT_LIST      1004
#define IDC_BANNER         1005
#define IDC_ACTION_LINE    1006
#define IDC_FILE_LINE      1007

#endif
