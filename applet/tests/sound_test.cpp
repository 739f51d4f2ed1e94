// The sound page's test against the driver's real dispatcher: four
// requests, and the driver's own beep settings back afterwards.
#include <gtest/gtest.h>

#include <cstring>

#include "applet/logic/resource_ids.h"
#include "applet/logic/sound_page.h"
#include "applet_fakes.h"
#include "common/ovtouch.h"
#include "tests/support/inproc_device.h"

namespace ovt::test {
namespace {

std::vector<uint8_t> Words(uint32_t a, uint32_t b, uint32_t c) {
    std::vector<uint8_t> out(12);
    const uint32_t w[3] = {a, b, c};
    memcpy(out.data(), w, 12);
    return out;
}

// Fails the chosen request, or answers it short, and passes the rest on.
class FlakyDevice : public ControlDevice {
  public:
    FlakyDevice(ControlDevice& inner, uint32_t code, bool shortAnswer)
        : inner_(inner), code_(code), short_(shortAnswer) {}
    bool Control(uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outLength,
                 uint32_t* bytes) override {
        if (code != code_) return inner_.Control(code, in, inLength, out, outLength, bytes);
        if (!short_) {
            *bytes = 0;
            return false;
        }
        memset(out, 0xEE, 8);
        *bytes = 8;
        return true;
    }

  private:
    ControlDevice& inner_;
    uint32_t code_;
    bool short_;
};

class SoundTest : public ::testing::Test {
  protected:
    void SetUp() override {
        registry.SetDword(HKLM, kParams, "BeepMode", 2);
        registry.SetDword(HKLM, kParams, "BeepFreq", 2500);
        registry.SetDword(HKLM, kParams, "BeepTime", 60);
        device.Send(IOCTL_TOUCH_RELOAD_PARAMETERS);
        baseline = device.Requests().size();
    }
    std::vector<SentRequest> Sent() {
        auto all = device.Requests();
        return std::vector<SentRequest>(all.begin() + baseline, all.end());
    }

    FakeRegistry registry;
    InProcDevice device{&registry};
    size_t baseline = 0;
};

TEST_F(SoundTest, FourRequestsAndTheDriverGetsItsOwnSettingsBack) {
    SoundPage page;
    page.SetValues(0, 100, 3000, &device);  // "never": the test beeps all the same
    FakeControls c;
    page.OnInitDialog(c);
    c.Drag(page, IDC_BEEP_FREQ, 4000);
    registry.writes.clear();
    page.OnButton(c, IDC_BEEP_TEST);

    const auto sent = Sent();
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[0].code, IOCTL_TOUCH_GET_BEEP);
    EXPECT_TRUE(sent[0].in.empty());
    EXPECT_EQ(sent[0].outLength, 12u);
    EXPECT_EQ(sent[1].code, IOCTL_TOUCH_SET_BEEP);
    EXPECT_EQ(sent[1].in, Words(0, 4000, 100));
    EXPECT_EQ(sent[1].outLength, 0u);
    EXPECT_EQ(sent[2].code, IOCTL_TOUCH_TEST_BEEP);
    EXPECT_TRUE(sent[2].in.empty());
    EXPECT_EQ(sent[2].outLength, 0u);
    EXPECT_EQ(sent[3].code, IOCTL_TOUCH_SET_BEEP);
    EXPECT_EQ(sent[3].in, Words(2, 2500, 60));
    for (const auto& r : sent) EXPECT_EQ(r.status, OVT_STATUS_SUCCESS);

    EXPECT_EQ(device.Beeps(), (std::vector<std::pair<uint32_t, uint32_t>>{{4000, 100}}));
    EXPECT_EQ(device.State().Settings.BeepMode, 2u);
    EXPECT_EQ(device.State().Settings.BeepFreq, 2500u);
    EXPECT_EQ(device.State().Settings.BeepTime, 60u);
    EXPECT_TRUE(registry.writes.empty());
}

TEST_F(SoundTest, ChangesMadeInMemoryAreWhatTheTestRestores) {
    // Whatever the driver holds now, not what the registry says.
    const uint32_t held[3] = {1, 1200, 500};
    uint32_t bytes;
    device.Control(IOCTL_TOUCH_SET_BEEP, held, 12, nullptr, 0, &bytes);
    baseline = device.Requests().size();
    SoundPage page;
    page.SetValues(2, 40, 2000, &device);
    page.SoundTest();
    EXPECT_EQ(Sent()[3].in, Words(1, 1200, 500));
    EXPECT_EQ(device.State().Settings.BeepFreq, 1200u);
}

TEST_F(SoundTest, FailedOrShortFirstRequestRestoresTheLoadedValues) {
    for (bool shortAnswer : {false, true}) {
        baseline = device.Requests().size();
        FlakyDevice flaky(device, IOCTL_TOUCH_GET_BEEP, shortAnswer);
        SoundPage page;
        page.SetValues(1, 80, 2200, &flaky);  // as the applet loaded them
        FakeControls c;
        page.OnInitDialog(c);
        c.Drag(page, IDC_BEEP_TIME, 300);
        page.SoundTest();
        const auto sent = Sent();
        ASSERT_EQ(sent.size(), 3u) << shortAnswer;  // the failed one never reached the driver
        EXPECT_EQ(sent[0].in, Words(1, 2200, 300));
        EXPECT_EQ(sent[1].code, IOCTL_TOUCH_TEST_BEEP);
        EXPECT_EQ(sent[2].code, IOCTL_TOUCH_SET_BEEP);
        EXPECT_EQ(sent[2].in, Words(1, 2200, 80)) << shortAnswer;
    }
}

TEST_F(SoundTest, DriverGoneAwaySendsNothingUnset) {
    device.FailAll(true);
    SoundPage page;
    page.SetValues(2, 40, 2000, &device);
    page.SoundTest();
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[3].in, Words(2, 2000, 40));
}

}  // namespace
}  // namespace ovt::test
