/*
 * OVTouch protocol shared by the driver and every program of the package:
 * control codes, the records they carry, capture states, packet status
 * bytes, and the Parameters key with its value names.
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

#define IOCTL_TOUCH_GET_BUTTON_MODE    0x000F2400UL
#define IOCTL_TOUCH_GET_CAPTURE        0x000F2408UL
#define IOCTL_TOUCH_ARM_CAPTURE        0x000F2410UL
#define IOCTL_TOUCH_GET_LAST_REPORT    0x000F2420UL
#define IOCTL_TOUCH_RESERVED_910       0x000F2440UL
#define IOCTL_TOUCH_RESERVED_920       0x000F2480UL
#define IOCTL_TOUCH_GET_MOUSE_MODE     0x000F2500UL
#define IOCTL_TOUCH_SET_CALIBRATION    0x000F2600UL
#define IOCTL_TOUCH_ENABLE_REPORTS     0x000F2608UL
#define IOCTL_TOUCH_DISABLE_REPORTS    0x000F2610UL
#define IOCTL_TOUCH_RELOAD_PARAMETERS  0x000F2620UL
#define IOCTL_TOUCH_SET_BUTTON_MODE    0x000F2630UL
#define IOCTL_TOUCH_SET_BEEP           0x000F2640UL
#define IOCTL_TOUCH_GET_BEEP           0x000F2644UL
#define IOCTL_TOUCH_SET_MOUSE_MODE     0x000F2648UL
#define IOCTL_TOUCH_TEST_BEEP          0x000F264CUL
#define IOCTL_TOUCH_RESERVED_998       0x000F2660UL
#define IOCTL_TOUCH_RESERVED_99F       0x000F267CUL

/* NT status values the driver answers with (the driver's own names come
 * from the DDK; these serve the platform-free code and the programs). */
#define OVT_STATUS_SUCCESS                 ((int32_t)0x00000000)
#define OVT_STATUS_PENDING                 ((int32_t)0x00000103)
#define OVT_STATUS_UNSUCCESSFUL            ((int32_t)0xC0000001)
#define OVT_STATUS_NOT_IMPLEMENTED         ((int32_t)0xC0000002)
#define OVT_STATUS_INVALID_PARAMETER       ((int32_t)0xC000000D)
#define OVT_STATUS_INVALID_DEVICE_REQUEST  ((int32_t)0xC0000010)
#define OVT_STATUS_MORE_PROCESSING_REQUIRED ((int32_t)0xC0000016)
#define OVT_STATUS_BUFFER_TOO_SMALL        ((int32_t)0xC0000023)
#define OVT_STATUS_OBJECT_NAME_NOT_FOUND   ((int32_t)0xC0000034)
#define OVT_STATUS_SHARING_VIOLATION       ((int32_t)0xC0000043)
#define OVT_STATUS_ALLOTTED_SPACE_EXCEEDED ((int32_t)0xC0000099)
#define OVT_STATUS_INSUFFICIENT_RESOURCES  ((int32_t)0xC000009A)
#define OVT_STATUS_NOT_SUPPORTED           ((int32_t)0xC00000BB)

/* Capture states. */
#define CAPTURE_IDLE    0x0000UL
#define CAPTURE_ARMED   0x102BUL
#define CAPTURE_TOUCHED 0x1389UL
#define CAPTURE_DONE    0x1667UL

/* Packet status bytes. */
#define TOUCH_DOWN 0x81
#define TOUCH_MOVE 0x82
#define TOUCH_UP   0x84

#define TOUCH_PACKET_SIZE 10
#define TOUCH_HEADER_0    0x55
#define TOUCH_HEADER_1    0x54

/* Mouse record flags (MOUSE_INPUT_DATA). */
#define OVT_MOUSE_MOVE_ABSOLUTE     0x0001
#define OVT_MOUSE_LEFT_BUTTON_DOWN  0x0001
#define OVT_MOUSE_LEFT_BUTTON_UP    0x0002
#define OVT_MOUSE_RIGHT_BUTTON_DOWN 0x0004
#define OVT_MOUSE_RIGHT_BUTTON_UP   0x0008

/* Input of IOCTL_TOUCH_SET_CALIBRATION (24 bytes used). */
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
#define OVT_SERVICE_NAME        "OVTouch"
#define OVT_SERVICE_KEY_PATH    "System\\CurrentControlSet\\Services\\OVTouch"
#define OVT_PARAMETERS_KEY_PATH "System\\CurrentControlSet\\Services\\OVTouch\\Parameters"
#define OVT_PARAMETERS_SUFFIX   "\\Parameters"

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
