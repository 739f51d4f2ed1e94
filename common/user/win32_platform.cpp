#include "win32_platform.h"

#include "../ovtouch.h"

namespace ovt {

bool Win32ControlDevice::Open() {
    Close();
    handle_ = CreateFileA(OVT_CONTROL_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, NULL);
    return handle_ != INVALID_HANDLE_VALUE;
}

void Win32ControlDevice::Close() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
}

bool Win32ControlDevice::Control(uint32_t code, const void* in, uint32_t inLength, void* out,
                                 uint32_t outLength, uint32_t* bytes) {
    DWORD n = 0;
    const BOOL ok = DeviceIoControl(handle_, code, const_cast<void*>(in), inLength, out, outLength, &n, NULL);
    if (bytes) *bytes = ok ? n : 0;
    return ok != FALSE;
}

namespace {
HKEY RootKey(RegRoot root) { return root == RegRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }
}  // namespace

long Win32Registry::OpenKey(RegRoot root, const char* path, uint32_t access, RegKey* key) {
    HKEY h = NULL;
    const LONG rc = RegOpenKeyExA(RootKey(root), path, 0, access, &h);
    *key = rc == ERROR_SUCCESS ? static_cast<RegKey>(h) : NULL;
    return rc;
}

long Win32Registry::CreateKey(RegRoot root, const char* path, uint32_t access, RegKey* key) {
    HKEY h = NULL;
    DWORD disposition = 0;
    const LONG rc = RegCreateKeyExA(RootKey(root), path, 0, NULL, REG_OPTION_NON_VOLATILE, access, NULL, &h,
                                    &disposition);
    *key = rc == ERROR_SUCCESS ? static_cast<RegKey>(h) : NULL;
    return rc;
}

long Win32Registry::CloseKey(RegKey key) { return RegCloseKey(static_cast<HKEY>(key)); }

long Win32Registry::QueryValue(RegKey key, const char* name, uint32_t* type, void* data, uint32_t* size) {
    DWORD t = 0;
    DWORD n = size ? *size : 0;
    const LONG rc = RegQueryValueExA(static_cast<HKEY>(key), name, NULL, &t, static_cast<BYTE*>(data), &n);
    if (type) *type = t;
    if (size) *size = n;
    return rc;
}

long Win32Registry::SetValue(RegKey key, const char* name, uint32_t type, const void* data, uint32_t size) {
    return RegSetValueExA(static_cast<HKEY>(key), name, 0, type, static_cast<const BYTE*>(data), size);
}

long Win32Registry::DeleteValue(RegKey key, const char* name) {
    return RegDeleteValueA(static_cast<HKEY>(key), name);
}

long Win32Registry::DeleteKey(RegRoot root, const char* path) { return RegDeleteKeyA(RootKey(root), path); }

}  // namespace ovt
