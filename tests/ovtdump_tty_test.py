#!/usr/bin/env python3
"""ovtdump on a serial device: the line is set raw at 9600 8N1, bytes are
decoded as they arrive, and an interrupt ends the run with the summary."""
import os
import pty
import signal
import subprocess
import sys
import termios
import time

ovtdump = sys.argv[1]
master, slave = pty.openpty()
name = os.ttyname(slave)
# Start from a cooked line so the tool has something to change.
attrs = termios.tcgetattr(slave)
attrs[3] |= termios.ICANON | termios.ECHO
termios.tcsetattr(slave, termios.TCSANOW, attrs)

proc = subprocess.Popen([ovtdump, name], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
deadline = time.time() + 10
while time.time() < deadline:
    a = termios.tcgetattr(slave)
    if not (a[3] & termios.ICANON):
        break
    time.sleep(0.02)
a = termios.tcgetattr(slave)
failures = []
if a[3] & (termios.ICANON | termios.ECHO):
    failures.append("line not raw")
if a[4] != termios.B9600 or a[5] != termios.B9600:
    failures.append("speed not 9600")
if (a[2] & termios.CSIZE) != termios.CS8 or a[2] & (termios.PARENB | termios.CSTOPB):
    failures.append("not 8N1")

packet = bytes([0x55, 0x54, 0x81, 0x00, 0x04, 0x00, 0x04, 0x00, 0x00, 0xDC])
# Split across writes, with a byte that the cooked line would have eaten.
os.write(master, b"\x03\x7f" + packet[:4])
time.sleep(0.1)
os.write(master, packet[4:])
time.sleep(0.3)
proc.send_signal(signal.SIGINT)
try:
    out, err = proc.communicate(timeout=10)
except subprocess.TimeoutExpired:
    proc.kill()
    out, err = proc.communicate()
    failures.append("did not stop on interrupt")
text = out.decode()
expected = ("packet down raw_x=1024 raw_y=1024\n"
            "record flags=0x0001 x=32767 y=32767\n"
            "record flags=0x0002 x=32767 y=32767\n"
            "summary bytes=12 packets=1 dropped=0\n")
if text != expected:
    failures.append("output:\n" + text + "stderr: " + err.decode())
if proc.returncode != 0:
    failures.append("exit code %s" % proc.returncode)
for f in failures:
    print("FAIL:", f)
sys.exit(1 if failures else 0)
