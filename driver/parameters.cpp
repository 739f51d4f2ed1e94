// The Parameters key and the device-map registration.
#include "ovtouch_sys.h"

namespace {

WCHAR kParametersSuffix[] = OVT_W("\\Parameters");

struct KeyReader {
    HANDLE Key;          // NULL when the key could not be opened
    NTSTATUS OpenStatus; // what each value read answers while Key is NULL
    ULONG Stored[OVT_PARAMETER_COUNT];  // as read, for the corrections' log
    ULONG Read;                         // bit i: row i of the table was read
};

// A value the corrections changed gets an entry once per load: a reload
// logs it again only when stored or used differ from what was last logged
// for it, so reloads in a loop add nothing. A value as setup stores it is
// corrected as stated, which is no news; the spans are always recomputed,
// which is no correction of what was stored.
void LogCorrections(const KeyReader& reader, const ovt::DriverSettings* settings) {
    for (ULONG i = 0; i < OVT_PARAMETER_COUNT; ++i) {
        const ovt::ParameterDef& def = ovt::kParameterTable[i];
        if ((reader.Read & (1UL << i)) == 0 || def.Field == OVT_SETTINGS_WORD(XSpan) ||
            def.Field == OVT_SETTINGS_WORD(YSpan)) {
            continue;
        }
        const ULONG stored = reader.Stored[i];
        const ULONG used = ovt::SettingsWord(*settings, def.Field);
        OvtLoggedCorrection& last = g_ovt.Corrections[i];
        if (used == stored || stored == def.Installed || (last.Logged && last.Stored == stored && last.Used == used)) {
            continue;
        }
        last.Logged = TRUE;
        last.Stored = stored;
        last.Used = used;
        OvtLogValueCorrected(def.Name, stored, used);
    }
}

// Values are read one by one: a missing key or value, or one of another
// type or size, keeps its default; anything else fails the load.
int32_t ReadValue(void* context, const char* name, uint32_t* value) {
    KeyReader* reader = static_cast<KeyReader*>(context);
    if (reader->Key == NULL) return reader->OpenStatus;

    WCHAR wide[32];
    USHORT n = 0;
    while (n < 31 && name[n] != 0) {
        wide[n] = static_cast<WCHAR>(name[n]);
        ++n;
    }
    wide[n] = 0;
    UNICODE_STRING valueName;
    OvtInitName(&valueName, wide, static_cast<USHORT>(n * sizeof(WCHAR)));

    union {
        KEY_VALUE_PARTIAL_INFORMATION Info;
        UCHAR Raw[sizeof(KEY_VALUE_PARTIAL_INFORMATION) + sizeof(ULONG)];
    } buffer;
    ULONG length = 0;
    const NTSTATUS status = ZwQueryValueKey(reader->Key, &valueName, KeyValuePartialInformation, &buffer,
                                            sizeof(buffer), &length);
    if (status == STATUS_OBJECT_NAME_NOT_FOUND || status == STATUS_BUFFER_OVERFLOW ||
        status == STATUS_BUFFER_TOO_SMALL) {
        return OVT_STATUS_OBJECT_NAME_NOT_FOUND;
    }
    if (!NT_SUCCESS(status)) return status;
    if (buffer.Info.Type != REG_DWORD || buffer.Info.DataLength != sizeof(ULONG)) {
        return OVT_STATUS_OBJECT_NAME_NOT_FOUND;
    }
    // cppcheck-suppress bufferAccessOutOfBounds ; Data[1] is declared, the union holds the 4 bytes
    RtlCopyMemory(value, buffer.Info.Data, sizeof(ULONG));
    for (ULONG i = 0; i < OVT_PARAMETER_COUNT; ++i) {
        if (ovt::kParameterTable[i].Name == name) {
            reader->Stored[i] = *value;
            reader->Read |= 1UL << i;
        }
    }
    return OVT_STATUS_SUCCESS;
}

void InitObjectAttributes(POBJECT_ATTRIBUTES oa, PUNICODE_STRING name) {
    InitializeObjectAttributes(oa, name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL, NULL);
}

WCHAR kPointerPortKey[] = OVT_W("\\Registry\\Machine\\HARDWARE\\DEVICEMAP\\PointerPort");
WCHAR kPointerPortRelative[] = OVT_W("PointerPort");
WCHAR kPointerPortValue[] = OVT_W("\\Device\\PointerPort0");

}  // namespace

bool OvtCopyName(PUNICODE_STRING copy, const UNICODE_STRING* base, const WCHAR* suffix, USHORT suffixBytes) {
    // Room for the zero, and MaximumLength must still fit its USHORT.
    if (base->Length > 0xFFFC - suffixBytes) return false;
    const USHORT length = static_cast<USHORT>(base->Length + suffixBytes);
    PWCH text = static_cast<PWCH>(ExAllocatePoolWithTag(PagedPool, length + sizeof(WCHAR), OVT_POOL_TAG));
    if (text == NULL) return false;
    RtlCopyMemory(text, base->Buffer, base->Length);
    if (suffix != NULL) RtlCopyMemory(reinterpret_cast<PUCHAR>(text) + base->Length, suffix, suffixBytes);
    text[length / sizeof(WCHAR)] = 0;
    OvtInitName(copy, text, length);
    return true;
}

NTSTATUS OvtLoadParameters(ovt::DriverSettings* settings, bool* started) {
    // The path first: without memory the settings stay as they are. The
    // status is the one the load has always failed with; a reload ignores it.
    UNICODE_STRING path;
    if (!OvtCopyName(&path, &g_ovt.ServiceKey, kParametersSuffix, sizeof(kParametersSuffix) - sizeof(WCHAR))) {
        return STATUS_UNSUCCESSFUL;
    }
    if (started != NULL) *started = true;

    OBJECT_ATTRIBUTES oa;
    InitObjectAttributes(&oa, &path);
    KeyReader reader;
    RtlZeroMemory(&reader, sizeof(reader));
    reader.OpenStatus = ZwOpenKey(&reader.Key, KEY_READ, &oa);
    if (!NT_SUCCESS(reader.OpenStatus)) {
        reader.Key = NULL;
        if (reader.OpenStatus == STATUS_OBJECT_NAME_NOT_FOUND || reader.OpenStatus == STATUS_OBJECT_PATH_NOT_FOUND) {
            reader.OpenStatus = OVT_STATUS_OBJECT_NAME_NOT_FOUND;
        }
    }

    const NTSTATUS status = ovt::LoadParameters(settings, ReadValue, &reader);
    LogCorrections(reader, settings);
    if (reader.Key != NULL) ZwClose(reader.Key);
    ExFreePool(path.Buffer);
    return status;
}

// The mouse class driver finds the port through this value. Some systems
// lack the PointerPort key until a port driver makes it; it is volatile like
// the rest of the device map.
void OvtRegisterPointerPort() {
    UNICODE_STRING keyName;
    OvtInitName(&keyName, kPointerPortKey);
    OBJECT_ATTRIBUTES oa;
    InitObjectAttributes(&oa, &keyName);
    HANDLE key = NULL;
    ULONG disposition = 0;
    if (NT_SUCCESS(ZwCreateKey(&key, KEY_WRITE, &oa, 0, NULL, REG_OPTION_VOLATILE, &disposition))) ZwClose(key);

    RtlWriteRegistryValue(RTL_REGISTRY_DEVICEMAP, kPointerPortRelative, kPointerPortValue, REG_SZ,
                          g_ovt.ServiceKey.Buffer, g_ovt.ServiceKey.Length);
}

void OvtUnregisterPointerPort() {
    RtlDeleteRegistryValue(RTL_REGISTRY_DEVICEMAP, kPointerPortRelative, kPointerPortValue);
}
