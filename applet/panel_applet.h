// The Control Panel applet base: one applet per module, reached by
// CPlApplet through a module-wide pointer.
#ifndef OVTOUCH_APPLET_PANEL_APPLET_H
#define OVTOUCH_APPLET_PANEL_APPLET_H

#include "applet_host.h"
#include "cpl_types.h"

namespace ovt {

class PanelApplet {
  public:
    PanelApplet();
    virtual ~PanelApplet();
    virtual long OnDblclk(WindowHandle window, long appletNumber, intptr_t appletData);
    virtual long OnExit();
    virtual long OnGetCount();
    virtual long OnInit();
    virtual long OnNewInquire(long appletNumber, NewCplInfo* info);
    virtual long OnSelect(long appletNumber, intptr_t appletData);
    virtual long OnStop(long appletNumber, intptr_t appletData);

    static PanelApplet* Current();
    // Icons come from the module; the base needs a host only for that.
    void SetHost(AppletHost* host) { host_ = host; }

  protected:
    AppletHost* host_;
};

// The body of CPlApplet.
long CplDispatch(WindowHandle window, unsigned message, intptr_t param1, intptr_t param2);

// Copies a text into a fixed field, cut to fit and terminated.
void CopyField(char* field, unsigned size, const char* text);

}  // namespace ovt

#endif
