// The shape the mouse and sound pages share: a drop-down list and two
// sliders, each slider with a label that shows its value. A label follows
// its slider only when a slider moves, so a stored value outside the
// slider's range shows as it is until then.
#ifndef OVTOUCH_APPLET_LOGIC_SLIDER_PAGE_H
#define OVTOUCH_APPLET_LOGIC_SLIDER_PAGE_H

#include "property_page.h"

namespace ovt {

class SliderPage : public PropertyPage {
  public:
    void OnListChange(DialogControls& c, int id) override;
    void OnHScroll(DialogControls& c, int id) override;

    int32_t ModeIndex;  // the list's selection

  protected:
    struct Slider {
        int id;
        int labelId;
        int32_t* value;
        LabelText* label;
    };
    // The sliders' values and labels are the page's own fields.
    SliderPage(int templateId, int listId, const Slider& first, const Slider& second);
    // A copy would still point at the original's fields.
    SliderPage(const SliderPage&) = delete;
    SliderPage& operator=(const SliderPage&) = delete;
    ~SliderPage() = default;

    // The end of OnInitDialog: labels from the values, values into the controls.
    void ShowValues(DialogControls& c);

  private:
    // save: controls into values; otherwise values into controls.
    void Transfer(DialogControls& c, bool save);
    void FormatLabels();

    int listId_;
    Slider sliders_[2];
};

}  // namespace ovt

#endif
