// A pass-through registry that remembers how keys were opened and whether
// anything tried to create one.
#ifndef OVTOUCH_CALIB_TESTS_RECORDING_REGISTRY_H
#define OVTOUCH_CALIB_TESTS_RECORDING_REGISTRY_H

#include <cctype>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/fake_registry.h"

namespace ovt::test {

inline std::string Lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

class RecordingRegistry : public Registry {
  public:
    struct Open {
        std::string path;
        uint32_t access;
    };
    explicit RecordingRegistry(Registry& inner) : inner_(inner) {}

    long OpenKey(RegRoot root, const char* path, uint32_t access, RegKey* key) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            opens.push_back(Open{path, access});
        }
        return inner_.OpenKey(root, path, access, key);
    }
    long CreateKey(RegRoot root, const char* path, uint32_t access, RegKey* key) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++creates;
        }
        return inner_.CreateKey(root, path, access, key);
    }
    long CloseKey(RegKey key) override { return inner_.CloseKey(key); }
    long QueryValue(RegKey key, const char* name, uint32_t* type, void* data, uint32_t* size) override {
        return inner_.QueryValue(key, name, type, data, size);
    }
    long SetValue(RegKey key, const char* name, uint32_t type, const void* data, uint32_t size) override {
        return inner_.SetValue(key, name, type, data, size);
    }
    long DeleteValue(RegKey key, const char* name) override { return inner_.DeleteValue(key, name); }
    long DeleteKey(RegRoot root, const char* path) override { return inner_.DeleteKey(root, path); }

    std::vector<Open> opens;
    int creates = 0;

  private:
    Registry& inner_;
    std::mutex mutex_;
};

}  // namespace ovt::test

#endif
