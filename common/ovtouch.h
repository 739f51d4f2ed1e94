/*
 * OVTouch protocol shared by the driver and every program of the package:
 * the controller's packet format, control codes, the records they carry,
 * capture states, and the Parameters key with its value names.
 *
 * Plain C, no OS headers: included by kernel code, user programs and the
 * Linux host tools alike. Every record is little-endian 32-bit words.
 */
#ifndef OVTOUCH_COMMON_OVTOUCH_H
#define OVTOUCH_COMMON_OVTOUCH_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* FILE_DEVICE_MOUSE, METHOD_BUFFERED, FILE_ANY_ACCESS. */
#define OVT_CTL_CODE(function) (0x000F0000UL + ((uint32_t)(function) << 2))

#define IOCTL_TOUCH_GET_BUTTON_MODE    OVT_CTL_CODE(0x900)
#define IOCTL_TOUCH_GET_CAPTURE        OVT_CTL_CODE(0x902)
#define IOCTL_TOUCH_ARM_CAPTURE        OVT_CTL_CODE(0x904)
#define IOCTL_TOUCH_GET_LAST_REPORT    OVT_CTL_CODE(0x908)
#define IOCTL_TOUCH_RESERVED_910       OVT_CTL_CODE(0x910)
#define IOCTL_TOUCH_RESERVED_920       OVT_CTL_CODE(0x920)
#define IOCTL_TOUCH_GET_MOUSE_MODE     OVT_CTL_CODE(0x940)
#define IOCTL_TOUCH_SET_CALIBRATION    OVT_CTL_CODE(0x980)
#define IOCTL_TOUCH_ENABLE_REPORTS     OVT_CTL_CODE(0x982)
#define IOCTL_TOUCH_DISABLE_REPORTS    OVT_CTL_CODE(0x984)
#define IOCTL_TOUCH_RELOAD_PARAMETERS  OVT_CTL_CODE(0x988)
#define IOCTL_TOUCH_SET_BUTTON_MODE    OVT_CTL_CODE(0x98C)
#define IOCTL_TOUCH_SET_BEEP           OVT_CTL_CODE(0x990)
#define IOCTL_TOUCH_GET_BEEP           OVT_CTL_CODE(0x991)
#define IOCTL_TOUCH_SET_MOUSE_MODE     OVT_CTL_CODE(0x992)
#define IOCTL_TOUCH_TEST_BEEP          OVT_CTL_CODE(0x993)
#define IOCTL_TOUCH_RESERVED_998       OVT_CTL_CODE(0x998)
#define IOCTL_TOUCH_RESERVED_99F       OVT_CTL_CODE(0x99F)

/* NT status values the driver answers with (the driver's own names come
 * from the DDK; these serve the platform-free code and the programs). */
#define OVT_STATUS_SUCCESS                 ((int32_t)0x00000000)
#define OVT_STATUS_UNSUCCESSFUL            ((int32_t)0xC0000001)
#define OVT_STATUS_NOT_IMPLEMENTED         ((int32_t)0xC0000002)
#define OVT_STATUS_INVALID_PARAMETER       ((int32_t)0xC000000D)
#define OVT_STATUS_INVALID_DEVICE_REQUEST  ((int32_t)0xC0000010)
#define OVT_STATUS_BUFFER_TOO_SMALL        ((int32_t)0xC0000023)
#define OVT_STATUS_OBJECT_NAME_NOT_FOUND   ((int32_t)0xC0000034)
#define OVT_STATUS_INSUFFICIENT_RESOURCES  ((int32_t)0xC000009A)

/* Capture states. */
#define CAPTURE_IDLE    0x0000UL
#define CAPTURE_ARMED   0x102BUL
#define CAPTURE_TOUCHED 0x1389UL
#define CAPTURE_DONE    0x1667UL

/* The controller's packet, 10 bytes:
 *   55 54 status XL XH YL YH b7 b8 sum
 * sum = 0x53 + bytes 2 to 8, mod 256;
 * raw X and Y are unsigned 16-bit, low byte first; b7 and b8 only enter
 * the sum. */
#define TOUCH_PACKET_SIZE 10
#define TOUCH_HEADER_0    0x55
#define TOUCH_HEADER_1    0x54
#define TOUCH_STATUS_AT   2
#define TOUCH_X_AT        3
#define TOUCH_Y_AT        5
#define TOUCH_SUM_FIRST   2
#define TOUCH_SUM_LAST    8
#define TOUCH_SUM_AT      9
#define TOUCH_SUM_SEED    0x53

/* Raw X or Y of a packet held in bytes p[0..9]. */
#define TOUCH_RAW_AT(p, at) ((uint32_t)(p)[at] | ((uint32_t)(p)[(at) + 1] << 8))
#define TOUCH_RAW_X(p)      TOUCH_RAW_AT(p, TOUCH_X_AT)
#define TOUCH_RAW_Y(p)      TOUCH_RAW_AT(p, TOUCH_Y_AT)

/* Packet status bytes. */
#define TOUCH_DOWN 0x81
#define TOUCH_MOVE 0x82
#define TOUCH_UP   0x84

/* Mouse record flags (MOUSE_INPUT_DATA). */
#define OVT_MOUSE_MOVE_ABSOLUTE     0x0001
#define OVT_MOUSE_LEFT_BUTTON_DOWN  0x0001
#define OVT_MOUSE_LEFT_BUTTON_UP    0x0002
#define OVT_MOUSE_RIGHT_BUTTON_DOWN 0x0004
#define OVT_MOUSE_RIGHT_BUTTON_UP   0x0008

/* Input of IOCTL_TOUCH_SET_CALIBRATION (24 bytes used), and the driver's
 * calibration block, which stores it as given. */
typedef struct CalibrationRecord {
    uint32_t XLow;
    uint32_t YLow;
    uint32_t XHigh;
    uint32_t YHigh;
    uint32_t XOffset;
    uint32_t YOffset;
} CalibrationRecord;

/* Output of IOCTL_TOUCH_GET_CAPTURE. */
typedef struct CaptureRecord {
    uint32_t State;
    uint32_t RawX;
    uint32_t RawY;
} CaptureRecord;

/* Input of IOCTL_TOUCH_SET_BEEP, output of IOCTL_TOUCH_GET_BEEP. */
typedef struct BeepSettings {
    uint32_t BeepMode;
    uint32_t BeepFreq;
    uint32_t BeepTime;
} BeepSettings;

/* Output of IOCTL_TOUCH_GET_LAST_REPORT. */
typedef struct LastReport {
    uint32_t ButtonFlags;
    uint32_t LastX;
    uint32_t LastY;
} LastReport;

/* The calibration program's 32-byte buffer: the record plus two reserved
 * words in the places of the spans. */
typedef struct CalibrationBuffer {
    int32_t XLow;
    int32_t YLow;
    int32_t XHigh;
    int32_t YHigh;
    int32_t XOffset;
    int32_t YOffset;
    int32_t Reserved[2];
} CalibrationBuffer;

#define OVT_SIZEOF_CALIBRATION_RECORD 24u
#define OVT_SIZEOF_CAPTURE_RECORD     12u
#define OVT_SIZEOF_BEEP_SETTINGS      12u
#define OVT_SIZEOF_LAST_REPORT        12u
#define OVT_SIZEOF_CALIBRATION_BUFFER 32u
#define OVT_SIZEOF_WORD               4u

/* Registry: the service and its Parameters key. */
#define OVT_SERVICE_KEY_PATH    "System\\CurrentControlSet\\Services\\OVTouch"
#define OVT_PARAMETERS_KEY_PATH "System\\CurrentControlSet\\Services\\OVTouch\\Parameters"

/* The user's double-click settings, below HKEY_CURRENT_USER. */
#define OVT_MOUSE_KEY_PATH "Control Panel\\Mouse"

/* The control device as user programs open it. */
#define OVT_CONTROL_DEVICE_PATH "\\\\.\\ovtouch"

/* Parameters value names. "XPropt" is spelled so on purpose. */
#define OVT_VALUE_PORT        "Port"
#define OVT_VALUE_XLOW        "XLow"
#define OVT_VALUE_XHIGH       "XHigh"
#define OVT_VALUE_XOFFSET     "XOffset"
#define OVT_VALUE_XPROP       "XPropt"
#define OVT_VALUE_YHIGH       "YHigh"
#define OVT_VALUE_YLOW        "YLow"
#define OVT_VALUE_YOFFSET     "YOffset"
#define OVT_VALUE_YPROP       "YProp"
#define OVT_VALUE_BEEPFREQ    "BeepFreq"
#define OVT_VALUE_BEEPTIME    "BeepTime"
#define OVT_VALUE_BEEPFREQ2   "BeepFreq2"
#define OVT_VALUE_BEEPTIME2   "BeepTime2"
#define OVT_VALUE_BUTTONMODE  "ButtonMode"
#define OVT_VALUE_MOUSEMODE   "MouseMode"
#define OVT_VALUE_BEEPMODE    "BeepMode"
#define OVT_VALUE_DBLCLKREGION "DblClkRegion"

#define OVT_PARAMETER_COUNT 16

/* Layout checks: these records cross the user/kernel boundary. */
#if defined(__cplusplus)
#define OVT_STATIC_ASSERT(c, m) static_assert(c, m)
#else
#define OVT_STATIC_ASSERT(c, m) _Static_assert(c, m)
#endif
/* The codes are the installed programs' contract. */
OVT_STATIC_ASSERT(IOCTL_TOUCH_GET_BUTTON_MODE == 0x000F2400UL, "IOCTL_TOUCH_GET_BUTTON_MODE");
OVT_STATIC_ASSERT(IOCTL_TOUCH_GET_CAPTURE == 0x000F2408UL, "IOCTL_TOUCH_GET_CAPTURE");
OVT_STATIC_ASSERT(IOCTL_TOUCH_ARM_CAPTURE == 0x000F2410UL, "IOCTL_TOUCH_ARM_CAPTURE");
OVT_STATIC_ASSERT(IOCTL_TOUCH_GET_LAST_REPORT == 0x000F2420UL, "IOCTL_TOUCH_GET_LAST_REPORT");
OVT_STATIC_ASSERT(IOCTL_TOUCH_RESERVED_910 == 0x000F2440UL, "IOCTL_TOUCH_RESERVED_910");
OVT_STATIC_ASSERT(IOCTL_TOUCH_RESERVED_920 == 0x000F2480UL, "IOCTL_TOUCH_RESERVED_920");
OVT_STATIC_ASSERT(IOCTL_TOUCH_GET_MOUSE_MODE == 0x000F2500UL, "IOCTL_TOUCH_GET_MOUSE_MODE");
OVT_STATIC_ASSERT(IOCTL_TOUCH_SET_CALIBRATION == 0x000F2600UL, "IOCTL_TOUCH_SET_CALIBRATION");
OVT_STATIC_ASSERT(IOCTL_TOUCH_ENABLE_REPORTS == 0x000F2608UL, "IOCTL_TOUCH_ENABLE_REPORTS");
OVT_STATIC_ASSERT(IOCTL_TOUCH_DISABLE_REPORTS == 0x000F2610UL, "IOCTL_TOUCH_DISABLE_REPORTS");
OVT_STATIC_ASSERT(IOCTL_TOUCH_RELOAD_PARAMETERS == 0x000F2620UL, "IOCTL_TOUCH_RELOAD_PARAMETERS");
OVT_STATIC_ASSERT(IOCTL_TOUCH_SET_BUTTON_MODE == 0x000F2630UL, "IOCTL_TOUCH_SET_BUTTON_MODE");
OVT_STATIC_ASSERT(IOCTL_TOUCH_SET_BEEP == 0x000F2640UL, "IOCTL_TOUCH_SET_BEEP");
OVT_STATIC_ASSERT(IOCTL_TOUCH_GET_BEEP == 0x000F2644UL, "IOCTL_TOUCH_GET_BEEP");
OVT_STATIC_ASSERT(IOCTL_TOUCH_SET_MOUSE_MODE == 0x000F2648UL, "IOCTL_TOUCH_SET_MOUSE_MODE");
OVT_STATIC_ASSERT(IOCTL_TOUCH_TEST_BEEP == 0x000F264CUL, "IOCTL_TOUCH_TEST_BEEP");
OVT_STATIC_ASSERT(IOCTL_TOUCH_RESERVED_998 == 0x000F2660UL, "IOCTL_TOUCH_RESERVED_998");
OVT_STATIC_ASSERT(IOCTL_TOUCH_RESERVED_99F == 0x000F267CUL, "IOCTL_TOUCH_RESERVED_99F");
OVT_STATIC_ASSERT(sizeof(CalibrationRecord) == OVT_SIZEOF_CALIBRATION_RECORD, "CalibrationRecord size");
OVT_STATIC_ASSERT(offsetof(CalibrationRecord, YLow) == 4, "CalibrationRecord.YLow");
OVT_STATIC_ASSERT(offsetof(CalibrationRecord, XHigh) == 8, "CalibrationRecord.XHigh");
OVT_STATIC_ASSERT(offsetof(CalibrationRecord, YHigh) == 12, "CalibrationRecord.YHigh");
OVT_STATIC_ASSERT(offsetof(CalibrationRecord, XOffset) == 16, "CalibrationRecord.XOffset");
OVT_STATIC_ASSERT(offsetof(CalibrationRecord, YOffset) == 20, "CalibrationRecord.YOffset");
OVT_STATIC_ASSERT(sizeof(CaptureRecord) == OVT_SIZEOF_CAPTURE_RECORD, "CaptureRecord size");
OVT_STATIC_ASSERT(offsetof(CaptureRecord, RawX) == 4, "CaptureRecord.RawX");
OVT_STATIC_ASSERT(offsetof(CaptureRecord, RawY) == 8, "CaptureRecord.RawY");
OVT_STATIC_ASSERT(sizeof(BeepSettings) == OVT_SIZEOF_BEEP_SETTINGS, "BeepSettings size");
OVT_STATIC_ASSERT(offsetof(BeepSettings, BeepFreq) == 4, "BeepSettings.BeepFreq");
OVT_STATIC_ASSERT(offsetof(BeepSettings, BeepTime) == 8, "BeepSettings.BeepTime");
OVT_STATIC_ASSERT(sizeof(LastReport) == OVT_SIZEOF_LAST_REPORT, "LastReport size");
OVT_STATIC_ASSERT(offsetof(LastReport, LastX) == 4, "LastReport.LastX");
OVT_STATIC_ASSERT(offsetof(LastReport, LastY) == 8, "LastReport.LastY");
OVT_STATIC_ASSERT(sizeof(CalibrationBuffer) == OVT_SIZEOF_CALIBRATION_BUFFER, "CalibrationBuffer size");
OVT_STATIC_ASSERT(offsetof(CalibrationBuffer, Reserved) == 24, "CalibrationBuffer.Reserved");

#ifdef __cplusplus
}
#endif

#endif
