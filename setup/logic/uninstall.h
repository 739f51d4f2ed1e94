// The removal: undoes what the installation made, as far as the running
// system lets it. Files in use are left to the next restart.
#ifndef OVTOUCH_SETUP_LOGIC_UNINSTALL_H
#define OVTOUCH_SETUP_LOGIC_UNINSTALL_H

#include "common/user/registry.h"
#include "setup/logic/platform.h"

namespace ovt::setup {

class UninstallUi {
  public:
    virtual ~UninstallUi() {}
    // Yes/No question; true for Yes.
    virtual bool Confirm(const char* text, const char* caption) = 0;
    // OK message.
    virtual void Message(const char* text, const char* caption) = 0;
};

struct UninstallReport {
    int removed = 0;    // files, folders, links, keys and values gone now
    int scheduled = 0;  // left to the next restart
    int failed = 0;     // neither
};

// Subkeys that the system itself may have added below the service key,
// removed before it (a key with subkeys cannot be deleted).
extern const char* const kServiceSubkeys[3];

// Returns false when the user declined (nothing is touched).
bool Uninstall(UninstallPlatform& platform, Registry& registry, UninstallUi& ui, UninstallReport* report = 0);

}  // namespace ovt::setup

#endif
