#!/usr/bin/python3
"""Peak memory of an extraction: the installer carrying one 256 MiB package (built with
the extraction benchmark) run with --silent --extract, against the same installer's
--silent --version run, which loads the same image and extracts nothing. The figure is the
peak resident size of the Wine process on the Linux side (ru_maxrss of that one child, kept
across its exec of Wine's loader; under an emulator it includes the emulator's own), which
is exact where the platform's memory counters of a child are not. The best (lowest) of a
few runs each; the difference is the extraction's own (target: at most 1 MiB)."""
import os
import shutil
import subprocess
import sys
import tempfile

BUILD = os.environ.get("NIMB_BUILD_DIR") or os.path.join(os.path.dirname(__file__), "..", "build")
INSTALLER = os.path.join(BUILD, "bench", "fixtures", "extract-256m.exe")
ROUNDS = 3


def peak_kib(args):
    """Runs Wine with args; returns the process's peak resident size in KiB."""
    proc = subprocess.Popen(["wine"] + args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        sys.exit(f"extract-memory: {args} ended with exit code {proc.returncode}")
    return usage.ru_maxrss


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
    print(f"extract-memory: 256 MiB package, peak resident size (Linux side, best of {ROUNDS}): "
          f"--silent --extract {e} KiB, --silent --version {v} KiB")
    print(f"extract-memory: extraction's own = {(e - v) / 1024:.2f} MiB (target at most 1 MiB)")


if __name__ == "__main__":
    main()
