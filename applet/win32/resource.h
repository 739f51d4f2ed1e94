/* Resource numbers of ovtouch.cpl (shared by the .rc file and the code). */
#ifndef OVTOUCH_APPLET_RESOURCE_H
#define OVTOUCH_APPLET_RESOURCE_H

#define IDI_APPLET            4001
#define IDB_LOGO              4007

#define IDD_SETTINGS          4004
#define IDC_SHEET_FRAME       4005

#define IDD_PAGE_CALIBRATION  107
#define IDD_PAGE_SOUND        4001
#define IDD_PAGE_MOUSE        102
#define IDD_PAGE_PORT         106
#define IDD_PAGE_VERSION      4006

/* Calibration page. */
#define IDC_CALIBRATE         4002
/* Sound page. */
#define IDC_BEEP_MODE         4006
#define IDC_BEEP_FREQ         4003
#define IDC_BEEP_TIME         4004
#define IDC_BEEP_FREQ_TEXT    4011
#define IDC_BEEP_TIME_TEXT    4012
#define IDC_BEEP_TEST         4014
/* Mouse page. */
#define IDC_MOUSE_MODE        4008
#define IDC_DBL_AREA          4003
#define IDC_DBL_SPEED         4004
#define IDC_DBL_AREA_TEXT     4016
#define IDC_DBL_SPEED_TEXT    4017
/* Port page. */
#define IDC_PORT_LABEL        4009
#define IDC_PORT              4010
/* Version page. */
#define IDC_LOGO              4015

#endif
