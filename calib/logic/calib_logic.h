// ovtcalib's logic: targets, capture, the calibration buffer, the pass and
// answer sequencing and the registry write. No OS headers: the Win32 shell
// and the host tests supply the device, the registry and a CalibPlatform.
#ifndef OVTOUCH_CALIB_LOGIC_CALIB_LOGIC_H
#define OVTOUCH_CALIB_LOGIC_CALIB_LOGIC_H

#include <stdint.h>

#include <atomic>

#include "common/ovtouch.h"
#include "common/user/control_device.h"
#include "common/user/registry.h"

namespace ovt::calib {

struct Point {
    int32_t x;
    int32_t y;
};

Point TargetA(int32_t width, int32_t height);
Point TargetB(int32_t width, int32_t height);

// 32-bit signed, halves truncated toward zero, Low clamped at 0 and High
// at 2048; Low and High are never swapped.
CalibrationBuffer ComputeCalibration(Point a, Point b);

// Writes XHigh, XLow, YHigh, YLow, XOffset, YOffset. False when the
// Parameters key cannot be opened (it is never created).
bool StoreCalibration(Registry& registry, const CalibrationBuffer& buffer);

const uint32_t kPollMs = 50;
const uint32_t kForever = 0xFFFFFFFFu;
// An unanswered question counts as No after this long: with bad values
// live, the user may not be able to reach No with a finger.
const uint32_t kQuestionMs = 15000;
// The targets are half a screen apart on both axes; two raw points closer
// than this on either axis are the same spot touched twice or a bounce.
const int32_t kMinRawApart = 128;

bool FarEnoughApart(Point a, Point b);

// The question's caption: "确认" (GBK) and the seconds left, "确认 (15)".
void QuestionCaption(uint32_t seconds, char* out, uint32_t size);

// What the worker and the session need from the window side.
class CalibPlatform {
  public:
    virtual ~CalibPlatform() {}
    virtual void ClientSize(int32_t* width, int32_t* height) = 0;
    // Exclusive-or drawing: a second call at the same place erases.
    virtual void DrawTarget(Point at) = 0;
    // The result-ready notification to the window thread.
    virtual void PostResult() = 0;
    // Sleeps up to `ms` (kForever: no limit); Wake() ends it early. A
    // Wake() with nobody waiting ends the next Wait() at once.
    virtual void Wait(uint32_t ms) = 0;
    virtual void Wake() = 0;
    // Guards each driver request against a concurrent stop.
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
    // Milliseconds on a clock that may wrap.
    virtual uint32_t Now() = 0;
};

// One run of the program. The worker thread calls RunWorker(); everything
// else belongs to the window thread.
class Session {
  public:
    enum class Outcome { Nothing, Stored, KeyMissing };

    Session(ControlDevice& device, Registry& registry, CalibPlatform& platform);

    // Start-up: save cleared, run and keep-running set.
    void Begin();
    void RunWorker();

    // The question is on the screen: its time starts now.
    void Asked();
    // Seconds left to answer, rounded up. 0 once the time is up (the shell
    // then closes the question); from then on any answer counts as No.
    uint32_t SecondsLeft();
    // The user's answer to the question; ignored once the run has ended.
    void Answer(bool yes);
    // ESC: the worker stops at once; nothing stored, no reload.
    void Escape();
    // The window is going away: stores after Yes; after any other end
    // drops trial values still active in the driver. Runs once.
    Outcome Finish();
    // Stops the worker; after it returns the worker sends nothing more.
    void StopWorker();
    // Cannot start a worker: the run ends.
    void WorkerFailed() { keepRunning_ = false; }

    bool KeepRunning() const { return keepRunning_; }
    bool SaveRequested() const { return save_; }
    bool RunFlag() const { return run_; }
    bool Finished() const { return finished_; }
    const CalibrationBuffer& Buffer() const { return buffer_; }

  private:
    bool Request(uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outLength);
    bool Capture(Point* raw);
    bool Show(Point at);

    ControlDevice& device_;
    Registry& registry_;
    CalibPlatform& platform_;
    CalibrationBuffer buffer_;
    std::atomic<bool> run_;
    std::atomic<bool> save_;
    std::atomic<bool> keepRunning_;
    std::atomic<bool> stop_;
    // Values sent to the driver that neither a reload nor a store covers.
    std::atomic<bool> trial_;
    std::atomic<bool> escaped_;
    bool finished_;
    // Window thread only.
    bool asking_;
    bool expired_;
    uint32_t askedAt_;
};

}  // namespace ovt::calib

#endif
