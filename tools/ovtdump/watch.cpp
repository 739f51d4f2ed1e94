#include "watch.h"

#include "common/ovtouch.h"
#include "common/ovtouch_values.h"

namespace ovtdump {

namespace {

const uint32_t kPollMs = 50;
const uint32_t kDownFlags = OVT_MOUSE_LEFT_BUTTON_DOWN | OVT_MOUSE_RIGHT_BUTTON_DOWN;
const uint32_t kUpFlags = OVT_MOUSE_LEFT_BUTTON_UP | OVT_MOUSE_RIGHT_BUTTON_UP;

// Only queries: the capture and the last record are shared with the
// programs, and a watch that armed the capture would take their touches.
struct Settings {
    uint32_t Button, Mouse, Beep[3];
    bool operator!=(const Settings& o) const {
        return Button != o.Button || Mouse != o.Mouse || Beep[0] != o.Beep[0] || Beep[1] != o.Beep[1] ||
               Beep[2] != o.Beep[2];
    }
};

struct Touch {
    uint32_t RawX, RawY, Flags, X, Y;
    bool operator!=(const Touch& o) const {
        return RawX != o.RawX || RawY != o.RawY || Flags != o.Flags || X != o.X || Y != o.Y;
    }
};

bool ReadSettings(DriverLink& link, Settings* s) {
    return link.Control(IOCTL_TOUCH_GET_BUTTON_MODE, &s->Button, 4) &&
           link.Control(IOCTL_TOUCH_GET_MOUSE_MODE, &s->Mouse, 4) &&
           link.Control(IOCTL_TOUCH_GET_BEEP, s->Beep, sizeof s->Beep);
}

// The capture's point is the latest valid packet's, whatever its state.
bool ReadTouch(DriverLink& link, Touch* t) {
    uint32_t capture[3] = {}, report[3] = {};
    if (!link.Control(IOCTL_TOUCH_GET_CAPTURE, capture, sizeof capture) ||
        !link.Control(IOCTL_TOUCH_GET_LAST_REPORT, report, sizeof report)) {
        return false;
    }
    *t = Touch{capture[1], capture[2], report[0], report[1], report[2]};
    return true;
}

void PrintSettings(std::FILE* out, const Settings& s) {
    std::fprintf(out, "driver ButtonMode=%u MouseMode=%u BeepMode=%u BeepFreq=%u BeepTime=%u\n", s.Button, s.Mouse,
                 s.Beep[0], s.Beep[1], s.Beep[2]);
    std::fflush(out);
}

// The record's button transitions, by name.
std::string Buttons(uint32_t flags) {
    static const char* const kNames[] = {"left-down", "left-up", "right-down", "right-up"};
    std::string text;
    for (int bit = 0; bit < 4; ++bit) {
        if ((flags & (1u << bit)) == 0) continue;
        if (!text.empty()) text += '+';
        text += kNames[bit];
    }
    return text.empty() ? "none" : text;
}

void Print(std::FILE* out, const char* what, const Touch& t) {
    std::fprintf(out, "touch %s raw_x=%u raw_y=%u x=%u y=%u buttons=%s\n", what, t.RawX, t.RawY, t.X, t.Y,
                 Buttons(t.Flags).c_str());
    std::fflush(out);
}

// What a changed record stands for. The last record carries the status's
// own button (mouse modes 2 and 3, or while nothing takes reports) or the
// click mode 0 sends at touch-down and mode 1 at lift-off; a lift-off in
// mode 0 leaves no trace.
struct Phase {
    bool Held = false;      // a button down is showing
    bool Touching = false;  // a down line stands without its up

    const char* Next(uint32_t flags, uint32_t mouseMode) {
        const char* kind;
        if (flags & kDownFlags) {
            kind = "down";
            Held = true;
        } else if (flags & kUpFlags) {
            kind = !Held && mouseMode == OVT_MOUSEMODE_CLICK_AT_DOWN ? "down" : "up";
            Held = false;
        } else {
            kind = !Touching && mouseMode == OVT_MOUSEMODE_CLICK_AT_LIFT ? "down" : "move";
        }
        Touching = kind[0] == 'd' || (kind[0] == 'm' && Touching);
        return kind;
    }
};

}  // namespace

int WatchDriver(DriverLink& link, std::FILE* out) {
    Settings settings{};
    Touch last{};
    if (!ReadSettings(link, &settings)) {
        std::fprintf(stderr, "ovtdump: the touch driver does not answer its control requests\n");
        return 1;
    }
    PrintSettings(out, settings);
    if (!ReadTouch(link, &last)) {
        std::fprintf(stderr, "ovtdump: the touch driver does not answer its control requests\n");
        return 1;
    }
    std::fprintf(out, "watching \\\\.\\ovtouch every %u ms; Ctrl+C ends\n", kPollMs);
    std::fflush(out);

    unsigned long touches = 0;
    Phase phase;
    while (!link.Interrupted()) {
        link.Sleep(kPollMs);
        Settings nowSettings{};
        Touch now{};
        if (!ReadSettings(link, &nowSettings) || !ReadTouch(link, &now)) {
            std::fprintf(stderr, "ovtdump: the touch driver stopped answering\n");
            return 1;
        }
        if (nowSettings != settings) {
            settings = nowSettings;
            PrintSettings(out, settings);
            phase = Phase();
        }
        if (now != last) {
            const bool touching = phase.Touching;
            const char* kind = phase.Next(now.Flags, settings.Mouse);
            // A touch is counted at its down, or at its up when both fell
            // between two polls.
            if (kind[0] == 'd' || (kind[0] == 'u' && !touching)) ++touches;
            Print(out, kind, now);
            last = now;
        }
    }
    std::fprintf(out, "summary touches=%lu\n", touches);
    return 0;
}

std::string PortOpenFailure(const std::string& port, uint32_t error, bool driverRunning) {
    switch (error) {
    case kErrFileNotFound:
    case kErrPathNotFound:
        return "ovtdump: " + port + ": no such port";
    case kErrAccessDenied:
    case kErrSharingViolation:
        if (driverRunning) return "ovtdump: " + port + ": in use; the touch driver is running and holds its port: use ovtdump --driver";
        return "ovtdump: " + port + ": in use by another program";
    default:
        return "ovtdump: " + port + ": cannot open (error " + std::to_string(error) + ")";
    }
}

std::string DriverOpenFailure(uint32_t error) {
    if (error == kErrFileNotFound || error == kErrPathNotFound) {
        return "ovtdump: the touch driver is not running (no \\\\.\\ovtouch)";
    }
    return "ovtdump: \\\\.\\ovtouch: cannot open (error " + std::to_string(error) + ")";
}

}  // namespace ovtdump
