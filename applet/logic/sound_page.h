// Sound page: when the driver beeps, its pitch and length, and a test.
#ifndef OVTOUCH_APPLET_LOGIC_SOUND_PAGE_H
#define OVTOUCH_APPLET_LOGIC_SOUND_PAGE_H

#include "common/ovtouch.h"
#include "common/user/control_device.h"
#include "slider_page.h"

namespace ovt {

class SoundPage : public SliderPage {
  public:
    SoundPage();
    // The applet's values before the dialog runs.
    void SetValues(int32_t modeIndex, int32_t time, int32_t frequency, ControlDevice* device);

    bool OnInitDialog(DialogControls& c) override;
    void OnButton(DialogControls& c, int id) override;

    // One beep with the page's values; the driver's own are put back.
    void SoundTest();

    int32_t Time;
    int32_t Frequency;
    LabelText FrequencyText;
    LabelText TimeText;
    ControlDevice* Device;

  private:
    // What the applet loaded: restored when the driver's own settings
    // cannot be had.
    BeepSettings loaded_;
};

}  // namespace ovt

#endif
