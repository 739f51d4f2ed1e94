// The right-button tool without its window: the switches the window thread
// makes, the worker's watch for a completed touch, and the main loop.
// The Win32 shell supplies the view, the waits and the notification.
#ifndef OVTOUCH_ALTCLICK_LOGIC_H
#define OVTOUCH_ALTCLICK_LOGIC_H

#include <stdint.h>

#include <atomic>

#include "common/user/control_device.h"

namespace ovt {
namespace altclick {

const uint32_t kModeLeft = 0;
const uint32_t kModeRight = 1;
const uint32_t kArmCheckMs = 30;  // how often an idle worker looks at the armed flag
const uint32_t kPollMs = 50;      // capture poll period while armed

// Flags the window thread and the worker share. Word-sized, no lock.
struct SharedFlags {
    std::atomic<uint32_t> armed{0};
};

// What a switch changes on screen (window thread only).
class View {
  public:
    virtual ~View() {}
    virtual void Update() = 0;               // repaint what is pending now
    virtual void SetTitle(bool right) = 0;   // "右键" when right, else "左键"
    virtual void Invalidate() = 0;           // remembered client rectangle, erased
};

// The worker's sleeps; a stop request cuts them short.
class Waiter {
  public:
    virtual ~Waiter() {}
    // Waits `ms` milliseconds; false when the worker is to stop.
    virtual bool Wait(uint32_t ms) = 0;
};

// The worker's touch-done notification to the window thread.
class Notifier {
  public:
    virtual ~Notifier() {}
    virtual void TouchDone() = 0;
};

// The window thread's side: the button mode and every switch of it.
class Switcher {
  public:
    Switcher(ControlDevice* device, View* view, SharedFlags* flags)
        : device_(device), view_(view), flags_(flags), mode_(kModeLeft) {}

    // After the device is open: arm the first worker, read the driver's
    // button mode (left when the read fails) and show it.
    void Start();
    // Left button released over the window: right button, armed.
    void SwitchRight();
    // Right button released over the window, or the touch-done notification.
    void SwitchLeft();

    uint32_t Mode() const { return mode_; }
    bool Right() const { return mode_ != kModeLeft; }

  private:
    void Send(uint32_t mode);

    ControlDevice* device_;
    View* view_;
    SharedFlags* flags_;
    uint32_t mode_;
};

// The worker thread's body. Returns at once when nothing is armed at its
// start, otherwise when the waiter reports a stop.
void RunWorker(ControlDevice* device, SharedFlags* flags, Waiter* waiter, Notifier* notifier);

// What the main loop drives in the shell.
class Shell {
  public:
    virtual ~Shell() {}
    virtual bool StartWorker() = 0;
    virtual void StopWorker() = 0;
    virtual void RunMessages() = 0;   // until the message loop is told to quit
    virtual bool WindowAlive() = 0;
    virtual void ReportNoWorker() = 0;
};

// Runs workers and the message loop while `*keepRunning` holds. A window
// that is gone ends the loop, whoever destroyed it.
void RunMainLoop(Shell* shell, SharedFlags* flags, bool* keepRunning);

}  // namespace altclick
}  // namespace ovt

#endif
