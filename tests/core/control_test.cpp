#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "fixtures.h"

namespace ovt::test {
namespace {

struct Driver {
    TouchState state = FreshState();
    FakeKey key;
    Recorder rec;
    std::vector<std::pair<uint32_t, uint32_t>> testBeeps;
    int reloads = 0;
    ControlEnv env{};

    Driver() {
        env.Context = this;
        env.Reload = [](void* c, DriverSettings* s) {
            auto* d = static_cast<Driver*>(c);
            d->reloads++;
            return LoadParameters(s, FakeKey::Read, &d->key);
        };
        env.Beep = [](void* c, uint32_t f, uint32_t ms) { static_cast<Driver*>(c)->testBeeps.emplace_back(f, ms); };
    }

    ControlResult Call(uint32_t code, std::vector<uint8_t> in = {}, std::vector<uint8_t>* out = nullptr) {
        return DispatchControl(&state, &env, code, in.empty() ? nullptr : in.data(), uint32_t(in.size()),
                               out ? out->data() : nullptr, out ? uint32_t(out->size()) : 0);
    }
    std::vector<uint32_t> Query(uint32_t code, size_t outSize, ControlResult* res) {
        std::vector<uint8_t> out(outSize, 0xEE);
        *res = Call(code, {}, &out);
        std::vector<uint32_t> words(res->Information / 4);
        std::memcpy(words.data(), out.data(), res->Information);
        return words;
    }
    void Touch(uint8_t status, uint16_t x, uint16_t y) { Feed(&state, &rec.hooks, Packet(status, x, y)); }
};

std::vector<uint8_t> Words(std::initializer_list<uint32_t> w) {
    std::vector<uint8_t> b(w.size() * 4);
    std::memcpy(b.data(), std::data(w), b.size());
    return b;
}

TEST(Control, QueriesReturnTheirRecordsAtTheStartOfLongerBuffers) {
    struct Case {
        uint32_t code;
        size_t size;
    } cases[] = {{IOCTL_TOUCH_GET_BUTTON_MODE, 4}, {IOCTL_TOUCH_GET_MOUSE_MODE, 4}, {IOCTL_TOUCH_GET_CAPTURE, 12},
                 {IOCTL_TOUCH_GET_LAST_REPORT, 12}, {IOCTL_TOUCH_GET_BEEP, 12}};
    for (const Case& c : cases) {
        Driver d;
        for (size_t len : {c.size - 1, c.size, c.size + 4, size_t(64)}) {
            std::vector<uint8_t> out(len, 0xEE);
            const ControlResult r = d.Call(c.code, {}, &out);
            if (len < c.size) {
                EXPECT_EQ(r.Status, OVT_STATUS_BUFFER_TOO_SMALL) << std::hex << c.code;
                EXPECT_EQ(r.Information, 0u);
                EXPECT_EQ(out, std::vector<uint8_t>(len, 0xEE)) << "nothing is copied";
            } else {
                EXPECT_EQ(r.Status, OVT_STATUS_SUCCESS);
                EXPECT_EQ(r.Information, c.size);
                for (size_t i = c.size; i < len; ++i) EXPECT_EQ(out[i], 0xEE) << "tail untouched";
            }
        }
    }
}

TEST(Control, BeepRecordRoundTripsWithTheRequestCorrections) {
    Driver d;
    ControlResult r{};
    EXPECT_EQ(d.Call(IOCTL_TOUCH_SET_BEEP, Words({1, 800, 10})).Status, OVT_STATUS_SUCCESS);
    EXPECT_EQ(d.Query(IOCTL_TOUCH_GET_BEEP, 16, &r), (std::vector<uint32_t>{1, 2000, 32}));
    d.Call(IOCTL_TOUCH_SET_BEEP, Words({2, 5001, 751}));
    EXPECT_EQ(d.Query(IOCTL_TOUCH_GET_BEEP, 12, &r), (std::vector<uint32_t>{2, 2000, 32}));
    d.Call(IOCTL_TOUCH_SET_BEEP, Words({5, 3000, 100}));
    EXPECT_EQ(d.Query(IOCTL_TOUCH_GET_BEEP, 12, &r), (std::vector<uint32_t>{5, 3000, 100}));
    d.Touch(TOUCH_UP, 1, 1);
    EXPECT_TRUE(d.rec.beeps.empty()) << "BeepMode 5 silences the touch beeps";
}

TEST(Control, ModesAreSetAsStated) {
    Driver d;
    ControlResult r{};
    d.Call(IOCTL_TOUCH_SET_BUTTON_MODE, Words({1}));
    EXPECT_EQ(d.Query(IOCTL_TOUCH_GET_BUTTON_MODE, 4, &r)[0], 1u);
    d.Call(IOCTL_TOUCH_SET_BUTTON_MODE, Words({2}));
    EXPECT_EQ(d.Query(IOCTL_TOUCH_GET_BUTTON_MODE, 4, &r)[0], 0u);
    d.Call(IOCTL_TOUCH_SET_MOUSE_MODE, Words({7}));
    EXPECT_EQ(d.Query(IOCTL_TOUCH_GET_MOUSE_MODE, 4, &r)[0], 7u) << "taken unchecked";
    d.Touch(TOUCH_DOWN, 1, 1);
    EXPECT_EQ(d.rec.records.size(), 1u) << "mode 7 behaves as 2";
}

TEST(Control, ShortInputsAreRefusedAndChangeNothing) {
    const uint32_t codes[] = {IOCTL_TOUCH_SET_CALIBRATION, IOCTL_TOUCH_SET_BUTTON_MODE, IOCTL_TOUCH_SET_BEEP,
                              IOCTL_TOUCH_SET_MOUSE_MODE};
    const size_t need[] = {24, 4, 12, 4};
    for (int i = 0; i < 4; ++i) {
        Driver d;
        const DriverSettings before = d.state.Settings;
        std::vector<uint8_t> in(need[i] - 1, 0x01);
        const ControlResult r = d.Call(codes[i], in);
        EXPECT_EQ(r.Status, OVT_STATUS_INVALID_PARAMETER);
        EXPECT_EQ(std::memcmp(&before, &d.state.Settings, sizeof before), 0);
        EXPECT_EQ(d.Call(codes[i]).Status, OVT_STATUS_INVALID_PARAMETER) << "no buffer at all";
    }
}

TEST(Control, UnknownAndReservedCodes) {
    Driver d;
    for (uint32_t code : {0xF2440u, 0xF2480u, 0xF2660u, 0xF267Cu}) {
        EXPECT_EQ(d.Call(code).Status, OVT_STATUS_NOT_IMPLEMENTED);
    }
    for (uint32_t code : {0xF2404u, 0u, 0xF2401u, 0x000F0203u, 0xFFFFFFFFu, 0x220000u}) {
        std::vector<uint8_t> out(16, 0xEE);
        const ControlResult r = d.Call(code, {}, &out);
        EXPECT_EQ(r.Status, OVT_STATUS_INVALID_DEVICE_REQUEST) << std::hex << code;
        EXPECT_EQ(r.Information, 0u);
    }
}

TEST(Control, FileRequests) {
    EXPECT_EQ(DispatchFileRequest(FileRequest::Create).Status, OVT_STATUS_SUCCESS);
    EXPECT_EQ(DispatchFileRequest(FileRequest::Close).Status, OVT_STATUS_SUCCESS);
    EXPECT_EQ(DispatchFileRequest(FileRequest::Read).Status, OVT_STATUS_NOT_IMPLEMENTED);
    EXPECT_EQ(DispatchFileRequest(FileRequest::Write).Status, OVT_STATUS_NOT_IMPLEMENTED);
}

TEST(ControlWithPackets, ArmTouchPoll) {
    Driver d;
    ControlResult r{};
    d.Call(IOCTL_TOUCH_ARM_CAPTURE);
    d.Call(IOCTL_TOUCH_ARM_CAPTURE);
    EXPECT_EQ(d.Query(IOCTL_TOUCH_GET_CAPTURE, 12, &r)[0], CAPTURE_ARMED);
    d.Touch(TOUCH_DOWN, 10, 20);
    EXPECT_EQ(d.Query(IOCTL_TOUCH_GET_CAPTURE, 12, &r), (std::vector<uint32_t>{CAPTURE_TOUCHED, 10, 20}));
    d.Touch(TOUCH_UP, 30, 40);
    EXPECT_EQ(d.Query(IOCTL_TOUCH_GET_CAPTURE, 12, &r), (std::vector<uint32_t>{CAPTURE_DONE, 30, 40}));
    EXPECT_EQ(d.Query(IOCTL_TOUCH_GET_LAST_REPORT, 12, &r), (std::vector<uint32_t>{0, 959, 1279}));
    d.Call(IOCTL_TOUCH_ARM_CAPTURE);
    EXPECT_EQ(d.Query(IOCTL_TOUCH_GET_CAPTURE, 12, &r), (std::vector<uint32_t>{CAPTURE_ARMED, 30, 40}));
}

TEST(ControlWithPackets, CalibrationAppliesToTheNextPacketAndIsNotCut) {
    Driver d;
    ControlResult r{};
    d.Call(IOCTL_TOUCH_SET_CALIBRATION, Words({500, 0, 500, 0x12345, 7, 9, 0xDEAD, 0xBEEF}));
    EXPECT_EQ(d.state.Settings.XSpan, 2048u);
    EXPECT_EQ(d.state.Settings.Calibration.YHigh, 0x12345u) << "full 32-bit words, unlike a load";
    EXPECT_EQ(d.state.Settings.YSpan, 0x12345u);
    EXPECT_EQ(d.state.Settings.Calibration.XOffset, 7u);
    d.Touch(TOUCH_MOVE, 500, 0);
    d.Touch(TOUCH_MOVE, 501, 0);
    EXPECT_EQ(d.rec.records[0].x, 1);
    EXPECT_EQ(d.rec.records[1].x, 65520);
    EXPECT_EQ(d.Query(IOCTL_TOUCH_GET_LAST_REPORT, 12, &r)[1], 65520u);
}

TEST(ControlWithPackets, DisableAndEnableReports) {
    Driver d;
    d.Call(IOCTL_TOUCH_DISABLE_REPORTS);
    d.Call(IOCTL_TOUCH_DISABLE_REPORTS);
    EXPECT_EQ(d.state.ReportEnableCount, 0u) << "no wrap below zero";
    d.Touch(TOUCH_DOWN, 1, 1);
    EXPECT_TRUE(d.rec.records.empty());
    d.Call(IOCTL_TOUCH_ENABLE_REPORTS);
    EXPECT_EQ(d.state.ReportEnableCount, 1u);
    d.Touch(TOUCH_DOWN, 1, 1);
    EXPECT_EQ(d.rec.records.size(), 2u);
}

TEST(ControlWithPackets, ReloadDropsRequestChangesAndTestBeepUsesTheSettings) {
    Driver d;
    d.key.values = {{"XLow", 100}, {"XHigh", 1100}, {"BeepFreq", 4000}, {"BeepTime", 500}, {"BeepMode", 0}};
    d.Call(IOCTL_TOUCH_SET_CALIBRATION, Words({0, 0, 10, 10, 0, 0}));
    d.Call(IOCTL_TOUCH_SET_BUTTON_MODE, Words({1}));
    EXPECT_EQ(d.Call(IOCTL_TOUCH_RELOAD_PARAMETERS).Status, OVT_STATUS_SUCCESS);
    EXPECT_EQ(d.reloads, 1);
    EXPECT_EQ(d.state.Settings.XSpan, 1000u);
    EXPECT_EQ(d.state.Settings.ButtonMode, 0u);
    d.Call(IOCTL_TOUCH_TEST_BEEP);
    ASSERT_EQ(d.testBeeps.size(), 1u);
    EXPECT_EQ(d.testBeeps[0], std::make_pair(4000u, 500u)) << "whatever BeepMode says";
}

TEST(ControlWithPackets, AFailingReloadIsNotPassedOn) {
    Driver d;
    d.key.failures["Port"] = OVT_STATUS_INSUFFICIENT_RESOURCES;
    EXPECT_EQ(d.Call(IOCTL_TOUCH_RELOAD_PARAMETERS).Status, OVT_STATUS_SUCCESS);
}

// Requests and packets on two processors: the core with a host lock in
// place of the kernel's spin lock (also run under ThreadSanitizer).
struct HostLock {
    std::mutex mutex;
    SettingsLock lock = {this, [](void* c) { static_cast<HostLock*>(c)->mutex.lock(); return 0u; },
                         [](void* c, uint32_t) { static_cast<HostLock*>(c)->mutex.unlock(); }};
};

TEST(ControlThreads, APacketBesideCalibrationChangesUsesOneWholeCalibration) {
    Driver d;
    HostLock host;
    d.state.Lock = &host.lock;
    // Raw (1200, 1200) maps to (39321, 26214) under A and to (26214, 32767)
    // under B; bounds of one with spans of the other land elsewhere.
    const std::vector<uint8_t> a = Words({0, 0, 2000, 3000, 0, 0});
    const std::vector<uint8_t> b = Words({1000, 600, 1500, 1800, 0, 0});
    d.Call(IOCTL_TOUCH_SET_CALIBRATION, a);
    std::atomic<bool> done{false};
    std::thread requests([&] {
        for (int i = 0; !done.load(); ++i) d.Call(IOCTL_TOUCH_SET_CALIBRATION, i % 2 ? b : a);
    });
    for (int i = 0; i < 50000; ++i) d.Touch(TOUCH_MOVE, 1200, 1200);
    done = true;
    requests.join();
    ASSERT_EQ(d.rec.records.size(), 50000u);
    int mixed = 0;
    for (const Delivered& r : d.rec.records) {
        if (!(r == Delivered{0, 39321, 26214}) && !(r == Delivered{0, 26214, 32767})) ++mixed;
    }
    EXPECT_EQ(mixed, 0);
}

TEST(ControlThreads, ReportCountChangesFromTwoProgramsAreNotLost) {
    Driver d;
    std::atomic<int> ready{0};
    auto program = [&d, &ready] {
        for (++ready; ready.load() < 2;) {
        }
        for (int i = 0; i < 100000; ++i) d.Call(IOCTL_TOUCH_ENABLE_REPORTS);
        for (int i = 0; i < 100000; ++i) d.Call(IOCTL_TOUCH_DISABLE_REPORTS);
    };
    std::thread other(program);
    program();
    other.join();
    EXPECT_EQ(d.state.ReportEnableCount, 1u);
}

}  // namespace
}  // namespace ovt::test
