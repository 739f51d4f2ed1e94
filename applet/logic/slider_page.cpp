#include "slider_page.h"

#include "applet_settings.h"

namespace ovt {

SliderPage::SliderPage(int templateId, int listId, const Slider& first, const Slider& second)
    : PropertyPage(templateId), ModeIndex(-1), listId_(listId), sliders_{first, second} {}

void SliderPage::Transfer(DialogControls& c, bool save) {
    ExchangeList(c, listId_, &ModeIndex, save);
    for (const Slider& s : sliders_) ExchangeSlider(c, s.id, s.value, save);
    for (const Slider& s : sliders_) ExchangeLabel(c, s.labelId, s.label, save);
}

void SliderPage::FormatLabels() {
    for (const Slider& s : sliders_) FormatDecimal(*s.value, s.label->Text);
}

void SliderPage::ShowValues(DialogControls& c) {
    FormatLabels();
    Transfer(c, false);
}

void SliderPage::OnListChange(DialogControls& c, int id) {
    if (id == listId_) Transfer(c, true);
}

void SliderPage::OnHScroll(DialogControls& c, int id) {
    if (id != sliders_[0].id && id != sliders_[1].id) return;
    Transfer(c, true);
    ShowValues(c);
}

}  // namespace ovt
