#!/usr/bin/env python3
"""The rules of the house, checked on every C++ source:

- rooms: a source includes only the rooms its room's row of README.md's
  "Rooms" table names, and operating-system headers only where the row says
  "OS headers" (or names the header itself);
- platform: no `#if` on the platform (_WIN32, __linux__, ...) outside
  platform/, but in msx/msx_records.h (the calling convention) and tests/;
- owners: no resource released by hand (CloseHandle, FreeLibrary, dlclose,
  DeleteObject, DestroyWindow, Release, SysFreeString, fclose, delete, ...)
  outside an owner's definition (platform/win32/unique_resource.h, or a
  `struct ...Closer` deleter); tests, benchmarks and fuzzers are not concerned.

Each rule is tried first on planted violations, which it must find.

usage: check_house.py SOURCE_ROOT
"""
import os
import re
import sys

root = sys.argv[1]
CODE = (".cpp", ".h", ".c", ".hpp")
# Headers of an operating system rather than of C++.
OS_HEADER = re.compile(r"^(windows|winsock2|commctrl|objbase|oleauto|ole2|exdisp|msxml2|shlwapi|shlobj|io|fcntl|"
                       r"dlfcn|unistd|spawn|signal|pthread|dirent|sys/.*|linux/.*)\.h$", re.I)
PLATFORM_IF = re.compile(r"^\s*#\s*(if|ifdef|ifndef|elif)\b.*\b(_WIN32|_WIN64|__linux__|__unix__|__APPLE__|"
                         r"__MINGW32__|__MINGW64__|_MSC_VER|WIN32)\b")
RELEASE = re.compile(r"\b(CloseHandle|FreeLibrary|dlclose|DeleteObject|DeleteDC|DestroyWindow|DestroyIcon|"
                     r"UnhookWindowsHookEx|ReleaseDC|RegCloseKey|SysFreeString|VariantClear|CoUninitialize|"
                     r"UnregisterClassW?|fclose|munmap|VirtualFree|LocalFree|GlobalFree)\s*\(|"
                     r"(->|\.)Release\s*\(\s*\)|(^|[^=\w])delete(\s*\[\s*\])?\s+[\w(*]")
OWNER_FILES = {"platform/win32/unique_resource.h"}
NOT_CONCERNED = ("tests/", "bench/", "fuzz/")


def rooms_table(readme):
    """{room: (allowed rooms, OS headers allowed, headers named)} from the
    README's Rooms table."""
    table, in_rooms = {}, False
    for line in readme.splitlines():
        if line.startswith("## "):
            in_rooms = line.strip() == "## Rooms"
            continue
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if not in_rooms or len(cells) != 3 or not cells[0].startswith("`"):
            continue
        room = cells[0].strip("`").rstrip("/")
        allowed = cells[2]
        names = set(re.findall(r"`([\w.]+)/?`", allowed))
        table[room] = ({n for n in names if not n.endswith(".h")}, "OS headers" in allowed or "every room" in allowed,
                       {n for n in names if n.endswith(".h")}, "every room" in allowed)
    return table


def sources(top):
    for folder, dirs, names in os.walk(top):
        dirs[:] = [d for d in dirs if d not in ("build", ".git", "kit", "scripts", "cmake", "data", "dist")]
        for name in names:
            if name.endswith(CODE):
                path = os.path.join(folder, name)
                yield os.path.relpath(path, top).replace(os.sep, "/"), path


def check(files, table):
    """Every broken rule in `files` ((relative path, text) pairs)."""
    problems = []
    for rel, text in files:
        room = rel.split("/")[0]
        if room not in table:
            continue  # a file at the top or outside the rooms
        rooms, os_headers, headers, any_room = table[room]
        in_closer = 0
        destructor_depth = None  # brace depth inside an owner's destructor
        depth = 0
        for number, line in enumerate(text.splitlines(), 1):
            where = "%s:%d" % (rel, number)
            include = re.match(r'\s*#\s*include\s*([<"])([^>"]+)[>"]', line)
            if include:
                name = include.group(2)
                if include.group(1) == '"' and "/" in name:
                    target = name.split("/")[0]
                    if target in table and not any_room and target not in rooms:
                        problems.append("%s: room %s/ includes %s (its row allows %s)" %
                                        (where, room, name, ", ".join(sorted(rooms))))
                elif include.group(1) == "<" and OS_HEADER.match(name) and not os_headers and name not in headers:
                    problems.append("%s: room %s/ includes the system header <%s>" % (where, room, name))
            if PLATFORM_IF.match(line) and room not in ("platform", "tests") and rel != "msx/msx_records.h":
                problems.append("%s: a platform #if outside platform/: %s" % (where, line.strip()))
            # Owners: a deleter struct named ...Closer, and a destructor
            # (an owner class's), are owners' definitions.
            code = re.sub(r"//.*", "", line)
            if re.search(r"\bstruct \w*Closer\b", line):
                in_closer = 3
            if destructor_depth is None and re.search(r"~\w+\s*\(\s*\)", code) and "{" in code:
                destructor_depth = depth
            depth += code.count("{") - code.count("}")
            in_destructor = destructor_depth is not None
            if destructor_depth is not None and depth <= destructor_depth:
                destructor_depth = None
            if rel.startswith(NOT_CONCERNED) or rel in OWNER_FILES:
                continue
            if in_closer > 0:
                in_closer -= 1
            elif RELEASE.search(code) and "= delete" not in code and not in_destructor:
                problems.append("%s: a resource released by hand, not by its owner: %s" % (where, line.strip()))
    return problems


def main():
    readme = open(os.path.join(root, "README.md"), encoding="utf-8").read()
    table = rooms_table(readme)
    failures = []
    if len(table) < 10:
        failures.append("README.md's Rooms table has %d rows" % len(table))
    # Planted violations, each of which must be found; and what is allowed.
    planted = [
        ("services/planted.cpp", '#include "helpwindow/help_page.h"\n', True),
        ("engine/planted.cpp", '#include "platform/clock.h"\n', True),
        ("loader/planted.cpp", "#include <windows.h>\n", True),
        ("host/planted.cpp", "#if defined(_WIN32)\nint x;\n#endif\n", True),
        ("indicator/planted.cpp", "void f(void* h) { CloseHandle(h); }\n", True),
        ("helpwindow/planted.cpp", "void f(Thread* t) { delete t; }\n", True),
        ("platform/win32/planted.cpp", "Owner::~Owner() {\n    if (h) CloseHandle(h);\n}\nvoid g() { CloseHandle(h); }\n",
         True),
        ("tools/planted.cpp", "void f(IUnknown* p) { p->Release(); }\n", True),
        ("platform/win32/planted.cpp", "#include <windows.h>\n#if defined(_WIN32)\n#endif\n", False),
        ("services/planted.cpp", 'struct A { A(const A&) = delete; };\n#include "msx/msx_records.h"\n', False),
        ("loader/planted.cpp", "struct FileCloser {\n    void operator()(FILE* f) { fclose(f); }\n};\n", False),
        ("platform/win32/planted.cpp", "Owner::~Owner() {\n    if (h) {\n        CloseHandle(h);\n    }\n}\n", False),
        ("tests/planted.cpp", '#include <windows.h>\n#if defined(_WIN32)\nvoid f(HANDLE h) { CloseHandle(h); }\n#endif\n',
         False),
    ]
    for rel, text, wrong in planted:
        found = check([(rel, text)], table)
        if bool(found) != wrong:
            failures.append("planted %s %r: %s" % (rel, text, "not found" if wrong else "refused: %s" % found))
    real = [(rel, open(path, encoding="utf-8", errors="replace").read()) for rel, path in sources(root)]
    failures += check(real, table)
    for failure in failures:
        print("house: " + failure)
    print("house: %d sources, %d rooms, %d planted violations: %d problems" %
          (len(real), len(table), sum(1 for p in planted if p[2]), len(failures)))
    sys.exit(1 if failures else 0)


main()
