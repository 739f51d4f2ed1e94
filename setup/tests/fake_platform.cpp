#include "fake_platform.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace ovt::setup::test {

namespace {
uint32_t Directory(const std::string& dir, bool fail, char* buffer, uint32_t size) {
    if (fail) return 0;
    if (dir.size() + 1 > size) return static_cast<uint32_t>(dir.size() + 1);
    std::memcpy(buffer, dir.c_str(), dir.size() + 1);
    return static_cast<uint32_t>(dir.size());
}
}  // namespace

FakeSystem::FakeSystem() {
    AddFolder("C:\\");
    AddFolder(windowsDir);
    AddFolder(systemDir);
    AddFolder(systemDir + "\\Drivers");
}

std::string FakeSystem::Key(const std::string& path) {
    std::string k = path;
    for (auto& c : k) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    while (k.size() > 3 && k.back() == '\\') k.pop_back();
    return k;
}

std::string FakeSystem::Parent(const std::string& path) const {
    const std::string k = Key(path);
    const size_t cut = k.rfind('\\');
    if (cut == std::string::npos) return "";
    return cut == 2 ? k.substr(0, 3) : k.substr(0, cut);
}

void FakeSystem::AddFolder(const std::string& path) {
    std::string k = Key(path);
    while (!k.empty() && !folders_.count(k)) {
        folders_.insert(k);
        const std::string p = Parent(k);
        if (p == k) break;
        k = p;
    }
}

void FakeSystem::AddFile(const std::string& path, const std::string& content) {
    AddFolder(Parent(path));
    files_[Key(path)] = content;
    names_[Key(path)] = path;
}

bool FakeSystem::HasFile(const std::string& path) const { return files_.count(Key(path)) != 0; }
bool FakeSystem::HasFolder(const std::string& path) const { return folders_.count(Key(path)) != 0; }

std::string FakeSystem::Content(const std::string& path) const {
    auto f = files_.find(Key(path));
    return f == files_.end() ? std::string() : f->second;
}

std::vector<std::string> FakeSystem::FilesUnder(const std::string& folder) const {
    std::vector<std::string> out;
    const std::string k = Key(folder) + "\\";
    for (auto& f : files_) {
        if (f.first.compare(0, k.size(), k) == 0) out.push_back(f.first);
    }
    for (auto& d : folders_) {
        if (d.compare(0, k.size(), k) == 0) out.push_back(d + "\\");
    }
    return out;
}

uint32_t FakeSystem::SystemDirectory(char* buffer, uint32_t size) {
    return Directory(systemDir, directoriesFail, buffer, size);
}

uint32_t FakeSystem::WindowsDirectory(char* buffer, uint32_t size) {
    return Directory(windowsDir, directoriesFail, buffer, size);
}

bool FakeSystem::CopyOver(const char* source, const char* destination) {
    log.push_back(std::string("copy ") + source + " -> " + destination);
    auto s = sources.find(source);
    if (s == sources.end()) return false;
    if (!folders_.count(Parent(destination)) || inUse.count(Key(destination))) return false;
    files_[Key(destination)] = s->second;
    names_[Key(destination)] = destination;
    return true;
}

void FakeSystem::MakeFolder(const char* path) {
    log.push_back(std::string("mkdir ") + path);
    if (folders_.count(Parent(path))) folders_.insert(Key(path));
}

void FakeSystem::InitializeCom() { log.push_back("CoInitialize"); }

LinkObject FakeSystem::CreateShellLink() {
    log.push_back("CoCreateInstance ShellLink");
    if (createLinkFails) return nullptr;
    ++openLinks;
    return this;
}

void FakeSystem::SetLinkPath(LinkObject, const char* path) {
    log.push_back(std::string("SetPath ") + path);
    linkPath_ = path;
}

void FakeSystem::SetLinkDescription(LinkObject, const char* text) {
    log.push_back(std::string("SetDescription ") + text);
    linkDescription_ = text;
}

PersistObject FakeSystem::QueryPersistFile(LinkObject) {
    log.push_back("QueryInterface IPersistFile");
    if (persistRefused.count(persistQueries_++)) return nullptr;
    ++openPersists;
    return &linkPath_;
}

// The ANSI code page is 936: a lead byte and its partner make one unit.
int FakeSystem::AnsiToWide(const char* text, uint16_t* out, int outUnits) {
    std::vector<uint16_t> units;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (*p >= 0x81 && p[1]) {
            units.push_back(static_cast<uint16_t>(0x8000 | (p[0] << 8 & 0x7F00) | p[1]));
            ++p;
        } else {
            units.push_back(*p);
        }
    }
    units.push_back(0);
    const int need = static_cast<int>(units.size());
    if (outUnits == 0) return need;
    if (outUnits < need) return 0;
    std::copy(units.begin(), units.end(), out);
    return need;
}

void FakeSystem::SaveLink(PersistObject, const uint16_t* path, bool remember) {
    // Back to narrow for the test's eyes.
    std::string narrow;
    for (const uint16_t* p = path; *p; ++p) {
        if (*p & 0x8000) {
            narrow += static_cast<char>(0x80 | (*p >> 8 & 0x7F));
            narrow += static_cast<char>(*p & 0xFF);
        } else {
            narrow += static_cast<char>(*p);
        }
    }
    log.push_back("Save " + narrow + (remember ? " remember" : ""));
    if (!folders_.count(Parent(narrow))) return;
    links[narrow] = SavedLink{linkPath_, linkDescription_};
    files_[Key(narrow)] = "link:" + linkPath_;
    names_[Key(narrow)] = narrow;
}

void FakeSystem::ReleasePersistFile(PersistObject) {
    log.push_back("Release IPersistFile");
    --openPersists;
}

void FakeSystem::ReleaseShellLink(LinkObject) {
    log.push_back("Release ShellLink");
    --openLinks;
}

TokenHandle FakeSystem::OpenToken(uint32_t access) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "OpenProcessToken 0x%x", access);
    log.push_back(buf);
    if (tokenFails) return nullptr;
    ++openTokens;
    return &openTokens;
}

bool FakeSystem::LookupPrivilege(const char* name, uint64_t* luid) {
    log.push_back(std::string("LookupPrivilegeValue ") + name);
    if (lookupFails) return false;
    *luid = 19;
    return true;
}

void FakeSystem::AdjustPrivilege(TokenHandle, uint64_t luid, uint32_t attributes) {
    log.push_back("AdjustTokenPrivileges " + std::to_string(luid) + " " + std::to_string(attributes));
}

void FakeSystem::CloseToken(TokenHandle) {
    log.push_back("CloseHandle token");
    --openTokens;
}

void FakeSystem::RequestRestart(uint32_t flags, uint32_t reason) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "ExitWindowsEx %u 0x%X", flags, reason);
    log.push_back(buf);
}

uint32_t FakeSystem::RemoveFile(const char* path) {
    log.push_back(std::string("DeleteFile ") + path);
    const std::string k = Key(path);
    if (!folders_.count(Parent(path))) return kWinPathNotFound;
    if (!files_.count(k)) return kWinFileNotFound;
    if (inUse.count(k)) return 32;  // ERROR_SHARING_VIOLATION
    files_.erase(k);
    return 0;
}

uint32_t FakeSystem::RemoveFolder(const char* path) {
    log.push_back(std::string("RemoveDirectory ") + path);
    const std::string k = Key(path);
    if (!folders_.count(k)) return kWinFileNotFound;
    if (!FilesUnder(path).empty()) return 145;  // ERROR_DIR_NOT_EMPTY
    folders_.erase(k);
    return 0;
}

uint32_t FakeSystem::DeleteAtRestart(const char* path) {
    log.push_back(std::string("MoveFileEx delay ") + path);
    if (scheduleFails.count(Key(path))) return 5;
    pending.push_back(path);
    return 0;
}

void FakeSystem::Restart() {
    inUse.clear();
    for (const std::string& p : pending) {
        const std::string k = Key(p);
        if (files_.erase(k)) continue;
        if (folders_.count(k) && FilesUnder(p).empty()) folders_.erase(k);
    }
    pending.clear();
}

std::vector<std::string> FakeUi::errors() const {
    std::vector<std::string> out;
    for (auto& e : events) {
        if (e.compare(0, 6, "error ") == 0) out.push_back(e.substr(6));
    }
    return out;
}

}  // namespace ovt::setup::test
