// The installation: four fixed scripts of paths, keys and values over the
// platform and the registry. Every step is tried in its turn; failures go
// to InstallerUi::ShowError and the script goes on.
#ifndef OVTOUCH_SETUP_LOGIC_ACTIONS_H
#define OVTOUCH_SETUP_LOGIC_ACTIONS_H

#include <stdint.h>

#include "common/package_files.h"
#include "common/user/registry.h"
#include "platform.h"

namespace ovt::setup {

enum class Folder {
    System = OVT_FOLDER_SYSTEM,
    Drivers = OVT_FOLDER_DRIVERS,
    Package = OVT_FOLDER_PACKAGE,
    Windows,
};

// The package's files the setup installs: their rows of kOvtPackageFiles.
inline bool Installed(const OvtPackageFile& file) { return file.Folder != OVT_FOLDER_NONE; }
inline Folder FolderOf(const OvtPackageFile& file) { return static_cast<Folder>(file.Folder); }

struct RegistryValue {
    const char* name;  // "" for the key's unnamed value
    uint32_t type;
    const char* text;  // REG_SZ data, or null for a REG_DWORD
    uint32_t number;
    uint32_t bytes;
};

struct Shortcut {
    const char* link;  // appended to the shortcut folder, begins with '\'
    int target;        // row of kOvtPackageFiles
    const char* description;  // GBK
    const char* failure;
};

extern const RegistryValue kServiceValues[6];
extern const RegistryValue kParameterValues[15];  // Port's number is replaced
extern const RegistryValue kMouseValues[3];
extern const Shortcut kShortcuts[4];

extern const RegistryValue kEventSourceValues[2];

extern const char kServicesPath[];
extern const char kServiceKeyPath[];
extern const char kParametersPath[];
extern const char kMousePath[];
extern const char kRunOncePath[];
extern const char kEventSourcePath[];  // the driver's source in the System log
extern const char kRunOnceValue[];
extern const char kShellFoldersPath[];
extern const char kProgramsValue[];
extern const char kPackageFolder[];   // "\OVTouch", below W
extern const char kShortcutFolder[];  // "\OVTouch", below P

// Message texts of the installation.
extern const char kMsgServicesOpen[];
extern const char kMsgServiceCreate[];
extern const char kMsgParametersCreate[];
extern const char kMsgMouseOpen[];
extern const char kMsgRunOnceOpen[];
extern const char kMsgShellFoldersOpen[];
extern const char kMsgProgramsRead[];
extern const char kMsgCoCreate[];
extern const char kMsgPathTooLong[];  // followed by the path
extern const char kCaptionError[];

class Installer {
  public:
    Installer(InstallPlatform& platform, Registry& registry) : platform_(platform), registry_(registry) {}

    bool CopyPackageFiles(InstallerUi& ui);
    bool WriteRegistrySettings(InstallerUi& ui, uint32_t port);
    // Lets Event Viewer show the driver's entries with its texts. Silent:
    // without it the entries are still logged, only shown unformatted.
    void RegisterEventSource();
    bool CreateStartMenuShortcuts(InstallerUi& ui);
    void RestartWindows();

  private:
    // dest := the folder's path followed by tail; on a path over the buffer
    // the refusal is shown with caption and false returned.
    bool FolderPath(InstallerUi& ui, Folder folder, const char* tail, const char* caption, char* dest);
    // The same for the installed place of a package file.
    bool InstalledPath(InstallerUi& ui, const OvtPackageFile& file, const char* caption, char* dest);

    InstallPlatform& platform_;
    Registry& registry_;
};

// Reads the value "Programs" of the current user's Shell Folders into p
// (kProgramsBuffer bytes). Returns 0 on success, else the message text:
// kMsgShellFoldersOpen or kMsgProgramsRead (missing, too long, not a
// string, empty).
const char* ReadProgramsFolder(Registry& registry, char* p);

// dest (kPathBuffer bytes) := the folder's directory followed by tail.
// False when the system cannot tell the directory or the path does not
// fit; message then gets the refusal naming the path.
bool BuildFolderPath(SystemPaths& paths, Folder folder, const char* tail, char* dest, char* message,
                     uint32_t messageSize);
// The same for the installed place of a package file.
bool BuildInstalledPath(SystemPaths& paths, const OvtPackageFile& file, char* dest, char* message,
                        uint32_t messageSize);

}  // namespace ovt::setup

#endif
