// A page of the settings sheet: plain integer values, bound to controls by
// small transfer functions. The page's window is reached only through
// DialogControls, so the page logic runs on the host as well.
#ifndef OVTOUCH_APPLET_LOGIC_PROPERTY_PAGE_H
#define OVTOUCH_APPLET_LOGIC_PROPERTY_PAGE_H

#include <stdint.h>

namespace ovt {

class DialogControls {
  public:
    virtual void AddListItem(int id, const char* text) = 0;
    // Zero-based; -1 when nothing is selected.
    virtual int ListSelection(int id) = 0;
    virtual void SelectListItem(int id, int index) = 0;
    virtual void SetSliderRange(int id, int low, int high) = 0;
    virtual int SliderPosition(int id) = 0;
    // The slider clamps a position outside its range.
    virtual void SetSliderPosition(int id, int position) = 0;
    // Copies at most size - 1 bytes and terminates.
    virtual void GetText(int id, char* buffer, int size) = 0;
    virtual void SetText(int id, const char* text) = 0;

  protected:
    // Never deleted through the interface: no deleting destructor, so the
    // applet links without the C++ runtime.
    ~DialogControls() = default;
};

// A label's text as a page keeps it.
struct LabelText {
    char Text[16];
};

// save: controls into values; otherwise values into controls.
inline void ExchangeList(DialogControls& c, int id, int32_t* value, bool save) {
    if (save) *value = c.ListSelection(id);
    else c.SelectListItem(id, *value);
}

inline void ExchangeSlider(DialogControls& c, int id, int32_t* value, bool save) {
    if (save) *value = c.SliderPosition(id);
    else c.SetSliderPosition(id, *value);
}

inline void ExchangeLabel(DialogControls& c, int id, LabelText* value, bool save) {
    if (save) c.GetText(id, value->Text, sizeof value->Text);
    else c.SetText(id, value->Text);
}

class PropertyPage {
  public:
    explicit PropertyPage(int templateId) : templateId_(templateId) {}
    int TemplateId() const { return templateId_; }

    // The page's window was created; returns TRUE as a dialog would.
    virtual bool OnInitDialog(DialogControls& c) { (void)c; return true; }
    // Selection change in a drop-down list.
    virtual void OnListChange(DialogControls& c, int id) { (void)c; (void)id; }
    // Any horizontal-scroll notification from a slider; the default
    // processing follows.
    virtual void OnHScroll(DialogControls& c, int id) { (void)c; (void)id; }
    virtual void OnButton(DialogControls& c, int id) { (void)c; (void)id; }

  protected:
    ~PropertyPage() = default;

  private:
    int templateId_;
};

}  // namespace ovt

#endif
