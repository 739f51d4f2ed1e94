#include "actions.h"

#include "common/ovtouch.h"
#include "common/ovtouch_values.h"
#include "paths.h"
#include "texts.h"

namespace ovt::setup {

namespace {
// Where the copy puts the driver, %SystemRoot% being the Windows directory.
constexpr char kDriverMessageFile[] = "%SystemRoot%\\System32\\Drivers\\" OVT_FILE_DRIVER;
}  // namespace

#define OVT_SZ(name, text) {name, kRegSz, text, 0, sizeof(text)}
#define OVT_DWORD(name, value) {name, kRegDword, 0, value, 4}

const RegistryValue kServiceValues[6] = {
    OVT_SZ("", "OLVATouch AcousticWave TouchScreen "),
    OVT_SZ("DisplayName", "OVTouch Driver"),
    OVT_DWORD("ErrorControl", 1),
    OVT_SZ("Provider", "OlvaTouch Co. Ltd. "),
    OVT_DWORD("Start", 0),
    OVT_DWORD("Type", 1),
};

const RegistryValue kParameterValues[15] = {
    OVT_DWORD(OVT_VALUE_BEEPMODE, OVT_INSTALL_BEEPMODE),
    OVT_DWORD(OVT_VALUE_BEEPFREQ, OVT_BEEPFREQ_DEFAULT),
    OVT_DWORD(OVT_VALUE_BEEPTIME, OVT_INSTALL_BEEPTIME),
    OVT_DWORD(OVT_VALUE_BEEPFREQ2, OVT_BEEPFREQ_DEFAULT),
    OVT_DWORD(OVT_VALUE_BEEPTIME2, OVT_INSTALL_BEEPTIME),
    OVT_DWORD(OVT_VALUE_DBLCLKREGION, OVT_INSTALL_DBLCLKREGION),
    OVT_DWORD(OVT_VALUE_BUTTONMODE, OVT_INSTALL_BUTTONMODE),
    OVT_DWORD(OVT_VALUE_MOUSEMODE, OVT_INSTALL_MOUSEMODE),
    OVT_DWORD(OVT_VALUE_PORT, OVT_INSTALL_PORT),
    OVT_DWORD(OVT_VALUE_XHIGH, OVT_BOUND_DEFAULT_HIGH),
    OVT_DWORD(OVT_VALUE_XLOW, OVT_INSTALL_BOUND_LOW),
    OVT_DWORD(OVT_VALUE_XOFFSET, OVT_INSTALL_OFFSET),
    OVT_DWORD(OVT_VALUE_YHIGH, OVT_BOUND_DEFAULT_HIGH),
    OVT_DWORD(OVT_VALUE_YLOW, OVT_INSTALL_BOUND_LOW),
    OVT_DWORD(OVT_VALUE_YOFFSET, OVT_INSTALL_OFFSET),
};

const RegistryValue kMouseValues[3] = {
    OVT_SZ("DoubleClickHeight", "30"),
    OVT_SZ("DoubleClickSpeed", "800"),
    OVT_SZ("DoubleClickWidth", "30"),
};

const RegistryValue kEventSourceValues[2] = {
    {"EventMessageFile", kRegExpandSz, kDriverMessageFile, 0, sizeof kDriverMessageFile},
    OVT_DWORD("TypesSupported", 7),  // errors, warnings, information
};

#undef OVT_SZ
#undef OVT_DWORD

const Shortcut kShortcuts[4] = {
    {"\\OVTCalib.lnk", OVT_PACKAGE_CALIB, kTextDescCalib, "PShellLink calib fail"},
    {"\\AltClick.lnk", OVT_PACKAGE_ALTCLICK, kTextDescAltClick, "PShellLink altclick fail"},
    {"\\Uninst.lnk", OVT_PACKAGE_UNINST, kTextDescUninst, "PShellLink uninst fail"},
    {"\\readme.lnk", OVT_PACKAGE_README, kTextDescReadme, "PShellLink readme fail"},
};

const char kServicesPath[] = "System\\CurrentControlSet\\Services";
const char kServiceKeyPath[] = OVT_SERVICE_KEY_PATH;
const char kParametersPath[] = OVT_PARAMETERS_KEY_PATH;
const char kMousePath[] = OVT_MOUSE_KEY_PATH;
const char kRunOncePath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char kRunOnceValue[] = "OVTouch";
const char kEventSourcePath[] = "System\\CurrentControlSet\\Services\\EventLog\\System\\OVTouch";
const char kShellFoldersPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kProgramsValue[] = "Programs";
const char kPackageFolder[] = "\\OVTouch";
const char kShortcutFolder[] = "\\OVTouch";

const char kMsgServicesOpen[] = "registry HKEY_LOCAL_MACHINE open fail";
const char kMsgServiceCreate[] = "registry device write fail";
const char kMsgParametersCreate[] = "registry parameters default fail";
const char kMsgMouseOpen[] = "registry HKEY_CURRENT_USER open fail";
const char kMsgRunOnceOpen[] = "registry open fail";
const char kMsgShellFoldersOpen[] = "can't open registry";
const char kMsgProgramsRead[] = "can't read registry value Programs";
const char kMsgCoCreate[] = "CoCreateInstance Fail";
const char kMsgPathTooLong[] = "path too long: ";
const char kCaptionError[] = "error";

namespace {

constexpr uint32_t kLinkBuffer = kProgramsBuffer + 32;

void WriteValues(Registry& registry, RegKey key, const RegistryValue* values, int count, uint32_t port) {
    for (int i = 0; i < count; ++i) {
        const RegistryValue& v = values[i];
        if (v.text) {
            registry.SetValue(key, v.name, v.type, v.text, v.bytes);
        } else {
            const uint32_t number = Equal(v.name, OVT_VALUE_PORT) ? port : v.number;
            registry.SetValue(key, v.name, v.type, &number, v.bytes);
        }
    }
}

}  // namespace

bool BuildFolderPath(SystemPaths& paths, Folder folder, const char* tail, char* dest, char* message,
                     uint32_t messageSize) {
    const bool system = folder == Folder::System || folder == Folder::Drivers;
    const char* suffix = folder == Folder::Drivers ? "\\Drivers" : folder == Folder::Package ? kPackageFolder : "";
    dest[0] = 0;
    uint32_t n = system ? paths.SystemDirectory(dest, kPathBuffer) : paths.WindowsDirectory(dest, kPathBuffer);
    if (n == 0) {
        JoinForMessage(message, messageSize, system ? "system directory unknown: " : "Windows directory unknown: ",
                       suffix, tail);
        dest[0] = 0;
        return false;
    }
    if (n < kPathBuffer) {
        dest[n] = 0;
        if (Append(dest, kPathBuffer, suffix) && Append(dest, kPathBuffer, tail)) return true;
        dest[n] = 0;
        JoinForMessage(message, messageSize, kMsgPathTooLong, dest, suffix, tail);
        dest[0] = 0;
        return false;
    }
    // The directory alone is over the buffer: ask again, only to name it.
    char whole[kMessageBuffer];
    uint32_t m = system ? paths.SystemDirectory(whole, sizeof whole) : paths.WindowsDirectory(whole, sizeof whole);
    if (m == 0 || m >= sizeof whole) whole[0] = 0;
    else whole[m] = 0;
    JoinForMessage(message, messageSize, kMsgPathTooLong, whole[0] ? whole : "...", suffix, tail);
    dest[0] = 0;
    return false;
}

bool BuildInstalledPath(SystemPaths& paths, const OvtPackageFile& file, char* dest, char* message,
                        uint32_t messageSize) {
    char tail[32] = "\\";
    Append(tail, sizeof tail, file.Name);
    return BuildFolderPath(paths, FolderOf(file), tail, dest, message, messageSize);
}

const char* ReadProgramsFolder(Registry& registry, char* p) {
    p[0] = 0;
    RegKey key = 0;
    if (registry.OpenKey(RegRoot::CurrentUser, kShellFoldersPath, kKeyQueryValue, &key) != kErrorSuccess) {
        return kMsgShellFoldersOpen;
    }
    uint32_t type = 0;
    uint32_t size = kProgramsBuffer;
    const long rc = registry.QueryValue(key, kProgramsValue, &type, p, &size);
    registry.CloseKey(key);
    // Only a terminated, non-empty string inside the buffer is a folder.
    bool ok = rc == kErrorSuccess && type == kRegSz && size > 0 && size <= kProgramsBuffer;
    if (ok) {
        uint32_t end = 0;
        while (end < size && p[end]) ++end;
        ok = end > 0 && end < size;
    }
    if (!ok) {
        p[0] = 0;
        return kMsgProgramsRead;
    }
    return 0;
}

bool Installer::FolderPath(InstallerUi& ui, Folder folder, const char* tail, const char* caption, char* dest) {
    char message[kMessageBuffer];
    if (BuildFolderPath(platform_, folder, tail, dest, message, sizeof message)) return true;
    ui.ShowError(message, caption);
    return false;
}

bool Installer::InstalledPath(InstallerUi& ui, const OvtPackageFile& file, const char* caption, char* dest) {
    char message[kMessageBuffer];
    if (BuildInstalledPath(platform_, file, dest, message, sizeof message)) return true;
    ui.ShowError(message, caption);
    return false;
}

bool Installer::CopyPackageFiles(InstallerUi& ui) {
    bool packageFolderMade = false;
    for (const OvtPackageFile& row : kOvtPackageFiles) {
        if (!Installed(row)) continue;
        ui.ShowFile(row.Name);
        if (FolderOf(row) == Folder::Package && !packageFolderMade) {
            packageFolderMade = true;
            char folder[kPathBuffer];
            if (FolderPath(ui, Folder::Windows, kPackageFolder, row.CopyFailure, folder)) {
                platform_.MakeFolder(folder);
            }
        }
        char dest[kPathBuffer];
        if (!InstalledPath(ui, row, row.CopyFailure, dest)) continue;
        if (!platform_.CopyOver(row.Name, dest)) ui.ShowError(dest, row.CopyFailure);
    }
    return true;
}

bool Installer::WriteRegistrySettings(InstallerUi& ui, uint32_t port) {
    RegKey services = 0;
    if (registry_.OpenKey(RegRoot::LocalMachine, kServicesPath, kKeyAllAccess, &services) != kErrorSuccess) {
        ui.ShowError(kMsgServicesOpen, 0);
    } else {
        RegKey service = 0;
        if (registry_.CreateKey(RegRoot::LocalMachine, kServiceKeyPath, kKeyAllAccess, &service) != kErrorSuccess) {
            ui.ShowError(kMsgServiceCreate, 0);
            registry_.CloseKey(services);
        } else {
            WriteValues(registry_, service, kServiceValues, 6, port);
            RegKey parameters = 0;
            if (registry_.CreateKey(RegRoot::LocalMachine, kParametersPath, kKeyAllAccess, &parameters) !=
                kErrorSuccess) {
                ui.ShowError(kMsgParametersCreate, 0);
            } else {
                WriteValues(registry_, parameters, kParameterValues, 15, port);
                registry_.CloseKey(parameters);
            }
            registry_.CloseKey(service);
            registry_.CloseKey(services);
        }
    }

    RegKey mouse = 0;
    if (registry_.OpenKey(RegRoot::CurrentUser, kMousePath, kKeyAllAccess, &mouse) != kErrorSuccess) {
        ui.ShowError(kMsgMouseOpen, 0);
    } else {
        WriteValues(registry_, mouse, kMouseValues, 3, port);
        registry_.CloseKey(mouse);
    }

    char calib[kPathBuffer];
    if (!InstalledPath(ui, kOvtPackageFiles[OVT_PACKAGE_CALIB], 0, calib)) return true;
    RegKey runOnce = 0;
    if (registry_.CreateKey(RegRoot::LocalMachine, kRunOncePath, kKeyAllAccess, &runOnce) != kErrorSuccess) {
        ui.ShowError(kMsgRunOnceOpen, 0);
    } else {
        registry_.SetValue(runOnce, kRunOnceValue, kRegSz, calib, static_cast<uint32_t>(Length(calib) + 1));
        registry_.CloseKey(runOnce);
    }
    return true;
}

void Installer::RegisterEventSource() {
    RegKey key = 0;
    if (registry_.CreateKey(RegRoot::LocalMachine, kEventSourcePath, kKeyAllAccess, &key) != kErrorSuccess) return;
    WriteValues(registry_, key, kEventSourceValues, 2, 0);
    registry_.CloseKey(key);
}

bool Installer::CreateStartMenuShortcuts(InstallerUi& ui) {
    char programs[kProgramsBuffer];
    if (const char* failure = ReadProgramsFolder(registry_, programs)) {
        ui.ShowError(failure, kCaptionError);
        return true;
    }
    char folder[kLinkBuffer];
    Join(folder, sizeof folder, programs, kShortcutFolder);  // always fits: 511 + 8
    platform_.MakeFolder(folder);

    platform_.InitializeCom();
    LinkObject link = platform_.CreateShellLink();
    if (!link) {
        ui.ShowError(kMsgCoCreate, kCaptionError);
        return true;
    }
    for (const Shortcut& row : kShortcuts) {
        char target[kPathBuffer];
        if (!InstalledPath(ui, kOvtPackageFiles[row.target], kCaptionError, target)) continue;
        char path[kLinkBuffer];
        Join(path, sizeof path, folder, row.link);  // always fits
        // Refused before the link object is touched, so no half-set row.
        const int units = platform_.AnsiToWide(path, 0, 0);
        if (units <= 0 || units > kLinkPathUnits) {
            char message[kMessageBuffer];
            JoinForMessage(message, sizeof message, kMsgPathTooLong, path);
            ui.ShowError(message, kCaptionError);
            continue;
        }
        platform_.SetLinkPath(link, target);
        platform_.SetLinkDescription(link, row.description);
        PersistObject file = platform_.QueryPersistFile(link);
        if (!file) {
            ui.ShowError(row.failure, kCaptionError);
            continue;
        }
        uint16_t wide[kLinkPathUnits];
        if (platform_.AnsiToWide(path, wide, kLinkPathUnits) > 0) platform_.SaveLink(file, wide, true);
        platform_.ReleasePersistFile(file);
    }
    platform_.ReleaseShellLink(link);
    return true;
}

void Installer::RestartWindows() {
    constexpr uint32_t kTokenAdjustAndQuery = 0x28;
    constexpr uint32_t kPrivilegeEnabled = 2;
    constexpr uint32_t kReboot = 2;
    TokenHandle token = platform_.OpenToken(kTokenAdjustAndQuery);
    if (token) {
        uint64_t luid = 0;
        if (platform_.LookupPrivilege("SeShutdownPrivilege", &luid)) {
            platform_.AdjustPrivilege(token, luid, kPrivilegeEnabled);
        }
        platform_.CloseToken(token);
    }
    platform_.RequestRestart(kReboot, 0xFFFFFFFFu);
}

}  // namespace ovt::setup
