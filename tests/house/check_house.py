#!/usr/bin/env python3
"""The rules of the house, checked on every C++ source:

- rooms: every C++ folder is a room of README.md's "Rooms" table; a source
  includes only the rooms its room's row names (by their folder: no "../",
  and a bare name only for a file beside it), the C++ and C standard
  headers and the compiler's own (intrinsics, sanitizers), operating-system
  headers only where the row says "OS headers", and any other library's
  header only where the row names it;
- platform: no `#if` on the platform (_WIN32, __linux__, ...) outside
  platform/, but in msx/calling_convention.h (the calling convention) and tests/;
  no `#if` on the processor (__i386__, __x86_64__, ...) and no inline
  assembly outside platform/ (tests/ included: what a test needs of the
  processor, platform/ offers);
- owners: no resource released by hand (CloseHandle, FreeLibrary, dlclose,
  DeleteObject, DestroyWindow, Release, SysFreeString, fclose, close, free,
  delete, ...) outside an owner's definition (platform/unique_any.h, the
  owner lines of platform/win32 and platform/posix unique_resource.h, a
  `struct ...Closer` deleter, or a destructor in platform/); tests,
  benchmarks and fuzzers are not concerned.

Each rule is tried first on planted violations, which it must find.

usage: check_house.py SOURCE_ROOT
"""
import os
import re
import sys

root = sys.argv[1]
CODE = (".cpp", ".h", ".c", ".hpp")
# Headers of an operating system rather than of C++.
OS_HEADER = re.compile(r"^(windows|winsock2|commctrl|objbase|oleauto|ole2|exdisp|msxml2|shlwapi|shlobj|shellapi|"
                       r"tlhelp32|psapi|wtsapi32|io|fcntl|dlfcn|unistd|spawn|signal|pthread|dirent|poll|termios|"
                       r"sys/.*|linux/.*|arpa/.*|netinet/.*)\.h$", re.I)
# The C++ standard library's headers and C's, and the compiler's own.
STANDARD = set("""algorithm any array atomic barrier bit bitset cassert ccomplex cctype cerrno cfenv cfloat
charconv chrono cinttypes climits clocale cmath codecvt compare complex concepts condition_variable coroutine
csetjmp csignal cstdarg cstddef cstdint cstdio cstdlib cstring ctime cuchar cwchar cwctype deque exception
execution filesystem format forward_list fstream functional future initializer_list iomanip ios iosfwd
iostream istream iterator latch limits list locale map memory memory_resource mutex new numbers numeric
optional ostream queue random ranges ratio regex scoped_allocator semaphore set shared_mutex source_location
span sstream stack stdexcept stop_token streambuf string string_view syncstream system_error thread tuple
type_traits typeindex typeinfo unordered_map unordered_set utility valarray variant vector version
assert.h ctype.h errno.h float.h inttypes.h limits.h locale.h math.h setjmp.h signal.h stdarg.h stddef.h
stdint.h stdio.h stdlib.h string.h time.h uchar.h wchar.h wctype.h""".split())
COMPILER_HEADER = re.compile(r"^(\w*intrin\.h|sanitizer/\w+\.h)$")
PLATFORM_IF = re.compile(r"^\s*#\s*(if|ifdef|ifndef|elif)\b.*\b(_WIN32|_WIN64|__linux__|__unix__|__APPLE__|"
                         r"__MINGW32__|__MINGW64__|_MSC_VER|WIN32)\b")
ARCH_IF = re.compile(r"^\s*#\s*(if|ifdef|ifndef|elif)\b.*\b(__i386__|__i386|__i486__|__i586__|__i686__|_X86_|__x86_64__|__x86_64|__amd64__|_M_IX86|_M_X64|"
                     r"_M_AMD64|__aarch64__|_M_ARM64|__arm__)\b")
INLINE_ASM = re.compile(r"(^|[^\w])(asm|__asm__|__asm)\s*((volatile|__volatile__|goto|inline)\s*)*[({]")
RELEASE = re.compile(r"\b(CloseHandle|FreeLibrary|dlclose|DeleteObject|DeleteDC|DestroyWindow|DestroyIcon|"
                     r"UnhookWindowsHookEx|ReleaseDC|RegCloseKey|SysFreeString|VariantClear|CoUninitialize|"
                     r"UnregisterClassW?|fclose|munmap|VirtualFree|LocalFree|GlobalFree)\s*\(|"
                     r"(->|\.)Release\s*\(\s*\)|(^|[^=\w])delete(\s*\[\s*\])?\s*[\w(*]|"
                     # A descriptor closed (::close(fd), _close(fd), close(fd)) or memory freed
                     # (free(p), std::free(p)); an owner's own close() takes no argument.
                     r"(?<![\w>])::close\s*\(|\b_close\s*\(|(?<![\w.>])close\s*\(\s*\w*fd\w*\s*\)|"
                     r"(?<![\w.>])(::|std::)?free\s*\(\s*[^)\s]")
OWNER_FILES = {"platform/unique_any.h", "platform/win32/unique_resource.h", "platform/posix/unique_resource.h"}
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
        names = {n.rstrip("/") for n in re.findall(r"`([\w./]+)`", allowed)}
        headers = {n for n in names if n.endswith((".h", ".hpp"))}
        table[room] = (names - headers, "OS headers" in allowed or "every room" in allowed, headers,
                       "every room" in allowed)
    return table


def sources(top):
    for folder, dirs, names in os.walk(top):
        dirs[:] = [d for d in dirs if d not in ("build", ".git", "kit", "scripts", "cmake", "data", "dist")]
        for name in names:
            if name.endswith(CODE):
                path = os.path.join(folder, name)
                yield os.path.relpath(path, top).replace(os.sep, "/"), path


def check(files, table, exists=lambda rel: False):
    """Every broken rule in `files` ((relative path, text) pairs); `exists`
    answers whether a file of that relative path is in the tree."""
    problems = []
    for rel, text in files:
        room = rel.split("/")[0]
        if room not in table:
            problems.append("%s: a C++ source in %s, which is no room of README.md's table" %
                            (rel, room + "/" if "/" in rel else "the top folder"))
            continue
        rooms, os_headers, headers, any_room = table[room]
        in_closer = 0
        destructor_depth = None  # brace depth inside an owner's destructor
        depth = 0
        for number, line in enumerate(text.splitlines(), 1):
            where = "%s:%d" % (rel, number)
            include = re.match(r'\s*#\s*include\s*([<"])([^>"]+)[>"]', line)
            if include:
                name = include.group(2)
                beside = "/".join(rel.split("/")[:-1] + [name])
                if include.group(1) == '"':
                    target = name.split("/")[0]
                    if ".." in name.split("/") or name.startswith("/"):
                        problems.append("%s: %s is named by a path, not by its room" % (where, name))
                    elif "/" not in name and not exists(beside):
                        problems.append("%s: %s is no file beside this one: name it by its room" % (where, name))
                    elif "/" in name and not exists(beside) and target not in table:
                        problems.append("%s: %s is in no room" % (where, name))
                    elif "/" in name and not exists(beside) and not any_room and target not in rooms and \
                            name not in headers:  # a room's one header its row names
                        problems.append("%s: room %s/ includes %s (its row allows %s)" %
                                        (where, room, name, ", ".join(sorted(rooms))))
                elif name in STANDARD or COMPILER_HEADER.match(name) or name in headers or any_room:
                    pass
                elif OS_HEADER.match(name):
                    if not os_headers:
                        problems.append("%s: room %s/ includes the system header <%s>" % (where, room, name))
                else:
                    problems.append("%s: room %s/ includes <%s>, which its row does not name" % (where, room, name))
            if PLATFORM_IF.match(line) and room not in ("platform", "tests") and rel != "msx/calling_convention.h":
                problems.append("%s: a platform #if outside platform/: %s" % (where, line.strip()))
            if room != "platform" and ARCH_IF.match(line):
                problems.append("%s: a processor #if outside platform/: %s" % (where, line.strip()))
            if room != "platform" and INLINE_ASM.search(re.sub(r"//.*", "", line)):
                problems.append("%s: inline assembly outside platform/: %s" % (where, line.strip()))
            # Owners: a deleter struct named ...Closer, and a destructor
            # (an owner class's), are owners' definitions.
            code = re.sub(r"//.*", "", re.sub(r'"([^"\\]|\\.)*"', '""', line))
            if re.search(r"\bstruct \w*Closer\b", line):
                in_closer = 3
            if (destructor_depth is None and room == "platform" and re.search(r"~\w+\s*\(\s*\)", code)
                    and "{" in code):
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
        ("engine/planted.cpp", '#include "platform/lanes.h"\n', False),  # the one header its row names
        ("loader/planted.cpp", "#include <windows.h>\n", True),
        ("harness/planted.cpp", "#if defined(_WIN32)\nint x;\n#endif\n", True),
        ("indicator/planted.cpp", "void f(void* h) { CloseHandle(h); }\n", True),
        ("helpwindow/planted.cpp", "void f(Thread* t) { delete t; }\n", True),
        ("platform/win32/planted.cpp", "Owner::~Owner() {\n    if (h) CloseHandle(h);\n}\nvoid g() { CloseHandle(h); }\n",
         True),
        ("tools/planted.cpp", "void f(IUnknown* p) { p->Release(); }\n", True),
        ("helpwindow/planted.cpp", '#include "../loader/csv_reader.h"\n', True),
        ("bench/planted.cpp", '#include "local_indicators_test_helpers.h"\n', True),
        ("helpwindow/planted.cpp", "#include <shellapi.h>\n", True),
        ("loader/planted.cpp", "#include <boost/any.hpp>\n", True),
        ("helpwindow/planted.cpp", "Guard::~Guard() {\n    CloseHandle(h);\n}\n", True),
        ("platform/posix/planted.cpp", "void f(int fd) { ::close(fd); }\n", True),
        ("platform/posix/planted.cpp", "void f(char* p) { std::free(p); }\n", True),
        ("services/planted.cpp", "void f(T* q) { delete(q); }\n", True),
        ("newroom/planted.cpp", "int x;\n", True),
        ("tools/planted.cpp", "#if defined(__i386__)\nint x;\n#endif\n", True),
        ("tests/planted.cpp", "#ifdef __x86_64__\n#endif\n", True),
        ("tools/planted.cpp", 'asm(".globl f");\n', True),
        ("tests/planted.cpp", 'void f() { __asm__ volatile("nop"); }\n', True),
        ("tools/planted.cpp", "#if defined(__i386)\n#endif\n", True),
        ("tools/planted.cpp", 'void f() { asm goto("jmp %l0" :::: out); out:; }\n', True),
        ("platform/planted.cpp", '#if defined(__i386__)\nasm(".text");\n#endif\n', False),
        ("tools/planted.cpp", "// asm(\"nop\") is what it would take\nint spasm(int);\n", False),
        ("platform/win32/planted.cpp", "#include <windows.h>\n#if defined(_WIN32)\n#endif\n", False),
        ("services/planted.cpp", 'struct A { A(const A&) = delete; };\n#include "msx/msx_records.h"\n', False),
        ("msx/calling_convention.h", "#if defined(_WIN32) && !defined(_WIN64)\n#endif\n", False),
        ("msx/msx_records.h", "#if defined(_WIN32)\n#endif\n", True),
        ("loader/planted.cpp", "struct FileCloser {\n    void operator()(FILE* f) { fclose(f); }\n};\n", False),
        ("platform/win32/planted.cpp", "Owner::~Owner() {\n    if (h) {\n        CloseHandle(h);\n    }\n}\n", False),
        ("platform/posix/planted.cpp", "void f(Owner& o) { o.close(); fd.close(); }\nvoid close() override {}\n",
         False),
        ("loader/planted.cpp", "#include <emmintrin.h>\n#include <charconv>\n#include <cstdio>\n", False),
        ("platform/posix/planted.cpp", "#include <pugixml.hpp>\n#include <time.h>\n", False),
        ("tests/planted.cpp", '#include <windows.h>\n#if defined(_WIN32)\nvoid f(HANDLE h) { CloseHandle(h); }\n#endif\n',
         False),
    ]
    for rel, text, wrong in planted:
        found = check([(rel, text)], table)
        if bool(found) != wrong:
            failures.append("planted %s %r: %s" % (rel, text, "not found" if wrong else "refused: %s" % found))
    real = [(rel, open(path, encoding="utf-8", errors="replace").read()) for rel, path in sources(root)]
    failures += check(real, table, lambda rel: os.path.isfile(os.path.join(root, rel)))
    for failure in failures:
        print("house: " + failure)
    print("house: %d sources, %d rooms, %d planted violations: %d problems" %
          (len(real), len(table), sum(1 for p in planted if p[2]), len(failures)))
    sys.exit(1 if failures else 0)


main()
