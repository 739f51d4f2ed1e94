// The Parameters load under arbitrary stored values, types and sizes.
//
// Input: the key's contents in query order, per value:
//   byte   kind: 0 absent, 1 REG_DWORD of 4 bytes, 2 another type or size,
//          3 a failing query (status from the next byte)
//   byte   declared size (kind 2), then that many data bytes
// A value stored with another type or size must read as absent: the
// query hands back 4 bytes or nothing, never the stored length.
#include <cstring>

#include "fuzz_common.h"

namespace {

using namespace ovt;
using namespace ovt::fuzz;

struct StoredValue {
    uint8_t kind = 0;
    uint32_t type = 0;
    const uint8_t* data = nullptr;
    size_t size = 0;
    int32_t failure = 0;
};

struct Key {
    StoredValue values[OVT_PARAMETER_COUNT];
    int next = 0;    // query order position
    int failed = -1; // index of the failing query, if any
};

constexpr uint32_t kRegDword = 4;

// The query's contract: SUCCESS with the word for a 4-byte REG_DWORD,
// OBJECT_NAME_NOT_FOUND for anything else stored, the failure otherwise.
int32_t Query(void* context, const char* name, uint32_t* value) {
    Key* k = static_cast<Key*>(context);
    OVT_FUZZ_CHECK(k->next < OVT_PARAMETER_COUNT && k->failed < 0);
    OVT_FUZZ_CHECK(std::strcmp(name, kParameterTable[k->next].Name) == 0);
    const StoredValue& v = k->values[k->next];
    const int index = k->next++;
    switch (v.kind) {
    case 1:
        std::memcpy(value, v.data, 4);
        return OVT_STATUS_SUCCESS;
    case 3:
        k->failed = index;
        return v.failure;
    default:
        if (v.kind == 2 && v.type == kRegDword && v.size == 4) {
            std::memcpy(value, v.data, 4);
            return OVT_STATUS_SUCCESS;
        }
        return OVT_STATUS_OBJECT_NAME_NOT_FOUND;
    }
}

bool Corrected(uint32_t f) {
    return f == OVT_SETTINGS_WORD(Calibration.XLow) || f == OVT_SETTINGS_WORD(Calibration.XHigh) ||
           f == OVT_SETTINGS_WORD(Calibration.YLow) || f == OVT_SETTINGS_WORD(Calibration.YHigh) ||
           f == OVT_SETTINGS_WORD(XSpan) || f == OVT_SETTINGS_WORD(YSpan) || f == OVT_SETTINGS_WORD(BeepFreq) ||
           f == OVT_SETTINGS_WORD(BeepTime) || f == OVT_SETTINGS_WORD(ButtonMode) ||
           f == OVT_SETTINGS_WORD(MouseMode) || f == OVT_SETTINGS_WORD(BeepMode);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    AllocCounter::Install();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Cursor c(data, size);
    Key key;
    static const uint8_t kZero[4] = {};
    for (StoredValue& v : key.values) {
        v.kind = c.Byte() & 3;
        if (v.kind == 1) {
            size_t got = 0;
            v.data = c.Take(4, &got);
            if (got < 4) v.data = kZero;
        } else if (v.kind == 2) {
            v.type = c.Byte() % 12;  // REG_NONE .. REG_QWORD
            size_t got = 0;
            v.data = c.Take(c.Byte(), &got);
            v.size = got;
        } else if (v.kind == 3) {
            // Any status but the two the load treats as a value's answer.
            v.failure = static_cast<int32_t>(0xC0000000u | (c.Byte() + 0x100u));
        }
    }

    // An exact-size block: a write of more than a word into the last field
    // lands outside it.
    auto* s = static_cast<DriverSettings*>(std::malloc(sizeof(DriverSettings)));
    std::memset(s, 0xEE, sizeof(*s));
    int32_t status;
    {
        Counting none;
        status = LoadParameters(s, Query, &key);
    }

    OVT_FUZZ_CHECK(status == (key.failed >= 0 ? key.values[key.failed].failure : OVT_STATUS_SUCCESS));
    OVT_FUZZ_CHECK(key.next == (key.failed >= 0 ? key.failed + 1 : OVT_PARAMETER_COUNT));
    for (int i = 0; i < OVT_PARAMETER_COUNT; ++i) {
        const ParameterDef& def = kParameterTable[i];
        if (Corrected(def.Field)) continue;
        const StoredValue& v = key.values[i];
        uint32_t want = def.Default;
        const bool read = i < key.next && i != key.failed &&
                          (v.kind == 1 || (v.kind == 2 && v.type == kRegDword && v.size == 4));
        if (read) std::memcpy(&want, v.data, 4);
        OVT_FUZZ_CHECK(SettingsWord(s, def.Field) == want);
    }
    OVT_FUZZ_CHECK(s->Calibration.XLow <= 0xFFFF && s->Calibration.XHigh <= 0xFFFF && s->Calibration.YLow <= 0xFFFF && s->Calibration.YHigh <= 0xFFFF);
    OVT_FUZZ_CHECK(s->MouseMode <= 3 && s->BeepMode <= 2);
    CheckSettings(*s);
    std::free(s);
    return 0;
}
