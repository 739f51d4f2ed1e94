// Helpers shared by the core tests: a map-backed Parameters key and a hook
// set that records everything the core hands out.
#ifndef OVTOUCH_TESTS_CORE_FIXTURES_H
#define OVTOUCH_TESTS_CORE_FIXTURES_H

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "driver/touch/control.h"

namespace ovt::test {

struct FakeKey {
    std::map<std::string, uint32_t> values;
    std::map<std::string, int32_t> failures;  // value name -> status
    std::vector<std::string> queried;

    static int32_t Read(void* context, const char* name, uint32_t* value) {
        auto* k = static_cast<FakeKey*>(context);
        k->queried.push_back(name);
        auto f = k->failures.find(name);
        if (f != k->failures.end()) return f->second;
        auto it = k->values.find(name);
        if (it == k->values.end()) return OVT_STATUS_OBJECT_NAME_NOT_FOUND;
        *value = it->second;
        return OVT_STATUS_SUCCESS;
    }
};

struct Delivered {
    uint16_t flags;
    int32_t x;
    int32_t y;
    bool operator==(const Delivered& o) const { return flags == o.flags && x == o.x && y == o.y; }
};

struct Recorder {
    bool connected = true;
    int depth = 0;  // inside Begin/End
    std::vector<Delivered> records;
    std::vector<std::pair<uint32_t, uint32_t>> beeps;
    std::vector<uint32_t> captureStates;
    int drops = 0;
    int groups = 0;
    bool beepInsideGroup = false;
    TouchHooks hooks{};

    Recorder() {
        hooks.Context = this;
        hooks.SinkConnected = [](void* c) { return static_cast<Recorder*>(c)->connected; };
        hooks.DeliverBegin = [](void* c) {
            auto* r = static_cast<Recorder*>(c);
            r->depth++;
            r->groups++;
        };
        hooks.Deliver = [](void* c, const MouseRecord* m) {
            static_cast<Recorder*>(c)->records.push_back({m->ButtonFlags, m->LastX, m->LastY});
        };
        hooks.DeliverEnd = [](void* c) { static_cast<Recorder*>(c)->depth--; };
        hooks.Beep = [](void* c, uint32_t f, uint32_t ms) {
            auto* r = static_cast<Recorder*>(c);
            if (r->depth != 0) r->beepInsideGroup = true;
            r->beeps.emplace_back(f, ms);
        };
        hooks.OnCaptureChange = [](void* c, const CaptureRecord* cap) {
            static_cast<Recorder*>(c)->captureStates.push_back(cap->State);
        };
        hooks.OnChecksumDrop = [](void* c) { static_cast<Recorder*>(c)->drops++; };
    }
};

inline std::vector<uint8_t> Packet(uint8_t status, uint16_t x, uint16_t y, uint8_t b7 = 0, uint8_t b8 = 0) {
    std::vector<uint8_t> p = {TOUCH_HEADER_0, TOUCH_HEADER_1, status, uint8_t(x), uint8_t(x >> 8), uint8_t(y), uint8_t(y >> 8), b7, b8, 0};
    p[TOUCH_SUM_AT] = TouchChecksum(p.data());
    return p;
}

// A driver state as after a load with an empty key and a started link.
inline TouchState FreshState() {
    TouchState s{};
    LoadParameters(&s.Settings, nullptr, nullptr);
    s.ReportEnableCount = 1;
    return s;
}

inline void Feed(TouchState* s, const TouchHooks* h, const std::vector<uint8_t>& bytes) {
    for (uint8_t b : bytes) TouchOnReadCompleted(s, h, true, 1, b);
}

}  // namespace ovt::test

#endif
