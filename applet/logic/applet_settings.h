// The settings record the applet edits, and its load from and save to the
// Parameters key and the user's mouse key.
#ifndef OVTOUCH_APPLET_LOGIC_APPLET_SETTINGS_H
#define OVTOUCH_APPLET_LOGIC_APPLET_SETTINGS_H

#include <stdint.h>

#include "applet_host.h"
#include "common/ovtouch_values.h"
#include "common/user/registry.h"

namespace ovt {

struct AppletSettings {
    uint32_t BeepMode;
    uint32_t BeepFreq;
    uint32_t BeepTime;
    uint32_t ButtonMode;
    uint32_t MouseMode;
    uint32_t Port;
    int32_t DoubleClickHeight;
    int32_t DoubleClickSpeed;
};

void LoadSettings(AppletSettings* settings, Registry& registry, AppletHost& host);
void SaveSettings(const AppletSettings& settings, Registry& registry, AppletHost& host);

// atoi's reading: leading blanks, an optional sign, digits up to the first
// non-digit; no digits gives 0.
int32_t ParseDecimal(const char* text);
// "%d" into `buffer` (at least 12 bytes).
void FormatDecimal(int32_t value, char* buffer);

// The module's two text buffers for the user's mouse values: 6 bytes for
// the speed, 5 for the area, starting as blanks. They outlive every
// opening of the dialog.
const char* SpeedText();
const char* AreaText();
// Back to the state at library load (the host tests load the library once).
void ResetMouseTexts();

}  // namespace ovt

#endif
