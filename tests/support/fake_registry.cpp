#include "fake_registry.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace ovt::test {

namespace {
std::string Lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}
}  // namespace

std::string FakeRegistry::Full(RegRoot root, const std::string& path) {
    return Lower(std::string(root == RegRoot::LocalMachine ? "HKLM\\" : "HKCU\\") + path);
}

long FakeRegistry::OpenKey(RegRoot root, const char* path, uint32_t, RegKey* key) {
    std::lock_guard<std::mutex> lock(mutex_);
    *key = nullptr;
    const std::string full = Full(root, path);
    auto f = openFailures.find(full);
    if (f != openFailures.end()) return f->second;
    if (!keys_.count(full)) return kErrorFileNotFound;
    *key = reinterpret_cast<RegKey>(next_++);
    handles_[*key] = full;
    return kErrorSuccess;
}

long FakeRegistry::CreateKey(RegRoot root, const char* path, uint32_t, RegKey* key) {
    std::lock_guard<std::mutex> lock(mutex_);
    *key = nullptr;
    const std::string full = Full(root, path);
    auto f = openFailures.find(full);
    if (f != openFailures.end()) return f->second;
    // Every missing parent comes into being too.
    for (size_t pos = full.find('\\', 5); pos != std::string::npos; pos = full.find('\\', pos + 1)) {
        keys_[full.substr(0, pos)];
    }
    keys_[full];
    displayNames_[full] = std::string(root == RegRoot::LocalMachine ? "HKLM\\" : "HKCU\\") + path;
    *key = reinterpret_cast<RegKey>(next_++);
    handles_[*key] = full;
    return kErrorSuccess;
}

long FakeRegistry::CloseKey(RegKey key) {
    std::lock_guard<std::mutex> lock(mutex_);
    return handles_.erase(key) ? long(kErrorSuccess) : 6L /* ERROR_INVALID_HANDLE */;
}

long FakeRegistry::QueryValue(RegKey key, const char* name, uint32_t* type, void* data, uint32_t* size) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto h = handles_.find(key);
    if (h == handles_.end()) return 6;
    auto& values = keys_[h->second];
    auto v = values.find(Lower(name ? name : ""));
    if (v == values.end()) return kErrorFileNotFound;
    if (type) *type = v->second.type;
    const uint32_t need = static_cast<uint32_t>(v->second.data.size());
    if (!size) return data ? 87L /* ERROR_INVALID_PARAMETER */ : long(kErrorSuccess);
    const uint32_t room = *size;
    *size = need;
    if (!data) return kErrorSuccess;
    if (room < need) return kErrorMoreData;
    if (need) std::memcpy(data, v->second.data.data(), need);
    return kErrorSuccess;
}

long FakeRegistry::SetValue(RegKey key, const char* name, uint32_t type, const void* data, uint32_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto h = handles_.find(key);
    if (h == handles_.end()) return 6;
    const std::string n = name ? name : "";
    if (writeFailures.count(n)) return kErrorAccessDenied;
    RegValue v;
    v.type = type;
    if (size) v.data.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
    keys_[h->second][Lower(n)] = v;
    auto dn = displayNames_.find(h->second);
    writes.push_back({dn != displayNames_.end() ? dn->second : h->second, n, type, v.data});
    return kErrorSuccess;
}

long FakeRegistry::DeleteValue(RegKey key, const char* name) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto h = handles_.find(key);
    if (h == handles_.end()) return 6;
    return keys_[h->second].erase(Lower(name ? name : "")) ? kErrorSuccess : kErrorFileNotFound;
}

long FakeRegistry::DeleteKey(RegRoot root, const char* path) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string full = Full(root, path);
    if (!keys_.count(full)) return kErrorFileNotFound;
    for (auto& k : keys_) {
        if (k.first.size() > full.size() && k.first.compare(0, full.size() + 1, full + "\\") == 0) {
            return kErrorAccessDenied;  // has subkeys
        }
    }
    keys_.erase(full);
    return kErrorSuccess;
}

void FakeRegistry::AddKey(RegRoot root, const std::string& path) {
    RegKey k;
    CreateKey(root, path.c_str(), kKeyAllAccess, &k);
    CloseKey(k);
}

bool FakeRegistry::HasKey(RegRoot root, const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    return keys_.count(Full(root, path)) != 0;
}

void FakeRegistry::SetRaw(RegRoot root, const std::string& path, const std::string& name, uint32_t type,
                          std::vector<uint8_t> data) {
    AddKey(root, path);
    std::lock_guard<std::mutex> lock(mutex_);
    keys_[Full(root, path)][Lower(name)] = RegValue{type, std::move(data)};
}

void FakeRegistry::SetDword(RegRoot root, const std::string& path, const std::string& name, uint32_t value) {
    std::vector<uint8_t> d(4);
    std::memcpy(d.data(), &value, 4);
    SetRaw(root, path, name, kRegDword, d);
}

void FakeRegistry::SetString(RegRoot root, const std::string& path, const std::string& name,
                             const std::string& value) {
    std::vector<uint8_t> d(value.begin(), value.end());
    d.push_back(0);
    SetRaw(root, path, name, kRegSz, d);
}

bool FakeRegistry::GetDword(RegRoot root, const std::string& path, const std::string& name, uint32_t* value) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto k = keys_.find(Full(root, path));
    if (k == keys_.end()) return false;
    auto v = k->second.find(Lower(name));
    if (v == k->second.end() || v->second.type != kRegDword || v->second.data.size() != 4) return false;
    std::memcpy(value, v->second.data.data(), 4);
    return true;
}

bool FakeRegistry::GetString(RegRoot root, const std::string& path, const std::string& name, std::string* value) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto k = keys_.find(Full(root, path));
    if (k == keys_.end()) return false;
    auto v = k->second.find(Lower(name));
    if (v == k->second.end()) return false;
    const auto& d = v->second.data;
    *value = std::string(d.begin(), std::find(d.begin(), d.end(), uint8_t(0)));
    return true;
}

bool FakeRegistry::HasValue(RegRoot root, const std::string& path, const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto k = keys_.find(Full(root, path));
    return k != keys_.end() && k->second.count(Lower(name));
}

}  // namespace ovt::test
