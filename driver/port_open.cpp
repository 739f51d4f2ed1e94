// Finding the serial port: its device object, and the file object that is
// our reference on it.
#include "ovtouch_sys.h"

NTSTATUS OvtOpenPort(PUNICODE_STRING name, PDEVICE_OBJECT* device, PVOID* reference) {
    PFILE_OBJECT file = NULL;
    PDEVICE_OBJECT port = NULL;
    const NTSTATUS status = IoGetDeviceObjectPointer(name, FILE_READ_DATA | FILE_WRITE_DATA, &file, &port);
    if (!NT_SUCCESS(status)) return status;
    // Some kernels answer success without opening anything; nothing to
    // release then, and nothing to read from: try again later.
    if (file == NULL) return STATUS_OBJECT_NAME_NOT_FOUND;
    *device = port;
    *reference = file;
    return STATUS_SUCCESS;
}
