// The wizard's step machine: which page is shown, which buttons are
// enabled, and the order in which the installation runs. The Win32 frame
// forwards its button clicks here and draws what the machine tells it.
#ifndef OVTOUCH_SETUP_LOGIC_WIZARD_H
#define OVTOUCH_SETUP_LOGIC_WIZARD_H

#include <stdint.h>

#include "setup/logic/actions.h"
#include "setup/logic/platform.h"

namespace ovt::setup {

enum class Page { Welcome, Port, Restart, Progress };

// Control ids of the frame (dialog 102).
enum : int { kIdBack = 1000, kIdNext = 1001, kIdCancel = 2 };

// Results with which the wizard closes.
enum : int { kResultFinished = 1, kResultCancelled = 2 };

class WizardView {
  public:
    virtual ~WizardView() {}
    virtual void ShowPage(Page page, bool show) = 0;
    virtual void EnableButton(int id, bool enable) = 0;
    virtual void SetNextText(const char* text) = 0;
    // Transfers both progress lines to their controls and repaints them.
    virtual void SetProgress(const char* action, const char* file) = 0;
    virtual int SelectedPortIndex() = 0;  // -1 when nothing is selected
    virtual bool RestartChosen() = 0;
    // Modal message owned by the frame, OK button.
    virtual void Message(const char* text, const char* caption) = 0;
    virtual void Close(int result) = 0;
};

class Wizard : public InstallerUi {
  public:
    // programName: the caption of messages that bring none of their own.
    Wizard(WizardView& view, Installer& installer, const char* programName);

    void Init();
    void Next();
    void Back();
    void Cancel();

    int step() const { return step_; }
    bool enabled(int id) const;
    bool closed() const { return closed_; }

    void ShowFile(const char* text) override;
    void ShowError(const char* text, const char* caption) override;

    enum { kLineSize = 64 };

  private:
    void Enable(int id, bool enable);
    void SetAction(const char* text);

    WizardView& view_;
    Installer& installer_;
    const char* programName_;
    int step_ = 0;
    bool back_ = true, next_ = true, cancel_ = true;
    bool closed_ = false;
    char action_[kLineSize] = {0};
    char file_[kLineSize] = {0};
};

// "C:\dir\olvaset1.exe" -> "olvaset1", into name (size bytes).
void ProgramNameFromPath(const char* path, char* name, uint32_t size);

}  // namespace ovt::setup

#endif
