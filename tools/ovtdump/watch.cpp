#include "watch.h"

#include "common/ovtouch.h"

namespace ovtdump {

namespace {

const uint32_t kPollMs = 50;

struct Seen {
    uint32_t State, RawX, RawY, Flags, X, Y;
};

bool Poll(DriverLink& link, Seen* s) {
    uint32_t capture[3] = {}, report[3] = {};
    if (!link.Control(IOCTL_TOUCH_GET_CAPTURE, capture, sizeof capture) ||
        !link.Control(IOCTL_TOUCH_GET_LAST_REPORT, report, sizeof report)) {
        return false;
    }
    *s = Seen{capture[0], capture[1], capture[2], report[0], report[1], report[2]};
    return true;
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

void Print(std::FILE* out, const char* what, const Seen& s) {
    std::fprintf(out, "touch %s raw_x=%u raw_y=%u x=%u y=%u buttons=%s\n", what, s.RawX, s.RawY, s.X, s.Y,
                 Buttons(s.Flags).c_str());
    std::fflush(out);
}

}  // namespace

int WatchDriver(DriverLink& link, std::FILE* out) {
    uint32_t button = 0, mouse = 0, beep[3] = {};
    if (!link.Control(IOCTL_TOUCH_GET_BUTTON_MODE, &button, 4) || !link.Control(IOCTL_TOUCH_GET_MOUSE_MODE, &mouse, 4) ||
        !link.Control(IOCTL_TOUCH_GET_BEEP, beep, sizeof beep)) {
        std::fprintf(stderr, "ovtdump: the touch driver does not answer its control requests\n");
        return 1;
    }
    std::fprintf(out, "driver ButtonMode=%u MouseMode=%u BeepMode=%u BeepFreq=%u BeepTime=%u\n", button, mouse,
                 beep[0], beep[1], beep[2]);
    std::fflush(out);

    unsigned long touches = 0;
    Seen last{};
    bool armed = false;
    while (!link.Interrupted()) {
        // Another program's capture (the calibration, the right-button
        // tool) may end or restart ours: arm again whenever it is not ours.
        if (!armed) {
            link.Control(IOCTL_TOUCH_ARM_CAPTURE, nullptr, 0);
            armed = true;
            last.State = CAPTURE_ARMED;
        }
        link.Sleep(kPollMs);
        Seen now{};
        if (!Poll(link, &now)) {
            std::fprintf(stderr, "ovtdump: the touch driver stopped answering\n");
            return 1;
        }
        if (now.State == CAPTURE_TOUCHED) {
            if (last.State != CAPTURE_TOUCHED) Print(out, "down", now);
            else if (now.RawX != last.RawX || now.RawY != last.RawY) Print(out, "move", now);
        } else if (now.State == CAPTURE_DONE) {
            Print(out, "up", now);
            ++touches;
            armed = false;
        } else if (now.State != CAPTURE_ARMED) {
            armed = false;
        }
        last = now;
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
