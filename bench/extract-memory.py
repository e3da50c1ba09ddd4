#!/usr/bin/python3
"""Peak memory of an extraction: the installer carrying one 256 MiB package (built with
the extraction benchmark) run with --silent --extract, against the same installer's
--silent --version run, which loads the same image and extracts nothing. The figure is the
peak private (anonymous) resident memory of the Wine process on the Linux side, sampled
from /proc every few milliseconds (under an emulator it includes the emulator's own, alike
in both runs): the packages are mapped from the file, so the pages of the package being
read show as the file's, not the process's, and count apart. The peak resident size in
all (ru_maxrss) is printed beside it. The best (lowest) of a few runs each; the difference
is the extraction's own (target: at most 1 MiB)."""
import os
import shutil
import subprocess
import sys
import tempfile
import time

BUILD = os.environ.get("NIMB_BUILD_DIR") or os.path.join(os.path.dirname(__file__), "..", "build")
INSTALLER = os.path.join(BUILD, "bench", "fixtures", "extract-256m.exe")
ROUNDS = 3


def rss_anon_kib(pid):
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith("RssAnon:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def peak_kib(args):
    """Runs Wine with args; returns its peak private resident size and its peak resident
    size in all, in KiB."""
    proc = subprocess.Popen(["wine"] + args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    peak_anon = 0
    while True:
        peak_anon = max(peak_anon, rss_anon_kib(proc.pid))
        pid, status, usage = os.wait4(proc.pid, os.WNOHANG)
        if pid:
            break
        time.sleep(0.002)
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        sys.exit(f"extract-memory: {args} ended with exit code {proc.returncode}")
    return peak_anon, usage.ru_maxrss


def main():
    if not os.path.exists(INSTALLER):
        sys.exit(f"extract-memory: {INSTALLER} is missing; build the benchmarks first")
    os.environ.setdefault("WINEDEBUG", "-all")
    version, extract = [], []
    with tempfile.TemporaryDirectory(dir=BUILD, prefix="bench-extract-memory.") as tmp:
        out = os.path.join(tmp, "out")
        for _ in range(ROUNDS):
            version.append(peak_kib([INSTALLER, "--silent", "--version"]))
            extract.append(peak_kib([INSTALLER, "--silent", "--extract", "--path", "Z:" + out.replace("/", "\\")]))
            shutil.rmtree(out, ignore_errors=True)
    v, e = min(version), min(extract)
    print(f"extract-memory: 256 MiB package, best of {ROUNDS}: --silent --extract {e[0]} KiB private "
          f"({e[1]} KiB resident in all), --silent --version {v[0]} KiB private ({v[1]} KiB in all)")
    print(f"extract-memory: extraction's own private memory = {(e[0] - v[0]) / 1024:.2f} MiB (target at most 1 MiB)")

if __name__ == "__main__":
    main()
