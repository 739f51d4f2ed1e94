#include "altclick_logic.h"

#include "common/ovtouch.h"

namespace ovt {
namespace altclick {

void Switcher::Send(uint32_t mode) {
    mode_ = mode;
    uint32_t n = 0;
    // Results are not examined: a failure leaves title and driver apart.
    device_->Control(IOCTL_TOUCH_SET_BUTTON_MODE, &mode_, sizeof mode_, 0, 0, &n);
}

void Switcher::Start() {
    flags_->armed.store(1);
    uint32_t mode = kModeLeft;
    uint32_t n = 0;
    if (device_->Control(IOCTL_TOUCH_GET_BUTTON_MODE, 0, 0, &mode, sizeof mode, &n) && n == sizeof mode) {
        mode_ = mode;
    } else {
        mode_ = kModeLeft;
    }
    view_->SetTitle(Right());
    view_->Update();
}

void Switcher::SwitchRight() {
    Send(kModeRight);
    view_->Update();
    view_->SetTitle(true);
    view_->Invalidate();
    // Last, so the worker arms only once the driver already clicks right.
    flags_->armed.store(1);
}

void Switcher::SwitchLeft() {
    Send(kModeLeft);
    view_->Update();
    view_->SetTitle(false);
    view_->Invalidate();
    flags_->armed.store(0);
}

void RunWorker(ControlDevice* device, SharedFlags* flags, Waiter* waiter, Notifier* notifier) {
    if (!flags->armed.load()) return;
    CaptureRecord capture = {CAPTURE_IDLE, 0, 0};
    for (;;) {
        flags->armed.store(0);
        do {
            if (!waiter->Wait(kArmCheckMs)) return;
        } while (!flags->armed.load());

        device->Send(IOCTL_TOUCH_ARM_CAPTURE);
        capture.State = CAPTURE_ARMED;
        // The touch that clicked the window has been lifted by now, so only
        // a later one can complete this capture.
        while (flags->armed.load() && capture.State != CAPTURE_DONE) {
            uint32_t n = 0;
            device->Control(IOCTL_TOUCH_GET_CAPTURE, 0, 0, &capture, sizeof capture, &n);
            if (!waiter->Wait(kPollMs)) return;
        }
        notifier->TouchDone();
    }
}

void RunMainLoop(Shell* shell, SharedFlags* flags, bool* keepRunning) {
    while (*keepRunning) {
        // A worker that finds nothing armed ends at once: a restarted one
        // would leave a later left click without anyone to switch back.
        flags->armed.store(1);
        if (!shell->StartWorker()) {
            shell->ReportNoWorker();
            *keepRunning = false;
            break;
        }
        shell->RunMessages();
        shell->StopWorker();
        // Destroyed other than by the title bar: nothing left to serve.
        if (!shell->WindowAlive()) *keepRunning = false;
    }
}

}  // namespace altclick
}  // namespace ovt
