#!/usr/bin/env python3
"""The runner refuses what MetaEditor refuses: each planted program below is
one MetaEditor would not compile (or would warn about, as strict MQL4 and
MQL5 do), translated and then compiled as the runner compiles the kit (the
same runtime headers and warning options). Each must be refused with its
reason and the MQL file's own line; a control program of each dialect must
compile, so a broken harness cannot pass.

Then the planted programs tests/mql4run/programs/CheckAccepted.mq4 and .mq5
(valid MQL the runner once refused) run through mql4run, each construct's
line printed as the terminal would print it; and an access past a fixed
array's end stops the program.

With --runs-only (a sanitizer's build) only the runs: the planted
programs are compiled by the system compiler with the same options in
every build, and the native build checks them.

usage: check_strict.py TRANSLATE_PY CXX SOURCE_DIR MQL4RUN LIBRARIES DATA [--runs-only | COMPILER OPTION...]"""
import atexit
import concurrent.futures
import os
import shutil
import subprocess
import sys
import tempfile

translate, compiler, source_dir, runner, libraries, data = sys.argv[1:7]
options = sys.argv[7:]
runs_only = options == ["--runs-only"]
work = tempfile.mkdtemp(prefix="mql-strict-")
atexit.register(shutil.rmtree, work, True)  # (the precompiled header is 60 MB)

# (dialect, program, what the refusal says). Each program is whole: the
# handler around the faulty line is correct MQL.
REFUSED = [
    # MQL4 and MQL5 alike.
    (".mq4", "void OnStart() { double d = 1.5; int x = d; Print(x); }", "may change value"),
    (".mq5", "void OnStart() { long big = 1; int x = big; Print(x); }", "may change value"),
    (".mq4", "int Count = 0;\nvoid OnStart() { int Count = 1; Print(Count); }", "shadows a member"),
    (".mq4", 'void OnStart() { string s = "a" + 5; Print(s); }', "a number joined to a string"),
    (".mq5", 'void OnStart() { double p = 1.25; string s = "p=" + p; Print(s); }', "a number joined to a string"),
    (".mq4", 'void OnStart() { ObjectSetInteger(0, "x", OBJPROP_TEXT, 1); }', "ENUM_OBJECT_PROPERTY_INTEGER"),
    (".mq5", 'void OnStart() { ObjectSetString(0, "x", OBJPROP_COLOR, "red"); }', "ENUM_OBJECT_PROPERTY_STRING"),
    (".mq4", 'void OnStart() { ObjectCreate(0, "x", 23, 0, 0, 0); }', "ENUM_OBJECT"),
    # A trade call's result dropped.
    (".mq4", "void OnStart() { OrderSend(Symbol(), OP_BUY, 0.1, Ask, 3, 0, 0); }", "ignoring return value"),
    (".mq5", "void OnStart() { MqlTradeRequest r; MqlTradeResult q; ZeroMemory(r); ZeroMemory(q);\n"
             " OrderSend(r, q); }", "ignoring return value"),
    # MQL5 wants its enumerations, never an int.
    (".mq5", "void OnStart() { int tf = 60; Print(iBars(Symbol(), tf)); }", "ENUM_TIMEFRAMES"),
    (".mq5", "void OnStart() { int tf = 60; ChartOpen(Symbol(), tf); }", "ENUM_TIMEFRAMES"),
    (".mq5", 'void OnStart() { int h = iCustom(NULL, 0, "X"); Print(h); }', "ENUM_TIMEFRAMES"),
    (".mq5", "void OnStart() { MqlTradeRequest r; r.type_filling = 1; }", "ENUM_ORDER_TYPE_FILLING"),
    # The other dialect's built-ins are not there at all.
    (".mq5", "void OnStart() { int t = OrderSend(Symbol(), 0, 0.1, 1.0, 3, 0, 0); Print(t); }",
     "no matching function for call to"),
    (".mq5", "void OnStart() { SetIndexStyle(0, DRAW_NONE); }", "was not declared"),
    (".mq5", "void OnStart() { IndicatorDigits(0); }", "was not declared"),
    (".mq5", "void OnStart() { Print(Ask); }", "was not declared"),
    (".mq5", "void OnStart() { Print(OP_BUY); }", "was not declared"),
    (".mq5", 'void OnStart() { string s = " a"; string t = StringTrimLeft(s); Print(t); }',
     "invalid conversion from"),
    (".mq4", "void OnStart() { PlotIndexSetInteger(0, PLOT_DRAW_TYPE, DRAW_NONE); }", "was not declared"),
    (".mq4", "double v[];\nvoid OnStart() { Print(CopyBuffer(10, 0, 0, 1, v)); }", "was not declared"),
    (".mq4", "void OnStart() { Print(PERIOD_H7); }", "was not declared"),
]

# What MetaEditor refuses, or warns about (an error in a strict build), with
# its own words and the program's line: (dialect, program, message, line).
# Where the MQL5 reference's lists of compilation errors and warnings hold
# the case, the message gives its number and listed description.
REFUSED_AT = [
    (".mq4", "int Sum(const int values[])\n  { return(values[0]); }", "'values' - arrays are passed by reference only", 1),
    (".mq5", "struct Pair { int a; int b; };\nint Sum(Pair p) { return(p.a + p.b); }",
     "'p' - objects are passed by reference only", 2),
    (".mq4", "input int Limit = 5;\nvoid Raise(int &v) { v++; }\nvoid OnStart() { Raise(Limit); }",
     "'Limit' - constant variable cannot be passed as reference", 3),
    (".mq5", 'input int Limit = 5;\nvoid OnStart() { double p = 0;\n if(SymbolInfoDouble(Symbol(), SYMBOL_BID, Limit))'
             ' Print(p); }', "'Limit' - constant variable cannot be passed as reference", 3),
    (".mq4", '#import "user32.dll"\nint Join(string &names[], int count);\n#import\nvoid OnStart() { }',
     "'names' - imported function cannot have this parameter (error 298: a string array cannot be passed to a "
     "function imported from a DLL)", 2),
    (".mq4", "#property indicator_buffers 1\nvoid OnStart() {\n SetIndexStyle(0, DRAW_COLOR_ARROW); }",
     "'DRAW_COLOR_ARROW' - undeclared identifier", 3),
    (".mq5", "#property indicator_chart_window\n#property indicator_buffers 1\ndouble V[];\n"
             "int OnInit() { SetIndexBuffer(0, V); return(INIT_SUCCEEDED); }\n"
             "int OnCalculate(const int total, const int prev, const datetime &t[], const double &o[],\n"
             " const double &h[], const double &l[], const double &c[], const long &tv[], const long &v[],\n"
             " const int &s[]) { return(total); }",
     "no indicator plot defined for indicator (warning 50: no graphical series to draw the indicator", 2),
    (".mq4", "void OnStart() { int value = 1;\n int* p = NULL; }",
     "'*' - a pointer can be declared only for a class or structure (error 253)", 2),
    (".mq5", "void OnStart() {\n double price;\n Print(price); }",
     "possible use of uninitialized variable 'price'", 3),
    (".mq4", "int Total(int n) { int sum;\n for(int i = 0; i < n; i++) sum += i;\n return(sum); }",
     "possible use of uninitialized variable 'sum'", 2),
    (".mq4", "#property indicator_buffers 1\n#property indicator_color1 clrRedish\nvoid OnStart() { }",
     "'clrRedish' - undeclared identifier", 2),
    (".mq5", "void OnStart()\n  {\n   datetime t = D'2024.02.30';\n   Print(t); }",
     "D'2024.02.30' - wrong number in the datetime string for the date", 3),
    (".mq4", "void OnStart() { datetime t = D'2023.02.29 12:00'; Print(t); }",
     "D'2023.02.29 12:00' - wrong number in the datetime string for the date", 1),
    (".mq4", "int Later(int v);\nvoid OnStart() { }", "'Later' - function must have a body", 1),
    (".mq5", "void OnStart()\n  {\n   double big[70000];\n   big[0] = 1;\n   Print(big[0]); }",
     "'OnStart' - too large volume of local variables (> 512Kb)", 3),
]

# What each dialect does take: the explicit conversions, its own names, and
# what MetaEditor takes that is close to a refusal above.
ACCEPTED = [
    (".mq4", "int Sum(const int &values[]) { return(values[0]); }\nstruct Pair { int a; };\n"
             "int First(const Pair &p) { return(p.a); }\nint Later(int v);\nint Later(int v) { return(v); }\n"
             "extern int Shift = 1;\nvoid Raise(int &v) { v++; }\nvoid OnStart() { Raise(Shift); int n;\n"
             " n = Later(2); double p; Fill(p); Print(n, p, PERIOD_H2); }\nvoid Fill(double &v) { v = 1; }"),
    (".mq4", "#property indicator_buffers 1\n#property indicator_color1 C'10,20,30'\n#property indicator_color2 Red\n"
             "#import \"user32.dll\"\nint Beep2(int tone, int length = 100);\n#import\n"
             "void OnStart() { datetime t = D'2024.02.29 23:59'; Print(t); switch(1) { case 1: Print(1); case 2: Print(2); } }"),
    (".mq5", "#property indicator_buffers 1\n#property indicator_plots 1\n#property indicator_color1 clrRed,clrBlue\n"
             "input group \"Sizes\";\ninput int Size = 3;\ndouble a[], b;\n"
             "namespace N { int Twice(int v) { return(v * 2); } }\ntemplate<typename T> T Same(T v) { return(v); }\n"
             "void OnStart() { static int calls = 0; calls++; b = Same(N::Twice(Size)); Print(calls, b); }"),
    (".mq4", 'int Count = 0;\nvoid OnStart() { double d = 1.5; int x = (int)d; string s = "a" + (string)5 +\n'
             ' IntegerToString(x) + DoubleToString(d, 2); Print(s, Count, Ask, OP_BUY);\n'
             ' int t = OrderSend(Symbol(), OP_BUY, 0.1, Ask, 3, 0, 0); Print(t, iBars(Symbol(), 60));\n'
             ' ObjectSetString(0, "x", OBJPROP_TEXT, "t"); string u = StringTrimLeft(" a"); Print(u); }'),
    # Several fixed-size arrays in one declaration; methods defined outside their class.
    (".mq4", "int g[2], h = 1, k[2][2];\nvoid OnStart() { int a[3], n = 2, b[4];\n"
             " const int c[2] = {1, 2}, d = 3; a[0] = n; b[3] = a[0]; g[1] = h; k[1][1] = c[1];\n"
             " Print(a[0], b[3], d, g[1], k[1][1]); }"),
    (".mq5", "class Box\n  {\npublic:\n   int size;\n   void Grow(int by = 1);\n   int Size() const;\n"
             "   static int Twice(int v);\n  };\nvoid Box::Grow(int by) { size += by; }\n"
             "int Box::Size() const { return(size); }\nint Box::Twice(int v) { return(v * 2); }\n"
             "void OnStart() { Box b; b.size = 1; b.Grow(); Print(b.Size(), Box::Twice(3)); }"),
    (".mq5", 'void OnStart() { int tf = 60; Print(iBars(Symbol(), (ENUM_TIMEFRAMES)tf), PERIOD_H2);\n'
             ' MqlTradeRequest r; MqlTradeResult q; ZeroMemory(r); ZeroMemory(q);\n'
             ' r.type_filling = ORDER_FILLING_IOC; if(!OrderSend(r, q)) Print(q.retcode);\n'
             ' string s = " a"; int n = StringTrimLeft(s); Print(n, EMPTY_VALUE);\n'
             ' int h = iCustom(NULL, PERIOD_CURRENT, "X"); Print(h); }'),
]


def planted_programs():
    """Translates and compiles every planted program; appends what went
    wrong to failures."""
    # The runtime headers every translated program starts with (as the
    # translator writes them), compiled once with the same options into a
    # precompiled header that each case's compiler run then reads
    # (-Winvalid-pch: a header it cannot use is said, not silently parsed
    # again); a case then costs a quarter of what it did.
    os.makedirs(os.path.join(work, "pch"))
    empty = os.path.join(work, "pch", "Empty.mq4")
    with open(empty, "w") as f:
        f.write("void OnStart() { }\n")
    done = subprocess.run([sys.executable, translate, empty + ".cpp", os.path.dirname(empty), empty],
                          capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit("strict: the translator refused an empty script: " + done.stderr)
    runtime_header = os.path.join(work, "pch", "runtime.h")
    with open(runtime_header, "w") as f:
        f.writelines(line for line in open(empty + ".cpp") if line.startswith("#include "))
    made = subprocess.run([compiler, "-std=c++17", "-I", source_dir] + options +
                          ["-x", "c++-header", runtime_header, "-o", runtime_header + ".gch"],
                          capture_output=True, text=True)
    if made.returncode != 0:
        sys.exit("strict: the runtime headers do not compile with the kit's options: " + made.stderr[-1000:])

    def compile_case(index, extension, source):
        """(translator exit, compiler exit, messages) for one planted program."""
        folder = os.path.join(work, str(index))
        os.makedirs(folder)
        path = os.path.join(folder, "Case" + extension)
        with open(path, "w") as f:
            f.write(source + "\n")
        out = os.path.join(folder, "out.cpp")
        done = subprocess.run([sys.executable, translate, out, folder, path], capture_output=True, text=True)
        if done.returncode != 0:
            return done.returncode, None, done.stderr
        built = subprocess.run([compiler, "-std=c++17", "-fsyntax-only", "-Winvalid-pch", "-include", runtime_header,
                                "-I", source_dir] + options + [out],
                               capture_output=True, text=True)
        return 0, built.returncode, built.stderr

    cases = [(e, s, m) for e, s, m in REFUSED] + [(e, s, None) for e, s in ACCEPTED]
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        results = list(pool.map(lambda item: compile_case(item[0], *item[1][:2]), enumerate(cases)))
        refused_at = list(pool.map(lambda item: compile_case(len(cases) + 1 + item[0], *item[1][:2]),
                                   enumerate(REFUSED_AT)))
    # MetaEditor's words and line, from the translator or the compiler.
    for (extension, source, message, line), (translated, built, messages) in zip(REFUSED_AT, refused_at):
        shown = source.replace("\n", " ")[:60]
        where = "Case%s:%d:" % (extension, line)
        if (translated == 0 and built == 0) or message not in messages or where not in messages:
            failures.append("%s %r: expected a refusal %r at %s, got %s" % (extension, shown, message, where,
                                                                            messages.strip()[:400]))
    for (extension, source, message), (translated, built, messages) in zip(cases, results):
        shown = source.replace("\n", " ")[:60]
        if message is None:
            if translated != 0 or built != 0:
                failures.append("%s %r: expected to compile, got %s" % (extension, shown, messages.strip()[:400]))
            continue
        if translated != 0:
            failures.append("%s %r: the translator refused it (%s); the compiler should" % (extension, shown,
                                                                                            messages.strip()))
        elif built == 0 or message not in messages or ("Case%s:" % extension) not in messages:
            failures.append("%s %r: expected a refusal with %r at the program's line, got exit %s %s"
                            % (extension, shown, message, built, messages.strip()[:400]))

    # The refusal names the program's own line, past directives and a comment
    # running over lines.
    translated, built, messages = compile_case(len(cases), ".mq4", "#property strict\n#define A 1 /* a\n note */\n"
                                               "int Count = 0;\nvoid OnStart() { int Count = A; Print(Count); }")
    if built == 0 or "Case.mq4:5:" not in messages:
        failures.append("a refusal names line 5 of the program: %s" % messages.strip()[:300])


failures = []
if not runs_only:
    planted_programs()

# The accepted constructs run as the terminal runs them.
RUNS = [
    ("CheckAccepted.mq4", [], 0, ["extern 3", "static 1 2", "list 2 2.5", "periods 2 120 720", "fall 11 10 -1",
                              "buffers true false true true", "fixed 4", "fixed list 7 10"]),
    # A further array of a declaration is checked as a first one is.
    ("CheckAccepted.mq4", ["--input", "Index=2"], 1, ["fixed 6", "array out of range (index 2, size 2)"]),
    # An access past a fixed array's end stops the program, as the terminal does.
    ("CheckAccepted.mq4", ["--input", "Index=3"], 1, ["array out of range (index 3, size 3)"]),
    ("CheckAccepted.mq5", [], 0, ["namespace 6", "template 5 1.5", "methods 4 11", "plots true false", "buy true 10009",
                              "close true 10009 again false", "sell true true"]),
]
for program, arguments, code, expected in RUNS:
    done = subprocess.run([runner, program, "--libraries", libraries, "--data", data] + arguments,
                          capture_output=True, text=True, timeout=300)
    missing = [line for line in expected if line not in done.stderr.splitlines()
               and not any(line in shown for shown in done.stderr.splitlines() if "critical error" in shown)]
    if done.returncode != code or missing:
        failures.append("%s %s: expected exit %d with %s, got exit %d: %s" % (
            program, " ".join(arguments), code, missing, done.returncode, done.stderr[-600:]))

for failure in failures:
    print("strict: " + failure)
if runs_only:
    print("strict: %d run (the planted programs are the native build's), %d failures" % (len(RUNS), len(failures)))
else:
    print("strict: %d planted programs refused, %d accepted, %d run, %d failures"
          % (len(REFUSED) + len(REFUSED_AT), len(ACCEPTED), len(RUNS), len(failures)))
sys.exit(1 if failures else 0)
