// The driver's own Parameters load (the kernel binding's registry query on
// the Linux stand-in) under stored values of any type and size.
//
// Input: as fuzz_params (the seeds are shared), per value in query order:
//   byte   kind: 0 absent, 1 REG_DWORD of 4 bytes, 2 a type byte, a size
//          byte and that much data, 3 a failing query (status byte)
// then one byte: 1 the key is missing, 2 the key cannot be opened.
// The settings are an exact-size heap block: a field written with more than
// its 4 bytes lands outside it.
#include <cstring>
#include <string>

#include "fuzz_common.h"
#include "tests/kstub/sim.h"
#include "ovtouch_sys.h"

namespace {

using namespace ovt;
using namespace ovt::fuzz;

const char kParameters[] = "\\Registry\\Machine\\System\\CurrentControlSet\\Services\\OVTouch\\Parameters";
const char16_t kService[] = u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\OVTouch";

// The stand-in keys its registry by lower-case names.
std::u16string Lower(std::u16string s) {
    for (char16_t& ch : s) ch = (ch >= u'A' && ch <= u'Z') ? static_cast<char16_t>(ch + 32) : ch;
    return s;
}

struct Expect {
    bool read[OVT_PARAMETER_COUNT] = {};
    uint32_t value[OVT_PARAMETER_COUNT] = {};
    int failedAt = -1;
    int32_t failure = 0;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    AllocCounter::Install();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Cursor c(data, size);
    kstub::Reset();
    for (const char* k : {"\\Registry", "\\Registry\\Machine", "\\Registry\\Machine\\System",
                          "\\Registry\\Machine\\System\\CurrentControlSet",
                          "\\Registry\\Machine\\System\\CurrentControlSet\\Services",
                          "\\Registry\\Machine\\System\\CurrentControlSet\\Services\\OVTouch", kParameters}) {
        kstub::RegSetKey(k);
    }

    Expect want;
    for (int i = 0; i < OVT_PARAMETER_COUNT; ++i) {
        const char* name = kParameterTable[i].Name;
        const uint8_t kind = c.Byte() & 3;
        if (kind == 1) {
            size_t got = 0;
            const uint8_t* p = c.Take(4, &got);
            std::vector<UCHAR> bytes(4, 0);
            std::memcpy(bytes.data(), p, got);
            kstub::RegSetRaw(kParameters, name, REG_DWORD, bytes);
            want.read[i] = true;
            std::memcpy(&want.value[i], bytes.data(), 4);
        } else if (kind == 2) {
            const ULONG type = c.Byte() % 12;
            size_t got = 0;
            const uint8_t* p = c.Take(c.Byte(), &got);
            std::vector<UCHAR> bytes(p, p + got);
            // The stand-in's query copies an empty value from a null pointer
            // (undefined); until it copies only when there is data, a
            // 1-byte value stands for the empty one.
            if (bytes.empty()) bytes.push_back(0);
            kstub::RegSetRaw(kParameters, name, type, bytes);
            if (type == REG_DWORD && got == 4) {
                want.read[i] = true;
                std::memcpy(&want.value[i], p, 4);
            }
        } else if (kind == 3) {
            const int32_t failure = static_cast<int32_t>(0xC0000000u | (c.Byte() + 0x100u));
            kstub::W().QueryStatus[Lower(kstub::U16(name))] = failure;
            if (want.failedAt < 0) {
                want.failedAt = i;
                want.failure = failure;
            }
        }
    }
    const uint8_t keyCase = c.Byte() % 3;
    if (keyCase != 0) {
        // Every query now fails alike: the load keeps the defaults.
        for (int i = 0; i < OVT_PARAMETER_COUNT; ++i) want.read[i] = false;
        want.failedAt = -1;
        if (keyCase == 1) {
            kstub::W().Keys.erase(Lower(kstub::U16(kParameters)));
            kstub::W().QueryStatus.clear();
        } else {
            kstub::W().OpenKeyStatus = static_cast<NTSTATUS>(0xC0000022);  // access denied
            want.failedAt = 0;
            want.failure = static_cast<int32_t>(0xC0000022);
        }
    }

    std::u16string service(kService);
    g_ovt.ServiceKey.Buffer = reinterpret_cast<PWCH>(service.data());
    g_ovt.ServiceKey.Length = static_cast<USHORT>(service.size() * 2);
    g_ovt.ServiceKey.MaximumLength = g_ovt.ServiceKey.Length;

    auto* s = static_cast<DriverSettings*>(std::malloc(sizeof(DriverSettings)));
    std::memset(s, 0xEE, sizeof(*s));
    const size_t poolBefore = kstub::W().Pool.size();
    const int handlesBefore = kstub::W().Handles;
    const NTSTATUS status = OvtLoadParameters(s);

    OVT_FUZZ_CHECK(kstub::W().Pool.size() == poolBefore);
    OVT_FUZZ_CHECK(kstub::W().Handles == handlesBefore);
    OVT_FUZZ_CHECK(status == (want.failedAt >= 0 ? want.failure : STATUS_SUCCESS));
    for (int i = 0; i < OVT_PARAMETER_COUNT; ++i) {
        const ParameterDef& def = kParameterTable[i];
        const bool corrected =
            def.Field != OVT_SETTINGS_WORD(Port) && def.Field != OVT_SETTINGS_WORD(Calibration.XOffset) &&
            def.Field != OVT_SETTINGS_WORD(Calibration.YOffset) && def.Field != OVT_SETTINGS_WORD(BeepFreq2) &&
            def.Field != OVT_SETTINGS_WORD(BeepTime2);
        if (corrected) continue;
        const bool read = want.read[i] && (want.failedAt < 0 || i < want.failedAt);
        OVT_FUZZ_CHECK(SettingsWord(s, def.Field) == (read ? want.value[i] : def.Default));
    }
    OVT_FUZZ_CHECK(s->Calibration.XLow <= 0xFFFF && s->Calibration.XHigh <= 0xFFFF && s->Calibration.YLow <= 0xFFFF && s->Calibration.YHigh <= 0xFFFF);
    OVT_FUZZ_CHECK(s->MouseMode <= 3 && s->BeepMode <= 2);
    CheckSettings(*s);
    std::free(s);
    g_ovt.ServiceKey = UNICODE_STRING{};
    return 0;
}
