#!/usr/bin/env python3
"""The ReactOS tier's host: boots the shipped i686 package on ReactOS under
QEMU, plays the touch controller on COM2 at 9600 baud, reads the kernel debug
log on COM3 as the agent's channel, records the speaker, takes screenshots
and resets where a restart is needed.

  rx.py run DIST AGENT RUNDIR          the scenario boots (plan below)
  rx.py poweron DIST AGENT RUNDIR      power-on feeding, OVT_REACTOS_POWERON_BOOTS boots
  rx.py result SCENARIO RUNDIR         exit 0 PASS, 1 FAIL: one CTest test each

Image: OVT_REACTOS_IMAGE, else ../shared/reactos/reactos-base.img.xz beside
the repository. Results: RUNDIR/results ("SCENARIO PASS|FAIL|SKIP text"),
RUNDIR/log, RUNDIR/figures; screenshots artifacts/reactos-<step>.png.
"""
import math
import os
import random
import re
import socket
import struct
import subprocess
import sys
import threading
import time
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
ARTIFACTS = os.path.join(REPO, "artifacts")
BAUD_BYTES = 960.0  # 9600 baud, 8N1
COM2_BASE = 0x2F8
# The driver ends a beep with a kernel timer, which fires on the clock tick
# (10 ms on this system, 10 to 15.6 ms on Windows 2000): a length is good
# to the 5 ms asked plus one tick.
BEEP_LENGTH_SLACK_MS = 5 + 10
FONT = "/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc"

# One line per boot: the agent's subcommands for that boot. The last word
# says how the boot ends: "reset" (flush, the host resets) or "halt".
# OVT_REACTOS_PLAN ("line;line") runs another plan while working on one.
PLAN = [
    "font reset",  # the CJK font is read at boot: the wizard's texts need it at once
    "install reset",
    "firstboot modes pace sound altclick applet fielddiag reset",  # fielddiag: one step a boot
    "fielddiag uninstall reset",
    "uninstalled fielddiag halt",
]
SCENARIOS = ["install", "firstboot", "modes", "pace", "sound", "altclick", "applet", "uninstall",
             "uninstalled", "fielddiag", "screenshots"]
# Kernel debugger prompts and bug checks end the run at once.
FATAL = re.compile(r"kdb:>|\*\*\* Fatal System Error|KeBugCheck|BUGCHECK|Terminating critical process")


def image_path():
    p = os.environ.get("OVT_REACTOS_IMAGE") or os.path.join(os.path.dirname(REPO), "shared", "reactos",
                                                           "reactos-base.img.xz")
    return p


def packet(status, x, y, damaged=False):
    b = [0x55, 0x54, status, x & 0xFF, (x >> 8) & 0xFF, y & 0xFF, (y >> 8) & 0xFF, 0, 0]
    b.append((0x53 + sum(b[2:9]) + (1 if damaged else 0)) & 0xFF)
    return bytes(b)


def noise(rng, n=7):
    return bytes(rng.choice([v for v in range(256) if v != 0x55]) for _ in range(n))


def ppm_to_png(src, dst):
    with open(src, "rb") as f:
        data = f.read()
    m = re.match(rb"P6\s+(\d+)\s+(\d+)\s+(\d+)\s", data)
    if not m:
        raise ValueError("not a PPM: " + src)
    w, h = int(m.group(1)), int(m.group(2))
    px = data[m.end():m.end() + w * h * 3]
    raw = b"".join(b"\0" + px[y * w * 3:(y + 1) * w * 3] for y in range(h))

    def chunk(t, d):
        return struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d) & 0xFFFFFFFF)
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b"")
    with open(dst, "wb") as f:
        f.write(png)
    # A blank capture has one colour.
    return len(set(px[i:i + 3] for i in range(0, len(px), 3 * 97))) > 2


class Fatal(Exception):
    pass


class Machine:
    """One QEMU process on one disk copy; survives resets."""

    def __init__(self, rundir, img, log):
        self.dir, self.img, self.log = rundir, img, log
        self.lines = []          # (host time, text) of every COM3 line
        self.cond = threading.Condition()
        self.fatal = None
        self.qemu = None
        self.com2 = None
        self.com2_lock = threading.Lock()
        self.sent = []           # (host time of the last byte, packet) of every packet written

    def path(self, name):
        return os.path.join(self.dir, name)

    def start(self):
        for s in ("com2.sock", "com3.sock", "monitor.sock"):
            if os.path.exists(self.path(s)):
                os.unlink(self.path(s))
        cmd = ["qemu-system-i386", "-accel", "tcg", "-m", "1024", "-smp", "1",
               "-drive", "file=%s,format=raw,if=ide,index=0" % self.img,
               "-serial", "null", "-serial", "unix:%s,server=on,wait=off" % self.path("com2.sock"),
               "-serial", "unix:%s,server=on,wait=on" % self.path("com3.sock"),
               # The speaker's samples follow the audio timer: 1 ms, not 10.
               "-audiodev", "wav,id=snd0,path=%s,timer-period=1000" % self.path("speaker.wav"),
               "-machine", "pc,pcspk-audiodev=snd0", "-display", "none", "-vga", "std",
               "-monitor", "unix:%s,server=on,wait=off" % self.path("monitor.sock"),
               "-rtc", "base=localtime", "-no-shutdown"]
        self.qemu = subprocess.Popen(cmd, stdout=open(self.path("qemu.out"), "ab"), stderr=subprocess.STDOUT)
        com3 = self._connect("com3.sock")
        threading.Thread(target=self._reader, args=(com3,), daemon=True).start()
        self.com2 = self._connect("com2.sock")
        self.t0 = time.monotonic()

    def _connect(self, name):
        for _ in range(200):
            try:
                s = socket.socket(socket.AF_UNIX)
                s.connect(self.path(name))
                return s
            except OSError:
                if self.qemu.poll() is not None:
                    raise Fatal("qemu exited: " + open(self.path("qemu.out"), errors="replace").read()[-500:])
                time.sleep(0.05)
        raise Fatal("no " + name)

    def _reader(self, s):
        buf = b""
        with open(self.path("debug.log"), "ab") as out:
            while True:
                try:
                    d = s.recv(4096)
                except OSError:
                    d = b""
                now = time.monotonic()
                if not d:
                    break
                out.write(d)
                out.flush()
                buf += d
                while b"\n" in buf:
                    line, buf = buf.split(b"\n", 1)
                    text = line.decode("latin-1").rstrip("\r")
                    with self.cond:
                        if FATAL.search(text) and not self.fatal:
                            self.fatal = text
                        self.lines.append((now, text))
                        self.cond.notify_all()
                if FATAL.search(buf.decode("latin-1")):  # a prompt ends without a newline
                    with self.cond:
                        self.fatal = self.fatal or buf.decode("latin-1")
                        self.cond.notify_all()
        with self.cond:
            self.fatal = self.fatal or "debug channel closed"
            self.cond.notify_all()

    def tail(self, n=25):
        with self.cond:
            return "\n".join(t for _, t in self.lines[-n:])

    def monitor(self, command):
        s = socket.socket(socket.AF_UNIX)
        s.settimeout(10)
        s.connect(self.path("monitor.sock"))
        s.sendall(command.encode() + b"\n")
        time.sleep(0.3)
        try:
            out = s.recv(65536)
        except OSError:
            out = b""
        s.close()
        return out.decode("latin-1")

    def port_byte(self, port):
        m = re.search(r"\[0x0*%x\] = (0x[0-9a-f]+)" % port, self.monitor("i /b 0x%x" % port))
        return int(m.group(1), 16) if m else None

    def shot(self, name):
        ppm = self.path("shot.ppm")
        if os.path.exists(ppm):
            os.unlink(ppm)
        self.monitor("screendump " + ppm)
        for _ in range(50):
            if os.path.exists(ppm) and os.path.getsize(ppm) > 800 * 600:
                break
            time.sleep(0.1)
        time.sleep(0.2)
        os.makedirs(ARTIFACTS, exist_ok=True)
        return ppm_to_png(ppm, os.path.join(ARTIFACTS, "reactos-%s.png" % name))

    def write_paced(self, chunks):
        """Writes (bytes, is_packet) chunks at 960 bytes a second; records
        the host time each packet's last byte went out."""
        with self.com2_lock:
            t = time.monotonic()
            for data, is_packet in chunks:
                for b in data:
                    t += 1.0 / BAUD_BYTES
                    delay = t - time.monotonic()
                    if delay > 0:
                        time.sleep(delay)
                    else:
                        t = time.monotonic()
                    self.com2.sendall(bytes([b]))
                if is_packet:
                    self.sent.append((time.monotonic(), data))

    def stop(self):
        if self.qemu and self.qemu.poll() is None:
            try:
                self.monitor("quit")
                self.qemu.wait(10)
            except Exception:
                self.qemu.kill()
                self.qemu.wait()


def mtools(img, *cmds):
    rc = os.path.join(os.path.dirname(img), "mtoolsrc")
    with open(rc, "w") as f:
        f.write('drive c: file="%s" offset=1048576\nmtools_skip_check=1\n' % img)
    env = dict(os.environ, MTOOLSRC=rc)
    for c in cmds:
        r = subprocess.run(c, env=env, capture_output=True)
        if r.returncode != 0:
            raise Fatal("%s: %s" % (" ".join(c), r.stderr.decode(errors="replace").strip()))
        yield r.stdout


def mrun(img, *cmds):
    return list(mtools(img, *cmds))


def base_image(rundir):
    """The decompressed image, shared by the runs of one build directory."""
    src = image_path()
    if not os.path.isfile(src):
        raise Fatal("ReactOS image missing: %s (set OVT_REACTOS_IMAGE)" % src)
    base = os.path.join(os.path.dirname(os.path.abspath(rundir)), "reactos-base.img")
    if not os.path.exists(base) or os.path.getmtime(base) < os.path.getmtime(src):
        xz = subprocess.Popen(["xz", "-dc", src], stdout=subprocess.PIPE)
        subprocess.run(["cp", "--sparse=always", "/dev/stdin", base + ".tmp"], stdin=xz.stdout, check=True)
        if xz.wait() != 0:
            raise Fatal("ReactOS image %s does not decompress" % src)
        os.replace(base + ".tmp", base)
    return base


def prepare(rundir, dist, agent, plan, extra=()):
    img = os.path.join(rundir, "run.img")
    subprocess.run(["cp", "--sparse=always", base_image(rundir), img], check=True)
    pkg = [os.path.join(dist, f) for f in sorted(os.listdir(dist))]
    planfile = os.path.join(rundir, "plan.txt")
    with open(planfile, "w", newline="\r\n") as f:
        f.write("\n".join(plan) + "\n")
    start = os.path.join(rundir, "start.cmd")
    with open(start, "w", newline="\r\n") as f:
        f.write("@echo off\nC:\\ovt\\ovtrx.exe auto\n")
    cmds = [["mmd", "c:/ovt", "c:/ovt/pkg"],
            ["mcopy", "-o", agent, "c:/ovt/ovtrx.exe"],
            ["mcopy", "-o", start, planfile, "c:/ovt/"],
            ["mcopy", "-o"] + pkg + ["c:/ovt/pkg/"]]
    if os.path.isfile(FONT):
        cmds.append(["mcopy", "-o", FONT, "c:/ReactOS/Fonts/wqy-zenhei.ttc"])
    cmds += list(extra)
    mrun(img, *cmds)
    return img


class Run:
    def __init__(self, rundir, scenarios):
        self.dir = rundir
        self.checks = {s: [] for s in scenarios}
        self.figures = []
        self.logf = open(os.path.join(rundir, "log"), "w")

    def say(self, text):
        self.logf.write(text + "\n")
        self.logf.flush()

    def check(self, scenario, ok, text):
        self.checks.setdefault(scenario, []).append((ok, text))
        self.say("[%s] %s %s" % (scenario, "PASS" if ok else "FAIL", text))

    def figure(self, text):
        self.figures.append(text)
        self.say("FIGURE " + text)

    def write(self, skip=()):
        with open(os.path.join(self.dir, "results"), "w") as f:
            for s, cs in self.checks.items():
                if not cs:
                    f.write("%s FAIL did not run\n" % s)
                else:
                    bad = [t for ok, t in cs if not ok]
                    f.write("%s %s %d checks%s\n" % (s, "FAIL" if bad else "PASS", len(cs),
                                                    (": " + "; ".join(bad[:5])) if bad else ""))
        with open(os.path.join(self.dir, "figures"), "w") as f:
            f.write("\n".join(self.figures) + "\n")


class Driver:
    """Answers the agent's requests until the plan's last boot ends."""

    def __init__(self, m, run, plan, feeder=None):
        self.m, self.run, self.plan, self.feeder = m, run, plan, feeder
        self.pos = 0             # next COM3 line to look at
        self.rng = random.Random(16)
        self.sync = []           # (host arrival, guest microseconds)
        self.marks = {}
        self.bursts = []
        self.wq_boots = set()     # boots whose kernel log reported a work queue deadlock
        self.pace_times = []     # guest microseconds each burst packet reached the agent
        self.scenario = None
        self.sounds = []

    def next_line(self, timeout):
        end = time.monotonic() + timeout
        with self.m.cond:
            while self.pos >= len(self.m.lines):
                if self.m.fatal:
                    raise Fatal("guest stopped: %s" % self.m.fatal)
                left = end - time.monotonic()
                if left <= 0:
                    return None
                self.m.cond.wait(min(left, 1.0))
            line = self.m.lines[self.pos]
            self.pos += 1
            return line

    def serve(self, boot_timeout=420, quiet_timeout=180):
        boot = 0
        boot_start = time.monotonic()
        last = time.monotonic()
        scenario = "boot"
        while True:
            line = self.next_line(5)
            now = time.monotonic()
            if line is None:
                if now - last > quiet_timeout or now - boot_start > boot_timeout:
                    self.hang("no word from the agent for %d s in boot %d (%s)" % (now - last, boot + 1, scenario))
                continue
            t, text = line
            if "Work Queue Deadlock" in text:
                self.wq_boots.add(boot)
            if "Unhandled exception" in text or "referenced memory at" in text:
                self.run.check(scenario, False, "a program crashed in the guest: " + text.strip()[:160])
            i = text.find("OVTRX ")
            if i < 0:
                continue
            last = now
            words = text[i + 6:].split(" ")
            verb, args = words[0], words[1:]
            if verb == "BEGIN":
                scenario = self.scenario = args[0]
                self.run.say("== boot %d: %s" % (boot + 1, scenario))
            elif verb == "CHECK":
                note, ok = "", args[1] == "PASS"
                if args[0] == "poweron" and args[2] in ("alive", "dead"):
                    note = " (boot %d; kernel log %s \"Work Queue Deadlock\")" % (
                        boot + 1, "has" if boot in self.wq_boots else "without")
                if args[0] == "poweron" and args[2] == "dead":
                    ok, why = self.serial_fault(" ".join(args))
                    note += "; " + why
                self.run.check(args[0], ok, " ".join(args[2:]) + note)
            elif verb == "FIGURE":
                self.run.figure(" ".join(args))
            elif verb == "PACE":
                self.pace_times[int(args[0]):] = [int(v) for v in args[1:]]
            elif verb == "SYNC":
                self.sync.append((t, int(args[0])))
            elif verb == "REQ":
                self.request(scenario, args)
            elif verb == "END":
                self.run.say("boot %d ends: %s (%.0f s)" % (boot + 1, args[0], now - boot_start))
                if args[0] != "reset":
                    return
                time.sleep(2)
                self.m.monitor("system_reset")
                boot += 1
                boot_start = last = time.monotonic()
            else:
                self.run.say("agent: " + text[i:])

    def serial_fault(self, text):
        """A dead boot is this ReactOS build's serial fault, not the driver's,
        when the driver holds COM2 and the UART sits on received data with
        its interrupt raised while the system never takes it (seen in the
        same way with no touch driver at all, a program reading COM2)."""
        lsr, iir = self.m.port_byte(COM2_BASE + 5), self.m.port_byte(COM2_BASE + 2)
        held = text.endswith("open error 5")
        stuck = lsr is not None and iir is not None and lsr & 1 and not iir & 1
        state = "UART LSR %s IIR %s" % (hex(lsr) if lsr is not None else "?", hex(iir) if iir is not None else "?")
        if held and stuck:
            return True, state + ": data and a raised interrupt never serviced (ReactOS serial fault)"
        return False, state + ": not the known ReactOS serial fault"

    def hang(self, why):
        try:
            self.m.shot("hang")
        except Exception:
            pass
        raise Fatal("%s\n--- debug log tail ---\n%s" % (why, self.m.tail()))

    def request(self, scenario, args):
        verb = args[0]
        if verb == "send":
            # send d600,650 m610,660 u610,660 bad noise: packets and line damage
            chunks = []
            for tok in args[1:]:
                if tok == "noise":
                    chunks.append((noise(self.rng), False))
                elif tok == "bad":
                    chunks.append((packet(0x81, 999, 999, damaged=True), False))
                else:
                    st = {"d": 0x81, "m": 0x82, "u": 0x84}[tok[0]]
                    x, y = tok[1:].split(",")
                    chunks.append((packet(st, int(x), int(y)), True))
            self.m.write_paced(chunks)
        elif verb == "burst":
            # burst N X0 Y0: a down, N-2 moves and an up back to back, each at its own point
            n, x0, y0 = int(args[1]), int(args[2]), int(args[3])
            chunks = []
            for k in range(n):
                st = 0x81 if k == 0 else 0x84 if k == n - 1 else 0x82
                chunks.append((packet(st, x0 + 2 * (k % 700), y0 + 2 * (k // 700) * 7), True))
            first = len(self.m.sent)
            self.m.write_paced(chunks)
            self.bursts.append(self.m.sent[first:])
        elif verb == "shot":
            name = args[1]
            ok = self.m.shot(name)
            self.run.check("screenshots", ok, "reactos-%s.png shows something" % name)
        elif verb == "mark":
            self.marks[args[1]] = os.path.getsize(self.m.path("speaker.wav")) if os.path.exists(
                self.m.path("speaker.wav")) else 0
        elif verb == "pace":
            self.pace(args[1:])
        elif verb == "sound":
            # QEMU writes the track through a buffer: judged after it quits.
            self.sounds.append(args[1:])
        else:
            self.run.say("unknown request: " + " ".join(args))

    def clock(self):
        """Host time of guest microsecond g: the earliest arrival of each
        SYNC line bounds the offset; two groups give the drift."""
        pts = sorted(self.sync, key=lambda p: p[1])
        if len(pts) < 4:
            return None
        half = len(pts) // 2
        a = min(pts[:half], key=lambda p: p[0] - p[1] / 1e6)
        b = min(pts[half:], key=lambda p: p[0] - p[1] / 1e6)
        if b[1] == a[1]:
            return lambda g: a[0] + (g - a[1]) / 1e6
        rate = (b[0] - a[0]) / ((b[1] - a[1]) / 1e6)
        return lambda g: a[0] + (g - a[1]) / 1e6 * rate

    def pace(self, args):
        """After the agent's PACE lines: when the last burst's packets
        reached it, in packet order."""
        burst = self.bursts[-1] if self.bursts else []
        got = self.pace_times
        to_host = self.clock()
        pairs = [(h, g) for (h, _), g in zip(burst, got) if g >= 0]
        self.run.check("pace", len(burst) == 960 and len(got) == len(burst),
                       "the agent timed %d of the %d packets sent" % (len(got), len(burst)))
        if not to_host or not pairs:
            self.run.check("pace", False, "clock synchronised over the channel, packets arrived")
            return
        delays = sorted((to_host(g) - h) * 1000.0 for h, g in pairs)
        med = delays[len(delays) // 2]
        p99 = delays[min(len(delays) - 1, int(math.ceil(0.99 * len(delays))) - 1)]
        span = burst[-1][0] - burst[0][0]
        self.run.figure("pace: %d packets sent in %.2f s (%.1f per s), %d arrived; delay median %.1f ms, p99 %.1f ms, "
                        "max %.1f ms, min %.1f ms; line time 10.4 ms" % (
                            len(burst), span, (len(burst) - 1) / span if span else 0, len(pairs), med, p99,
                            delays[-1], delays[0]))
        self.run.check("pace", p99 < 1000.0, "p99 delay %.1f ms under 1 s" % p99)

    def sound(self, args):
        """sound SCENARIO FROM TO F:T ...: the beeps played between two marks, in order."""
        scenario, args = args[0], args[1:]
        want = [tuple(int(v) for v in a.split(":")) for a in args[2:]]
        wav = self.m.path("speaker.wav")
        # The marks are file sizes, behind by what the writer buffered: the
        # beeps are looked for in order from a little before the first mark
        # to well after the second.
        lo = max(0, self.marks.get(args[0], 0) - 16384)
        hi = self.marks.get(args[1], 0) + 400000
        tones = analyse_wav(wav, lo, hi)
        self.run.say("sound: tones %s, wanted %s" % (tones, want))
        # The wanted sequence among the tones found, in order.
        j = 0
        for f, ms in want:
            while j < len(tones) and abs(tones[j][0] - f) > 0.01 * f:
                j += 1
            if j == len(tones):
                self.run.check(scenario, False, "beep %d Hz %d ms not in the recording" % (f, ms))
                continue
            gf, gms = tones[j]
            j += 1
            self.run.check(scenario, abs(gf - f) <= 0.01 * f and abs(gms - ms) <= BEEP_LENGTH_SLACK_MS,
                           "beep %d Hz %d ms recorded as %.1f Hz %.1f ms" % (f, ms, gf, gms))
            self.run.figure(scenario + ": beep %d Hz %d ms: frequency error %+.2f %%, length error %+.1f ms" % (
                f, ms, (gf - f) * 100.0 / f, gms - ms))


def analyse_wav(path, lo, hi):
    """Tones between byte offsets lo and hi of the speaker track: a list of
    (frequency, milliseconds), cut wherever the period changes."""
    if not os.path.exists(path):
        return []
    with open(path, "rb") as f:
        head = f.read(44)
        f.seek(max(44, lo - lo % 4))
        data = f.read(max(0, hi - lo))
    ch, rate, bits = struct.unpack("<H", head[22:24])[0], struct.unpack("<I", head[24:28])[0], \
        struct.unpack("<H", head[34:36])[0]
    if bits != 16:
        return []
    n = len(data) // (2 * ch)
    s = struct.unpack("<%dh" % (n * ch), data[:n * 2 * ch])[::ch]
    rises = [i for i in range(1, n) if s[i - 1] <= 0 < s[i]]
    tones, start = [], 0
    for k in range(1, len(rises) + 1):
        end = k == len(rises)
        if not end and k - start >= 2:
            p0 = (rises[k - 1] - rises[start]) / (k - 1 - start)
            p = rises[k] - rises[k - 1]
        if end or (k - start >= 2 and abs(p - p0) > max(1.5, 0.05 * p0)) or \
                (k - start == 1 and rises[k] - rises[k - 1] > rate // 50):
            if k - 1 - start >= 3:
                span = rises[k - 1] - rises[start]
                per = span / (k - 1 - start)
                tones.append((rate / per, (span + per) * 1000.0 / rate))
            start = k
    # A beep can be cut where the emulated speaker's stream restarts: one
    # tone is the run of neighbouring pieces at one frequency.
    merged = []
    for f, ms in tones:
        if merged and abs(merged[-1][0] - f) < 0.01 * f:
            pf, pms = merged[-1]
            merged[-1] = ((pf * pms + f * ms) / (pms + ms), pms + ms)
        else:
            merged.append((f, ms))
    return merged


class Feeder(threading.Thread):
    """The controller talking from power-on: a down, a move and an up about
    every two seconds, a damaged packet and noise among them."""

    def __init__(self, m):
        super().__init__(daemon=True)
        self.m, self.stopped = m, False
        self.rng = random.Random(17)

    def run(self):
        k = 0
        while not self.stopped:
            x, y = 400 + k % 1000, 500 + k % 900
            chunks = [(packet(0x81, x, y), True), (noise(self.rng), False), (packet(0x82, x + 5, y + 5), True),
                      (packet(0x84, x + 1, y + 2, damaged=(k % 3 == 2)), True), (packet(0x84, x + 5, y + 5), True)]
            try:
                self.m.write_paced(chunks)
            except OSError:
                return
            k += 1
            time.sleep(2.0)


def cmd_run(dist, agent, rundir, poweron=False):
    os.makedirs(rundir, exist_ok=True)
    rundir = os.path.abspath(rundir)
    for f in ("results", "figures", "log", "debug.log", "speaker.wav", "qemu.out"):
        if os.path.exists(os.path.join(rundir, f)):
            os.unlink(os.path.join(rundir, f))
    if poweron:
        text = os.environ.get("OVT_REACTOS_POWERON_BOOTS", "2")
        boots = int(text) if text.isdigit() else 0
        if boots < 1:
            print("OVT_REACTOS_POWERON_BOOTS must be a whole number of boots, at least 1 (got %r)" % text,
                  file=sys.stderr)
            return 2
        plan = ["register reset"] + ["poweron reset"] * (boots - 1) + ["poweron halt"]
        scenarios = ["poweron"]
    else:
        plan, scenarios = PLAN, SCENARIOS
        if os.environ.get("OVT_REACTOS_PLAN"):  # a shorter run while working on one scenario
            plan = os.environ["OVT_REACTOS_PLAN"].split(";")
        # The power-on run keeps these: it takes none but on a hang.
        for f in os.listdir(ARTIFACTS) if os.path.isdir(ARTIFACTS) else []:
            if f.startswith("reactos-") and f.endswith(".png"):
                os.unlink(os.path.join(ARTIFACTS, f))
    run = Run(rundir, scenarios)
    m = d = None
    start = time.monotonic()
    try:
        for f in ("OVTouch.SYS", "olvaset1.exe"):
            if not os.path.isfile(os.path.join(dist, f)):
                raise Fatal("package incomplete: %s missing in %s (run ./package.sh)" % (f, dist))
        if not os.path.isfile(agent):
            raise Fatal("agent not built: " + agent)
        extra = [["mcopy", "-o", os.path.join(dist, "OVTouch.SYS"),
                  "c:/ReactOS/system32/drivers/OVTouch.sys"]] if poweron else []
        img = prepare(rundir, dist, agent, plan, extra)
        run.say("image ready in %.0f s" % (time.monotonic() - start))
        m = Machine(rundir, img, run)
        m.start()
        feeder = Feeder(m) if poweron else None
        if feeder:
            feeder.start()
        d = Driver(m, run, plan, feeder)
        d.serve(boot_timeout=300 if poweron else 480)
        if feeder:
            feeder.stopped = True
        m.stop()
        for args in d.sounds:
            d.sound(args)
        if poweron:
            dead = sum(1 for ok, t in run.checks["poweron"] if t.startswith("dead"))
            run.figure("power-on: %d dead of %d boots" % (dead, len(plan) - 1))
    except Exception as e:
        if not isinstance(e, Fatal):
            import traceback
            run.say(traceback.format_exc())
        run.say("FATAL " + str(e))
        current = getattr(d, "scenario", None) if d else None
        for s in list(run.checks):
            if not run.checks[s] or s == current:
                run.check(s, False, "run stopped: " + str(e).splitlines()[0])
        print(str(e), file=sys.stderr)
    finally:
        if m:
            m.stop()
        run.say("run took %.0f s" % (time.monotonic() - start))
        run.figure("run time %.0f s" % (time.monotonic() - start))
        run.write()
    # Pull the agent's own log for the record.
    try:
        out = mrun(img, ["mtype", "c:/ovt/agent.log"])[0]
        with open(os.path.join(rundir, "agent.log"), "wb") as f:
            f.write(out)
    except Exception:
        pass
    print(open(os.path.join(rundir, "results")).read() + open(os.path.join(rundir, "figures")).read())
    return 0


def cmd_result(scenario, rundir):
    path = os.path.join(rundir, "results")
    if not os.path.exists(path):
        print("no results: the run did not happen")
        return 1
    lines = [l for l in open(path) if l.split(" ", 1)[0] == scenario]
    if not lines:
        print("scenario %s did not run" % scenario)
        return 1
    print(lines[-1].rstrip())
    for l in open(os.path.join(rundir, "log")):
        if l.startswith("[%s] FAIL" % scenario) or l.startswith("FATAL") or \
                (scenario in ("pace", "sound", "poweron") and l.startswith("FIGURE")):
            print(l.rstrip())
    return 0 if lines[-1].split(" ")[1] == "PASS" else 1


def main(argv):
    if len(argv) >= 4 and argv[0] in ("run", "poweron"):
        return cmd_run(argv[1], argv[2], argv[3], argv[0] == "poweron")
    if len(argv) == 3 and argv[0] == "result":
        return cmd_result(argv[1], argv[2])
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
