#include "win32_install_platform.h"

#include <windows.h>

namespace ovt::setup {

namespace {
uint32_t LastError(BOOL ok) { return ok ? 0 : static_cast<uint32_t>(GetLastError()); }
}  // namespace

uint32_t Win32UninstallPlatform::SystemDirectory(char* buffer, uint32_t size) { return GetSystemDirectoryA(buffer, size); }
uint32_t Win32UninstallPlatform::WindowsDirectory(char* buffer, uint32_t size) { return GetWindowsDirectoryA(buffer, size); }
uint32_t Win32UninstallPlatform::RemoveFile(const char* path) { return LastError(DeleteFileA(path)); }
uint32_t Win32UninstallPlatform::RemoveFolder(const char* path) { return LastError(RemoveDirectoryA(path)); }

uint32_t Win32UninstallPlatform::DeleteAtRestart(const char* path) {
    return LastError(MoveFileExA(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT));
}

}  // namespace ovt::setup
