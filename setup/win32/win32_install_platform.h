// The installation's and the removal's platform on Win32 and COM.
#ifndef OVTOUCH_SETUP_WIN32_WIN32_INSTALL_PLATFORM_H
#define OVTOUCH_SETUP_WIN32_WIN32_INSTALL_PLATFORM_H

#include "setup/logic/platform.h"

namespace ovt::setup {

class Win32InstallPlatform : public InstallPlatform {
  public:
    uint32_t SystemDirectory(char* buffer, uint32_t size) override;
    uint32_t WindowsDirectory(char* buffer, uint32_t size) override;
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
};

class Win32UninstallPlatform : public UninstallPlatform {
  public:
    uint32_t SystemDirectory(char* buffer, uint32_t size) override;
    uint32_t WindowsDirectory(char* buffer, uint32_t size) override;
    uint32_t RemoveFile(const char* path) override;
    uint32_t RemoveFolder(const char* path) override;
    uint32_t DeleteAtRestart(const char* path) override;
};

}  // namespace ovt::setup

#endif
