// What the installation and removal scripts need of the system, so that the
// scripts run unchanged against an in-memory fake on Linux.
#ifndef OVTOUCH_SETUP_LOGIC_PLATFORM_H
#define OVTOUCH_SETUP_LOGIC_PLATFORM_H

#include <stdint.h>

namespace ovt::setup {

// The wizard's side of the installation (the uninstaller has its own).
class InstallerUi {
  public:
    virtual ~InstallerUi() {}
    // Current file of the progress display, shown at once.
    virtual void ShowFile(const char* text) = 0;
    // Modal message with an OK button; returns once dismissed. A null
    // caption stands for the program's own name.
    virtual void ShowError(const char* text, const char* caption) = 0;
};

typedef void* LinkObject;
typedef void* PersistObject;
typedef void* TokenHandle;

class SystemPaths {
  public:
    virtual ~SystemPaths() {}
    // GetSystemDirectoryA / GetWindowsDirectoryA: the length without the
    // NUL when the path fits, otherwise the size needed (NUL included);
    // 0 on failure.
    virtual uint32_t SystemDirectory(char* buffer, uint32_t size) = 0;
    virtual uint32_t WindowsDirectory(char* buffer, uint32_t size) = 0;
};

class InstallPlatform : public SystemPaths {
  public:
    // Overwrites an existing destination.
    virtual bool CopyOver(const char* source, const char* destination) = 0;
    // Folder creation, link saving, privilege adjustment and the restart
    // request return nothing: the script goes on the same whatever they do.
    virtual void MakeFolder(const char* path) = 0;  // an existing folder is fine

    // The shell's link object through COM.
    virtual void InitializeCom() = 0;
    virtual LinkObject CreateShellLink() = 0;  // null on failure
    virtual void SetLinkPath(LinkObject link, const char* path) = 0;
    virtual void SetLinkDescription(LinkObject link, const char* text) = 0;
    virtual PersistObject QueryPersistFile(LinkObject link) = 0;  // null when refused
    // MultiByteToWideChar from the ANSI code page: units written (NUL
    // included), the units needed when outUnits is 0, 0 on failure.
    virtual int AnsiToWide(const char* text, uint16_t* out, int outUnits) = 0;
    virtual void SaveLink(PersistObject file, const uint16_t* path, bool remember) = 0;
    virtual void ReleasePersistFile(PersistObject file) = 0;
    virtual void ReleaseShellLink(LinkObject link) = 0;

    // Restart.
    virtual TokenHandle OpenToken(uint32_t access) = 0;  // null on failure
    virtual bool LookupPrivilege(const char* name, uint64_t* luid) = 0;
    // One privilege with the given attributes, the others left alone.
    virtual void AdjustPrivilege(TokenHandle token, uint64_t luid, uint32_t attributes) = 0;
    virtual void CloseToken(TokenHandle token) = 0;
    virtual void RequestRestart(uint32_t flags, uint32_t reason) = 0;
};

class UninstallPlatform : public SystemPaths {
  public:
    // Each returns the platform's error code, 0 for success.
    virtual uint32_t RemoveFile(const char* path) = 0;
    virtual uint32_t RemoveFolder(const char* path) = 0;
    // MoveFileEx(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT).
    virtual uint32_t DeleteAtRestart(const char* path) = 0;
};

// Error codes the scripts tell apart.
enum : uint32_t { kWinFileNotFound = 2, kWinPathNotFound = 3 };

}  // namespace ovt::setup

#endif
