/*
 * The Parameters values' ranges, defaults and fallbacks: the one place the
 * driver's load and requests, the applet and the setup take them from.
 *
 * Plain C, no OS headers. The three readers differ on purpose in a few
 * fallbacks; each difference is named and says who relies on it.
 */
#ifndef OVTOUCH_COMMON_OVTOUCH_VALUES_H
#define OVTOUCH_COMMON_OVTOUCH_VALUES_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Port: the n of COMn. The driver takes whatever is stored, so that a port
 * set by hand is honoured: 1 to 9 name COM1 to COM9; anything else names no
 * port and is retried for ever, which the driver's event log shows. The
 * setup's and the applet's lists offer only COM1 and COM2, the ports the
 * controller is cabled to; the applet shows any other value as COM1, since
 * its list has nothing else to select. */
#define OVT_PORT_MIN        1u
#define OVT_PORT_APPLET_MAX 2u
#define OVT_PORT_DEFAULT    1u

/* Bounds are cut to 16 bits at a registry load (a request takes whole
 * words); a span of 0 would divide by zero and stands for the full range. */
#define OVT_BOUND_MASK      0xFFFFu
#define OVT_BOUND_DEFAULT_LOW  0u
#define OVT_BOUND_DEFAULT_HIGH 2048u
#define OVT_SPAN_DEFAULT    2048u
#define OVT_OFFSET_DEFAULT  0u

#define OVT_BEEPFREQ_MIN     1000u
#define OVT_BEEPFREQ_MAX     5000u
#define OVT_BEEPFREQ_DEFAULT 2000u

#define OVT_BEEPTIME_MIN 32u
#define OVT_BEEPTIME_MAX 750u
/* A registry load falls back to 40 ms: installed systems store 20 and have
 * always beeped 40 ms. A missing value is 40 ms too. */
#define OVT_BEEPTIME_LOAD_FALLBACK 40u
#define OVT_BEEPTIME_DEFAULT OVT_BEEPTIME_LOAD_FALLBACK
/* A request and the applet fall back to 32 ms, the sound page slider's
 * left end, so the driver's answer matches the slider. */
#define OVT_BEEPTIME_REQUEST_FALLBACK 32u

/* 0 is silent, 1 beeps at touch-down, 2 at lift-off. */
#define OVT_BEEPMODE_AT_DOWN 1u
#define OVT_BEEPMODE_AT_LIFT 2u
#define OVT_BEEPMODE_MAX     2u
#define OVT_BEEPMODE_DEFAULT 2u

/* Anything but 1 (right button) is the left button. */
#define OVT_BUTTONMODE_RIGHT   1u
#define OVT_BUTTONMODE_DEFAULT 0u

/* 0 clicks at touch-down, 1 at lift-off; above, the button is held while
 * touching. */
#define OVT_MOUSEMODE_CLICK_AT_DOWN 0u
#define OVT_MOUSEMODE_CLICK_AT_LIFT 1u
#define OVT_MOUSEMODE_MAX     3u
#define OVT_MOUSEMODE_DEFAULT 0u
/* Out of range: the driver drags (2); the applet shows the last radio
 * button (3), which its page and stored values have always had. */
#define OVT_MOUSEMODE_DRIVER_FALLBACK 2u
#define OVT_MOUSEMODE_APPLET_FALLBACK 3u

/* What the setup stores. BeepTime 20 and ButtonMode 2 lie outside the
 * ranges on purpose: the driver corrects them to 40 ms and the left button,
 * and installed systems carry exactly these values. */
#define OVT_INSTALL_BEEPMODE   1u
#define OVT_INSTALL_BEEPTIME   20u
#define OVT_INSTALL_BUTTONMODE 2u
#define OVT_INSTALL_MOUSEMODE  2u
#define OVT_INSTALL_PORT       0u
#define OVT_INSTALL_BOUND_LOW  1u
#define OVT_INSTALL_OFFSET     1u
#define OVT_INSTALL_DBLCLKREGION 25u

static inline uint32_t OvtCorrectBeepFreq(uint32_t freq) {
    return (freq < OVT_BEEPFREQ_MIN || freq > OVT_BEEPFREQ_MAX) ? OVT_BEEPFREQ_DEFAULT : freq;
}

static inline uint32_t OvtCorrectBeepTime(uint32_t ms, uint32_t fallback) {
    return (ms < OVT_BEEPTIME_MIN || ms > OVT_BEEPTIME_MAX) ? fallback : ms;
}

static inline uint32_t OvtCorrectBeepMode(uint32_t mode) {
    return mode > OVT_BEEPMODE_MAX ? OVT_BEEPMODE_MAX : mode;
}

static inline uint32_t OvtCorrectButtonMode(uint32_t mode) {
    return mode == OVT_BUTTONMODE_RIGHT ? OVT_BUTTONMODE_RIGHT : OVT_BUTTONMODE_DEFAULT;
}

static inline uint32_t OvtCorrectMouseMode(uint32_t mode, uint32_t fallback) {
    return mode > OVT_MOUSEMODE_MAX ? fallback : mode;
}

static inline uint32_t OvtCorrectAppletPort(uint32_t port) {
    return (port < OVT_PORT_MIN || port > OVT_PORT_APPLET_MAX) ? OVT_PORT_DEFAULT : port;
}

/* The port lists show COM1 first: list index i is port i + 1. */
static inline uint32_t OvtPortOfListIndex(int32_t index) { return (uint32_t)(index + 1); }
static inline int32_t OvtListIndexOfPort(uint32_t port) { return (int32_t)port - 1; }

static inline uint32_t OvtSpan(uint32_t low, uint32_t high) {
    return high == low ? OVT_SPAN_DEFAULT : high - low;
}

#ifdef __cplusplus
}
#endif

#endif
