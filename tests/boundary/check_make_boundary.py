#!/usr/bin/env python3
"""generators/make_boundary.py: the MQL includes' #import blocks are what the
tables make (they ship as source, so they are committed and checked here),
and the generator refuses a table it cannot make a sound boundary from.

usage: check_make_boundary.py REPOSITORY"""
import os
import subprocess
import sys
import tempfile

root = sys.argv[1]
sys.path.insert(0, os.path.join(root, "generators"))
import make_boundary  # noqa: E402

failures = []


def check(name, ok, detail=""):
    print("boundary: %s: %s" % (name, "ok" if ok else "FAILED " + detail))
    if not ok:
        failures.append(name)


generator = os.path.join(root, "generators", "make_boundary.py")
tables = [os.path.join(root, t) for t in make_boundary.TABLES]
done = subprocess.run([sys.executable, generator, *tables, "--check",
                       "--mql4", os.path.join(root, "kit/MQL4/Include/BarsightPlugin.mqh"),
                       "--mql5", os.path.join(root, "kit/MQL5/Include/BarsightPlugin.mqh")],
                      capture_output=True, text=True)
check("the MQL4 and MQL5 includes' #import blocks are the tables'", done.returncode == 0, done.stderr.strip())

# The contract with every caller, pinned apart from the tables: a row whose
# types or order change what a caller passes fails here until the snapshot
# is changed with it.
made = subprocess.run([sys.executable, generator, *tables, "--abi"], capture_output=True, text=True).stdout
pinned = "".join(l for l in open(os.path.join(root, "tests/boundary/abi.txt")) if not l.startswith("#"))
check("the exports' names, order, C types and argument bytes are the pinned ones (%d exports)" %
      len(pinned.splitlines()), made == pinned,
      "\n".join(sorted(set(made.splitlines()) ^ set(pinned.splitlines()))))

# Every client signature the tables make is one msxhost's client call makes.
import re  # noqa: E402
callable_shapes = set(re.findall(r'signature == "(\w):(\w*)"', open(os.path.join(root, "harness/client_call.cpp")).read()))
shapes = set()
for path in tables:
    table = make_boundary.Table(path)
    if table.catalogue:
        shapes |= {r.client_signature() for r in table.rows if r.side == "client"}
check("msxhost can call every client export's shape (%d shapes)" % len(shapes),
      shapes and shapes <= callable_shapes, str(sorted(shapes - callable_shapes)))

HEAD = "library Test.dll\ninclude x.h\n"
CAT = "catalogue k::kCatalogue\n"
# A catalogue's settings, and a calc row's lines to go under a row.
SETTINGS = 'copyright "T {version}"\nframe k::kFrame\nunknown-argument error\n'
CALC = 'F | host | calc | calc | frame | k::f | x\n    title "F"\n'
TRUNC = 'F | client | int | int a | noexcept | f | x\n'

NINE = ", ".join("int a%d" % k for k in range(9))
# What the generator refuses: each case is the table after HEAD, then where
# the message points (row line and field) and what it says. The table's rows
# start on line 3.
BAD = [
    ("six cells", "F | client | int | int a | noexcept | f\n", "3", "a row has 7 cells"),
    ("an unknown side", "F | both | int | int a | noexcept | f | x\n", "3: for", "'for' is host or client"),
    ("an unknown parameter type", "F | client | int | long a | noexcept | f | x\n", "3: parameters",
     "parameter 'long a'"),
    ("a parameter without a name", "F | client | int | int | noexcept | f | x\n", "3: parameters", "parameter 'int'"),
    ("an unknown result", "F | client | float | int a | noexcept | f | x\n", "3: result", "unknown result type"),
    ("an unknown failure policy", "F | client | int | int a | ignore | f | x\n", "3: on failure",
     "on failure is noexcept or value N"),
    ("no body", "F | client | int | int a | noexcept |  | x\n", "3: body", "no body"),
    ("a calc row without a body", "F | host | calc | calc | frame |  | x\n", "3: body", "a calc row's body"),
    ("a calc row of another policy", "F | host | calc | calc | value 0 | f | x\n", "3: result", "a calc row has"),
    ("a name twice", "F | client | int | | noexcept | f | x\nF | client | int | | noexcept | g | y\n", "4: name",
     "F has 2 rows"),
    ("no library", "F | client | int | | noexcept | f | x\n", "", "no library line"),
    ("a value from a void export", "F | client | void | | value 0 | f | x\n", "3: on failure", "only an int result"),
    ("a value from an address", "F | client | address | | value -1 | f | x\n", "3: on failure", "only an int result"),
    ("a parameter name twice", "F | client | int | int a, double a | noexcept | f | x\n", "3: parameters",
     "a parameter name twice"),
    ("a client taking what MQL cannot pass", "F | client | int | void* p | noexcept | f | x\n", "3: parameters",
     "no MQL type"),
    ("a text record in another shape", "F | client | int | int h, int& a, text_record r | noexcept | f | x\n",
     "3: parameters", "only in the polling shape"),
    ("a calc row without a catalogue", "F | host | calc | calc | frame | f | x\n", "3: result", "need a catalogue line"),
    # A name is a name: a sign, a star, brackets or a default would make the
    # shim take a reference, pointer or array where the type says a value.
    ("a reference sign on a name", "F | client | int | int &sign | noexcept | f | x\n", "3: parameters",
     "'&sign' is not a name"),
    ("brackets on a name", "F | client | int | int x[] | noexcept | f | x\n", "3: parameters", "'x[]' is not a name"),
    ("a star on a name", "F | client | int | int *x | noexcept | f | x\n", "3: parameters", "'*x' is not a name"),
    ("a default on a name", "F | client | int | int x=5 | noexcept | f | x\n", "3: parameters", "'x=5' is not a name"),
    ("a non-ASCII parameter name", "F | client | int | int pr\u00e9 | noexcept | f | x\n", "3: parameters",
     "is not a name"),
    ("a non-ASCII export name", "F\u00e9 | client | int | int a | noexcept | f | x\n", "3: name", "no export name"),
    ("a client row msxhost cannot hold", CAT + "F | client | int | %s, int a9 | noexcept | f | x\n" % NINE,
     "4: parameters", "10, but msxhost's client call holds at most 9"),
    ("a calc row for the client", CAT + "F | client | calc | calc | frame | f | x\n", "4: for",
     "a calc row is the charting host's"),
    # A calc row whole: its catalogue entry, its arguments, their bounds and
    # messages (the table's rows start on line 7 after CAT and SETTINGS).
    ("a catalogue without its frame", CAT + 'copyright "T {version}"\nunknown-argument error\n' + CALC, "",
     "has a frame line"),
    ("a copyright without the version", CAT + 'copyright "T"\n', "4: copyright", "{version} once"),
    ("an indented line under no calc row", CAT + SETTINGS + TRUNC + '    title "F"\n', "8", "belongs to a calc row"),
    ("a calc row without a title", CAT + SETTINGS + "F | host | calc | calc | frame | k::f | x\n", "7: title",
     "no title line"),
    ("an unknown line", CAT + SETTINGS + CALC + "    bound 1\n", "9: 'bound'", "title, needs and arg"),
    ("a title without quotes", CAT + SETTINGS + "F | host | calc | calc | frame | k::f | x\n    title F\n", "8: title",
     "not a text in quotes"),
    ("a message longer than the host's field", CAT + SETTINGS + CALC + '    needs "%s"\n' % ("m" * 100), "9: needs",
     "100 characters"),
    ("arguments read without a needs line", CAT + SETTINGS + CALC + '    arg 1 | number "N" whole\n', "7: needs",
     "reads arguments"),
    ("arguments numbered with a gap", CAT + SETTINGS + CALC + '    needs "m"\n    arg 1 | text "A"\n'
     '    arg 3 | text "B"\n', "7: arg", "numbered 1 to 2"),
    ("an unknown kind", CAT + SETTINGS + CALC + '    arg 1 | custom "A"\n', "9: arg", "is not KIND"),
    ("a number neither whole nor real", CAT + SETTINGS + CALC + '    needs "m"\n    arg 1 | number "N"\n', "10: arg",
     "whole or real"),
    ("a bound it cannot read", CAT + SETTINGS + CALC + '    needs "m"\n    arg 1 | number "N" whole | x > 1 | "m"\n',
     "10: arg", "a number's bound"),
    ("an array read without 'given'", CAT + SETTINGS + CALC + '    needs "m"\n    arg 1 | array "A"\n', "10: arg",
     "its bound is 'given'"),
    ("a noexcept calc row that checks", CAT + SETTINGS + "F | host | calc | calc | noexcept | k::f | x\n"
     '    title "F"\n    needs "m"\n    arg 1 | text "A"\n', "7: arg", "listed only"),
    ("a report without the exception's text", 'F | client | int | int a | report 0 "F failed" | f | x\n',
     "3: on failure", "{what} once"),
    ("a void export's report with a value", 'F | client | void | int a | report 0 "{what}" | f | x\n',
     "3: on failure", "answers nothing"),
    ("an int export's report without one", 'F | client | int | int a | report "{what}" | f | x\n',
     "3: on failure", "answers nothing, any other's a value"),
]
# A library's name becomes file names in --out: nothing may lead elsewhere.
BAD_LIBRARY = ["../x.dll", "a/b.dll", "x\\y.dll", "/tmp/x.dll", "x.so", "x\u00e9.dll", ""]
with tempfile.TemporaryDirectory() as work:
    path = os.path.join(work, "t.exports")

    def generate(text):
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
        return subprocess.run([sys.executable, generator, path, "--out", os.path.join(work, "out", "deeper")],
                              capture_output=True, text=True)

    for name, rows, where, message in BAD:
        made = generate(("" if name == "no library" else HEAD) + rows)
        check("refuses " + name, made.returncode != 0 and "Traceback" not in made.stderr and
              made.stderr.startswith("%s:%s" % (path, where + ": " if where else " ")) and message in made.stderr,
              made.stderr.strip())
    # A client row of nine parameters is one msxhost holds, and a table
    # without a catalogue is not msxhost's to call (Spreadcore's ten).
    for name, text in (("nine parameters", HEAD + CAT + "F | client | int | %s | noexcept | f | x\n" % NINE),
                       ("ten without a catalogue", HEAD + "F | client | int | %s, int a9 | noexcept | f | x\n" % NINE)):
        made = generate(text)
        check("takes a client row of " + name, made.returncode == 0, made.stderr.strip())
    for library in BAD_LIBRARY:
        made = generate("library %s\nF | client | int | int a | noexcept | f | x\n" % library)
        check("refuses the library name %r" % library, made.returncode != 0 and "Traceback" not in made.stderr and
              made.stderr.startswith(path + ":1: library: ") and not os.path.exists(os.path.join(work, "out", "x.def")),
              made.stderr.strip())
    made = subprocess.run([sys.executable, generator, os.path.join(work, "missing.exports"), "--out", work],
                          capture_output=True, text=True)
    check("a missing table: a message, no traceback", made.returncode != 0 and "Traceback" not in made.stderr and
          "missing.exports" in made.stderr, made.stderr.strip())

    # One row of each policy and kind, and what it makes.
    path = os.path.join(work, "good.exports")
    with open(path, "w") as f:
        f.write(HEAD + "catalogue k::kCatalogue\n" + SETTINGS + 'custom-string "C"\n'
                "Calc | host | calc | calc | frame | k::calc | runs\n"
                '    title "The calculation"\n'
                '    needs "Need them"\n'
                '    arg 3 | array "An array" | given | "No array"\n'
                '    arg 2 | number "Periods" whole | 1 <= x < last | "Periods out"\n'
                '    arg 1 | number "Mode" real | x in 0 1 | "Mode out"\n'
                "One | host | calc | calc | frame | k::one | reads a text\n"
                '    title "One"\n'
                '    needs "Need a name"\n'
                '    arg 1 | text "A name" | length <= 9 | "Name too long"\n'
                '    arg 2 | text "Listed" unread\n'
                "None | host | calc | calc | noexcept | k::none | the whole calculation\n"
                '    title "None"\n'
                "Sum | client | int | int a, double b, text c, int& d | value -1 | k::sum | adds\n"
                "Text | client | address | | noexcept | k::text | a text\n"
                "Poll | client | int | int h, int& a, int& b, int& c, int& d, int& e, text_record r | noexcept | "
                "k::poll | polls\n"
                'Said | client | int | int a | report k::quiet "Said: {what}, {export}!" | k::said | says\n'
                'Told | client | void | | report "{what} in {export}" | k::told | tells\n')
    out = os.path.join(work, "good")
    subprocess.run([sys.executable, generator, path, "--out", out], check=True)
    read = lambda name: open(os.path.join(out, name)).read()
    check("the .def lists the rows in order", read("Test.def") == "LIBRARY Test.dll\nEXPORTS\n    Calc\n    One\n"
          "    None\n    Sum\n    Text\n    Poll\n    Said\n    Told\n", read("Test.def"))
    check("argument bytes: six records 24, int+double+text+pointer 20, none 0, seven 28",
          [l for l in read("Test.argbytes").splitlines() if not l.startswith("#")] ==
          ["Calc 24", "One 24", "None 24", "Sum 20", "Text 0", "Poll 28", "Said 4", "Told 0"], read("Test.argbytes"))
    shims = read("Test_exports.cpp")
    check("value -1: one value_or guard", "return msx::value_or<int32_t>(-1, [&] {\n        return k::sum(a, b, c, d);"
          in shims, shims)
    check("noexcept: checked when the shim compiles", 'static_assert(noexcept(k::text()),' in shims, shims)
    check("frame: the catalogue row of the export's name", "k::kCatalogue.row(__func__)" in shims, shims)
    check("report: the row's words around the exception's text, the export's name in them, and its fallback "
          "called with the export's arguments",
          'msx::report_or<int32_t>({"Said: ", ", Said!"}, [&] {\n        return k::quiet(a);\n    }, [&] {\n'
          '        return k::said(a);' in shims and 'msx::report_or({"", " in Told"}, [&] {\n        k::told();' in shims,
          shims)
    catalogue = read("Test_catalogue.h")
    check("the catalogue: each row's title and arguments in the host's order, how an index is read, the answers",
          '{"Calc", "The calculation", 3, msx::ArgIndexRule::kChecked, {{"Mode", msx::kArgNumeric}, '
          '{"Periods", msx::kArgNumeric}, {"An array", msx::kArgDataArray}}, &Calc},' in catalogue and
          '{"One", "One", 2, msx::ArgIndexRule::kChecked, {{"A name", msx::kArgString}, {"Listed", msx::kArgString}}, '
          '&One},' in catalogue and
          '{"None", "None", 0, msx::ArgIndexRule::kNoneKept, {}, &None},' in catalogue and
          'inline constexpr msx::Catalogue kCatalogue{kCopyright, kFunctions, {msx::kError, "C"}};' in catalogue,
          catalogue)
    calcs = read("Test_catalogue.cpp")
    # The checks as the row states them: the counts and texts first, then
    # each bound in the order of its line, then the body with the checked
    # arguments in the host's order.
    checks = [
        "if (args.numeric_count() != 2 || args.array_count() != 1)",
        'return msx::CalcOutcome::fail("Need them");',
        "const MSXDataInfoRec* const an_array = args.arrays->psDataInfoRecs[0];",
        'if (!msx::given(an_array))', 'return msx::CalcOutcome::fail("No array");',
        "const int32_t periods = msx::whole_number(args.numeric(1));",
        "if (!(1 <= periods && periods < args.data->sClose.iLastValid))",
        'return msx::CalcOutcome::fail("Periods out");',
        "const double mode = static_cast<double>(args.numeric(0));",
        "if (!(mode == 0 || mode == 1))", 'return msx::CalcOutcome::fail("Mode out");',
        "return k::calc(args, mode, periods, *an_array);"]
    body = calcs[calcs.index("int32_t Calc("):calcs.index("int32_t One(")]
    lines = [l.strip() for l in body.splitlines()]
    check("frame: the row's checks in order in the table's frame, then its body with the checked arguments",
          'msx::run_frame(k::kFrame, "Calc", call,' in body and
          [l for l in lines if l in checks] == checks, body)
    one = calcs[calcs.index("int32_t One("):calcs.index("int32_t None(")]
    check("frame: a text is given and within its length; unread arguments are listed, not checked or passed",
          [l.strip() for l in one.splitlines() if "string(" in l or "longer" in l or "k::one" in l] ==
          ["if (args.string(0) == nullptr)", "const char* const a_name = args.string(0);",
           "if (msx::longer_than(a_name, 9))", "return k::one(args, a_name);"], one)
    check("noexcept: a calc row's body is the whole calculation",
          'static_assert(noexcept(k::none(call)), "None: its body must not throw");' in calcs, calcs)
    check("the copyright carries the build's version", 'kCopyright[] = "T " BARSIGHT_VERSION "";' in calcs, calcs)
    check("msxhost's signatures: kinds, and a record polled with its inputs only",
          read("client_signatures.inc").splitlines()[1:] ==
          ['{"Sum", \'i\', "idsp"},', '{"Text", \'s\', ""},', '{"Poll", \'q\', "i"},', '{"Said", \'i\', "i"},',
           '{"Told", \'v\', ""},'], read("client_signatures.inc"))
    check("the exports that hand over an address", read("address_exports.inc").splitlines()[1:] ==
          ['{"test.dll", "Text"},', '{"test.dll", "Poll"},'], read("address_exports.inc"))
    table = make_boundary.Table(path)
    sums = {r.name: r for r in table.rows}
    check("an address is int in MQL4 and long in MQL5",
          sums["Text"].mql(4) == "int  Text();" and sums["Text"].mql(5) == "long Text();",
          sums["Text"].mql(5))
    check("MQL parameters: text an array, int& a reference",
          sums["Sum"].mql(4) == "int  Sum(int a, double b, uchar &c[], int &d);", sums["Sum"].mql(4))
    long_row = make_boundary.wrapped("int  F(", ["int a%02d" % k for k in range(30)], ");")
    check("declarations break before 100 columns, lined up after the name",
          all(len(l) <= 100 for l in long_row.splitlines()) and long_row.splitlines()[1].startswith(" " * 7 + "int"),
          long_row)

sys.exit(1 if failures else 0)
