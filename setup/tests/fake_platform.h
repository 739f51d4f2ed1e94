// An in-memory Windows for the installation and removal scripts: folders,
// files, shell links, the restart calls, and a log of every call in order.
#ifndef OVTOUCH_SETUP_TESTS_FAKE_PLATFORM_H
#define OVTOUCH_SETUP_TESTS_FAKE_PLATFORM_H

#include <map>
#include <set>
#include <string>
#include <vector>

#include "setup/logic/platform.h"

namespace ovt::setup::test {

struct SavedLink {
    std::string target;
    std::string description;
};

class FakeSystem : public InstallPlatform, public UninstallPlatform {
  public:
    FakeSystem();

    // SystemPaths
    uint32_t SystemDirectory(char* buffer, uint32_t size) override;
    uint32_t WindowsDirectory(char* buffer, uint32_t size) override;
    // InstallPlatform
    bool CopyOver(const char* source, const char* destination) override;
    void MakeFolder(const char* path) override;
    void InitializeCom() override;
    LinkObject CreateShellLink() override;
    void SetLinkPath(LinkObject link, const char* path) override;
    void SetLinkDescription(LinkObject link, const char* text) override;
    PersistObject QueryPersistFile(LinkObject link) override;
    int AnsiToWide(const char* text, uint16_t* out, int outUnits) override;
    void SaveLink(PersistObject file, const uint16_t* path, bool remember) override;
    void ReleasePersistFile(PersistObject file) override;
    void ReleaseShellLink(LinkObject link) override;
    TokenHandle OpenToken(uint32_t access) override;
    bool LookupPrivilege(const char* name, uint64_t* luid) override;
    void AdjustPrivilege(TokenHandle token, uint64_t luid, uint32_t attributes) override;
    void CloseToken(TokenHandle token) override;
    void RequestRestart(uint32_t flags, uint32_t reason) override;
    // UninstallPlatform
    uint32_t RemoveFile(const char* path) override;
    uint32_t RemoveFolder(const char* path) override;
    uint32_t DeleteAtRestart(const char* path) override;

    // Test side. Paths compare without case, like the platform's.
    std::string systemDir = "C:\\WINNT\\system32";
    std::string windowsDir = "C:\\WINNT";
    bool directoriesFail = false;
    std::map<std::string, std::string> sources;  // beside the setup: name -> content
    void AddFolder(const std::string& path);
    void AddFile(const std::string& path, const std::string& content);
    bool HasFile(const std::string& path) const;
    bool HasFolder(const std::string& path) const;
    std::string Content(const std::string& path) const;
    std::vector<std::string> FilesUnder(const std::string& folder) const;
    // Carries out what was left to the restart, in order.
    void Restart();

    std::set<std::string> inUse;         // files that cannot be deleted now
    std::set<std::string> scheduleFails;  // paths MoveFileEx refuses
    bool createLinkFails = false;
    std::set<int> persistRefused;  // by the count of QueryPersistFile calls, 0-based
    bool tokenFails = false, lookupFails = false;

    std::vector<std::string> log;
    std::map<std::string, SavedLink> links;  // by path as saved
    std::vector<std::string> pending;        // deletions at the restart
    int openLinks = 0, openPersists = 0, openTokens = 0;

  private:
    static std::string Key(const std::string& path);
    std::string Parent(const std::string& path) const;
    std::map<std::string, std::string> files_;  // key -> content
    std::map<std::string, std::string> names_;  // key -> path as created
    std::set<std::string> folders_;
    std::string linkPath_, linkDescription_;
    int persistQueries_ = 0;
};

// Records what the scripts tell the user.
class FakeUi : public InstallerUi {
  public:
    void ShowFile(const char* text) override { events.push_back("file " + std::string(text)); }
    void ShowError(const char* text, const char* caption) override {
        events.push_back("error " + std::string(text) + " | " + (caption ? caption : "(program)"));
    }
    std::vector<std::string> errors() const;
    std::vector<std::string> events;
};


}  // namespace ovt::setup::test

#endif
