#!/usr/bin/env python3
"""The MQL4 translator: what it rewrites (arrays, inputs, literals, imports)
and the C++ it refuses, each case a small program.

usage: check_translator.py TRANSLATE_PY"""
import os
import re
import subprocess
import sys
import tempfile

translate = sys.argv[1]
work = tempfile.mkdtemp(prefix="mql4-translate-")
failures = []


def translate_source(source, extension=".mq4"):
    path = os.path.join(work, "Case" + extension)
    with open(path, "w") as f:
        f.write(source)
    out = os.path.join(work, "out.cpp")
    if os.path.exists(out):
        os.remove(out)
    done = subprocess.run([sys.executable, translate, out, work, path], capture_output=True, text=True)
    text = open(out).read() if done.returncode == 0 else ""
    return done.returncode, text, done.stderr


# Each: source, and fragments the generated C++ must contain (whitespace
# squeezed).
ACCEPTED = [
    ("double a[], b[];\nint OnInit() { return(0); }",
     ["array<double> a; array<double> b;"]),
    ("void F(const double &values[], uchar &bytes[]) {}",
     ["void F(const array<double> &values, array<uchar> &bytes)"]),
    ("long big = 1; ulong u;\nvoid F(const long &v[]) {}",
     ["mql_long big = 1;", "mql_ulong u;", "const array<mql_long> &v"]),
    ("input int Bars2 = 7; // shown\ninput string Page = \"x\";",
     ["int Bars2 = 7;", '{"Bars2", "int"', '{"Page", "string"']),
    # 2024-01-02 10:30 UTC is 1704191400 seconds since 1970; C'1,2,3' is 1 + 2*256 + 3*65536.
    ("datetime t = D'2024.01.02 10:30'; color c = C'1,2,3';",
     ["datetime t = mql_long(1704191400LL);", "color c = 197121;"]),
    ('#import "X.dll"\nint F(int a, double b, uchar &t[], int &r);\nvoid G();\n#import\n',
     ["int F(int a, double b, array<uchar> &t, int &r) { return (int)import_call<std::int32_t>(0, "
      "arg_i32(a), arg_f64(b), arg_array(t), arg_ref(r)); }",
      "void G() { import_call<void>(1); }", '{"X.dll", "F"}', '{"X.dll", "G"}']),
    ("// a # in a comment\n/* #pragma inside\n a block */ int x;", ["int x;"]),
    ("void OnStart() { Print(\"a[] is not an array\"); }", ['Print(string("a[] is not an array"));']),
    # A string literal is an MQL4 string: + appends a number as text, and
    # adjacent literals join.
    ('#define P "x;"\nstring F(int n) { return("n=" + n + P "y"); }',
     ['#define P string("x;")', 'return(string("n=") + n + P string("y"));']),
    ("double a[], b[], c[];", ["array<double> a; array<double> b; array<double> c;"]),
    # An array and scalars in one list: each its own declaration.
    ("double a[], b, c[], d = 1;", ["array<double> a; double b; array<double> c; double d = 1;"]),
    # A static local is the chart's own: a renamed member after its function.
    ("int F() { static int calls = 0; calls++; return(calls); }",
     ["int F() { calls_static1++; return(calls_static1); } int calls_static1 = 0 ;"]),
    # An import's default value.
    ('#import "X.dll"\nint F(int a, int b = 0);\n#import\n', ["int F(int a, int b = 0) {"]),
    # Fixed-size arrays are checked; a structure's members keep C++'s layout.
    ("#define N 4\nstruct R { int v[2]; };\nvoid F() { double p[3]; int m[N][2]; }",
     ["struct R { int v[2]; };", "fixed<double, (3)> p;", "fixed<fixed<int, (2)>, (N)> m;"]),
    ("input int N = 1;\nint M = 2;\nvoid F() { int k = N + M; M = N; }", ["int k = N + M; M = N;"]),
    # Several fixed-size arrays in one declaration: each declarator its own
    # declaration, every array one checked.
    ("void F() { int a[3], n = 2, b[4]; const double c[2] = {1, 2}, d = 3; }",
     ["fixed<int, (3)> a; int n = 2; fixed<int, (4)> b;", "const fixed<double, (2)> c = {1, 2}; const double d = 3;"]),
    # A method defined outside its class goes after the program's class,
    # where C++ takes it; a class's static member stays one.
    ("class C\n  {\npublic:\n   int v;\n   static int Twice(int x);\n   int Get() const;\n  };\n"
     "int C::Get() const { return(v + C::Twice(1)); }\nint C::Twice(int x) { return(x * 2); }",
     ["static int Twice(int x);", "int Program::C::Get() const { return(v + C::Twice(1)); }",
      "int Program::C::Twice(int x) { return(x * 2); }"]),
    # A "/*" inside a string opens no comment: the directive after it counts.
    ('string a = "/*";\n#define N 3\nint x = N;', ["#define N 3", "int x = N;"]),
]

# Each: source, and a fragment the generated C++ must not contain: what a
# comment holds stays out, however strings before it look.
ABSENT = [
    ('string a = "//"; /*\n#import "evil.dll"\nint F();\n#import\n*/\nint z;', "evil.dll"),
    ("string b = '\"'; /* \" */\n/*\n#define Q 1\n*/ int w;", "#define Q"),
    ("#define A 1 /* the note goes on\n#define B 2\n*/\nint v;", "#define B"),
]

REFUSED = [
    ("namespace n { }", "'namespace' is C++"),
    ("void F() { F(nullptr); }", "'nullptr' is C++"),
    ("void F() { auto x = 1; }", "'auto' is C++"),
    ("void F() { int y = static_cast<int>(2.0); }", "'static_cast' is C++"),
    ("struct S { int v; }; void F(S *s) { s->v = 1; }", "'->' is C++"),
    ("void F() { try { } catch(...) { } }", "'try' is C++"),
    ("#pragma once\nint x;", "#pragma is not supported"),
    ('#import "X.dll"\nint F(int a);\n', "is not closed"),
    ('#import "X.dll"\nstring F(int a);\n#import\n', "cannot return string"),
    ("datetime t = D'2024-01-02';", "bad datetime literal"),
    ("void F() { int a[] = {1}; unsigned int u; }", "'unsigned' is C++"),
    ("double grid[][2];", "several dimensions"),
    ("double x[], &y;", "a reference variable"),
    ("input int N = 1;\nvoid F() { N = 2; }", "input N is read-only"),
    ("input int N = 1;\nvoid F() { N++; }", "input N is read-only"),
    ("void F() { int b{4}; }", "brace initialisation"),
    ("struct S { int v; };\nvoid F() { S s{}; }", "brace initialisation"),
    ("void F() { int n = 1; int &r = n; }", "a reference variable"),
    ("#property\nint x;", "#property needs a name"),
    ("#include Foo.mqh\nint x;", "#include needs a file"),
    ('#include "Nothing.mqh"\nint x;', "no such file"),
    ('#include "../outside.mqh"\nint x;', "leaves the include folder"),
    ("#\nint x;", "a directive needs a name"),
    ("int x;\ninput", "input needs a type and a name"),
    ("input int;", "input needs a type and a name"),
]
with open(os.path.join(os.path.dirname(work), "outside.mqh"), "w") as f:
    f.write("int outside;\n")

for source, fragments in ACCEPTED:
    code, text, err = translate_source(source)
    squeezed = re.sub(r"\s+", " ", text)
    missing = [f for f in fragments if re.sub(r"\s+", " ", f) not in squeezed]
    if code != 0 or missing:
        failures.append("%r: exit %d, missing %s %s" % (source[:40], code, missing, err.strip()))

for source, fragment in ABSENT:
    code, text, err = translate_source(source)
    if code != 0 or fragment in text:
        failures.append("%r: exit %d, %r %s" % (source[:40], code, fragment,
                                                 "present" if fragment in text else err.strip()))

# Program names that would become the same C++ name, or hold a quote.
for names, message in [(["A-B.mq4", "A_B.mq4"], "rename one"), (['Q"x.mq4'], "cannot hold a quote")]:
    paths = []
    for name in names:
        paths.append(os.path.join(work, name))
        with open(paths[-1], "w") as f:
            f.write("int x;\n")
    done = subprocess.run([sys.executable, translate, os.path.join(work, "out.cpp"), work] + paths,
                          capture_output=True, text=True)
    if done.returncode == 0 or message not in done.stderr:
        failures.append("%s: expected a refusal with %r, got exit %d %r"
                        % (names, message, done.returncode, done.stderr.strip()))

for source, message in REFUSED:
    code, text, err = translate_source(source)
    if code == 0 or message not in err or "Case.mq4:" not in err:
        failures.append("%r: expected a refusal with %r and the file:line, got exit %d %r"
                        % (source[:40], message, code, err.strip()))

# Each dialect's #property names only (the other dialect's built-ins are
# refused by the compiler: check_strict.py), and each program is built on
# its own dialect's side of the runtime.
DIALECTS = [
    (".mq5", "#property strict\nint x;", "#property strict is not MQL5"),
    (".mq4", "#property indicator_plots 1\nint x;", "#property indicator_plots is not MQL4"),
    (".mq4", "#property indicator_colour1 clrRed\nint x;", "#property indicator_colour1 is not MQL4"),
    (".mq5", "#property indicator_label0 \"x\"\nint x;", "#property indicator_label0 is not MQL5"),
    (".mq5", "#property tester_everytick\nint x;", "#property tester_everytick is not MQL5"),
]
for extension, source, message in DIALECTS:
    code, text, err = translate_source(source, extension)
    if code == 0 or message not in err or ("Case%s:" % extension) not in err:
        failures.append("%s %r: expected a refusal with %r, got exit %d %r"
                        % (extension, source[:40], message, code, err.strip()))
for extension, source in [(".mq4", "#property indicator_color12 clrRed\n#property strict\nint x;"),
                          (".mq5", "#property indicator_plots 3\n#property tester_everytick_calculate\nint x;")]:
    code, text, err = translate_source(source, extension)
    if code != 0:
        failures.append("%s %r: a property of the dialect refused: %s" % (extension, source[:40], err.strip()))
code, text, err = translate_source('int h; void f() { h = iCustom(NULL, PERIOD_CURRENT, "X", 1); }', ".mq5")
for fragment in ("using namespace mql::mql5;", "mql::mql5::Program5", "mql::Dialect::mql5", "#define __MQL5__",
                 "Case_mq5"):
    if code != 0 or fragment not in text:
        failures.append(".mq5: %r missing (exit %d %s)" % (fragment, code, err.strip()))
code, text, err = translate_source('double f() { return iCustom(NULL, 0, "X", 1, 0, 0); }', ".mq4")
if code != 0 or "Program5" in text or "using namespace mql::mql4;" not in text \
        or "#define __MQL4__" not in text:
    failures.append(".mq4 took MQL5's side (exit %d %s)" % (code, err.strip()))

# A structure of scalars is packed to 1 byte as MQL packs it (the record a
# DLL fills: a pointer at offset 4); one holding a string is not.
code, text, err = translate_source("struct R { int n; long p; };\nstruct S { int n; string t; };\nint x;", ".mq5")
if code != 0 or '_Pragma("pack(push, 1)") struct R' not in text or text.count("pack(push") != 1 \
        or text.count('_Pragma("pack(pop)")') != 1:
    failures.append("struct packing: exit %d %s" % (code, err.strip()))

for failure in failures:
    print("translator: " + failure)
print("translator: %d accepted and %d refused cases, %d failures" %
      (len(ACCEPTED), len(REFUSED), len(failures)))
sys.exit(1 if failures else 0)
