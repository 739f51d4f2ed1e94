// What ovtdump needs of the system: its input (a file, standard input or a
// serial port set to 9600 8N1), the interrupt key and the running driver.
#ifndef OVTOUCH_TOOLS_OVTDUMP_IO_H
#define OVTOUCH_TOOLS_OVTDUMP_IO_H

#include <string>

namespace ovtdump {

struct Input;

// "-" is standard input. A failure is reported on stderr in one line; null.
Input* OpenInput(const std::string& name);
// Bytes read; 0 at the end of the input or on the interrupt; -1 on an error,
// reported on stderr.
long ReadInput(Input* input, unsigned char* buffer, unsigned long size);
void CloseInput(Input* input);
bool Interrupted();

// ovtdump --driver: the exit code.
int WatchRunningDriver();

}  // namespace ovtdump

#endif
