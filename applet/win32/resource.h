/* Resource numbers of ovtouch.cpl (shared by the .rc file and the code):
   those the logic names, and those only the Win32 shell and the .rc use. */
#ifndef OVTOUCH_APPLET_RESOURCE_H
#define OVTOUCH_APPLET_RESOURCE_H

#include "../logic/resource_ids.h"

#define IDB_LOGO              4007

#define IDD_SETTINGS          4004
#define IDC_SHEET_FRAME       4005

/* Port page. */
#define IDC_PORT_LABEL        4009
/* Version page. */
#define IDC_LOGO              4015

#endif
