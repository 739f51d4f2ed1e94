#include "uninstall.h"

#include "setup/logic/actions.h"
#include "setup/logic/paths.h"
#include "setup/logic/texts.h"

namespace ovt::setup {

const char* const kServiceSubkeys[3] = {"\\Parameters", "\\Enum", "\\Security"};

namespace {

constexpr uint32_t kListSize = 2048;

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

    // The installed files, then their folder: pending deletions run in order
    // at the restart, so the folder is empty by the time its own turn comes.
    // The uninstaller's own file is the last file, so that a removal cut
    // short leaves it there to be run again.
    void Files() {
        const OvtPackageFile& self = kOvtPackageFiles[OVT_PACKAGE_UNINST];
        for (const OvtPackageFile& file : kOvtPackageFiles) {
            if (Installed(file) && &file != &self) RemoveFile(file);
        }
        RemoveFile(self);
        char path[kPathBuffer];
        char message[kMessageBuffer];
        const bool named = BuildFolderPath(platform_, Folder::Windows, kPackageFolder, path, message, sizeof message);
        RemoveNamed(named, path, message, true);
    }

    void RemoveFile(const OvtPackageFile& file) {
        char path[kPathBuffer];
        char message[kMessageBuffer];
        RemoveNamed(BuildInstalledPath(platform_, file, path, message, sizeof message), path, message, false);
    }

    // A path that could not be built is listed by the message naming it.
    void RemoveNamed(bool named, const char* path, const char* message, bool directory) {
        if (named) Remove(path, directory);
        else Fail(message);
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
