#include "uninstall.h"

#include "setup/logic/actions.h"
#include "setup/logic/paths.h"
#include "setup/logic/texts.h"

namespace ovt::setup {

namespace {

constexpr uint32_t kListSize = 2048;

// The installed files, then their folder: pending deletions run in order at
// the restart, so the folder is empty by the time its own turn comes.
struct Removal {
    Folder folder;
    const char* tail;
    bool directory;
};

const Removal kRemovals[] = {
    {Folder::System, "\\ovtcalib.exe", false},
    {Folder::Drivers, "\\OVTouch.SYS", false},
    {Folder::System, "\\ovtouch.cpl", false},
    {Folder::Package, "\\altclick.exe", false},
    {Folder::Package, "\\readme.txt", false},
    {Folder::Package, "\\uninst.exe", false},
    {Folder::Windows, "\\OVTouch", true},
};

// Subkeys that the system itself may have added below the service key.
const char* const kServiceSubkeys[] = {"\\Parameters", "\\Enum", "\\Security"};

class Run {
  public:
    Run(UninstallPlatform& platform, Registry& registry, UninstallReport& report)
        : platform_(platform), registry_(registry), report_(report) {
        list_[0] = 0;
    }

    void Fail(const char* what) {
        ++report_.failed;
        if (!Append(list_, sizeof list_, what) || !Append(list_, sizeof list_, "\n")) overflow_ = true;
    }

    void Remove(const char* path, bool directory) {
        const uint32_t rc = directory ? platform_.RemoveFolder(path) : platform_.RemoveFile(path);
        if (rc == 0) {
            ++report_.removed;
        } else if (rc == kWinFileNotFound || rc == kWinPathNotFound) {
            // Never installed or already gone.
        } else if (platform_.DeleteAtRestart(path) == 0) {
            ++report_.scheduled;
        } else {
            Fail(path);
        }
    }

    void Shortcuts() {
        char programs[kProgramsBuffer];
        if (const char* failure = ReadProgramsFolder(registry_, programs)) {
            Fail(failure);
            return;
        }
        char folder[kProgramsBuffer + 16];
        Join(folder, sizeof folder, programs, kShortcutFolder);
        for (const Shortcut& row : kShortcuts) {
            char path[kProgramsBuffer + 32];
            Join(path, sizeof path, folder, row.link);
            Remove(path, false);
        }
        Remove(folder, true);
    }

    void RegistryEntries() {
        RegKey key = 0;
        if (registry_.OpenKey(RegRoot::LocalMachine, kRunOncePath, kKeySetValue, &key) == kErrorSuccess) {
            if (registry_.DeleteValue(key, kRunOnceValue) == kErrorSuccess) ++report_.removed;
            registry_.CloseKey(key);
        }
        for (const char* sub : kServiceSubkeys) {
            char path[128];
            Join(path, sizeof path, kServiceKeyPath, sub);
            if (registry_.DeleteKey(RegRoot::LocalMachine, path) == kErrorSuccess) ++report_.removed;
        }
        DeleteKey(kServiceKeyPath);
        DeleteKey(kEventSourcePath);
    }

    void DeleteKey(const char* path) {
        const long rc = registry_.DeleteKey(RegRoot::LocalMachine, path);
        if (rc == kErrorSuccess) {
            ++report_.removed;
        } else if (rc != kErrorFileNotFound) {
            char what[160];
            JoinForMessage(what, sizeof what, "HKEY_LOCAL_MACHINE\\", path);
            Fail(what);
        }
    }

    void Files() {
        for (const Removal& r : kRemovals) {
            char path[kPathBuffer];
            char message[1200];
            if (!BuildFolderPath(platform_, r.folder, r.tail, path, message, sizeof message)) {
                Fail(message);
                continue;
            }
            Remove(path, r.directory);
        }
    }

    const char* list() const { return list_; }
    bool overflow() const { return overflow_; }

  private:
    UninstallPlatform& platform_;
    Registry& registry_;
    UninstallReport& report_;
    char list_[kListSize];
    bool overflow_ = false;
};

}  // namespace

bool Uninstall(UninstallPlatform& platform, Registry& registry, UninstallUi& ui, UninstallReport* report) {
    UninstallReport local;
    UninstallReport& r = report ? *report : local;
    if (!ui.Confirm(kTextUninstConfirm, kTextUninstTitle)) return false;

    Run run(platform, registry, r);
    run.Shortcuts();
    run.RegistryEntries();
    run.Files();

    char text[kListSize + 256];
    if (r.failed == 0) {
        JoinForMessage(text, sizeof text, kTextUninstRemoved, kTextUninstRestart);
    } else {
        JoinForMessage(text, sizeof text, kTextUninstPartly, run.list(), run.overflow() ? "...\n" : "",
                       kTextUninstRestart);
    }
    ui.Message(text, kTextUninstTitle);
    return true;
}

}  // namespace ovt::setup
