#include "calib_logic.h"

#include "common/ovtouch_values.h"

namespace ovt::calib {

namespace {

// Two's-complement wrap: raw words from the driver are unsigned, and a
// corrupt capture must not turn into undefined arithmetic.
int32_t Wrap(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }

void Extrapolate(int32_t a, int32_t b, int32_t* low, int32_t* high) {
    const int32_t half = Wrap(static_cast<int64_t>(b) - a) / 2;  // truncates toward zero
    *high = Wrap(static_cast<int64_t>(b) + half);
    *low = Wrap(static_cast<int64_t>(a) - half);
    if (*low <= 0) *low = 0;
    if (*high > static_cast<int32_t>(OVT_BOUND_DEFAULT_HIGH)) *high = OVT_BOUND_DEFAULT_HIGH;
}

}  // namespace

Point TargetA(int32_t width, int32_t height) { return Point{width / 4, height / 4}; }

Point TargetB(int32_t width, int32_t height) { return Point{3 * (width / 4), 3 * (height / 4)}; }

bool FarEnoughApart(Point a, Point b) {
    const int64_t dx = static_cast<int64_t>(b.x) - a.x, dy = static_cast<int64_t>(b.y) - a.y;
    return (dx < 0 ? -dx : dx) >= kMinRawApart && (dy < 0 ? -dy : dy) >= kMinRawApart;
}

// "确认", the caption as stated, before the seconds.
const char kConfirm[] = "\xc8\xb7\xc8\xcf";

void QuestionCaption(uint32_t seconds, char* out, uint32_t size) {
    char text[32];
    uint32_t n = 0;
    for (const char* c = kConfirm; *c; ++c) text[n++] = *c;
    text[n++] = ' ';
    text[n++] = '(';
    char digits[10];
    uint32_t d = 0;
    do {
        digits[d++] = static_cast<char>('0' + seconds % 10);
        seconds /= 10;
    } while (seconds && d < sizeof digits);
    while (d) text[n++] = digits[--d];
    text[n++] = ')';
    text[n] = 0;
    if (!size) return;
    uint32_t i = 0;
    for (; i + 1 < size && text[i]; ++i) out[i] = text[i];
    out[i] = 0;
}

CalibrationBuffer ComputeCalibration(Point a, Point b) {
    CalibrationBuffer c = {};
    Extrapolate(a.x, b.x, &c.XLow, &c.XHigh);
    Extrapolate(a.y, b.y, &c.YLow, &c.YHigh);
    return c;
}

bool StoreCalibration(Registry& registry, const CalibrationBuffer& buffer) {
    RegKey key = nullptr;
    if (registry.OpenKey(RegRoot::LocalMachine, OVT_PARAMETERS_KEY_PATH, kKeySetValue, &key) != kErrorSuccess ||
        !key) {
        return false;
    }
    const struct {
        const char* name;
        int32_t value;
    } values[] = {
        {OVT_VALUE_XHIGH, buffer.XHigh}, {OVT_VALUE_XLOW, buffer.XLow},       {OVT_VALUE_YHIGH, buffer.YHigh},
        {OVT_VALUE_YLOW, buffer.YLow},   {OVT_VALUE_XOFFSET, buffer.XOffset}, {OVT_VALUE_YOFFSET, buffer.YOffset},
    };
    for (const auto& v : values) {
        const uint32_t u = static_cast<uint32_t>(v.value);
        const uint8_t data[4] = {uint8_t(u), uint8_t(u >> 8), uint8_t(u >> 16), uint8_t(u >> 24)};
        registry.SetValue(key, v.name, kRegDword, data, sizeof data);  // result not examined
    }
    registry.CloseKey(key);
    return true;
}

Session::Session(ControlDevice& device, Registry& registry, CalibPlatform& platform)
    : device_(device),
      registry_(registry),
      platform_(platform),
      buffer_(),
      run_(false),
      save_(false),
      keepRunning_(false),
      stop_(false),
      trial_(false),
      escaped_(false),
      finished_(false),
      asking_(false),
      expired_(false),
      askedAt_(0) {}

void Session::Begin() {
    save_ = false;
    run_ = true;
    keepRunning_ = true;
}

bool Session::Request(uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outLength) {
    platform_.Lock();
    const bool go = !stop_;
    if (go) {
        if (code == IOCTL_TOUCH_SET_CALIBRATION) trial_ = true;
        if (code == IOCTL_TOUCH_RELOAD_PARAMETERS) trial_ = false;
        uint32_t bytes = 0;
        device_.Control(code, in, inLength, out, outLength, &bytes);  // result not examined
    }
    platform_.Unlock();
    return go;
}

bool Session::Show(Point at) {
    if (stop_) return false;
    platform_.DrawTarget(at);
    return true;
}

bool Session::Capture(Point* raw) {
    if (!Request(IOCTL_TOUCH_ARM_CAPTURE, nullptr, 0, nullptr, 0)) return false;
    // A failed poll leaves the copy as it was, which reads as still waiting.
    CaptureRecord copy = {};
    copy.State = CAPTURE_ARMED;
    while (copy.State != CAPTURE_DONE) {
        if (!Request(IOCTL_TOUCH_GET_CAPTURE, nullptr, 0, &copy, OVT_SIZEOF_CAPTURE_RECORD)) return false;
        platform_.Wait(kPollMs);
        if (stop_) return false;
    }
    raw->x = static_cast<int32_t>(copy.RawX);
    raw->y = static_cast<int32_t>(copy.RawY);
    return true;
}

void Session::RunWorker() {
    int32_t width = 0, height = 0;
    platform_.ClientSize(&width, &height);
    const Point a = TargetA(width, height);
    const Point b = TargetB(width, height);
    for (;;) {
        while (!run_) {
            if (stop_) return;
            platform_.Wait(kForever);
        }
        Point rawA, rawB;
        if (!Show(a) || !Capture(&rawA) || !Show(a)) return;
        if (!Show(b) || !Capture(&rawB) || !Show(b)) return;
        // Nothing sent and nothing asked: the pass starts over at target A.
        if (!FarEnoughApart(rawA, rawB)) continue;
        buffer_ = ComputeCalibration(rawA, rawB);
        if (!Request(IOCTL_TOUCH_SET_CALIBRATION, &buffer_, OVT_SIZEOF_CALIBRATION_BUFFER, nullptr, 0)) return;
        // Cleared before the post: the window thread sets it again only after No.
        run_ = false;
        platform_.PostResult();
    }
}

void Session::StopWorker() {
    platform_.Lock();
    stop_ = true;
    platform_.Unlock();
    platform_.Wake();
}

void Session::Asked() {
    asking_ = true;
    expired_ = false;
    askedAt_ = platform_.Now();
}

uint32_t Session::SecondsLeft() {
    if (!asking_ || expired_) return 0;
    const uint32_t elapsed = platform_.Now() - askedAt_;
    if (elapsed >= kQuestionMs) {
        expired_ = true;
        return 0;
    }
    return (kQuestionMs - elapsed + 999) / 1000;
}

void Session::Answer(bool yes) {
    if (finished_ || escaped_ || stop_) return;
    // Time up: the box was being closed as No when this answer came.
    if (expired_) yes = false;
    asking_ = false;
    expired_ = false;
    if (yes) {
        save_ = true;
        keepRunning_ = false;
        run_ = false;
        return;
    }
    save_ = false;
    Request(IOCTL_TOUCH_RELOAD_PARAMETERS, nullptr, 0, nullptr, 0);
    run_ = true;
    platform_.Wake();
}

void Session::Escape() {
    if (finished_) return;
    StopWorker();
    escaped_ = true;
    save_ = false;
    keepRunning_ = false;
}

Session::Outcome Session::Finish() {
    if (finished_) return Outcome::Nothing;
    finished_ = true;
    StopWorker();
    keepRunning_ = false;
    if (save_) return StoreCalibration(registry_, buffer_) ? Outcome::Stored : Outcome::KeyMissing;
    // A close from outside while trial values are active: give the driver
    // its stored values back. ESC leaves the driver alone.
    if (trial_ && !escaped_) {
        trial_ = false;
        device_.Send(IOCTL_TOUCH_RELOAD_PARAMETERS);
    }
    return Outcome::Nothing;
}

}  // namespace ovt::calib
