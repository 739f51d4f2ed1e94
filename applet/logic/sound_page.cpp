#include "sound_page.h"

#include "common/ovtouch_values.h"
#include "resource_ids.h"

namespace ovt {

SoundPage::SoundPage()
    : SliderPage(IDD_PAGE_SOUND, IDC_BEEP_MODE, {IDC_BEEP_FREQ, IDC_BEEP_FREQ_TEXT, &Frequency, &FrequencyText},
                 {IDC_BEEP_TIME, IDC_BEEP_TIME_TEXT, &Time, &TimeText}),
      Time(0), Frequency(0), FrequencyText(), TimeText(), Device(0), loaded_() {}

void SoundPage::SetValues(int32_t modeIndex, int32_t time, int32_t frequency, ControlDevice* device) {
    ModeIndex = modeIndex;
    Time = time;
    Frequency = frequency;
    Device = device;
    loaded_.BeepMode = static_cast<uint32_t>(modeIndex);
    loaded_.BeepFreq = static_cast<uint32_t>(frequency);
    loaded_.BeepTime = static_cast<uint32_t>(time);
}

bool SoundPage::OnInitDialog(DialogControls& c) {
    c.SetSliderRange(IDC_BEEP_FREQ, OVT_BEEPFREQ_MIN, OVT_BEEPFREQ_MAX);
    c.SetSliderRange(IDC_BEEP_TIME, OVT_BEEPTIME_MIN, OVT_BEEPTIME_MAX);
    c.AddListItem(IDC_BEEP_MODE, " \xb4\xd3\xb2\xbb ");                  // " 从不 "
    c.AddListItem(IDC_BEEP_MODE, " \xb8\xd5\xb4\xa5\xc3\xfe\xca\xb1 ");  // " 刚触摸时 "
    c.AddListItem(IDC_BEEP_MODE, " \xc0\xeb\xbf\xaa\xca\xb1 ");          // " 离开时 "
    ShowValues(c);
    return true;
}

void SoundPage::OnButton(DialogControls&, int id) {
    if (id == IDC_BEEP_TEST) SoundTest();
}

void SoundPage::SoundTest() {
    if (!Device) return;
    BeepSettings saved = {0, 0, 0};
    uint32_t bytes = 0;
    if (!Device->Control(IOCTL_TOUCH_GET_BEEP, 0, 0, &saved, sizeof saved, &bytes) || bytes < sizeof saved) {
        saved = loaded_;
    }
    const BeepSettings page = {static_cast<uint32_t>(ModeIndex), static_cast<uint32_t>(Frequency),
                               static_cast<uint32_t>(Time)};
    Device->Control(IOCTL_TOUCH_SET_BEEP, &page, sizeof page, 0, 0, &bytes);
    Device->Control(IOCTL_TOUCH_TEST_BEEP, 0, 0, 0, 0, &bytes);
    Device->Control(IOCTL_TOUCH_SET_BEEP, &saved, sizeof saved, 0, 0, &bytes);
}

}  // namespace ovt
