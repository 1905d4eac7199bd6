#!/usr/bin/env python3
"""The plug-in boundary made from one table per DLL (its .exports file):

  make_boundary.py TABLE... --out DIR       writes, for each table's DLL,
      DIR/NAME.def             the module-definition file (the exports in
                               the table's order)
      DIR/NAME_exports.cpp     the extern "C" shims: one per row, its failure
                               policy in its form (msx/boundary.h)
      DIR/NAME_exports.h       the client exports' declarations
      DIR/NAME.argbytes        the bytes each export takes on the 32-bit
                               stack (its stdcall decoration)
    and, from the tables' client rows,
      DIR/client_signatures.inc  msxhost's client-call signatures
      DIR/address_exports.inc    the client exports that hand over an
                                 address (mql4run runs those only where an
                                 MQL4 int holds one)
  make_boundary.py TABLE... --mql4 MQH --mql5 MQH [--check]
      writes (or with --check compares) the #import blocks of the MQL
      includes: one declaration per client row of each table.

A row is "name | for | result | parameters | on failure | body | what it
does"; plugin/BarsightPlugin.exports explains the columns."""
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
        self.includes = []
        self.rows = []
        where_library = path
        try:
            lines = open(path, encoding="utf-8").read().splitlines()
        except (OSError, UnicodeDecodeError) as e:
            sys.exit("%s: cannot read the table: %s" % (path, e))
        for number, line in enumerate(lines, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            where = "%s:%d" % (path, number)
            words = line.split(None, 1)
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

    @property
    def stem(self):
        return os.path.splitext(self.library)[0]


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
            if params != "calc" or self.policy != "frame" or self.body:
                sys.exit("%s: result: a calc row has parameters 'calc', failure 'frame' and no body" % where)
            if self.side != "host":
                sys.exit("%s: for: a calc row is the charting host's, not %r" % (where, self.side))
            self.params = []
            return
        if self.result not in RESULTS:
            sys.exit("%s: result: unknown result type %r (types: %s)" % (where, self.result, ", ".join(RESULTS)))
        if not self.body:
            sys.exit("%s: body: no body" % where)
        if not (self.policy == "noexcept" or re.fullmatch(r"value -?\d+", self.policy)):
            sys.exit("%s: on failure: on failure is noexcept or value N, not %r" % (where, self.policy))
        if self.policy != "noexcept" and self.result != "int":
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


GENERATED = "Generated by scripts/make_boundary.py from %s: do not edit; change the table."


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
        if row.policy == "noexcept":
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
        sys.exit("the #import blocks of %s differ from the tables: run scripts/make_boundary.py with --mql4/--mql5"
                 % ", ".join(stale))


if __name__ == "__main__":
    try:
        main()
    except OSError as e:
        sys.exit("make_boundary.py: %s" % e)
