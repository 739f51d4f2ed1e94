// An in-memory registry with the platform's answers, a log of every write,
// and injectable failures.
#ifndef OVTOUCH_TESTS_SUPPORT_FAKE_REGISTRY_H
#define OVTOUCH_TESTS_SUPPORT_FAKE_REGISTRY_H

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "common/user/registry.h"

namespace ovt::test {

struct RegValue {
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

struct RegWrite {
    std::string key;  // "HKLM\\path" or "HKCU\\path", as opened
    std::string name;
    uint32_t type;
    std::vector<uint8_t> data;
};

class FakeRegistry : public Registry {
  public:
    long OpenKey(RegRoot root, const char* path, uint32_t access, RegKey* key) override;
    long CreateKey(RegRoot root, const char* path, uint32_t access, RegKey* key) override;
    long CloseKey(RegKey key) override;
    long QueryValue(RegKey key, const char* name, uint32_t* type, void* data, uint32_t* size) override;
    long SetValue(RegKey key, const char* name, uint32_t type, const void* data, uint32_t size) override;
    long DeleteValue(RegKey key, const char* name) override;
    long DeleteKey(RegRoot root, const char* path) override;

    // Test side. Paths are compared without case, like the platform's.
    void AddKey(RegRoot root, const std::string& path);
    bool HasKey(RegRoot root, const std::string& path);
    void SetDword(RegRoot root, const std::string& path, const std::string& name, uint32_t value);
    void SetString(RegRoot root, const std::string& path, const std::string& name, const std::string& value);
    void SetRaw(RegRoot root, const std::string& path, const std::string& name, uint32_t type,
                std::vector<uint8_t> data);
    bool GetDword(RegRoot root, const std::string& path, const std::string& name, uint32_t* value);
    bool GetString(RegRoot root, const std::string& path, const std::string& name, std::string* value);
    bool HasValue(RegRoot root, const std::string& path, const std::string& name);

    std::vector<RegWrite> writes;
    // Keys (as "HKLM\\path") whose open fails with the given code.
    std::map<std::string, long> openFailures;
    // Value names whose write fails.
    std::set<std::string> writeFailures;
    int openHandles() const { return static_cast<int>(handles_.size()); }

  private:
    static std::string Full(RegRoot root, const std::string& path);
    std::mutex mutex_;
    std::map<std::string, std::map<std::string, RegValue>> keys_;  // lower-case full path -> values
    std::map<RegKey, std::string> handles_;
    std::map<std::string, std::string> displayNames_;
    intptr_t next_ = 1;
};

}  // namespace ovt::test

#endif
