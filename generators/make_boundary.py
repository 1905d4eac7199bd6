#!/usr/bin/env python3
"""The plug-in boundary made from one table per DLL (its .exports file):

  generators/make_boundary.py TABLE... --out DIR
    writes, for each table's DLL,
      DIR/NAME.def             the module-definition file (the exports in
                               the table's order)
      DIR/NAME_exports.cpp     the extern "C" shims: one per row, its failure
                               policy in its form (msx/boundary.h)
      DIR/NAME_exports.h       the client exports' declarations
      DIR/NAME.argbytes        the bytes each export takes on the 32-bit
                               stack (its stdcall decoration)
      DIR/NAME_catalogue.h     for a table with calculations: the function
      DIR/NAME_catalogue.cpp   catalogue the host reads, and each row's
                               calculation (its argument checks, then its
                               body with the checked arguments)
    and, from the tables' client rows,
      DIR/client_signatures.inc  msxhost's client-call signatures
      DIR/address_exports.inc    the client exports that hand over an
                                 address (mql4run runs those only where an
                                 MQL4 int holds one)
  generators/make_boundary.py TABLE... --mql4 MQH --mql5 MQH [--check]
      writes (or with --check compares) the #import blocks of the MQL
      includes: one declaration per client row of each table.

A row is "name | for | result | parameters | on failure | body | what it
does", a calculation's row going on in indented lines (its title, its
arguments with their bounds and messages); plugin/BarsightPlugin.exports
explains the columns and the lines."""
import argparse
import os
import re
import sys

# Parameter types: C type, MQL4 declaration, MQL5 declaration ({} is the
# name), bytes on the 32-bit stack, msxhost's argument kind.
PARAMETERS = {
    "int": ("int32_t", "int {}", "int {}", 4, "i"),
    "uint": ("uint32_t", None, None, 4, None),
    "double": ("double", "double {}", "double {}", 8, "d"),
    "text": ("const char*", "uchar &{}[]", "uchar &{}[]", 4, "s"),
    "int&": ("int32_t*", "int &{}", "int &{}", 4, "p"),
    # Arrays the client passes by reference (their first element's address):
    # numbers read, whole numbers and numbers written.
    "doubles": ("const double*", "const double &{}[]", "const double &{}[]", 4, None),
    "ints": ("int32_t*", "int &{}[]", "int &{}[]", 4, None),
    "doubles_out": ("double*", "double &{}[]", "double &{}[]", 4, None),
    # A window handle as the client passes it: 32 significant bits, an int
    # in both MQL dialects (the library widens it by sign extension).
    "window": ("int32_t", "int {}", "int {}", 4, "i"),
    # The client's text record (MqlStr): it carries an address.
    "text_record": ("MqlStr*", "BarsightText &{}", "BarsightText &{}", 4, None),
    "void*": ("void*", None, None, 4, None),
    "MSXDLLDef*": ("MSXDLLDef*", None, None, 4, None),
    "MSXFuncDef*": ("MSXFuncDef*", None, None, 4, None),
    "MSXFuncArgDef*": ("MSXFuncArgDef*", None, None, 4, None),
    "MSXFuncCustomString*": ("MSXFuncCustomString*", None, None, 4, None),
}
# Results: C type, MQL4, MQL5, msxhost's result kind. An address travels
# as int in MQL4 (32-bit) and as long in MQL5 (64-bit).
RESULTS = {
    "int": ("int32_t", "int", "int", "i"),
    "void": ("void", "void", "void", "v"),
    "address": ("const char*", "int", "long", "s"),
}
# The one shape with a text record the client and msxhost know: a handle,
# five int outputs and the record (GetFromQueue's).
POLLED = ["int", "int&", "int&", "int&", "int&", "int&", "text_record"]
# msxhost's client call holds at most this many arguments.
CLIENT_ARGUMENTS = 9
# The names the C++ shims and MQL declarations are written with: ASCII
# identifiers only (C++, MQL and the export tables agree on nothing else).
IDENTIFIER = re.compile(r"[A-Za-z_][A-Za-z0-9_]*")
# A library is a file name of its own: nothing that could lead out of the
# output folder.
LIBRARY = re.compile(r"[A-Za-z0-9_][A-Za-z0-9_.-]*\.dll", re.I)
# A text the host shows or stores (a catalogue entry, a message): printable
# ASCII without quotes or backslashes, written into a 100-byte field.
QUOTED = re.compile(r'"([ !#-\[\]-~]*)"')
TEXT_FIELD = 99
# The kinds of a calculation's arguments: the catalogue's type code, the
# call's count of them, and how the checked value is read.
KINDS = {"number": "msx::kArgNumeric", "array": "msx::kArgDataArray", "text": "msx::kArgString"}
COUNTS = {"number": "args.numeric_count()", "array": "args.array_count()"}
# The table lines that say how a catalogue answers (the words after their
# keyword), besides "library", "catalogue" and "include".
SETTINGS = ("copyright", "frame", "unknown-argument", "custom-string")
# The host's six calculation records.
CALC = [("const MSXDataRec*", "a_psDataRec"), ("const MSXDataInfoRecArgsArray*", "a_psDataInfoArgs"),
        ("const MSXNumericArgsArray*", "a_psNumericArgs"), ("const MSXStringArgsArray*", "a_psStringArgs"),
        ("const MSXCustomArgsArray*", "a_psCustomArgs"), ("MSXResultRec*", "a_psResultRec")]


ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# The tables of the shipped DLLs.
TABLES = ["plugin/BarsightPlugin.exports", "loader/orvane.exports", "engine/Spreadcore.exports"]


def host_exports(library):
    """The exports of `library` (e.g. "BarsightPlugin.dll") only the
    charting host calls (the MQL includes declare every other one)."""
    for path in TABLES:
        table = Table(os.path.join(ROOT, path))
        if table.library.lower() == library.lower():
            return {r.name for r in table.rows if r.side == "host"}
    return set()


class Table:
    def __init__(self, path):
        self.path = path
        self.library = None
        self.catalogue = None
        self.copyright = None
        self.frame = None
        self.unknown_argument = None
        self.custom_string = None
        self.includes = []
        self.rows = []
        where_library = path
        try:
            lines = open(path, encoding="utf-8").read().splitlines()
        except (OSError, UnicodeDecodeError) as e:
            sys.exit("%s: cannot read the table: %s" % (path, e))
        for number, raw in enumerate(lines, 1):
            line = raw.strip()
            if not line or line.startswith("#"):
                continue
            where = "%s:%d" % (path, number)
            if raw[:1].isspace():
                if not self.rows or not self.rows[-1].calc:
                    sys.exit("%s: an indented line belongs to a calc row, and none is above it" % where)
                self.rows[-1].add_line(line, where)
                continue
            words = line.split(None, 1)
            if words[0] in SETTINGS and "|" not in line:
                self.setting(words[0], words[1].strip() if len(words) > 1 else "", where)
                continue
            if words[0] in ("library", "catalogue", "include") and "|" not in line:
                value = words[1].strip() if len(words) > 1 else ""
                if words[0] == "library":
                    if not LIBRARY.fullmatch(value):
                        sys.exit("%s: library: %r is not a DLL's file name (ASCII letters, digits, _ . -, "
                                 "ending .dll, no folder)" % (where, value))
                    where_library = where
                elif words[0] == "catalogue":
                    if not all(IDENTIFIER.fullmatch(p) for p in value.split("::")):
                        sys.exit("%s: catalogue: %r is not a C++ name (ASCII identifiers joined by ::)" % (where, value))
                elif not re.fullmatch(r"[A-Za-z0-9_./-]+\.h", value):
                    sys.exit("%s: include: %r is not a header's path" % (where, value))
                if words[0] == "include":
                    self.includes.append(value)
                else:
                    setattr(self, words[0], value)
                continue
            cells = [c.strip() for c in line.split("|")]
            if len(cells) != 7:
                sys.exit("%s: a row has 7 cells, not %d" % (where, len(cells)))
            self.rows.append(Row(cells, where))
        if not self.library:
            sys.exit("%s: no library line" % path)
        for r in self.rows:
            if r.calc and not self.catalogue:
                sys.exit("%s: result: calc rows need a catalogue line" % r.where)
            if r.calc:
                r.finish()
        if self.calcs():
            for word in ("copyright", "frame", "unknown-argument"):
                if getattr(self, word.replace("-", "_")) is None:
                    sys.exit("%s: a table with calc rows has a %s line" % (path, word))
        seen = {}
        for r in self.rows:
            if r.name in seen:
                sys.exit("%s: name: %s has 2 rows (the first at %s)" % (r.where, r.name, seen[r.name]))
            seen[r.name] = r.where
        if self.catalogue:
            # msxhost calls the client exports of a table with a catalogue.
            for r in self.rows:
                if r.side == "client" and len(r.client_signature()[1]) > CLIENT_ARGUMENTS:
                    sys.exit("%s: parameters: %d, but msxhost's client call holds at most %d"
                             % (r.where, len(r.params), CLIENT_ARGUMENTS))

    def setting(self, word, value, where):
        if word in ("copyright", "custom-string"):
            text = quoted(value, where, word)
            if word == "copyright":
                if text.count("{version}") != 1:
                    sys.exit("%s: copyright: the text holds {version} once (the build's version)" % where)
                if len(text) - len("{version}") > TEXT_FIELD - 12:
                    sys.exit("%s: copyright: longer than the host's field leaves room for" % where)
            setattr(self, word.replace("-", "_"), text)
        elif word == "frame":
            if not all(IDENTIFIER.fullmatch(p) for p in value.split("::")):
                sys.exit("%s: frame: %r is not a C++ name (ASCII identifiers joined by ::)" % (where, value))
            self.frame = value
        else:
            if value not in ("error", "success"):
                sys.exit("%s: unknown-argument: the answer is error or success, not %r" % (where, value))
            self.unknown_argument = value

    @property
    def stem(self):
        return os.path.splitext(self.library)[0]

    def calcs(self):
        return [r for r in self.rows if r.calc]


class Row:
    def __init__(self, cells, where):
        self.where = where
        self.name, self.side, self.result, params, self.policy, self.body, self.what = cells
        if not IDENTIFIER.fullmatch(self.name):
            sys.exit("%s: name: %r is no export name (an ASCII identifier)" % (where, self.name))
        if self.side not in ("host", "client"):
            sys.exit("%s: for: 'for' is host or client, not %r" % (where, self.side))
        self.calc = self.result == "calc"
        if self.calc:
            if params != "calc" or self.policy not in ("frame", "noexcept"):
                sys.exit("%s: result: a calc row has parameters 'calc' and failure 'frame' or 'noexcept'" % where)
            if self.side != "host":
                sys.exit("%s: for: a calc row is the charting host's, not %r" % (where, self.side))
            if not all(IDENTIFIER.fullmatch(p) for p in self.body.split("::")):
                sys.exit("%s: body: a calc row's body is a C++ name, not %r" % (where, self.body))
            self.params = []
            self.report = None
            self.title = None
            self.needs = None
            self.args = []
            return
        if self.result not in RESULTS:
            sys.exit("%s: result: unknown result type %r (types: %s)" % (where, self.result, ", ".join(RESULTS)))
        if not self.body:
            sys.exit("%s: body: no body" % where)
        self.report = None
        if self.policy.startswith("report"):
            self.report = report_policy(self.policy, self.result, where)
        elif not (self.policy == "noexcept" or re.fullmatch(r"value -?\d+", self.policy)):
            sys.exit('%s: on failure: on failure is noexcept or value N, or report [V] "TEXT", not %r'
                     % (where, self.policy))
        elif self.policy != "noexcept" and self.result != "int":
            sys.exit("%s: on failure: only an int result can answer a value on failure" % where)
        self.params = []
        for param in filter(None, (p.strip() for p in params.split(","))):
            parts = param.split()
            if len(parts) != 2 or parts[0] not in PARAMETERS:
                sys.exit("%s: parameters: parameter %r is not TYPE name (types: %s)"
                         % (where, param, ", ".join(PARAMETERS)))
            if not IDENTIFIER.fullmatch(parts[1]):
                # "&x", "*x", "x[]" or "x=5" would change what the shim
                # takes from what the type (and the pinned ABI) says.
                sys.exit("%s: parameters: parameter %r: %r is not a name (an ASCII identifier; the type "
                         "alone says value, reference or array)" % (where, param, parts[1]))
            self.params.append((parts[0], parts[1]))
        names = [n for _, n in self.params]
        if len(set(names)) != len(names):
            sys.exit("%s: parameters: a parameter name twice" % where)
        if self.side == "client":
            for t, n in self.params:
                if PARAMETERS[t][1] is None:
                    sys.exit("%s: parameters: %s %s has no MQL type, so no client can pass it" % (where, t, n))
            types = [t for t, _ in self.params]
            if "text_record" in types and types != POLLED:
                sys.exit("%s: parameters: a text record is taken only in the polling shape (%s)"
                         % (where, ", ".join(POLLED)))

    def add_line(self, line, where):
        """One of a calc row's indented lines: title, needs or arg."""
        words = line.split(None, 1)
        rest = words[1].strip() if len(words) > 1 else ""
        if words[0] in ("title", "needs"):
            if getattr(self, words[0]) is not None:
                sys.exit("%s: %s: %s has two %s lines" % (where, words[0], self.name, words[0]))
            setattr(self, words[0], quoted(rest, where, words[0]))
        elif words[0] == "arg":
            self.args.append(Argument(rest, where))
        else:
            sys.exit("%s: %r: a calc row's lines are title, needs and arg" % (where, words[0]))

    def finish(self):
        """Checks the calc row whole once its lines are read."""
        if self.title is None:
            sys.exit("%s: title: %s has no title line" % (self.where, self.name))
        positions = sorted(a.position for a in self.args)
        if positions != list(range(1, len(self.args) + 1)):
            sys.exit("%s: arg: %s's arguments are numbered 1 to %d, each once, not %s"
                     % (self.where, self.name, len(self.args), positions))
        if len(self.args) > 3:
            sys.exit("%s: arg: the catalogue holds at most 3 arguments of a function" % self.where)
        read = [a for a in self.args if a.read]
        if self.policy == "noexcept":
            if self.needs is not None or any(a.conversion or a.bound for a in self.args):
                sys.exit("%s: arg: a noexcept calc row's body reads the call itself: its arguments are listed "
                         "only (no needs, conversion or bound)" % self.where)
            return
        if read and self.needs is None:
            sys.exit("%s: needs: %s reads arguments, so it says what a call without them answers"
                     % (self.where, self.name))
        if not read and self.needs is not None:
            sys.exit("%s: needs: %s reads no argument" % (self.where, self.name))
        for a in self.args:
            if a.kind == "array" and a.read and a.bound != ("given",):
                sys.exit("%s: arg: the array %r reaches the body as its record, so its bound is 'given'"
                         % (a.where, a.name))
        # Each kind is counted in the host's order of the arguments.
        seen = {}
        for a in sorted(self.args, key=lambda a: a.position):
            a.index = seen.get(a.kind, 0)
            seen[a.kind] = a.index + 1

    def arg_rule(self):
        """How MSXNthArg reads the argument index: a function of one argument
        describes it for any index, one of none writes nothing more."""
        if not self.args:
            return "msx::ArgIndexRule::kNoneKept"
        return "msx::ArgIndexRule::kIgnored" if len(self.args) == 1 else "msx::ArgIndexRule::kChecked"

    def c_params(self):
        if self.calc:
            return CALC
        return [(PARAMETERS[t][0], n) for t, n in self.params]

    def c_result(self):
        return "int32_t" if self.calc else RESULTS[self.result][0]

    def arg_bytes(self):
        return 24 if self.calc else sum(PARAMETERS[t][3] for t, _ in self.params)

    def carries_address(self):
        return self.result == "address" or any(t == "text_record" for t, _ in self.params)

    def mql(self, dialect):
        k = 1 if dialect == 4 else 2
        params = []
        for t, n in self.params:
            if PARAMETERS[t][k] is None:
                sys.exit("%s: parameters: %s has no MQL type" % (self.where, t))
            params.append(PARAMETERS[t][k].format(n))
        result = RESULTS[self.result][k]
        return wrapped("%-4s %s(" % (result, self.name), params, ");")

    def client_signature(self):
        """msxhost's kinds: a row with a text record is called with the
        parameters before its first output and prints the record ('q')."""
        kinds = [PARAMETERS[t][4] for t, _ in self.params]
        if any(t == "text_record" for t, _ in self.params):
            return "q", "".join(kinds[:kinds.index("p")])
        return RESULTS[self.result][3], "".join(kinds)


def quoted(value, where, field):
    m = QUOTED.fullmatch(value)
    if not m:
        sys.exit('%s: %s: %r is not a text in quotes (printable ASCII, no " or \\)' % (where, field, value))
    if len(m.group(1)) > TEXT_FIELD:
        sys.exit("%s: %s: %d characters, but the host's field holds %d" % (where, field, len(m.group(1)), TEXT_FIELD))
    return m.group(1)


def report_policy(policy, result, where):
    """report [V] "TEXT": the answer on a throw (a number, a function called
    with the export's arguments, or none for a void export) and the text
    around the exception's, split at {what}."""
    m = re.fullmatch(r'report(?:\s+(-?\d+|[A-Za-z_][A-Za-z0-9_:]*))?\s+(".*")', policy)
    if not m:
        sys.exit('%s: on failure: report is report [V] "TEXT", not %r' % (where, policy))
    fallback, text = m.group(1), quoted(m.group(2), where, "on failure")
    if (fallback is None) != (result == "void"):
        sys.exit("%s: on failure: a void export's report answers nothing, any other's a value" % where)
    if fallback is not None and not re.fullmatch(r"-?\d+", fallback) and \
            not all(IDENTIFIER.fullmatch(p) for p in fallback.split("::")):
        sys.exit("%s: on failure: %r is neither a number nor a function's name" % (where, fallback))
    if text.count("{what}") != 1:
        sys.exit("%s: on failure: the report's text holds {what} once (the exception's text)" % where)
    return fallback, text


class Argument:
    """arg N | KIND "NAME" [whole|real|unread] [| BOUND | "TEXT"]"""

    def __init__(self, text, where):
        self.where = where
        cells = [c.strip() for c in text.split("|")]
        if len(cells) not in (2, 4) or not re.fullmatch(r"[1-9]", cells[0]):
            sys.exit('%s: arg: an argument is N | KIND "NAME" [whole|real|unread] [| BOUND | "TEXT"], not %r'
                     % (where, text))
        self.position = int(cells[0])
        m = re.fullmatch(r'(\w+)\s+(".*")(?:\s+(\w+))?', cells[1])
        if not m or m.group(1) not in KINDS:
            sys.exit("%s: arg: %r is not KIND \"NAME\" (kinds: %s)" % (where, cells[1], ", ".join(KINDS)))
        self.kind, self.name = m.group(1), quoted(m.group(2), where, "arg")
        word = m.group(3)
        allowed = {"number": ("whole", "real", "unread"), "array": ("unread",), "text": ("unread",)}[self.kind]
        if word is not None and word not in allowed:
            sys.exit("%s: arg: a %s argument is %s, not %r" % (where, self.kind, " or ".join(allowed), word))
        self.read = word != "unread"
        self.conversion = word if word in ("whole", "real") else None
        if self.kind == "number" and self.read and self.conversion is None:
            sys.exit("%s: arg: a number the body reads is whole or real" % where)
        self.bound = None
        self.message = None
        self.index = None
        if len(cells) == 4:
            if not self.read:
                sys.exit("%s: arg: an unread argument has no bound" % where)
            self.bound = parse_bound(cells[2], self.kind, where)
            self.message = quoted(cells[3], where, "arg")

    @property
    def variable(self):
        return re.sub(r"[^a-z0-9]+", "_", self.name.lower()).strip("_") or "argument"

    def c_declaration(self):
        if self.kind == "number":
            return "const %s %s" % ("int32_t" if self.conversion == "whole" else "double", self.variable)
        return "%s const %s" % ("const MSXDataInfoRec*" if self.kind == "array" else "const char*", self.variable)

    def c_value(self):
        if self.kind == "number":
            value = "args.numeric(%d)" % self.index
            return "msx::whole_number(%s)" % value if self.conversion == "whole" else "static_cast<double>(%s)" % value
        if self.kind == "array":
            return "args.arrays->psDataInfoRecs[%d]" % self.index
        return "args.string(%d)" % self.index

    def c_passed(self):
        return "*" + self.variable if self.kind == "array" else self.variable

    def c_fails(self):
        """The C++ condition under which the bound fails."""
        v = self.variable
        form = self.bound[0]
        if form == "given":
            return "!msx::given(%s)" % v
        if form == "length":
            return "msx::longer_than(%s, %s)" % (v, self.bound[1])
        if form == "in":
            return "!(%s)" % " || ".join("%s == %s" % (v, n) for n in self.bound[1])
        low, low_op, high_op, high = self.bound[1:]
        side = lambda n: "args.data->sClose.iLastValid" if n == "last" else n
        return "!(%s %s %s && %s %s %s)" % (side(low), low_op, v, v, high_op, side(high))


NUMBER = r"-?\d+(?:\.\d+)?"


def parse_bound(text, kind, where):
    if kind == "array":
        if text != "given":
            sys.exit("%s: arg: an array's bound is 'given', not %r" % (where, text))
        return ("given",)
    if kind == "text":
        m = re.fullmatch(r"length\s*<=\s*(\d+)", text)
        if not m:
            sys.exit("%s: arg: a text's bound is 'length <= N', not %r" % (where, text))
        return ("length", m.group(1))
    m = re.fullmatch(r"x\s+in((?:\s+%s)+)" % NUMBER, text)
    if m:
        return ("in", m.group(1).split())
    side = r"(%s|last)" % NUMBER
    m = re.fullmatch(r"%s\s*(<=?)\s*x\s*(<=?)\s*%s" % (side, side), text)
    if not m:
        sys.exit("%s: arg: a number's bound is 'A <= x < B' (< or <=, A and B numbers or last) or "
                 "'x in A B ...', not %r" % (where, text))
    return ("range",) + m.groups()


def wrapped(head, items, tail, width=100):
    """head + items joined by ", " + tail, broken after a comma before
    `width` columns, each further line lined up after head."""
    lines, line = [], head
    for k, item in enumerate(items):
        piece = item + ("," if k + 1 < len(items) else tail)
        if line != head and len(line) + 1 + len(piece) > width:
            lines.append(line)
            line = " " * len(head) + piece
        else:
            line += ("" if line == head else " ") + piece
    if not items:
        line += tail
    lines.append(line)
    return "\n".join(lines)


GENERATED = "Generated by generators/make_boundary.py from %s: do not edit; change the table."


def shim(row, table):
    params = row.c_params()
    signature = wrapped("MSX_API %s %s(" % (row.c_result(), row.name), ["%s %s" % p for p in params], ") {")
    lines = ["// %s" % row.what[:1].upper() + row.what[1:] + ".", signature]
    if row.calc:
        args = ", ".join(n for _, n in params)
        lines += ["    constexpr const msx::FunctionRow& row = %s.row(__func__);" % table.catalogue,
                  wrapped("    return row.calc({", [n for _, n in params] + ["row.name"], "});")]
    else:
        call = "%s(%s)" % (row.body, ", ".join(n for _, n in params))
        keyword = "" if row.result == "void" else "return "
        if row.report is not None:
            fallback, text = row.report
            before, after = text.replace("{export}", row.name).split("{what}")
            guard = '{"%s", "%s"}' % (before, after)
            if fallback is None:
                lines.append("    msx::report_or(%s, [&] {\n        %s;\n    });" % (guard, call))
            else:
                if not re.fullmatch(r"-?\d+", fallback):
                    fallback = "[&] {\n        return %s(%s);\n    }" % (fallback, ", ".join(n for _, n in params))
                lines.append("    return msx::report_or<%s>(%s, %s, [&] {\n        return %s;\n    });"
                             % (row.c_result(), guard, fallback, call))
        elif row.policy == "noexcept":
            lines.append("    static_assert(noexcept(%s),\n                  \"%s: its body must not throw\");" % (call, row.name))
            lines.append("    %s%s;" % (keyword, call))
        else:
            value = row.policy.split()[1]
            lines.append("    return msx::value_or<%s>(%s, [&] {\n        return %s;\n    });" % (row.c_result(), value, call))
    lines.append("}")
    return "\n".join(lines)


def shown_path(path):
    return os.path.relpath(os.path.abspath(path), ROOT).replace(os.sep, "/")


def exports_cpp(table):
    out = ["// " + GENERATED % shown_path(table.path), "// The exports of %s." % table.library,
           '#include "msx/boundary.h"']
    if table.calcs():
        out.append('#include "boundary/%s_catalogue.h"' % table.stem)
    out += ['#include "%s"' % i for i in table.includes]
    out.append("")
    if table.catalogue:
        out += ["const msx::Catalogue& msx::plugin_catalogue() noexcept { return %s; }" % table.catalogue, ""]
    out.append('extern "C" {')
    for row in table.rows:
        out += ["", shim(row, table)]
    out += ["", '}  // extern "C"', ""]
    return "\n".join(out)


def exports_h(table):
    # The host's records only where a declaration takes one; else the calling convention alone.
    takes_record = any(re.match(r"(const )?(Mql|MSX)\w*\*", c_type)
                       for row in table.rows if not (row.calc or row.side == "host") for c_type, _ in row.c_params())
    header = "msx/msx_records.h" if takes_record else "msx/calling_convention.h"
    out = ["// " + GENERATED % shown_path(table.path),
           "// The exports of %s, for the programs and tests that call them directly." % table.library,
           "#pragma once", "", "#include <cstdint>", "", '#include "%s"' % header, "", 'extern "C" {']
    for row in table.rows:
        if row.calc or row.side == "host":
            continue
        out += ["", "// %s." % (row.what[:1].upper() + row.what[1:]),
                wrapped("MSX_API %s %s(" % (row.c_result(), row.name),
                        ["%s %s" % p for p in row.c_params()], ");")]
    out += ["", '}  // extern "C"', ""]
    return "\n".join(out)


def catalogue_parts(table):
    space, _, name = table.catalogue.rpartition("::")
    return space, name


def catalogue_h(table):
    space, name = catalogue_parts(table)
    out = ["// " + GENERATED % shown_path(table.path),
           "// The function catalogue of %s: one row per calculation export, read" % table.library,
           "// by the host through the MSX catalogue queries, and the calculation each",
           "// row runs (named as its export): the row's argument checks, then its body.",
           "#pragma once", "", "#include <cstdint>", "", '#include "msx/msx_catalogue.h"', ""]
    if space:
        out += ["namespace %s {" % space, ""]
    out += ["// The copyright text MSXInfo reports.", "extern const char kCopyright[];", ""]
    for row in table.calcs():
        out += ["// %s: %s." % (row.name, row.what),
                "int32_t %s(const msx::CalcArgs& call) noexcept;" % row.name]
    out += ["", "inline constexpr msx::FunctionRow kFunctions[] = {"]
    for row in table.calcs():
        args = ", ".join('{"%s", %s}' % (a.name, KINDS[a.kind]) for a in sorted(row.args, key=lambda a: a.position))
        out.append('    {"%s", "%s", %d, %s, {%s}, &%s},' % (row.name, row.title, len(row.args), row.arg_rule(),
                                                           args, row.name))
    answer = "msx::kError" if table.unknown_argument == "error" else "msx::kSuccess"
    custom = '"%s"' % table.custom_string if table.custom_string is not None else "nullptr"
    out += ["};", "", "inline constexpr msx::Catalogue %s{kCopyright, kFunctions, {%s, %s}};" % (name, answer, custom)]
    if space:
        out += ["", "}  // namespace %s" % space]
    return "\n".join(out) + "\n"


def calculation(row, table):
    """A calc row's calculation: a noexcept body takes the call; a frame
    row's checks run in the table's frame, then its body takes the checked
    arguments."""
    head = ["// %s: %s." % (row.name, row.what[:1].upper() + row.what[1:]),
            "int32_t %s(const msx::CalcArgs& call) noexcept {" % row.name]
    if row.policy == "noexcept":
        return "\n".join(head + ["    static_assert(noexcept(%s(call)), \"%s: its body must not throw\");"
                                 % (row.body, row.name),
                                 "    return %s(call);" % row.body, "}"])
    lines = head + ['    return msx::run_frame(%s, "%s", call,' % (table.frame, row.name),
                    "                          [](const msx::CalcArgs& args) -> msx::CalcOutcome {"]
    read = sorted((a for a in row.args if a.read), key=lambda a: a.position)
    if row.needs is not None:
        missing = ["%s != %d" % (COUNTS[k], sum(a.kind == k for a in read)) for k in ("number", "array")
                   if any(a.kind == k for a in read)]
        missing += ["args.string(%d) == nullptr" % a.index for a in read if a.kind == "text"]
        lines.append("        if (%s)" % " || ".join(missing))
        lines.append('            return msx::CalcOutcome::fail("%s");' % row.needs)
    # The checked arguments, each read where its check runs: the bounded
    # ones in the order of their lines, the others after them.
    for a in [a for a in row.args if a.bound] + [a for a in read if not a.bound]:
        lines.append("        %s = %s;" % (a.c_declaration(), a.c_value()))
        if a.bound:
            lines.append("        if (%s)" % a.c_fails())
            lines.append('            return msx::CalcOutcome::fail("%s");' % a.message)
    lines.append("        return %s;" % wrapped("%s(" % row.body, ["args"] + [a.c_passed() for a in read], ")",
                                               width=100 - 15).replace("\n", "\n" + " " * 15))
    lines += ["    });", "}"]
    return "\n".join(lines)


def catalogue_cpp(table):
    space, _ = catalogue_parts(table)
    before, after = table.copyright.split("{version}")
    out = ["// " + GENERATED % shown_path(table.path),
           "// The calculations of %s's catalogue rows." % table.library,
           '#include "boundary/%s_catalogue.h"' % table.stem, "", '#include "msx/calc_arguments.h"']
    out += ['#include "%s"' % i for i in table.includes]
    out += ["", "#ifndef BARSIGHT_VERSION", '#define BARSIGHT_VERSION "0.0.0"', "#endif", ""]
    if space:
        out += ["namespace %s {" % space, ""]
    out += ['const char kCopyright[] = "%s" BARSIGHT_VERSION "%s";' % (before, after)]
    for row in table.calcs():
        out += ["", calculation(row, table)]
    if space:
        out += ["", "}  // namespace %s" % space]
    return "\n".join(out) + "\n"


def def_file(table):
    return "LIBRARY %s\nEXPORTS\n%s" % (table.library, "".join("    %s\n" % r.name for r in table.rows))


def argbytes(table):
    lines = ["# " + GENERATED % shown_path(table.path),
             "# Bytes of arguments each export takes on the 32-bit stack: the stdcall",
             "# decoration the host's calls imply (_Name@bytes)."]
    lines += ["%s %d" % (r.name, r.arg_bytes()) for r in table.rows]
    return "\n".join(lines) + "\n"


def client_signatures(tables):
    lines = ["// " + GENERATED % ", ".join(shown_path(t.path) for t in tables)]
    for table in tables:
        if table.catalogue is None:
            continue  # msxhost calls the client exports of a plug-in
        for row in table.rows:
            if row.side == "client":
                result, kinds = row.client_signature()
                lines.append('{"%s", \'%s\', "%s"},' % (row.name, result, kinds))
    return "\n".join(lines) + "\n"


def address_exports(tables):
    lines = ["// " + GENERATED % ", ".join(shown_path(t.path) for t in tables)]
    for table in tables:
        for row in table.rows:
            if row.side == "client" and row.carries_address():
                lines.append('{"%s", "%s"},' % (table.library.lower(), row.name))
    return "\n".join(lines) + "\n"


def abi(tables):
    """What a caller of each export depends on, one line each: library,
    name, result and parameters as C types, bytes on the 32-bit stack. The
    committed snapshot (tests/boundary/abi.txt) pins it."""
    lines = []
    for table in tables:
        for row in table.rows:
            lines.append("%s %s %s(%s) %d" % (table.library, row.name, row.c_result(),
                                              ", ".join(t for t, _ in row.c_params()), row.arg_bytes()))
    return "\n".join(lines) + "\n"


def write(path, text):
    """Writes only a changed file, so the build does not redo what depends on it."""
    try:
        if open(path, encoding="utf-8").read() == text:
            return
    except OSError:
        pass
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)


def import_block(table, dialect):
    rows = [r for r in table.rows if r.side == "client"]
    return '#import "%s"\n%s#import' % (table.library, "".join(r.mql(dialect) + "\n" for r in rows))


def mql_include(text, tables, dialect, path):
    for table in tables:
        if not any(r.side == "client" for r in table.rows):
            continue
        pattern = re.compile(r'#import "%s"\n.*?#import' % re.escape(table.library), re.S)
        if not pattern.search(text):
            sys.exit('%s: no #import "%s" block' % (path, table.library))
        text = pattern.sub(lambda _m: import_block(table, dialect), text, count=1)
    return text


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("tables", nargs="+")
    parser.add_argument("--out")
    parser.add_argument("--mql4")
    parser.add_argument("--mql5")
    parser.add_argument("--check", action="store_true")
    parser.add_argument("--abi", action="store_true", help="print the exports' ABI, one line each")
    args = parser.parse_args()
    tables = [Table(p) for p in args.tables]
    if args.abi:
        sys.stdout.write(abi(tables))
    if args.out:
        os.makedirs(args.out, exist_ok=True)
        for table in tables:
            write(os.path.join(args.out, table.stem + ".def"), def_file(table))
            write(os.path.join(args.out, table.stem + "_exports.cpp"), exports_cpp(table))
            write(os.path.join(args.out, table.stem + "_exports.h"), exports_h(table))
            write(os.path.join(args.out, table.stem + ".argbytes"), argbytes(table))
            if table.calcs():
                write(os.path.join(args.out, table.stem + "_catalogue.h"), catalogue_h(table))
                write(os.path.join(args.out, table.stem + "_catalogue.cpp"), catalogue_cpp(table))
        write(os.path.join(args.out, "client_signatures.inc"), client_signatures(tables))
        write(os.path.join(args.out, "address_exports.inc"), address_exports(tables))
    stale = []
    for dialect, path in ((4, args.mql4), (5, args.mql5)):
        if not path:
            continue
        text = open(path, encoding="utf-8").read()
        made = mql_include(text, tables, dialect, path)
        if made != text:
            if args.check:
                stale.append(path)
            else:
                write(path, made)
    if stale:
        sys.exit("the #import blocks of %s differ from the tables: run generators/make_boundary.py with --mql4/--mql5"
                 % ", ".join(stale))


if __name__ == "__main__":
    try:
        main()
    except OSError as e:
        sys.exit("make_boundary.py: %s" % e)
