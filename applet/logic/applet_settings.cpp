#include "applet_settings.h"

#include <string.h>

#include "common/ovtouch.h"
#include "common/ovtouch_values.h"

namespace ovt {

namespace {

char g_speedText[6] = "     ";
char g_areaText[5] = "    ";

// Up to 4 bytes of whatever the value holds land at the start of the
// field; a missing or longer value leaves the field alone.
void ReadWord(Registry& registry, RegKey key, const char* name, uint32_t* field) {
    uint8_t data[4];
    uint32_t type = 0, size = sizeof data;
    if (registry.QueryValue(key, name, &type, data, &size) != kErrorSuccess || size > sizeof data) return;
    memcpy(field, data, size);
}

// Reads at most `room` bytes of text. The read goes through a scratch
// buffer so that a failed read leaves the old text whole, and the byte
// after `room` (the buffer's last) is never written.
void ReadText(Registry& registry, RegKey key, const char* name, char* buffer, uint32_t room) {
    char data[8];
    uint32_t type = 0, size = room;
    if (registry.QueryValue(key, name, &type, data, &size) != kErrorSuccess || size > room) return;
    memcpy(buffer, data, size);
}

void WriteWord(Registry& registry, RegKey key, const char* name, uint32_t value) {
    registry.SetValue(key, name, kRegDword, &value, sizeof value);
}

void WriteText(Registry& registry, RegKey key, const char* name, const char* text) {
    registry.SetValue(key, name, kRegSz, text, static_cast<uint32_t>(strlen(text) + 1));
}

}  // namespace

const char* SpeedText() { return g_speedText; }
const char* AreaText() { return g_areaText; }

void ResetMouseTexts() {
    memcpy(g_speedText, "     ", sizeof g_speedText);
    memcpy(g_areaText, "    ", sizeof g_areaText);
}

int32_t ParseDecimal(const char* text) {
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) text++;
    bool negative = false;
    if (*text == '-' || *text == '+') negative = *text++ == '-';
    uint32_t value = 0;
    while (*text >= '0' && *text <= '9') value = value * 10 + static_cast<uint32_t>(*text++ - '0');
    return static_cast<int32_t>(negative ? 0u - value : value);
}

void FormatDecimal(int32_t value, char* buffer) {
    char digits[12];
    int n = 0;
    uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (value < 0) *buffer++ = '-';
    while (n) *buffer++ = digits[--n];
    *buffer = 0;
}

void LoadSettings(AppletSettings* s, Registry& registry, AppletHost& host) {
    RegKey key = 0;
    if (registry.OpenKey(RegRoot::LocalMachine, OVT_PARAMETERS_KEY_PATH, kKeyQueryValue, &key) == kErrorSuccess) {
        ReadWord(registry, key, OVT_VALUE_BEEPMODE, &s->BeepMode);
        ReadWord(registry, key, OVT_VALUE_BEEPFREQ, &s->BeepFreq);
        ReadWord(registry, key, OVT_VALUE_BEEPTIME, &s->BeepTime);
        ReadWord(registry, key, OVT_VALUE_PORT, &s->Port);
        ReadWord(registry, key, OVT_VALUE_MOUSEMODE, &s->MouseMode);
        s->BeepMode = OvtCorrectBeepMode(s->BeepMode);
        s->Port = OvtCorrectAppletPort(s->Port);
        s->BeepFreq = OvtCorrectBeepFreq(s->BeepFreq);
        s->BeepTime = OvtCorrectBeepTime(s->BeepTime, OVT_BEEPTIME_REQUEST_FALLBACK);
        s->MouseMode = OvtCorrectMouseMode(s->MouseMode, OVT_MOUSEMODE_APPLET_FALLBACK);
        registry.CloseKey(key);
    } else {
        s->BeepMode = OVT_BEEPMODE_DEFAULT;
        s->BeepFreq = OVT_BEEPFREQ_DEFAULT;
        s->BeepTime = OVT_BEEPTIME_REQUEST_FALLBACK;
        s->MouseMode = OVT_MOUSEMODE_APPLET_FALLBACK;
        s->Port = OVT_PORT_DEFAULT;
        host.ShowMessage(0, "registry read fail");
    }
    s->ButtonMode = OVT_BUTTONMODE_DEFAULT;

    if (registry.OpenKey(RegRoot::CurrentUser, OVT_MOUSE_KEY_PATH, kKeyAllAccess, &key) == kErrorSuccess) {
        ReadText(registry, key, "DoubleClickSpeed", g_speedText, sizeof g_speedText - 1);
        s->DoubleClickSpeed = ParseDecimal(g_speedText);
        ReadText(registry, key, "DoubleClickHeight", g_areaText, sizeof g_areaText - 1);
        s->DoubleClickHeight = ParseDecimal(g_areaText);
        registry.CloseKey(key);
    } else {
        host.ShowMessage(0, "registry HKEY_CURRENT_USER open fail");
        s->DoubleClickHeight = 40;
        s->DoubleClickSpeed = 900;
    }
}

void SaveSettings(const AppletSettings& s, Registry& registry, AppletHost& host) {
    RegKey key = 0;
    if (registry.OpenKey(RegRoot::LocalMachine, OVT_PARAMETERS_KEY_PATH, kKeySetValue, &key) == kErrorSuccess) {
        WriteWord(registry, key, OVT_VALUE_BEEPMODE, s.BeepMode);
        WriteWord(registry, key, OVT_VALUE_BEEPFREQ, s.BeepFreq);
        WriteWord(registry, key, OVT_VALUE_BEEPTIME, s.BeepTime);
        WriteWord(registry, key, OVT_VALUE_PORT, s.Port);
        WriteWord(registry, key, OVT_VALUE_MOUSEMODE, s.MouseMode);
        WriteWord(registry, key, OVT_VALUE_BUTTONMODE, OVT_BUTTONMODE_DEFAULT);
        registry.CloseKey(key);
    } else {
        host.ShowMessage(0, "registry write fail");
    }

    if (registry.OpenKey(RegRoot::CurrentUser, OVT_MOUSE_KEY_PATH, kKeyAllAccess, &key) == kErrorSuccess) {
        char text[12];
        FormatDecimal(s.DoubleClickHeight, text);
        WriteText(registry, key, "DoubleClickHeight", text);
        WriteText(registry, key, "DoubleClickWidth", text);
        FormatDecimal(s.DoubleClickSpeed, text);
        WriteText(registry, key, "DoubleClickSpeed", text);
        registry.CloseKey(key);
    } else {
        host.ShowMessage(0, "registry HKEY_CURRENT_USER open fail");
    }
}

}  // namespace ovt
