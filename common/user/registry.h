// The registry as the programs use it: a few key and value operations,
// so the logic can run against an in-memory fake on Linux.
#ifndef OVTOUCH_COMMON_USER_REGISTRY_H
#define OVTOUCH_COMMON_USER_REGISTRY_H

#include <stdint.h>

namespace ovt {

enum class RegRoot { LocalMachine, CurrentUser };

// Value types, with the platform's numbers.
enum : uint32_t { kRegSz = 1, kRegExpandSz = 2, kRegBinary = 3, kRegDword = 4 };

// Access wanted on open, with the platform's numbers.
enum : uint32_t {
    kKeyQueryValue = 0x0001,
    kKeySetValue = 0x0002,
    kKeyCreateSubKey = 0x0004,
    kKeyRead = 0x20019,
    kKeyWrite = 0x20006,
    kKeyAllAccess = 0xF003F,
};

typedef void* RegKey;

class Registry {
  public:
    // Each returns the platform's error code: 0 for success.
    virtual long OpenKey(RegRoot root, const char* path, uint32_t access, RegKey* key) = 0;
    virtual long CreateKey(RegRoot root, const char* path, uint32_t access, RegKey* key) = 0;
    virtual long CloseKey(RegKey key) = 0;
    // *size is in/out: buffer size, then the value's size.
    virtual long QueryValue(RegKey key, const char* name, uint32_t* type, void* data, uint32_t* size) = 0;
    virtual long SetValue(RegKey key, const char* name, uint32_t type, const void* data, uint32_t size) = 0;
    virtual long DeleteValue(RegKey key, const char* name) = 0;
    // Deletes a key that has no subkeys.
    virtual long DeleteKey(RegRoot root, const char* path) = 0;

  protected:
    // Never deleted through the interface: no deleting destructor, so the
    // applet links without the C++ runtime.
    ~Registry() = default;
};

// Error codes the logic tests for.
enum : long { kErrorSuccess = 0, kErrorFileNotFound = 2, kErrorAccessDenied = 5, kErrorMoreData = 234 };

}  // namespace ovt

#endif
