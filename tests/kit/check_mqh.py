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

With --kit-rules KIT: every program of the kit that imports a DLL (itself
or through its includes) asks BarsightDllsAllowed first in OnInit (a
script: OnStart) and fails when DLL calls are not allowed; the volume pane
imports nothing; and no input's comment is longer than the 63 characters
MetaTrader's Inputs tab shows.

usage: check_mqh.py --kit-rules KIT
"""
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "generators"))
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


# MetaTrader's Inputs tab shows an input's comment (the text after // on
# its line) in place of its name, and shows 63 characters of it.
INPUT_COMMENT_LIMIT = 63
# Programs that must run where DLL imports are not allowed.
WITHOUT_DLL = ("BarsightVolume",)


def input_comment_faults(files):
    """The inputs of `files` ({path: text}) whose comment is too long."""
    faults = []
    for path, text in sorted(files.items()):
        for number, line in enumerate(text.splitlines(), 1):
            code = re.sub(r'"(\\.|[^"\\])*"', '""', line)  # a ; or // in a default text is no end
            m = re.match(r"\s*(?:input|sinput|extern)\b[^;]*;\s*//(.*)$", code)
            if m and len(m.group(1).strip()) > INPUT_COMMENT_LIMIT:
                faults.append("%s:%d: the input's comment has %d characters; the Inputs tab shows %d" %
                              (path, number, len(m.group(1).strip()), INPUT_COMMENT_LIMIT))
    return faults


def program_text(files, path):
    """A program's text with every file it includes (once), as the
    compiler finds them: the dialect's Include folder, then Shared/Include."""
    dialect = path.split("/")[0]
    seen, parts = set(), []

    def take(name):
        if name in seen or name not in files:
            return
        seen.add(name)
        parts.append(files[name])
        for include in re.findall(r'^\s*#include\s*[<"]([^>"]+)[>"]', files[name], re.M):
            found = [p for p in (dialect + "/Include/" + include, "Shared/Include/" + include) if p in files]
            if found:
                take(found[0])
    take(path)
    return "\n".join(parts)


def dll_check_faults(files):
    """The programs of `files` that import a DLL without asking first in
    OnInit (OnStart) whether DLL calls are allowed, or that must import
    nothing and do."""
    faults = []
    for path in sorted(files):
        parts = path.split("/")
        if len(parts) != 3 or parts[1] not in ("Indicators", "Experts", "Scripts") or \
                not path.endswith((".mq4", ".mq5")):
            continue
        text = program_text(files, path)
        imports = re.findall(r'^\s*#import\s+"([^"]+)"', text, re.M)
        name = os.path.splitext(parts[2])[0]
        if name in WITHOUT_DLL:
            if imports:
                faults.append("%s: imports %s: it must run where DLL imports are not allowed" %
                              (path, ", ".join(sorted(set(imports)))))
            continue
        if not imports:
            continue
        code = code_only(text)
        handler = "OnStart" if parts[1] == "Scripts" else "OnInit"
        bodies = [b for b in functions(code) if b[0] == handler]
        first = re.match(r"\{\s*if\s*\(\s*!\s*BarsightDllsAllowed\s*\([^;]*\)\s*\)\s*return\s*(\(\s*)?(\w*)",
                         code[bodies[0][1]:bodies[0][2]]) if bodies else None
        wanted = "" if handler == "OnStart" else "INIT_FAILED"
        if not first or first.group(2) != wanted:
            faults.append("%s: imports %s but its %s does not begin with if(!BarsightDllsAllowed(...)) return%s;" %
                          (path, imports[0], handler, "(INIT_FAILED)" if wanted else ""))
    return faults


DLL_INCLUDE = '#import "BarsightPlugin.dll"\nint SignFilter(int sign);\n#import\n'
ASKS = 'int OnInit()\n  {\n   if(!BarsightDllsAllowed("V"))\n      return(INIT_FAILED);\n   return(INIT_SUCCEEDED);\n  }\n'
PLANTED_RULES = [
    ("an input comment of 63 characters", {"MQL4/Indicators/V.mq4": "input int A = 1; // " + "x" * 63}, ""),
    ("an input comment of 64 characters", {"MQL4/Indicators/V.mq4": "input int A = 1; // " + "x" * 64},
     "MQL4/Indicators/V.mq4:1: the input's comment has 64 characters"),
    ("a generated include's input comment", {"Shared/Include/I.mqh": "\n sinput bool B = true;  //" + "y" * 70},
     "Shared/Include/I.mqh:2: the input's comment has 70"),
    ("a default text holding ; and //", {"MQL5/Indicators/V.mq5": 'input string S = "a;b//c"; // ' + "z" * 64},
     "V.mq5:1: the input's comment has 64"),
    ("a program asking first", {"MQL4/Include/P.mqh": DLL_INCLUDE, "MQL4/Experts/V.mq4": "#include <P.mqh>\n" + ASKS},
     ""),
    ("a program importing through an include without asking",
     {"MQL5/Include/P.mqh": DLL_INCLUDE, "MQL5/Indicators/V.mq5": "#include <P.mqh>\nint OnInit() { return(0); }"},
     "MQL5/Indicators/V.mq5: imports BarsightPlugin.dll but its OnInit does not begin"),
    ("a program asking after a DLL call",
     {"MQL4/Indicators/V.mq4": DLL_INCLUDE + ASKS.replace("{\n", "{\n   SignFilter(1);\n", 1)},
     "V.mq4: imports BarsightPlugin.dll but its OnInit"),
    ("a script going on when told no",
     {"Shared/Include/P.mqh": DLL_INCLUDE, "MQL4/Scripts/V.mq4": '#include <P.mqh>\nvoid OnStart()\n{\n'
                                                                 ' BarsightDllsAllowed("V");\n SignFilter(1);\n}'},
     "MQL4/Scripts/V.mq4: imports BarsightPlugin.dll but its OnStart"),
    ("the volume pane importing", {"Shared/Include/P.mqh": DLL_INCLUDE, "MQL4/Indicators/BarsightVolume.mq4":
                                   "#include <P.mqh>\n" + ASKS},
     "BarsightVolume.mq4: imports BarsightPlugin.dll: it must run where DLL imports are not allowed"),
]


def check_kit_rules(kit):
    faults = []
    for name, files, expected in PLANTED_RULES:
        said = input_comment_faults(files) + dll_check_faults(files)
        if (not expected and said) or (expected and not any(expected in f for f in said)):
            faults.append("the check on %s: %s (expected %s)" % (name, said or "nothing", expected or "nothing"))
    files = {}
    for folder, _, names in os.walk(kit):
        for name in names:
            if name.endswith((".mq4", ".mq5", ".mqh")):
                path = os.path.join(folder, name)
                files[os.path.relpath(path, kit).replace(os.sep, "/")] = open(path, encoding="utf-8").read()
    importing = [p for p in files if p.count("/") == 2 and p.split("/")[1] != "Include" and
                 re.search(r'^\s*#import\s+"', program_text(files, p), re.M)]
    if len(importing) < 8 or not any("BarsightVolume" in p for p in files):
        faults.append("the kit's programs were not found in %s (%d import a DLL)" % (kit, len(importing)))
    faults += input_comment_faults(files) + dll_check_faults(files)
    if faults:
        print("\n".join(faults))
        sys.exit(1)
    print("the kit's %d MQL files: inputs' comments within %d characters; the %d programs that import a DLL ask "
          "first whether DLL calls are allowed; it imports none in %s" %
          (len(files), INPUT_COMMENT_LIMIT, len(importing), ", ".join(WITHOUT_DLL)))


def main():
    if sys.argv[1:2] == ["--text-calls"] and len(sys.argv) == 3:
        check_text_calls(sys.argv[2])
        return
    if sys.argv[1:2] == ["--kit-rules"] and len(sys.argv) == 3:
        check_kit_rules(sys.argv[2])
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
