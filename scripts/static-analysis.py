#!/usr/bin/env python3
"""clang-tidy and cppcheck over the sources; fails on findings that are not
accepted in scripts/static-baseline.txt.

    scripts/static-analysis.py [--no-tidy] [--no-cppcheck] [--jobs N]

clang-tidy reads the compile commands of two configure-only trees:
build/tidy (the Linux host: core, driver binding on the kernel stand-in,
program logic, tools) and build/tidy-win32 (what only Windows compiles:
the kernel binding on the DDK, the Win32 shells), the latter with the
mingw target. Test sources are left to cppcheck. Results are cached per
file in build/static/ against the file, its command, every project header
and .clang-tidy.

A finding is accepted in place (NOLINT / cppcheck-suppress with the reason)
or, for a file whose owner has yet to act, by a baseline line
"tool path check  # reason".
"""
import argparse
import concurrent.futures
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build")
SOURCE_DIRS = ["common", "driver", "tools", "calib", "applet", "altclick", "setup"]
TIDY = shutil.which("clang-tidy-14") or shutil.which("clang-tidy")
CPPCHECK = shutil.which("cppcheck")
TIDY_LINE = re.compile(r"^(/[^:]+):(\d+):(\d+): (warning|error): (.*) \[([\w.,-]+)\]$")
CPPCHECK_LINE = re.compile(r"^([^:]+):(\d+): (\w+): (\w+): (.*)$")


def rel(path):
    return os.path.relpath(os.path.realpath(path), ROOT)


def is_test(path):
    # The kernel stand-in (driver/tests/kstub) is test equipment too.
    parts = path.split(os.sep)
    return "tests" in parts


def mingw_cxx_includes():
    """The C++ library headers of mingw-w64's g++, which clang does not find
    in Debian's versioned folder (12-win32) by itself."""
    r = subprocess.run(["i686-w64-mingw32-g++", "-E", "-x", "c++", "-", "-v"], input="", text=True,
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    dirs, inside = [], False
    for line in r.stdout.splitlines():
        if line.startswith("#include <...>"):
            inside = True
        elif line.startswith("End of search list"):
            break
        elif inside and "/include/c++" in line:
            dirs.append(os.path.normpath(line.strip()))
    return [f"-isystem{d}" for d in dirs]


def configure(tree, extra):
    cmd = ["cmake", "-S", ROOT, "-B", os.path.join(BUILD, tree), "-DCMAKE_EXPORT_COMPILE_COMMANDS=ON",
           "-DOVT_WINE_TESTS=OFF"] + extra
    r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if r.returncode != 0:
        print(r.stdout[-3000:])
        raise SystemExit(f"configure of build/{tree} failed")
    with open(os.path.join(BUILD, tree, "compile_commands.json")) as f:
        return json.load(f)


def headers_digest():
    h = hashlib.sha1()
    for top in SOURCE_DIRS + ["tests"]:
        for dirpath, _, files in sorted(os.walk(os.path.join(ROOT, top))):
            for name in sorted(files):
                if name.endswith((".h", ".hpp")):
                    with open(os.path.join(dirpath, name), "rb") as f:
                        h.update(name.encode() + f.read())
    with open(os.path.join(ROOT, ".clang-tidy"), "rb") as f:
        h.update(f.read())
    return h.hexdigest()


def tidy_one(job):
    path, db_dir, extra, cache_dir, digest, command = job
    h = hashlib.sha1((digest + command + " ".join(extra)).encode())
    with open(os.path.join(ROOT, path), "rb") as f:
        h.update(f.read())
    cached = os.path.join(cache_dir, h.hexdigest())
    if os.path.exists(cached):
        with open(cached) as f:
            return path, f.read()
    cmd = [TIDY, "--quiet", "-p", db_dir] + [f"--extra-arg={a}" for a in extra] + [os.path.join(ROOT, path)]
    r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, cwd=ROOT)
    out = r.stdout
    if r.returncode != 0 and not TIDY_LINE.search(out):
        out += f"\n{ROOT}/{path}:1:1: error: clang-tidy failed (exit {r.returncode}) [clang-tidy-failure]\n"
    with open(cached, "w") as f:
        f.write(out)
    return path, out


def run_tidy(jobs):
    host = configure("tidy", ["-DCMAKE_BUILD_TYPE=RelWithDebInfo"])
    win = configure("tidy-win32", ["-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(ROOT, "cmake", "mingw-i686.cmake"),
                                   "-DCMAKE_BUILD_TYPE=MinSizeRel"])
    cache_dir = os.path.join(BUILD, "static", "tidy-cache")
    os.makedirs(cache_dir, exist_ok=True)
    digest = headers_digest()
    work, seen = [], set()
    for db, tree, extra in ((host, "tidy", []), (win, "tidy-win32", ["--target=i686-w64-mingw32"] + mingw_cxx_includes())):
        for entry in db:
            path = rel(os.path.join(entry["directory"], entry["file"]))
            if path.startswith("..") or path.startswith("build") or is_test(path) or path in seen:
                continue
            if not path.endswith((".cpp", ".c")):
                continue
            seen.add(path)
            command = entry.get("command") or " ".join(entry.get("arguments", []))
            work.append((path, os.path.join(BUILD, tree), extra, cache_dir, digest, command))
    findings = set()
    with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
        for path, out in pool.map(tidy_one, work):
            for line in out.splitlines():
                m = TIDY_LINE.match(line)
                if not m:
                    continue
                where = rel(m.group(1))
                if where.startswith(".."):
                    continue
                for check in m.group(6).split(","):
                    findings.add(("clang-tidy", where, check, int(m.group(2)), m.group(5)))
    print(f"clang-tidy: {len(work)} files")
    return findings


def run_cppcheck(jobs):
    dirs = [d for d in SOURCE_DIRS + ["tests"] if os.path.isdir(os.path.join(ROOT, d))]
    cmd = [CPPCHECK, "-q", f"-j{jobs}", "--enable=warning,performance,portability", "--inline-suppr",
           "--std=c++17", "--language=c++", "--library=googletest", "--library=windows",
           "--suppressions-list=" + os.path.join(ROOT, "scripts", "cppcheck-suppressions.txt"),
           "--template={file}:{line}: {severity}: {id}: {message}", "-I.", "-Idriver"] + dirs
    r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, cwd=ROOT)
    findings = set()
    for line in r.stdout.splitlines():
        m = CPPCHECK_LINE.match(line)
        if m:
            findings.add(("cppcheck", rel(os.path.join(ROOT, m.group(1))), m.group(4), int(m.group(2)), m.group(5)))
        elif line.strip():
            print(f"cppcheck: {line}")
    print(f"cppcheck: {', '.join(dirs)}")
    return findings


def load_baseline():
    accepted = {}
    with open(os.path.join(ROOT, "scripts", "static-baseline.txt")) as f:
        for raw in f:
            line, _, reason = raw.partition("#")
            fields = line.split()
            if len(fields) == 3:
                accepted[tuple(fields)] = reason.strip()
    return accepted


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--no-tidy", action="store_true")
    ap.add_argument("--no-cppcheck", action="store_true")
    ap.add_argument("--jobs", type=int, default=2)
    args = ap.parse_args()

    findings = set()
    if not args.no_cppcheck:
        findings |= run_cppcheck(args.jobs)
    if not args.no_tidy:
        findings |= run_tidy(args.jobs)
    accepted = load_baseline()
    new = 0
    used = set()
    for tool, path, check, line, message in sorted(findings):
        key = (tool, path, check)
        if key in accepted:
            used.add(key)
            print(f"accepted {tool} {path}:{line} [{check}] {message}")
        else:
            new += 1
            print(f"NEW      {tool} {path}:{line} [{check}] {message}")
    ran = {t for t, on in (("clang-tidy", not args.no_tidy), ("cppcheck", not args.no_cppcheck)) if on}
    for key in sorted(k for k in set(accepted) - used if k[0] in ran):
        print(f"stale baseline line (fixed? remove it): {' '.join(key)}")
    print(f"static analysis: {len(findings)} findings, {len(findings) - new} accepted, {new} new")
    return 1 if new else 0


if __name__ == "__main__":
    sys.exit(main())
