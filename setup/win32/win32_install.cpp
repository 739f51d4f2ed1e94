#include "win32_install_platform.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

namespace ovt::setup {

namespace {
// Spelled out here so that no import library of GUIDs is needed.
const CLSID kClsidShellLink = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kIidShellLinkA = {0x000214EE, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kIidPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

}  // namespace

uint32_t Win32InstallPlatform::SystemDirectory(char* buffer, uint32_t size) { return GetSystemDirectoryA(buffer, size); }
uint32_t Win32InstallPlatform::WindowsDirectory(char* buffer, uint32_t size) { return GetWindowsDirectoryA(buffer, size); }

bool Win32InstallPlatform::CopyOver(const char* source, const char* destination) {
    return CopyFileA(source, destination, FALSE) != FALSE;
}

void Win32InstallPlatform::MakeFolder(const char* path) { CreateDirectoryA(path, NULL); }

void Win32InstallPlatform::InitializeCom() { CoInitialize(NULL); }

LinkObject Win32InstallPlatform::CreateShellLink() {
    void* link = NULL;
    if (FAILED(CoCreateInstance(kClsidShellLink, NULL, CLSCTX_INPROC_SERVER, kIidShellLinkA, &link))) return NULL;
    return link;
}

void Win32InstallPlatform::SetLinkPath(LinkObject link, const char* path) {
    static_cast<IShellLinkA*>(link)->SetPath(path);
}

void Win32InstallPlatform::SetLinkDescription(LinkObject link, const char* text) {
    static_cast<IShellLinkA*>(link)->SetDescription(text);
}

PersistObject Win32InstallPlatform::QueryPersistFile(LinkObject link) {
    void* file = NULL;
    if (FAILED(static_cast<IShellLinkA*>(link)->QueryInterface(kIidPersistFile, &file))) return NULL;
    return file;
}

int Win32InstallPlatform::AnsiToWide(const char* text, uint16_t* out, int outUnits) {
    return MultiByteToWideChar(CP_ACP, 0, text, -1, reinterpret_cast<LPWSTR>(out), outUnits);
}

void Win32InstallPlatform::SaveLink(PersistObject file, const uint16_t* path, bool remember) {
    static_cast<IPersistFile*>(file)->Save(reinterpret_cast<LPCOLESTR>(path), remember);
}

void Win32InstallPlatform::ReleasePersistFile(PersistObject file) { static_cast<IPersistFile*>(file)->Release(); }
void Win32InstallPlatform::ReleaseShellLink(LinkObject link) { static_cast<IShellLinkA*>(link)->Release(); }

TokenHandle Win32InstallPlatform::OpenToken(uint32_t access) {
    HANDLE token = NULL;
    if (!::OpenProcessToken(GetCurrentProcess(), access, &token)) return NULL;
    return token;
}

bool Win32InstallPlatform::LookupPrivilege(const char* name, uint64_t* luid) {
    LUID value;
    if (!LookupPrivilegeValueA(NULL, name, &value)) return false;
    *luid = (static_cast<uint64_t>(static_cast<uint32_t>(value.HighPart)) << 32) | value.LowPart;
    return true;
}

void Win32InstallPlatform::AdjustPrivilege(TokenHandle token, uint64_t luid, uint32_t attributes) {
    TOKEN_PRIVILEGES privileges;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Luid.LowPart = static_cast<DWORD>(luid);
    privileges.Privileges[0].Luid.HighPart = static_cast<LONG>(luid >> 32);
    privileges.Privileges[0].Attributes = attributes;
    AdjustTokenPrivileges(static_cast<HANDLE>(token), FALSE, &privileges, 0, NULL, NULL);
}

void Win32InstallPlatform::CloseToken(TokenHandle token) { CloseHandle(static_cast<HANDLE>(token)); }

void Win32InstallPlatform::RequestRestart(uint32_t flags, uint32_t reason) { ExitWindowsEx(flags, reason); }

}  // namespace ovt::setup
