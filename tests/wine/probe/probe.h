// The commands of ovtprobe, the Wine tiers' one test program, kept in
// other files than the dispatcher. Each returns the process exit code.
#ifndef OVTOUCH_TESTS_WINE_PROBE_PROBE_H
#define OVTOUCH_TESTS_WINE_PROBE_PROBE_H

// controls.cpp: the real driver's control device.
int CmdControls();
int CmdButtonMode();
int CmdCaptureState();
int CmdDeviceAnswers();

// windows.cpp: the programs' windows.
int CmdCalib(const char* what, int argc, char** argv);
int CmdAltclick(const char* what, int argc, char** argv);
int CmdDumpWindows();

#endif
