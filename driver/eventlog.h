// The driver's entries in the System event log. Each reports a change of
// state once; the texts live in the image's message table (eventlog.mc).
#ifndef OVTOUCH_DRIVER_EVENTLOG_H
#define OVTOUCH_DRIVER_EVENTLOG_H

#include "kernel.h"

// Event codes: severity, facility I/O (4), the number shown as event id.
#define OVT_EVENT_PORT_OPEN_FAILED 0x80040001UL  // warning: port name, status
#define OVT_EVENT_PORT_GIVEN_UP    0xC0040002UL  // error: port name
#define OVT_EVENT_PORT_READING     0x40040003UL  // information: port name
// Information, not a warning: a value out of range is corrected as stated.
#define OVT_EVENT_VALUE_CORRECTED  0x40040004UL  // value name, stored, used
#define OVT_EVENT_LOAD_FAILED      0xC0040005UL  // error: status

// Called first at load: entries are made in the driver object's name.
void OvtEventLogInit(PDRIVER_OBJECT driver);

// The serial link's states: working, failing to open, given up. Only a
// change between them is logged, and a port failing to open only once it
// has failed for a minute in a row after the load or a give-up: at boot the
// driver may start before the port's own driver has made it. "Reading"
// follows a logged failure or give-up only. A port given up counts as
// working again at its first byte, not at the reopen: one that fails every
// read however often it is opened would otherwise log twice every two
// seconds.
void OvtLogPortOpenFailed(PCWSTR port, NTSTATUS status);
// The port now opened, named before its first read can complete.
void OvtLogPortOpening(PCWSTR port);
void OvtLogPortOpened();
void OvtLogPortGivenUp();
void OvtLogPortByte();

void OvtLogValueCorrected(const char* name, ULONG stored, ULONG used);
void OvtLogLoadFailed(NTSTATUS status);

#endif
