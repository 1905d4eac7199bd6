#!/usr/bin/env python3
"""Checks BarsightPlugin.mqh against the built 32-bit libraries: for each
#import block (BarsightPlugin.dll, Spreadcore.dll) every export of the
library's .def (but the host's MSX entry points) is declared once, and the
stack bytes its MQL4 types imply (int, pointer, reference and array 4,
double 8) equal those of the real stdcall export (_Name@N in the i686
objects, before the .def strips the decoration).

usage: check_mqh.py MQH NM LIBRARY DEF OBJECT_LIST [LIBRARY DEF OBJECT_LIST]...
(OBJECT_LIST: object files and archives separated by ';')

With --text-calls KIT (no libraries needed): the exports that read a text
(a uchar array, up to its first NUL) are called nowhere in the kit but in
the MQL includes' wrappers, and there only with an array that a checked
BarsightAnsi has just terminated (if(BarsightAnsi(text, bytes)) ...): an
array without its NUL would be read past its end.

usage: check_mqh.py --text-calls KIT
"""
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
import make_boundary  # noqa: E402

# The exports only the charting host calls, from each library's table.
host_exports = make_boundary.host_exports


def declarations(text, library):
    block = re.search(r'#import\s+"%s"(.*?)#import' % re.escape(library), text, re.S)
    if not block:
        sys.exit("no #import \"%s\" block" % library)
    body = re.sub(r"//[^\n]*", "", block.group(1))
    found = []
    for match in re.finditer(r"(\w+)\s+(\w+)\s*\(([^)]*)\)\s*;", body):
        found.append((match.group(2), match.group(3)))
    return found


def arg_bytes(params):
    total = 0
    for param in filter(None, (p.strip() for p in params.split(","))):
        if "&" in param or "[" in param:
            total += 4  # a reference or an array is a pointer
        elif param.split()[0] in ("double", "long", "ulong", "datetime"):
            total += 8
        elif param.split()[0] in ("int", "uint", "bool", "char", "uchar", "short", "ushort", "color",
                                  "float", "string"):
            total += 4  # narrower values widen to 4 bytes; a string passes a pointer
        else:
            sys.exit("unknown MQL4 parameter type: " + param)
    return total


def check_library(mqh_text, nm, library, def_file, objects, failures):
    host_only = host_exports(library)
    exports = []
    on = False
    for line in open(def_file):
        if line.strip() == "EXPORTS":
            on = True
        elif on and line.strip():
            exports.append(line.split()[0])
    symbols = subprocess.run([nm, "-g", "--defined-only"] + objects, check=True,
                             capture_output=True, text=True).stdout
    stdcall = {}
    for name, size in re.findall(r"\b_(\w+)@(\d+)\b", symbols):
        stdcall[name] = int(size)

    declared = declarations(mqh_text, library)
    names = [n for n, _ in declared]
    for name in set(names):
        if names.count(name) > 1:
            failures.append("%s: %s is declared %d times" % (library, name, names.count(name)))
    for name, params in declared:
        if name not in exports:
            failures.append("%s is not an export of %s" % (name, library))
        elif stdcall.get(name) != arg_bytes(params):
            failures.append("%s %s: MQL4 types take %d bytes, the export takes %s" %
                            (library, name, arg_bytes(params), stdcall.get(name)))
    for name in exports:
        if name not in host_only and name not in names:
            failures.append("export %s of %s is not declared" % (name, library))
    return len(declared)


# The includes whose wrappers may call the text exports.
WRAPPING = ("Shared/Include/BarsightTextCalls.mqh",)


def text_imports():
    """{export: [positions of its text parameters]} from the tables."""
    found = {}
    for path in make_boundary.TABLES:
        for row in make_boundary.Table(os.path.join(make_boundary.ROOT, path)).rows:
            positions = [k for k, (t, _) in enumerate(row.params) if t == "text"]
            if row.side == "client" and positions:
                found[row.name] = positions
    return found


def code_only(text):
    """`text` without its #import blocks (declarations, not calls), comments
    and the contents of its literals, every offset and line kept."""
    blank = lambda m: re.sub(r"[^\n]", " ", m.group(0))  # noqa: E731
    text = re.sub(r'#import\s+"[^"\n]+".*?#import', blank, text, flags=re.S)
    return re.sub(r'"(\\.|[^"\\\n])*"|\'(\\.|[^\'\\\n])*\'|//[^\n]*|/\*.*?\*/',
                  lambda m: m.group(0)[0] + blank(m)[1:-1] + m.group(0)[-1] if m.group(0)[0] in "\"'" else blank(m),
                  text, flags=re.S)


def closing(text, at):
    """The offset after the bracket that closes the one at `at`."""
    pairs = {"(": ")", "{": "}"}
    depth, opener = 0, text[at]
    for k in range(at, len(text)):
        if text[k] == opener:
            depth += 1
        elif text[k] == pairs[opener]:
            depth -= 1
            if depth == 0:
                return k + 1
    return len(text)


def functions(code):
    """[(name, body start, body end)] of the functions defined at file level."""
    found, at = [], 0
    while True:
        m = re.compile(r"\b(\w+)\s*\(").search(code, at)
        if not m:
            return found
        after = closing(code, m.end() - 1)
        body = re.compile(r"\s*(const\s*)?\{").match(code, after)
        if body:
            end = closing(code, body.end() - 1)
            found.append((m.group(1), body.end() - 1, end))
            at = end
        else:
            at = after


def arguments(code, open_at):
    """The arguments of the call whose "(" is at `open_at`, stripped."""
    inner = code[open_at + 1:closing(code, open_at) - 1]
    parts, depth, start = [], 0, 0
    for k, c in enumerate(inner):
        depth += c in "([{"
        depth -= c in ")]}"
        if c == "," and depth == 0:
            parts.append(inner[start:k].strip())
            start = k + 1
    parts.append(inner[start:].strip())
    return parts


def text_call_faults(files, wrapping):
    """Why the sources `files` ({path: text}) call a text export unsafely:
    one line each; `wrapping` names the files whose wrappers may call them."""
    faults = []
    exports = text_imports()
    for path, text in sorted(files.items()):
        code = code_only(text)
        bodies = functions(code)
        line = lambda at: code.count("\n", 0, at) + 1  # noqa: E731
        if path in wrapping:
            ansi = [b for b in bodies if b[0] == "BarsightAnsi"]
            if not ansi or not re.search(r"StringToCharArray\s*\([^;]*-1", code[ansi[0][1]:ansi[0][2]]) or \
                    not re.search(r"\]\s*==\s*0", code[ansi[0][1]:ansi[0][2]]):
                faults.append("%s: BarsightAnsi must copy the whole text with its NUL (StringToCharArray, count "
                              "-1) and check that the last byte copied is 0" % path)
        for name, positions in sorted(exports.items()):
            for call in re.finditer(r"\b%s\s*\(" % name, code):
                where = "%s:%d: %s" % (path, line(call.start()), name)
                if path not in wrapping:
                    faults.append("%s: called outside the include's wrappers (BarsightDebugPrint, BarsightMessageBox, "
                                  "BarsightShowHelp, BarsightShowHelpBeside, BarsightAddToChart)" % where)
                    continue
                inside = [b for b in bodies if b[1] < call.start() < b[2]]
                if not inside:
                    faults.append("%s: called outside a function" % where)
                    continue
                _, begin, _ = inside[0]
                args = arguments(code, call.end() - 1)
                for k in positions:
                    array = args[k] if k < len(args) else ""
                    terminated = [m for m in re.finditer(r"\bBarsightAnsi\s*\(", code[begin:call.start()])
                                  if arguments(code, begin + m.end() - 1)[1:2] == [array]]
                    # The call's result decides: it stands in an if's condition.
                    checked = [m for m in terminated
                               if re.search(r"\bif\s*\([^;{}]*$", code[begin:begin + m.start()])]
                    if not re.fullmatch(r"\w+", array) or not checked:
                        faults.append("%s: its text %r is not an array a checked BarsightAnsi terminated before the "
                                      "call (if(BarsightAnsi(text, %s)) ...)" % (where, array, array or "bytes"))
    return faults


# The check itself: planted sources and what it must say of them.
GOOD_WRAPPERS = """
bool BarsightAnsi(string text, uchar &bytes[])
  {
   int copied = StringToCharArray(text, bytes, 0, -1, CP_ACP);
   return(copied >= 1 && bytes[copied - 1] == 0);
  }
void BarsightDebugPrint(string text)
  {
   uchar bytes[];
   if(BarsightAnsi(text, bytes))
      DebugPrint(bytes);   // DebugPrint(other) in a comment is no call
  }
int BarsightAddToChart(string application, string symbol, int periods)
  {
   uchar app[], name[];
   if(!BarsightAnsi(application, app) || !BarsightAnsi(symbol, name))
      return(0);
   return(AddToChartEx(app, name, periods));
  }
"""
PLANTED = [
    ("the wrappers as they should be", {"I.mqh": GOOD_WRAPPERS}, ""),
    ("an indicator calling DebugPrint", {"I.mqh": GOOD_WRAPPERS, "V.mq4": "void F() { uchar b[8]; DebugPrint(b); }"},
     "V.mq4:1: DebugPrint: called outside the include's wrappers"),
    ("an unchecked StringToCharArray before AddToChartEx",
     {"I.mqh": GOOD_WRAPPERS, "S.mqh": 'int F()\n{\n uchar a[], s[];\n StringToCharArray("x", a, 0, -1, CP_ACP);\n'
                                       ' return(AddToChartEx(a, s, 9));\n}'},
     "S.mqh:5: AddToChartEx: called outside"),
    ("a wrapper that does not terminate", {"I.mqh": GOOD_WRAPPERS + "void W(int w)\n{\n uchar b[];\n ShowDialog(w, b);\n}"},
     "I.mqh:23: ShowDialog: its text 'b' is not an array a checked BarsightAnsi terminated"),
    ("a wrapper ignoring BarsightAnsi's answer",
     {"I.mqh": GOOD_WRAPPERS + "void W(string t)\n{\n uchar b[];\n BarsightAnsi(t, b);\n TS_MessageBox(b);\n}"},
     "TS_MessageBox: its text 'b' is not"),
    ("a wrapper passing another array",
     {"I.mqh": GOOD_WRAPPERS + "void W(string t)\n{\n uchar b[], c[];\n if(BarsightAnsi(t, b))\n  DebugPrint(c);\n}"},
     "DebugPrint: its text 'c' is not"),
    ("a wrapper terminating after the call",
     {"I.mqh": GOOD_WRAPPERS + "void W(string t)\n{\n uchar b[];\n DebugPrint(b);\n if(BarsightAnsi(t, b)) {}\n}"},
     "DebugPrint: its text 'b' is not"),
    ("a BarsightAnsi that does not check the NUL",
     {"I.mqh": GOOD_WRAPPERS.replace("bytes[copied - 1] == 0", "true")}, "I.mqh: BarsightAnsi must"),
]


def check_text_calls(kit):
    faults = []
    for name, files, expected in PLANTED:
        said = text_call_faults(files, {"I.mqh"})
        if (not expected and said) or (expected and not any(expected in f for f in said)):
            faults.append("the check on %s: %s (expected %s)" % (name, said or "nothing", expected or "nothing"))
    files = {}
    for folder, _, names in os.walk(kit):
        for name in names:
            if name.endswith((".mq4", ".mq5", ".mqh")):
                path = os.path.join(folder, name)
                files[os.path.relpath(path, kit).replace(os.sep, "/")] = open(path, encoding="utf-8").read()
    for include in WRAPPING:
        if include not in files:
            faults.append("%s is not in %s" % (include, kit))
    faults += text_call_faults(files, set(WRAPPING))
    if faults:
        print("\n".join(faults))
        sys.exit(1)
    print("the kit's %d MQL files call the text exports (%s) only through the includes' wrappers"
          % (len(files), ", ".join(sorted(text_imports()))))


def main():
    if sys.argv[1:2] == ["--text-calls"] and len(sys.argv) == 3:
        check_text_calls(sys.argv[2])
        return
    mqh, nm, groups = sys.argv[1], sys.argv[2], sys.argv[3:]
    if not groups or len(groups) % 3:
        sys.exit(__doc__)
    text = open(mqh, encoding="utf-8").read()
    failures, counts = [], []
    for i in range(0, len(groups), 3):
        library, def_file, objects = groups[i], groups[i + 1], [o for o in groups[i + 2].split(";") if o]
        counts.append("%d of %s" % (check_library(text, nm, library, def_file, objects, failures), library))
    if failures:
        print("\n".join(failures))
        sys.exit(1)
    print("BarsightPlugin.mqh: declarations match the 32-bit exports (%s)" % ", ".join(counts))


if __name__ == "__main__":
    main()
