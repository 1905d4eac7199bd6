#!/usr/bin/env python3
"""The runner refuses what MetaEditor refuses: each planted program below is
one MetaEditor would not compile (or would warn about, as strict MQL4 and
MQL5 do), translated and then compiled as the runner compiles the kit (the
same runtime headers and warning options). Each must be refused with its
reason and the MQL file's own line; a control program of each dialect must
compile, so a broken harness cannot pass.

usage: check_strict.py TRANSLATE_PY CXX SOURCE_DIR [COMPILER OPTION]..."""
import concurrent.futures
import os
import subprocess
import sys
import tempfile

translate, compiler, source_dir = sys.argv[1:4]
options = sys.argv[4:]
work = tempfile.mkdtemp(prefix="mql-strict-")

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
    (".mq4", "void OnStart() { Print(PERIOD_H2); }", "was not declared"),
]

# What each dialect does take: the explicit conversions, its own names.
ACCEPTED = [
    (".mq4", 'int Count = 0;\nvoid OnStart() { double d = 1.5; int x = (int)d; string s = "a" + (string)5 +\n'
             ' IntegerToString(x) + DoubleToString(d, 2); Print(s, Count, Ask, OP_BUY);\n'
             ' int t = OrderSend(Symbol(), OP_BUY, 0.1, Ask, 3, 0, 0); Print(t, iBars(Symbol(), 60));\n'
             ' ObjectSetString(0, "x", OBJPROP_TEXT, "t"); string u = StringTrimLeft(" a"); Print(u); }'),
    (".mq5", 'void OnStart() { int tf = 60; Print(iBars(Symbol(), (ENUM_TIMEFRAMES)tf), PERIOD_H2);\n'
             ' MqlTradeRequest r; MqlTradeResult q; ZeroMemory(r); ZeroMemory(q);\n'
             ' r.type_filling = ORDER_FILLING_IOC; if(!OrderSend(r, q)) Print(q.retcode);\n'
             ' string s = " a"; int n = StringTrimLeft(s); Print(n, EMPTY_VALUE);\n'
             ' int h = iCustom(NULL, PERIOD_CURRENT, "X"); Print(h); }'),
]


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
    built = subprocess.run([compiler, "-std=c++17", "-fsyntax-only", "-I", source_dir] + options + [out],
                           capture_output=True, text=True)
    return 0, built.returncode, built.stderr


failures = []
cases = [(e, s, m) for e, s, m in REFUSED] + [(e, s, None) for e, s in ACCEPTED]
with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
    results = list(pool.map(lambda item: compile_case(item[0], *item[1][:2]), enumerate(cases)))
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

for failure in failures:
    print("strict: " + failure)
print("strict: %d planted programs refused, %d accepted, %d failures" % (len(REFUSED), len(ACCEPTED), len(failures)))
sys.exit(1 if failures else 0)
