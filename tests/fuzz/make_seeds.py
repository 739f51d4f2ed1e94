#!/usr/bin/env python3
"""Writes the seed corpora (corpus/<target>/*) from the documented cases.

Run again after changing an input format; the files are committed."""
import os
import shutil
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# Control codes in the order of the targets' code table (fuzz_common.h).
CODES = ["GET_BUTTON_MODE", "GET_CAPTURE", "ARM_CAPTURE", "GET_LAST_REPORT", "RESERVED_910",
         "RESERVED_920", "GET_MOUSE_MODE", "SET_CALIBRATION", "ENABLE_REPORTS", "DISABLE_REPORTS",
         "RELOAD_PARAMETERS", "SET_BUTTON_MODE", "SET_BEEP", "GET_BEEP", "SET_MOUSE_MODE",
         "TEST_BEEP", "RESERVED_998", "RESERVED_99F"]
PARAMS = ["Port", "XLow", "XHigh", "XOffset", "XPropt", "YHigh", "YLow", "YOffset", "YProp",
          "BeepFreq", "BeepTime", "BeepFreq2", "BeepTime2", "ButtonMode", "MouseMode", "BeepMode"]
# The packet format as common/ovtouch.h names it.
HEADER = [0x55, 0x54]       # TOUCH_HEADER_0, TOUCH_HEADER_1
SUM_SEED = 0x53             # TOUCH_SUM_SEED, added to bytes 2 to 8
DOWN, MOVE, UP = 0x81, 0x82, 0x84


def packet(status, x, y, b7=0, b8=0):
    body = [status, x & 255, x >> 8, y & 255, y >> 8, b7, b8]
    return bytes(HEADER + body + [(SUM_SEED + sum(body)) & 255])


def hexbytes(text):
    return bytes.fromhex(text)


# --- fuzz_touch: setup byte, then operations ---------------------------------
def feed(data):
    out = b""
    while data:
        chunk, data = data[:32], data[32:]
        out += bytes([0, len(chunk) - 1]) + chunk
    return out


def request(name, *words):
    w = list(words) + [0] * (6 - len(words))
    return bytes([6, CODES.index(name)]) + struct.pack("<6I", *w)


FAIL = bytes([4, 0])
ZERO_READ = bytes([5, 0x55])
TOGGLE_SINK = bytes([7])
DEFAULTS = 0            # empty key, reports on, sink connected
NO_REPORTS, NO_SINK, ARMED = 2, 4, 8

touch = {
    "click_at_touch": bytes([DEFAULTS]) + feed(hexbytes("55 54 81 00 04 00 04 00 00 DC")),
    "bad_checksum": bytes([DEFAULTS]) + feed(hexbytes("55 54 81 00 04 00 04 00 00 DD")),
    "move": bytes([DEFAULTS]) + feed(hexbytes("55 54 82 00 02 00 06 12 34 23")),
    "lift_edges": bytes([DEFAULTS]) + feed(hexbytes("55 54 84 FF 07 00 00 00 00 DD")),
    "bounds": bytes([DEFAULTS]) + feed(packet(MOVE, 2048, 0) + packet(MOVE, 0xFFFF, 2049)),
    "double_header": bytes([DEFAULTS]) + feed(hexbytes("55 55 54 81 00 04 00 04 00 00 DC") + packet(UP, 5, 5)),
    "bad_status": bytes([DEFAULTS]) + feed(hexbytes("55 54 83 00 04 00 04 00 00 DB") + packet(DOWN, 9, 9)),
    "right_drag": bytes([DEFAULTS]) + request("SET_BUTTON_MODE", 1) + request("SET_MOUSE_MODE", 2)
    + feed(packet(DOWN, 100, 100) + packet(MOVE, 110, 120) + packet(UP, 120, 140)),
    "click_at_lift": bytes([DEFAULTS]) + request("SET_MOUSE_MODE", 1)
    + feed(packet(DOWN, 300, 300) + packet(UP, 310, 320)),
    "mouse_mode_7": bytes([DEFAULTS]) + request("SET_MOUSE_MODE", 7)
    + feed(packet(DOWN, 1, 2) + packet(UP, 3, 4)),
    "beeps": bytes([DEFAULTS]) + request("SET_BEEP", 1, 3000, 100) + feed(packet(DOWN, 1, 1) + packet(UP, 1, 1))
    + request("SET_BEEP", 2, 999, 10) + feed(packet(DOWN, 1, 1) + packet(UP, 1, 1)),
    "no_reports": bytes([NO_REPORTS]) + feed(packet(DOWN, 1, 1) + packet(UP, 1, 1))
    + request("ENABLE_REPORTS") + request("DISABLE_REPORTS") + request("DISABLE_REPORTS"),
    "no_sink": bytes([NO_SINK]) + feed(packet(DOWN, 7, 7)) + TOGGLE_SINK + feed(packet(UP, 7, 7)),
    "capture": bytes([DEFAULTS]) + request("ARM_CAPTURE")
    + feed(packet(MOVE, 1, 1) + packet(UP, 2, 2) + packet(DOWN, 3, 3) + packet(MOVE, 4, 4) + packet(UP, 5, 6))
    + request("GET_CAPTURE") + request("ARM_CAPTURE"),
    "armed_at_start": bytes([ARMED]) + feed(packet(DOWN, 1000, 1000) + packet(UP, 1000, 1000)),
    "read_failure": bytes([DEFAULTS]) + feed(packet(DOWN, 8, 8)[:5]) + FAIL + feed(packet(DOWN, 8, 8)[5:])
    + ZERO_READ + feed(packet(UP, 8, 8)),
    "reversed_bounds": bytes([DEFAULTS]) + request("SET_CALIBRATION", 1500, 0, 500, 2048, 0, 0)
    + feed(packet(MOVE, 1000, 1000) + packet(MOVE, 1501, 0)),
    "equal_bounds": bytes([DEFAULTS]) + request("SET_CALIBRATION", 500, 500, 500, 500, 0, 0)
    + feed(packet(MOVE, 500, 501)),
    "wide_bounds": bytes([DEFAULTS]) + request("SET_CALIBRATION", 0, 0, 0xFFFFFFFF, 0x10000, 0, 0)
    + feed(packet(MOVE, 0xFFFF, 0xFFFF) + packet(MOVE, 1, 0xFFFE)),
    # A reload reads the key from the bytes after the request: kind 0 is a
    # 4-byte word, 2 absent.
    "reload": bytes([DEFAULTS]) + request("RELOAD_PARAMETERS")
    + b"".join([bytes([0]) + struct.pack("<I", v) for v in (2, 100, 100, 0, 5, 0x10800, 7, 0, 0, 999, 20, 0, 0, 1, 9, 3)])
    + feed(packet(DOWN, 100, 100)),
    "load_at_start": bytes([1]) + bytes([0]) + struct.pack("<I", 1) + bytes([3, 5]) + feed(packet(DOWN, 4, 4)),
}

# --- fuzz_control: pick, flags, in length, out length, input ------------------
def ctl(name, inp=b"", out=0, flags=0, inlen=None):
    n = len(inp) if inlen is None else inlen
    return bytes([CODES.index(name), flags, n, out]) + inp


def raw(code, out=0):
    return bytes([0xC0]) + struct.pack("<I", code) + bytes([0, 0, out])


control = {
    "capture_short": ctl("GET_CAPTURE", out=8),
    "arm_poll": ctl("ARM_CAPTURE") + ctl("GET_CAPTURE", out=12) + ctl("ARM_CAPTURE") + ctl("ARM_CAPTURE"),
    "equal_bounds": ctl("SET_CALIBRATION", struct.pack("<8i", 500, 0, 500, 2048, 0, 0, 0, 0)),
    "calibration_short": ctl("SET_CALIBRATION", struct.pack("<5i", 1, 2, 3, 4, 5)),
    "beep_fallbacks": ctl("SET_BEEP", struct.pack("<3I", 1, 800, 10)) + ctl("GET_BEEP", out=12)
    + ctl("SET_BEEP", struct.pack("<3I", 5, 3000, 100)) + ctl("GET_BEEP", out=16),
    "button_mode_2": ctl("SET_BUTTON_MODE", struct.pack("<I", 2)) + ctl("GET_BUTTON_MODE", out=4),
    "mouse_mode": ctl("SET_MOUSE_MODE", struct.pack("<I", 7)) + ctl("GET_MOUSE_MODE", out=3)
    + ctl("GET_MOUSE_MODE", out=4),
    "reports": ctl("DISABLE_REPORTS") + ctl("DISABLE_REPORTS") + ctl("ENABLE_REPORTS"),
    "unknown_and_reserved": raw(0xF2404, 4) + ctl("RESERVED_910") + ctl("RESERVED_99F", out=16),
    "shared_buffer": ctl("SET_BEEP", struct.pack("<3I", 2, 2500, 64), out=12, flags=4) + ctl("GET_LAST_REPORT", out=12, flags=4),
    "null_buffers": ctl("GET_BEEP", out=12, flags=2) + ctl("SET_MOUSE_MODE", b"\1\0\0\0", flags=1),
    "reload_test_beep": ctl("RELOAD_PARAMETERS") + ctl("TEST_BEEP", out=4),
    # Arbitrary words into every setter, inputs and outputs longer than the
    # records, and a code of another device.
    "arbitrary_words": ctl("SET_CALIBRATION", struct.pack("<10I", *[0x9E3779B9 * i & 0xFFFFFFFF for i in range(10)])[:39])
    + ctl("SET_BEEP", struct.pack("<4I", 0xFFFFFFFF, 0x80000000, 0xDEADBEEF, 7), out=39)
    + ctl("SET_BUTTON_MODE", struct.pack("<2I", 0xFFFFFFFE, 1))
    + ctl("SET_MOUSE_MODE", struct.pack("<I", 0xFFFFFFFF))
    + ctl("GET_LAST_REPORT", out=39) + raw(0x220000, 39),
}

# --- fuzz_params: per value kind, then data -----------------------------------
def key(**values):
    out = b""
    for name in PARAMS:
        v = values.get(name)
        if v is None:
            out += bytes([0])
        elif isinstance(v, int):
            out += bytes([1]) + struct.pack("<I", v)
        elif isinstance(v, tuple) and v[0] == "fail":
            out += bytes([3, v[1]])
        else:
            regtype, data = v
            out += bytes([2, regtype, len(data)]) + data
    return out


REG_SZ, REG_BINARY, REG_DWORD, REG_QWORD = 1, 3, 4, 11
params = {
    "empty_key": key(),
    "bounds_cut": key(XLow=0x00010064, XHigh=0x1FFFF),
    "equal_bounds": key(XLow=300, XHigh=300),
    "xpropt": key(XPropt=5, YProp=0),
    "beep_time": key(BeepTime=20) + key(BeepTime=751),
    "beep_time_750": key(BeepTime=750, BeepFreq=5000),
    "beep_freq_999": key(BeepFreq=999),
    "modes": key(ButtonMode=2, MouseMode=4, BeepMode=3),
    "modes_kept": key(ButtonMode=1, MouseMode=3, BeepMode=0xFFFFFFFF),
    "ports": key(Port=0, BeepFreq2=1, BeepTime2=0xFFFFFFFF),
    "port_10": key(Port=10),
    "string_value": key(XLow=(REG_SZ, "1234567890".encode("utf-16-le"))),
    "binary_8": key(BeepMode=(REG_BINARY, b"\1\2\3\4\5\6\7\x08")),
    "qword": key(MouseMode=(REG_QWORD, struct.pack("<Q", 1 << 40))),
    "dword_2_bytes": key(Port=(REG_DWORD, b"\2\0")),
    "dword_as_binary": key(Port=(REG_BINARY, b"\2\0\0\0")),
    "query_fails": key(XLow=100, YHigh=("fail", 0x34), BeepMode=1),
}

# --- fuzz_binding: header, then events (fuzz_binding.cpp) -----------------------
ABSENT, PEND, PARAMS_FIRST, CONNECT = 0x10, 0x20, 0x40, 0x80
FAILS = {"alloc1": 9, "alloc2": 10, "device": 11, "link": 12, "thread": 13, "reference": 14, "devicemap": 15}
EMPTY, TIMEOUT, CANCELLED, DATA_ERROR, DELETE_PENDING = 0, 1, 2, 3, 4


def ev(kind, v=0):
    return bytes([kind | v << 4])


def arrive(data, mode=0):
    out = b""
    while data:
        chunk, data = data[:64], data[64:]
        out += ev(0) + bytes([mode << 6 | len(chunk) - 1]) + chunk
    return out


def fail(status, queued=False):
    return ev(1, status | (8 if queued else 0))


def stuck(status):  # 0: the port mends
    return ev(2, status)


GONE, BACK, BROKEN, PEND_LINE, ANSWER_LINE, FLIP, MISS_CANCEL = range(7)


def port(what):
    return ev(3, what)


def call(name, inp=b"", out=0):
    return ev(4) + bytes([CODES.index(name), len(inp), out]) + inp


def raw_call(code, out=0):
    return ev(4) + bytes([0xF0]) + struct.pack("<I", code) + bytes([0, out])


def values(key_mode=0, **named):
    """Parameters block: name=int (REG_DWORD), name=None (absent),
    name=(kind, bytes) for the other kinds."""
    out = b""
    for name, v in named.items():
        n = PARAMS.index(name)
        if v is None:
            out += bytes([n])
        elif isinstance(v, int):
            out += bytes([n | 2 << 4]) + struct.pack("<I", v)
        else:
            out += bytes([n | v[0] << 4]) + v[1]
    return bytes([len(named) | key_mode << 3]) + out


def reload(block):
    return ev(5) + block


def klass(v, extra=b""):
    return ev(6, v) + extra


CONN, CONN_SHORT, CONN_NULL, CONN_OTHER, DISCONNECT, ENABLE, DISABLE = range(7)


def attributes(out):
    return klass(7, bytes([out]))


def time(v, arg=b""):
    return ev(7, v) + arg


def ms(n):
    return time(0, bytes([n - 1]))


EXPIRE, SECOND, THREADS, DUE, DPCS = (time(v) for v in (1, 2, 3, 4, 5))


def ticks(n):
    return time(6, bytes([n - 1]))


TWO_SECONDS = time(7)
OPEN = THREADS + SECOND  # the thread starts, a second later it opens the port


def alloc(v):
    return ev(9, v)


def meanwhile(step, kind, arg=0, data=b""):
    return ev(10, kind) + bytes([step, arg]) + data


UNLOAD, LOAD = ev(11), ev(14)
CLICK = packet(DOWN, 1024, 1024)


def head(flags=0, fail=None):
    return bytes([flags | (FAILS[fail] if fail else 0)])


binding = {
    # serial link
    "opens_and_reads": head() + OPEN,
    "line_settings_pend": head(PEND) + OPEN + port(ANSWER_LINE) + THREADS,
    "line_settings_fail": head() + alloc(6) + OPEN,
    "absent_port_reload_renames": head(ABSENT) + OPEN + SECOND + call("GET_BEEP", out=12)
    + reload(values(Port=(13, b"\3"))) + port(BACK) + SECOND,
    "port_without_digit": head(PARAMS_FIRST) + values(Port=0) + OPEN + reload(values(Port=10)) + SECOND,
    "read_request_missing": head() + alloc(4) + OPEN + SECOND,
    "buffered_before_open": head(CONNECT) + arrive(CLICK, 2) + OPEN,
    "packet_after_open": head(CONNECT) + OPEN + arrive(CLICK),
    "lift_off_beeps": head(CONNECT) + OPEN + arrive(packet(UP, 1024, 1024)),
    "capture_without_class": head() + OPEN + call("ARM_CAPTURE") + arrive(packet(DOWN, 300, 400) + packet(UP, 310, 410))
    + call("GET_CAPTURE", out=12),
    "errors_mid_packet": head(CONNECT) + OPEN + arrive(packet(MOVE, 100, 100)[:4], 2) + fail(DATA_ERROR, True)
    + arrive(packet(MOVE, 100, 100)[4:] + packet(MOVE, 1024, 512)[:5], 2) + fail(EMPTY, True) + fail(CANCELLED, True)
    + arrive(packet(MOVE, 1024, 512)[5:] + packet(MOVE, 1024, 512)),
    "one_completion_per_byte": head(CONNECT) + OPEN + arrive(packet(MOVE, 1024, 1024), 1),
    "long_burst": head(CONNECT) + OPEN + arrive(b"".join(packet(MOVE, 1 + i * 97, i % 7 + 1) for i in range(30))),
    "stuck_port_recovers": head(CONNECT) + OPEN + arrive(packet(MOVE, 100, 100)[:4]) + stuck(CANCELLED) + ticks(50)
    + stuck(0) + arrive(packet(MOVE, 1024, 512), 2) + ticks(1) + fail(DATA_ERROR, True) * 7 + arrive(CLICK),
    "broken_port_reopened": head(CONNECT) + OPEN + ms(200) + port(BROKEN) + ticks(200) + TWO_SECONDS + arrive(CLICK),
    "port_gone_and_back": head(CONNECT) + OPEN + port(GONE) + ticks(200) + SECOND + SECOND + port(BACK)
    + TWO_SECONDS + arrive(CLICK) + UNLOAD,
    # lifecycle
    "load_unload": head(),
    "devicemap_write_fails": head(fail="devicemap") + call("GET_BEEP", out=12),
    "load_path_copy_fails": head(fail="alloc1"),
    "load_parameters_path_fails": head(fail="alloc2"),
    "load_key_denied": head(PARAMS_FIRST) + values(key_mode=2),
    "load_key_path_missing": head(PARAMS_FIRST) + values(key_mode=3),
    "load_value_fails": head(PARAMS_FIRST) + values(BeepFreq=(12, b"")),
    "load_device_fails": head(fail="device"),
    "load_link_fails": head(fail="link"),
    "load_thread_fails": head(fail="thread"),
    "defaults": head() + call("GET_BEEP", out=16),
    "odd_values": head(PARAMS_FIRST) + values(Port=2, XLow=0x00010064, XPropt=5, BeepTime=20, MouseMode=4, BeepMode=0,
                                              ButtonMode=(8, b"1\0\0\0"), BeepFreq=(10, struct.pack("<4I", 3000, 0, 0, 0)),
                                              YHigh=(11, b"\x10\0")) + call("GET_BEEP", out=12),
    "reload_without_memory": head() + call("SET_BUTTON_MODE", struct.pack("<I", 1)) + alloc(0)
    + reload(values()) + call("GET_BUTTON_MODE", out=4),
    "failed_reload": head(PARAMS_FIRST) + values(Port=4) + call("SET_BUTTON_MODE", struct.pack("<I", 1))
    + reload(values(Port=(12, b""))) + call("GET_BUTTON_MODE", out=4),
    "test_beep_before_port": head() + call("TEST_BEEP") + EXPIRE,
    "second_beep_replaces": head() + call("TEST_BEEP") + call("SET_BEEP", struct.pack("<3I", 1, 3000, 100))
    + call("TEST_BEEP") + EXPIRE,
    "unload_port_never_opened": head(ABSENT) + OPEN + SECOND + UNLOAD,
    "unload_before_thread_ran": head() + UNLOAD,
    "unload_while_retrying": head(ABSENT) + OPEN + port(BACK) + UNLOAD,
    "unload_read_outstanding": head() + OPEN + UNLOAD + LOAD + OPEN,
    "unload_cancel_missed": head() + OPEN + port(MISS_CANCEL) + UNLOAD,
    "unload_during_beep": head() + OPEN + call("TEST_BEEP") + UNLOAD,
    "unload_silencing_dpc_queued": head() + call("TEST_BEEP") + DUE + UNLOAD,
    "unload_after_tone": head() + call("TEST_BEEP") + EXPIRE + UNLOAD,
    "unload_meanwhile_packet": head(CONNECT) + OPEN + meanwhile(3, 0, 9, packet(UP, 1024, 1024)) + UNLOAD,
    "unload_meanwhile_retry_due": head(CONNECT) + OPEN + port(BROKEN) + meanwhile(2, 2) + UNLOAD,
    "unload_meanwhile_retry_queued": head(CONNECT) + OPEN + port(BROKEN) + DUE + meanwhile(1, 2) + UNLOAD,
    "unload_meanwhile_given_up": head(CONNECT) + OPEN + port(BROKEN) + EXPIRE * 110 + meanwhile(2, 3) + UNLOAD,
    "unload_meanwhile_line_settings": head(PEND) + OPEN + meanwhile(1, 3) + UNLOAD,
    "no_thread_to_wait_for": head(fail="reference") + UNLOAD,
    # dispatch
    "file_requests": head() + klass(9) + klass(10) + klass(11) + klass(12),
    "internal_without_class": head() + klass(DISCONNECT) + klass(ENABLE) + klass(DISABLE)
    + klass(8, struct.pack("<I", 0xF0007) + b"\x0c"),
    "short_connect": head() + klass(CONN_SHORT) + klass(CONN_NULL) + klass(CONN),
    "second_connect": head(CONNECT) + klass(CONN_OTHER) + klass(DISCONNECT) + OPEN + arrive(packet(MOVE, 1024, 1024)),
    "query_attributes": head() + attributes(8) + attributes(16),
    "control_codes": head() + call("GET_CAPTURE", out=8) + call("GET_BEEP", out=16)
    + call("SET_CALIBRATION", struct.pack("<8I", 500, 0, 500, 2048, 7, 8, 0, 0)) + raw_call(0xF2404, 4)
    + call("RESERVED_910") + call("GET_LAST_REPORT", out=12),
    "reports_around_the_link": head(CONNECT) + call("DISABLE_REPORTS") + OPEN + call("DISABLE_REPORTS")
    + arrive(packet(MOVE, 1024, 1024)) + call("ENABLE_REPORTS") + arrive(packet(MOVE, 1024, 1024)),
}

# Packets, event heads and request heads the mutations can splice in.
dictionary = [packet(s, x, y) for s, x, y in ((DOWN, 1024, 1024), (MOVE, 300, 400), (UP, 2047, 1))]
dictionary += [bytes(HEADER), arrive(b"\0")[:2], bytes([0x40 | 9]), ticks(120)[:2], TWO_SECONDS, SECOND,
               port(GONE), port(BACK), port(BROKEN), stuck(CANCELLED), UNLOAD + LOAD, meanwhile(0, 0)[:2]]
dictionary += [call(name)[:2] for name in CODES]

with open(os.path.join(HERE, "fuzz_binding.dict"), "w") as f:
    f.write("# Packets, event and request heads (tests/fuzz/make_seeds.py).\n")
    for i, d in enumerate(dictionary):
        f.write('e%d="%s"\n' % (i, "".join("\\x%02X" % b for b in d)))

for target, cases in (("fuzz_touch", touch), ("fuzz_control", control), ("fuzz_params", params),
                      ("fuzz_binding", binding)):
    folder = os.path.join(HERE, "corpus", target)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for name, data in cases.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    print(f"{target}: {len(cases)} seeds")
