// Writes ovtouch.inf, the unattended install and removal, from the tables
// the wizard and the uninstaller run: the manifest, the registry values and
// key paths, the shortcuts. Built and run on the build machine.
//   make_inf OUTPUT
#include <stdio.h>

#include <string>

#include "common/ovtouch.h"
#include "common/ovtouch_values.h"
#include "common/package_files.h"
#include "setup/logic/actions.h"
#include "setup/logic/paths.h"
#include "setup/logic/uninstall.h"

namespace ovt::setup {
namespace {

// Only the system's own folders are named here, by their INF directory ids;
// every name below them comes from setup's tables.
constexpr int kDirWindows = 10, kDirSystem = 11, kDirDrivers = 12;
// The user's Programs folder (16384 + CSIDL_PROGRAMS), where setup puts the
// links, and All Users' (16407): a setup library that does not honour
// FLG_PROFITEM_CURRENTUSER (Wine's) puts them there, and the removal looks
// in both.
constexpr int kDirLinks[] = {16386, 16407};
constexpr char kCleanupValue[] = "OVTouchRemove";

std::string out;

void Line(const std::string& text = "") { out += text + "\r\n"; }

std::string Tail(const char* folder) { return folder[0] == '\\' ? folder + 1 : folder; }

// A quoted INF string: % and " doubled.
std::string Quote(const std::string& text) {
    std::string q = "\"";
    for (char c : text) {
        if (c == '%' || c == '"') q += c;
        q += c;
    }
    return q + "\"";
}

// DIRID and subfolder where setup puts a file of that folder.
std::string DirOf(int folder) {
    switch (folder) {
        case OVT_FOLDER_SYSTEM: return std::to_string(kDirSystem);
        case OVT_FOLDER_DRIVERS: return std::to_string(kDirDrivers);
        default: return std::to_string(kDirWindows) + "," + Tail(kPackageFolder);
    }
}

std::string PathOf(int folder) {
    const std::string dir = DirOf(folder);
    const size_t comma = dir.find(',');
    return comma == std::string::npos ? "%" + dir + "%" : "%" + dir.substr(0, comma) + "%\\" + dir.substr(comma + 1);
}

const char* SectionOf(int folder) {
    switch (folder) {
        case OVT_FOLDER_SYSTEM: return "OVTouch.System";
        case OVT_FOLDER_DRIVERS: return "OVTouch.Drivers";
        default: return "OVTouch.Package";
    }
}

constexpr int kFolders[] = {OVT_FOLDER_SYSTEM, OVT_FOLDER_DRIVERS, OVT_FOLDER_PACKAGE};

std::string FileSections() {
    std::string list;
    for (int f : kFolders) list += std::string(list.empty() ? "" : ",") + SectionOf(f);
    return list;
}

std::string LinkName(const Shortcut& s) {
    std::string name = Tail(s.link);
    return name.substr(0, name.rfind('.'));
}

void Values(const char* root, const char* key, const RegistryValue* values, int count) {
    for (int i = 0; i < count; ++i) {
        const RegistryValue& v = values[i];
        std::string line = std::string(root) + "," + Quote(key) + "," + v.name + ",";
        if (v.text) {
            line += (v.type == kRegExpandSz ? "0x00020000," : "0x00000000,") + Quote(v.text);
        } else {
            line += "0x00010001," + (Equal(v.name, OVT_VALUE_PORT) ? std::string("%Port%") : std::to_string(v.number));
        }
        Line(line);
    }
}

void Write() {
    const std::string calib = kOvtPackageFiles[OVT_PACKAGE_CALIB].Name;
    Line("; " OVT_FILE_INF ": installs and removes the OVTouch touch screen package without the wizard.");
    Line("; Generated from the tables " OVT_FILE_SETUP " and " OVT_FILE_UNINST " use; edit only [Strings].");
    Line(";");
    Line("; Port (in [Strings] below): the n of COMn the controller is cabled to,");
    Line(";   1 for COM1, 2 for COM2. Default " + std::to_string(OVT_PORT_DEFAULT) + ", as the wizard's.");
    Line(";");
    Line("; Install: rundll32.exe setupapi,InstallHinfSection DefaultInstall 128 <path>\\" OVT_FILE_INF);
    Line("; Remove:  rundll32.exe setupapi,InstallHinfSection DefaultUninstall 128 <path>\\" OVT_FILE_INF);
    Line("; Restart after either: the driver starts, and stops, only at a boot. The removal");
    Line("; finishes at the next logon (the driver's file and the two emptied folders).");
    Line();
    Line("[Version]");
    Line("Signature=\"$Windows NT$\"");
    Line();
    Line("[SourceDisksNames]");
    Line("1=%Disk%,,,");
    Line();
    Line("[SourceDisksFiles]");
    for (const OvtPackageFile& f : kOvtPackageFiles) {
        if (Installed(f)) Line(std::string(f.Name) + "=1");
    }
    Line();
    Line("[DestinationDirs]");
    for (int folder : kFolders) Line(std::string(SectionOf(folder)) + "=" + DirOf(folder));
    for (int dir : kDirLinks) Line("OVTouch.Links" + std::to_string(dir) + "=" + std::to_string(dir) + "," + Tail(kShortcutFolder));
    Line();
    std::string links;
    for (const Shortcut& s : kShortcuts) links += (links.empty() ? "" : ",") + ("OVTouch.Link." + LinkName(s));
    Line("[DefaultInstall]");
    Line("CopyFiles=" + FileSections());
    Line("AddReg=OVTouch.AddReg");
    Line("ProfileItems=" + links);
    Line();
    Line("[DefaultUninstall]");
    Line("DelFiles=OVTouch.Links16386,OVTouch.Links16407," + FileSections());
    Line("DelReg=OVTouch.DelReg");
    Line("AddReg=OVTouch.Cleanup");
    Line();
    // 0x4: over whatever is there, whatever its version, as the wizard copies.
    for (int folder : kFolders) {
        Line(std::string("[") + SectionOf(folder) + "]");
        for (const OvtPackageFile& f : kOvtPackageFiles) {
            if (f.Folder == folder) Line(std::string(f.Name) + ",,,0x00000004");
        }
        Line();
    }
    for (int dir : kDirLinks) {
        Line("[OVTouch.Links" + std::to_string(dir) + "]");
        for (const Shortcut& s : kShortcuts) Line(Tail(s.link));
        Line();
    }
    Line("[OVTouch.AddReg]");
    Values("HKLM", kServiceKeyPath, kServiceValues, 6);
    Values("HKLM", kParametersPath, kParameterValues, 15);
    Values("HKCU", kMousePath, kMouseValues, 3);
    Line(std::string("HKLM,") + Quote(kRunOncePath) + "," + kRunOnceValue + ",0x00000000,\"" +
         PathOf(OVT_FOLDER_SYSTEM) + "\\" + calib + "\"");
    Values("HKLM", kEventSourcePath, kEventSourceValues, 2);
    Line();
    // Each link as setup makes it: in the user's own Programs folder.
    for (const Shortcut& s : kShortcuts) {
        const OvtPackageFile& target = kOvtPackageFiles[s.target];
        std::string dir = DirOf(target.Folder);
        if (dir.find(',') == std::string::npos) dir += ",";
        Line("[OVTouch.Link." + LinkName(s) + "]");
        Line("Name=" + LinkName(s) + ",0x00000001");
        Line("CmdLine=" + dir + "," + target.Name);
        Line("SubDir=" + Tail(kShortcutFolder));
        Line("InfoTip=" + Quote(s.description));
        Line();
    }
    Line("[OVTouch.DelReg]");
    Line(std::string("HKLM,") + Quote(kRunOncePath) + "," + kRunOnceValue);
    // Subkeys first, as the uninstaller deletes them: not every setup
    // library deletes a key with subkeys (ReactOS's does not).
    for (const char* sub : kServiceSubkeys) Line(std::string("HKLM,") + Quote(std::string(kServiceKeyPath) + sub));
    Line(std::string("HKLM,") + Quote(kServiceKeyPath));
    Line(std::string("HKLM,") + Quote(kEventSourcePath));
    Line();
    // What the uninstaller leaves to the restart: the driver's file, held by
    // the kernel until then, and the folders it empties.
    const OvtPackageFile& driver = kOvtPackageFiles[OVT_PACKAGE_DRIVER];
    std::string command = "%" + std::to_string(kDirSystem) + "%\\cmd.exe /c del \"\"" + PathOf(driver.Folder) + "\\" +
                          driver.Name + "\"\" & rd \"\"" + PathOf(OVT_FOLDER_PACKAGE) + "\"\"";
    for (int dir : kDirLinks) command += " & rd \"\"%" + std::to_string(dir) + "%\\" + Tail(kShortcutFolder) + "\"\"";
    Line("[OVTouch.Cleanup]");
    Line(std::string("HKLM,") + Quote(kRunOncePath) + "," + kCleanupValue + ",0x00000000,\"" + command + "\"");
    Line();
    Line("[Strings]");
    Line("Port=" + std::to_string(OVT_PORT_DEFAULT));
    Line("Disk=\"OVTouch package\"");
}

}  // namespace
}  // namespace ovt::setup

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: make_inf OUTPUT\n");
        return 2;
    }
    ovt::setup::Write();
    FILE* f = fopen(argv[1], "wb");
    if (!f || fwrite(ovt::setup::out.data(), 1, ovt::setup::out.size(), f) != ovt::setup::out.size() || fclose(f)) {
        perror(argv[1]);
        return 1;
    }
    return 0;
}
