#!/usr/bin/python3
"""The source layout: the runtime's portable folders reach no platform header, neither
directly nor through the project's own headers they include."""
import os
import re
import tempfile
import unittest

SOURCE = os.environ.get("NIMB_SOURCE_DIR") or os.path.join(os.path.dirname(__file__), "..", "..", "..")

# Portable code: every file below these folders...
PORTABLE_TREES = ("Runtime/include/rt", "Runtime/common", "Runtime/generic", "Runtime/r3/generic")
# ...the files directly in Runtime/r3 (its win and nt folders are the Windows layer)...
PORTABLE_FOLDERS = ("Runtime/r3",)
# ...and the internal headers whose names do not mark them as Windows code.
INTERNAL_FOLDER = "Runtime/internal"
WINDOWS_NAME = re.compile(r"-(win|nt)\.h$")
SOURCE_SUFFIXES = (".h", ".cpp")

# Where a quoted include is looked for after the including file's own folder, as the build's
# include paths give it: the public headers, and the runtime folder for internal/<name>.h.
INCLUDE_ROOTS = ("Runtime/include", "Runtime")

# The system headers portable code may include: the C library's standard headers, the C++
# library's (names without a suffix) and the compiler's own (cpuid.h and GCC's
# <name>intrin.h family). Every other system header counts as a platform header: windows.h,
# winternl.h, ntstatus.h, intrin.h and the rest of the Windows SDK.
C_HEADERS = frozenset(
    "assert.h ctype.h errno.h fenv.h float.h inttypes.h iso646.h limits.h locale.h math.h setjmp.h signal.h "
    "stdalign.h stdarg.h stdatomic.h stdbool.h stddef.h stdint.h stdio.h stdlib.h stdnoreturn.h string.h "
    "tgmath.h threads.h time.h uchar.h wchar.h wctype.h".split())
COMPILER_HEADER = re.compile(r"^(cpuid\.h|[a-z0-9]+intrin\.h)$")
CXX_HEADER = re.compile(r"^[a-z_]+$")

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.MULTILINE)


def is_platform_header(name):
    return not (name in C_HEADERS or COMPILER_HEADER.match(name) or CXX_HEADER.match(name))


def is_portable(rel):
    folder = os.path.dirname(rel)
    if not rel.endswith(SOURCE_SUFFIXES):
        return False
    if any(rel.startswith(tree + "/") for tree in PORTABLE_TREES) or folder in PORTABLE_FOLDERS:
        return True
    return folder == INTERNAL_FOLDER and not WINDOWS_NAME.search(rel)


class Includes:
    """The include lines of the files of one source tree, quoted ones resolved to files of
    the tree (a quoted name found nowhere is a generated header and is not followed)."""

    def __init__(self, root):
        self.root = root
        self.cache = {}

    def of(self, rel):
        """[(system header name or None, project file or None, text as written)]."""
        if rel not in self.cache:
            with open(os.path.join(self.root, rel), encoding="utf-8") as f:
                text = f.read()
            found = []
            for kind, name in INCLUDE.findall(text):
                if kind == "<":
                    found.append((name, None, "<%s>" % name))
                else:
                    found.append((None, self.resolve(rel, name), '"%s"' % name))
            self.cache[rel] = found
        return self.cache[rel]

    def resolve(self, rel, name):
        for base in (os.path.dirname(rel),) + INCLUDE_ROOTS:
            candidate = os.path.normpath(os.path.join(base, name))
            if os.path.isfile(os.path.join(self.root, candidate)):
                return candidate
        return None

    def platform_headers(self, rel, seen=None):
        """The platform headers a file reaches, each with the chain of includes to it."""
        seen = set() if seen is None else seen
        if rel in seen:
            return []
        seen.add(rel)
        reached = []
        for system, project, text in self.of(rel):
            if system is not None and is_platform_header(system):
                reached.append(text)
            elif project is not None:
                reached += ["%s -> %s" % (text, chain) for chain in self.platform_headers(project, seen)]
        return reached


def layout_violations(root):
    """One line per include by which a portable file leaves portable code: a platform header,
    or a project file outside the portable folders (with the platform headers it reaches)."""
    includes = Includes(root)
    lines = []
    for folder, _, files in os.walk(os.path.join(root, "Runtime")):
        for name in sorted(files):
            rel = os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/")
            if not is_portable(rel):
                continue
            for system, project, text in includes.of(rel):
                if system is not None and is_platform_header(system):
                    lines.append("%s includes %s" % (rel, text))
                elif project is not None and not is_portable(project):
                    reached = includes.platform_headers(project)
                    lines.append("%s includes %s, outside the portable folders%s"
                                 % (rel, text, " (it reaches %s)" % ", ".join(reached) if reached else ""))
    return sorted(lines)


class PortableFolders(unittest.TestCase):
    def test_the_tree_keeps_platform_headers_in_the_windows_layer(self):
        found = layout_violations(SOURCE)
        if found:
            self.fail("portable files that reach the platform (Windows code belongs in Runtime/r3/win, "
                      "Runtime/r3/nt or Runtime/nt, its internal headers named -win or -nt):\n  "
                      + "\n  ".join(found))

    def test_finds_direct_and_indirect_platform_includes(self):
        tree = {
            # Portable files that are fine.
            "Runtime/include/rt/types.h": "#include <stdint.h>\n#include <stddef.h>\n",
            "Runtime/common/ok.cpp": '#include "rt/types.h"\n#include <x86intrin.h>\n#include <cstdint>\n'
                                     '#include "rt/status-codes.h"\n',
            "Runtime/internal/helper.h": '#include "rt/types.h"\n',
            # The Windows layer may include anything.
            "Runtime/internal/native-win.h": "#include <windows.h>\n",
            "Runtime/internal/quiet-win.h": '#include "rt/types.h"\n',
            "Runtime/r3/win/native-win.cpp": '#include "internal/native-win.h"\n#include <winternl.h>\n',
            # Violations: directly, through a Windows-layer header, one named as portable, and
            # a header that includes none itself but belongs to the Windows layer.
            "Runtime/common/direct.cpp": "  #  include <ntstatus.h>\n#include <intrin.h>\n",
            "Runtime/r3/dir.cpp": '#include "internal/helper.h"\n#include "internal/native-win.h"\n',
            "Runtime/generic/lock.cpp": '#include "../internal/quiet-win.h"\n',
            "Runtime/internal/sneaky.h": '#include "native-win.h"\n',
            "Runtime/include/rt/leaky.h": '#include "internal/sneaky.h"\n',
        }
        with tempfile.TemporaryDirectory() as root:
            for rel, text in tree.items():
                os.makedirs(os.path.join(root, os.path.dirname(rel)), exist_ok=True)
                with open(os.path.join(root, rel), "w") as f:
                    f.write(text)
            self.assertEqual(layout_violations(root), [
                "Runtime/common/direct.cpp includes <intrin.h>",
                "Runtime/common/direct.cpp includes <ntstatus.h>",
                'Runtime/generic/lock.cpp includes "../internal/quiet-win.h", outside the portable folders',
                'Runtime/internal/sneaky.h includes "native-win.h", outside the portable folders'
                " (it reaches <windows.h>)",
                'Runtime/r3/dir.cpp includes "internal/native-win.h", outside the portable folders'
                " (it reaches <windows.h>)",
            ])


if __name__ == "__main__":
    unittest.main()
