#!/usr/bin/python3 -IS
"""The packer's command: runs packing.py (its usage is in arguments.py). Python runs
isolated and without site packages, which the packer does not need, and the packing module
is imported rather than run, so that its compiled form is kept in a cache of the user's
($XDG_CACHE_HOME/nimbpack, or ~/.cache/nimbpack) outside the source tree: starting Python
and compiling the packer cost more than the packer's own work on a small package."""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.pycache_prefix = os.path.join(os.environ.get("XDG_CACHE_HOME") or os.path.expanduser("~/.cache"),
                                  "nimbpack")
sys.path.insert(0, HERE)
import packing  # noqa: E402

if __name__ == "__main__":
    sys.exit(packing.main(sys.argv[1:]))
