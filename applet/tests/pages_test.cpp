// The pages' mechanics: what they put into their controls, and how values
// and controls follow each other.
#include <gtest/gtest.h>

#include "applet/logic/host_layout.h"
#include "applet/logic/resource_ids.h"
#include "applet/logic/settings_dialog.h"
#include "applet_fakes.h"

namespace ovt::test {
namespace {

// Figures as Wine lays the window out: host base units 7 x 17, frame 4005
// at 12,15,301,298, the sheet 380 x 365 at 22,8, buttons 88 x 30 at y 304;
// window 6 x 25 larger than its client.
HostGeometry WineHost(Box window, Box work) {
    return HostGeometry{{12, 15, 301, 298}, {22, 8, 402, 373}, {46, 304, 134, 334}, {249, 304, 337, 334},
                        window, 376, 349, work};
}
bool operator==(const Box& a, const Box& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST(SettingsHost, GrowsAroundTheSheetWithTheButtonsBelowIt) {
    const HostLayout l = FitHostToSheet(WineHost({0, 0, 382, 374}, {0, 0, 1024, 768}));
    // Client 402 + 12 wide; buttons 6 below the sheet (373 + 6), 30 high,
    // then 15: 424 high.
    EXPECT_TRUE(l.window == (Box{0, 0, 420, 449}));
    EXPECT_EQ(l.okTop, 379);
    EXPECT_EQ(l.cancelTop, 379);
}

TEST(SettingsHost, MovesOnlyToStayInTheWorkArea) {
    EXPECT_TRUE(FitHostToSheet(WineHost({100, 50, 482, 424}, {0, 0, 1024, 768})).window == (Box{100, 50, 520, 499}));
    // 640 x 480 with a 28-pixel taskbar below.
    EXPECT_TRUE(FitHostToSheet(WineHost({300, 200, 682, 574}, {0, 0, 640, 452})).window == (Box{220, 3, 640, 452}));
    // Too large even with the buttons beside the sheet: the caption stays on the screen.
    EXPECT_TRUE(FitHostToSheet(WineHost({300, 200, 682, 574}, {0, 28, 400, 300})).window == (Box{0, 28, 514, 441}));
}

// Wine at 640 x 480: the sheet 440 x 385 in its pages' font.
TEST(SettingsHost, ButtonsGoBesideTheSheetOnlyWhereBelowItWouldLeaveTheWorkArea) {
    HostGeometry g = WineHost({129, 53, 511, 427}, {0, 0, 640, 480});
    g.sheet = Box{22, 8, 462, 393};
    // The whole screen: 469 high fits, the buttons stay below.
    HostLayout l = FitHostToSheet(g);
    EXPECT_TRUE(l.window == (Box{129, 11, 609, 480}));
    EXPECT_EQ(l.okLeft, 46);
    EXPECT_EQ(l.okTop, 399);
    EXPECT_EQ(l.cancelLeft, 249);
    // A taskbar's 28 pixels off: beside the sheet, 6 from it, OK over Cancel.
    g.workArea = Box{0, 0, 640, 452};
    l = FitHostToSheet(g);
    EXPECT_TRUE(l.window == (Box{66, 19, 640, 452}));
    EXPECT_EQ(l.okLeft, 468);
    EXPECT_EQ(l.okTop, 8);
    EXPECT_EQ(l.cancelLeft, 468);
    EXPECT_EQ(l.cancelTop, 44);
}

// A slider as initialisation leaves it, with its label.
struct SliderShown {
    int id, low, high, pos, label;
    const char* text;
};

void ExpectShown(FakeControls& c, int list, const std::vector<std::string>& items, int selected,
                 const std::vector<SliderShown>& sliders) {
    EXPECT_EQ(c.lists[list], items);
    EXPECT_EQ(c.selection[list], selected);
    for (const SliderShown& s : sliders) {
        EXPECT_EQ(c.sliders[s.id].low, s.low) << s.id;
        EXPECT_EQ(c.sliders[s.id].high, s.high) << s.id;
        EXPECT_EQ(c.sliders[s.id].pos, s.pos) << s.id;
        EXPECT_EQ(c.texts[s.label], s.text) << s.label;
    }
}

// The mouse page after initialisation with the given values.
struct ShownMousePage {
    ShownMousePage(int32_t mode, int32_t area, int32_t speed) {
        page.ModeIndex = mode;
        page.Area = area;
        page.Speed = speed;
        EXPECT_TRUE(page.OnInitDialog(c));
    }
    MousePage page;
    FakeControls c;
};

TEST(SliderPages, InitialisationFillsListRangesAndLabels) {
    ShownMousePage mouse(2, 40, 900);
    ExpectShown(mouse.c, IDC_MOUSE_MODE,
                {" \xb4\xa5\xc3\xfe\xca\xb1\xb5\xe3\xbb\xf7 ",    // 触摸时点击
                 " \xc0\xeb\xbf\xaa\xca\xb1\xb5\xe3\xbb\xf7 ",    // 离开时点击
                 " \xcd\xcf\xb6\xaf ",                            // 拖动
                 " \xcd\xcf\xb6\xaf\xa1\xa2\xcb\xab\xbb\xf7 "},  // 拖动、双击
                2, {{IDC_DBL_AREA, 20, 200, 40, IDC_DBL_AREA_TEXT, "40"},
                    {IDC_DBL_SPEED, 200, 2000, 900, IDC_DBL_SPEED_TEXT, "900"}});

    SoundPage sound;
    sound.SetValues(2, 750, 1000, nullptr);
    FakeControls s;
    EXPECT_TRUE(sound.OnInitDialog(s));
    ExpectShown(s, IDC_BEEP_MODE,
                {" \xb4\xd3\xb2\xbb ",                  // 从不
                 " \xb8\xd5\xb4\xa5\xc3\xfe\xca\xb1 ",  // 刚触摸时
                 " \xc0\xeb\xbf\xaa\xca\xb1 "},         // 离开时
                2, {{IDC_BEEP_FREQ, 1000, 5000, 1000, IDC_BEEP_FREQ_TEXT, "1000"},
                    {IDC_BEEP_TIME, 32, 750, 750, IDC_BEEP_TIME_TEXT, "750"}});
}

TEST(MousePage, OutOfRangeValuesShowInTheLabelWhileTheSliderClamps) {
    ShownMousePage m(0, 4, 0);
    EXPECT_EQ(m.c.sliders[IDC_DBL_AREA].pos, 20);
    EXPECT_EQ(m.c.texts[IDC_DBL_AREA_TEXT], "4");
    EXPECT_EQ(m.c.sliders[IDC_DBL_SPEED].pos, 200);
    EXPECT_EQ(m.c.texts[IDC_DBL_SPEED_TEXT], "0");
    // A list change takes the controls: the clamped positions become the values.
    m.c.Choose(m.page, IDC_MOUSE_MODE, 1);
    EXPECT_EQ(m.page.ModeIndex, 1);
    EXPECT_EQ(m.page.Area, 20);
    EXPECT_EQ(m.page.Speed, 200);
    // ...while the labels keep the text they show until a slider moves.
    EXPECT_STREQ(m.page.AreaText.Text, "4");
}

TEST(MousePage, MovingEitherSliderRefreshesBothLabels) {
    ShownMousePage m(3, 4, 500);
    m.c.Drag(m.page, IDC_DBL_SPEED, 1200);
    EXPECT_EQ(m.page.Speed, 1200);
    EXPECT_EQ(m.page.Area, 20);
    EXPECT_EQ(m.c.texts[IDC_DBL_SPEED_TEXT], "1200");
    EXPECT_EQ(m.c.texts[IDC_DBL_AREA_TEXT], "20");
    m.c.Drag(m.page, IDC_DBL_AREA, 500);  // past the end: the slider stops at 200
    EXPECT_EQ(m.page.Area, 200);
    EXPECT_EQ(m.c.texts[IDC_DBL_AREA_TEXT], "200");
    EXPECT_EQ(m.page.ModeIndex, 3);
}

TEST(MousePage, NothingSelectedReadsAsMinusOne) {
    ShownMousePage m(7, 0, 0);  // beyond the list: no selection
    EXPECT_EQ(m.c.selection[IDC_MOUSE_MODE], -1);
    m.c.Drag(m.page, IDC_DBL_AREA, 50);
    EXPECT_EQ(m.page.ModeIndex, -1);
}

TEST(SoundPage, SlidersAndListUpdateTheValues) {
    SoundPage page;
    page.SetValues(1, 40, 2000, nullptr);
    FakeControls c;
    page.OnInitDialog(c);
    c.Drag(page, IDC_BEEP_TIME, 10);
    EXPECT_EQ(page.Time, 32);
    EXPECT_EQ(c.texts[IDC_BEEP_TIME_TEXT], "32");
    c.Drag(page, IDC_BEEP_FREQ, 4321);
    EXPECT_EQ(page.Frequency, 4321);
    EXPECT_EQ(c.texts[IDC_BEEP_FREQ_TEXT], "4321");
    c.Choose(page, IDC_BEEP_MODE, 0);
    EXPECT_EQ(page.ModeIndex, 0);
    // A scroll from some other control is not the page's business.
    page.OnHScroll(c, 9999);
    EXPECT_EQ(page.Frequency, 4321);
}

TEST(PortPage, ListAndSelection) {
    PortPage page;
    page.PortIndex = 1;
    FakeControls c;
    EXPECT_TRUE(page.OnInitDialog(c));
    EXPECT_EQ(c.lists[IDC_PORT], (std::vector<std::string>{" COM1 ", " COM2 "}));
    EXPECT_EQ(c.selection[IDC_PORT], 1);
    c.Choose(page, IDC_PORT, 0);
    EXPECT_EQ(page.PortIndex, 0);
}

TEST(CalibrationPage, EachClickStartsTheProgramWithoutWaiting) {
    RecordingHost host(nullptr);
    CalibrationPage page(host);
    FakeControls c;
    EXPECT_TRUE(page.OnInitDialog(c));
    page.OnButton(c, IDC_CALIBRATE);
    page.OnButton(c, IDC_CALIBRATE);
    page.OnButton(c, 1);
    EXPECT_EQ(host.programs, (std::vector<std::pair<std::string, int>>{{"ovtcalib.exe", 10}, {"ovtcalib.exe", 10}}));
}

}  // namespace
}  // namespace ovt::test
