#include "wizard.h"

#include "common/ovtouch_values.h"
#include "setup/logic/paths.h"
#include "setup/logic/texts.h"

namespace ovt::setup {

namespace {
void CopyLine(char* line, const char* text) {
    line[0] = 0;
    if (!Append(line, Wizard::kLineSize, text)) JoinForMessage(line, Wizard::kLineSize, text, 0);
}
}  // namespace

Wizard::Wizard(WizardView& view, Installer& installer, const char* programName)
    : view_(view), installer_(installer), programName_(programName) {}

void Wizard::Enable(int id, bool enable) {
    if (id == kIdBack) back_ = enable;
    if (id == kIdNext) next_ = enable;
    if (id == kIdCancel) cancel_ = enable;
    view_.EnableButton(id, enable);
}

bool Wizard::enabled(int id) const {
    if (id == kIdBack) return back_;
    if (id == kIdNext) return next_;
    if (id == kIdCancel) return cancel_;
    return false;
}

void Wizard::Init() {
    step_ = 0;
    action_[0] = file_[0] = 0;
    Enable(kIdBack, false);
}

void Wizard::SetAction(const char* text) {
    CopyLine(action_, text);
    view_.SetProgress(action_, file_);
}

void Wizard::ShowFile(const char* text) {
    CopyLine(file_, text);
    view_.SetProgress(action_, file_);
}

void Wizard::ShowError(const char* text, const char* caption) { view_.Message(text, caption ? caption : programName_); }

void Wizard::Next() {
    // Keyboard and stray messages reach here too; a disabled button does nothing.
    if (closed_ || !next_) return;
    const int step = step_++;
    if (step == 0) {
        view_.ShowPage(Page::Welcome, false);
        view_.ShowPage(Page::Port, true);
        Enable(kIdBack, true);
    } else if (step == 1) {
        Enable(kIdBack, false);
        Enable(kIdCancel, false);
        Enable(kIdNext, false);
        view_.ShowPage(Page::Port, false);
        view_.ShowPage(Page::Progress, true);
        SetAction(kTextCopying);
        installer_.CopyPackageFiles(*this);
        SetAction(kTextRegistry);
        const int index = view_.SelectedPortIndex();
        installer_.WriteRegistrySettings(*this, index < 0 ? OVT_PORT_DEFAULT : OvtPortOfListIndex(index));
        installer_.RegisterEventSource();
        SetAction(kTextShortcuts);
        installer_.CreateStartMenuShortcuts(*this);
        view_.ShowPage(Page::Progress, false);
        view_.ShowPage(Page::Restart, true);
        Enable(kIdNext, true);
        view_.SetNextText(kTextFinish);
    } else if (step == 2) {
        Enable(kIdNext, false);
        view_.ShowPage(Page::Restart, false);
        if (view_.RestartChosen()) installer_.RestartWindows();
        closed_ = true;
        view_.Close(kResultFinished);
    }
}

void Wizard::Back() {
    if (closed_ || !back_) return;
    view_.ShowPage(Page::Port, false);
    view_.ShowPage(Page::Welcome, true);
    Enable(kIdBack, false);
    step_ = 0;
}

void Wizard::Cancel() {
    if (closed_ || !cancel_) return;
    closed_ = true;
    view_.Close(kResultCancelled);
}

void ProgramNameFromPath(const char* path, char* name, uint32_t size) {
    if (!size) return;
    name[0] = 0;
    if (!path) return;
    const char* base = path;
    for (const char* p = path; *p; ++p) {
        // A GBK lead byte's partner can be '\\' (0x5C): skip it.
        if (static_cast<unsigned char>(*p) >= 0x81 && p[1]) {
            ++p;
            continue;
        }
        if (*p == '\\' || *p == '/' || *p == ':') base = p + 1;
    }
    uint32_t n = 0;
    const char* dot = 0;
    for (const char* p = base; *p; ++p) {
        if (static_cast<unsigned char>(*p) >= 0x81 && p[1]) {
            ++p;
            continue;
        }
        if (*p == '.') dot = p;
    }
    for (const char* p = base; *p && p != dot && n + 1 < size; ++p) name[n++] = *p;
    // Never end on half a double-byte character.
    uint32_t i = 0;
    uint32_t last = 0;
    while (i < n) {
        last = i;
        i += (static_cast<unsigned char>(name[i]) >= 0x81) ? 2 : 1;
    }
    if (i > n) n = last;
    name[n] = 0;
}

}  // namespace ovt::setup
