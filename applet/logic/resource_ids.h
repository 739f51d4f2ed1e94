/* Resource numbers the applet's logic names: its icon, the pages' templates
   and the controls the pages drive. Plain defines: the .rc file reads them
   too, through win32/resource.h. */
#ifndef OVTOUCH_APPLET_LOGIC_RESOURCE_IDS_H
#define OVTOUCH_APPLET_LOGIC_RESOURCE_IDS_H

#define IDI_APPLET            4001

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
#define IDC_PORT              4010

#endif
