// Win32 implementations of the user-mode interfaces.
#ifndef OVTOUCH_COMMON_USER_WIN32_PLATFORM_H
#define OVTOUCH_COMMON_USER_WIN32_PLATFORM_H

#include <windows.h>

#include "control_device.h"
#include "registry.h"

namespace ovt {

class Win32ControlDevice : public ControlDevice {
  public:
    Win32ControlDevice() : handle_(INVALID_HANDLE_VALUE) {}
    ~Win32ControlDevice() { Close(); }
    // "\\.\ovtouch", read and write, no sharing, existing only.
    bool Open();
    void Close();
    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Handle() const { return handle_; }
    bool Control(uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outLength,
                 uint32_t* bytes);

  private:
    HANDLE handle_;
};

class Win32Registry : public Registry {
  public:
    long OpenKey(RegRoot root, const char* path, uint32_t access, RegKey* key);
    long CreateKey(RegRoot root, const char* path, uint32_t access, RegKey* key);
    long CloseKey(RegKey key);
    long QueryValue(RegKey key, const char* name, uint32_t* type, void* data, uint32_t* size);
    long SetValue(RegKey key, const char* name, uint32_t type, const void* data, uint32_t size);
    long DeleteValue(RegKey key, const char* name);
    long DeleteKey(RegRoot root, const char* path);
};

}  // namespace ovt

#endif
