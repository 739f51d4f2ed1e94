/*
 * OVTFake: the test-only kernel driver that stands in for the serial port
 * and the mouse class under Wine. Its control device "\\.\OVTFake" takes
 * these requests from the end-to-end test program. No OS headers: the
 * driver and the program both include it. The records it hands back are
 * the touch core's ovt::MouseRecord.
 */
#ifndef OVTOUCH_TESTS_E2E_OVTFAKE_H
#define OVTOUCH_TESTS_E2E_OVTFAKE_H

#include <stdint.h>

#include "driver/touch/touch.h"

/* FILE_DEVICE_UNKNOWN, METHOD_BUFFERED, FILE_ANY_ACCESS. */
#define OVTFAKE_CODE(function) (0x00220000UL + ((uint32_t)(function) << 2))
/* The same, METHOD_NEITHER: sent by the test build of OVTouch.SYS. */
#define OVTFAKE_CODE_NEITHER(function) (0x00220003UL + ((uint32_t)(function) << 2))

/* in: bytes for the port to deliver, one per pending read. */
#define IOCTL_OVTFAKE_FEED          OVTFAKE_CODE(0x800)
/* in: uint32 NT status to complete the pending read with (0: a data error). */
#define IOCTL_OVTFAKE_FAIL_READ     OVTFAKE_CODE(0x801)
/* Cancels the pending read through the I/O manager. */
#define IOCTL_OVTFAKE_CANCEL_READ   OVTFAKE_CODE(0x802)
/* out: OvtFakeState. */
#define IOCTL_OVTFAKE_GET_STATE     OVTFAKE_CODE(0x803)
/* out: OvtFakeConnect. Connects to the pointer port as the mouse class. */
#define IOCTL_OVTFAKE_CONNECT       OVTFAKE_CODE(0x804)
/* out: OvtFakeRecords header then the records; taken records are dropped. */
#define IOCTL_OVTFAKE_TAKE_RECORDS  OVTFAKE_CODE(0x805)
/* in: uint32; 1 = a read that finds queued bytes completes inside the call
 * (a port with buffered bytes), 0 = every read pends. */
#define IOCTL_OVTFAKE_SET_INLINE    OVTFAKE_CODE(0x806)
/* in: UTF-16 name without terminator, e.g. \??\COM2: the port it plays. */
#define IOCTL_OVTFAKE_SET_PORT_NAME OVTFAKE_CODE(0x807)
/* Type3 input: a UNICODE_STRING with the name the driver opens. */
#define IOCTL_OVTFAKE_OPEN_PORT     OVTFAKE_CODE_NEITHER(0x810)

#define OVTFAKE_MAX_RECORDS    1024
#define OVTFAKE_MAX_CODES      16
#define OVTFAKE_NAME_CHARS     32

typedef struct OvtFakeState {
    uint32_t ReadsReceived;     /* IRP_MJ_READ requests */
    uint32_t ReadPending;       /* 0 or 1 */
    uint32_t ReadsCompleted;    /* completed with a byte */
    uint32_t ReadsFailed;
    uint32_t ReadsCancelled;
    uint32_t OverlappingReads;  /* a read came while another was pending */
    uint32_t BadReads;          /* length other than 1 or no buffer */
    uint32_t MaxReadDepth;      /* read dispatch nested in itself */
    uint32_t Queued;            /* bytes not yet delivered */
    uint32_t OpenAttempts;
    uint32_t Opens;
    uint16_t LastOpenName[OVTFAKE_NAME_CHARS];  /* zero-terminated */
    uint32_t SerialCodes[OVTFAKE_MAX_CODES];    /* serial requests in order */
    uint32_t SerialCodeCount;
    uint32_t SerialOutputBuffers;  /* serial requests that passed an output buffer */
    uint32_t BaudRate;
    uint32_t BaudLength;
    uint8_t LineControl[4];        /* StopBits, Parity, WordLength */
    uint32_t LineControlLength;
    uint32_t Timeouts[5];
    uint32_t TimeoutsLength;
    uint32_t OtherRequests;
    uint32_t Connected;
    uint32_t ClassCalls;           /* calls of the class service routine */
    uint32_t MultiRecordCalls;     /* calls that carried other than one record */
    uint32_t RecordsHeld;
    uint32_t RecordsLost;          /* beyond OVTFAKE_MAX_RECORDS */
} OvtFakeState;

typedef struct OvtFakeConnect {
    int32_t Status;          /* of IOCTL_INTERNAL_MOUSE_CONNECT */
    int32_t AttributesStatus;/* of IOCTL_MOUSE_QUERY_ATTRIBUTES */
    uint32_t AttributesBytes;
    uint16_t MouseIdentifier;
    uint16_t NumberOfButtons;
    uint16_t SampleRate;
    uint16_t Reserved;
    uint32_t InputDataQueueLength;
    int32_t ShortStatus;     /* of a connect with 4 input bytes, sent first */
    int32_t SecondStatus;    /* of a second connect after the real one */
} OvtFakeConnect;

typedef struct OvtFakeRecords {
    uint32_t Count;
    uint32_t Lost;
    /* Count records follow. */
} OvtFakeRecords;

#endif
