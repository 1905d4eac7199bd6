#!/usr/bin/env python3
"""Translates MQL4 programs (build 600 and later) and MQL5 programs into C++
classes for the mql4run runtime (tools/mql4run/program.h and the dialect
sides mql4.h and mql5.h).

Each program becomes one class derived from mql::Program: its global
variables become members (zeroed, as MQL4 zeroes globals), its functions
member functions, its #include files are inlined where they stand, and each
#import block becomes member functions that call the bound DLL export through
the runtime. Because a program is a class, one process can hold several
charts running the same program.

A .mq5 file is MetaTrader 5's dialect: the same translation, with __MQL5__
defined and the program built on the runtime's MQL5 side (mql5.h), which
declares that dialect's built-ins, constants and enumerations only; an
.mq4 is built on the MQL4 side (mql4.h). The C++ compiler then refuses what
MetaEditor refuses: a built-in of the other dialect (undeclared), an int
where MQL5 wants ENUM_TIMEFRAMES or a property of another family (distinct
enumerations), a number joined to a string, a narrowing conversion, a local
hiding a global, a trade call's result dropped (the translated code is
built with those warnings as errors).

Only the MQL the kit uses is accepted; syntax that C++ has and MQL lacks is
refused with the file and line, so a program that passes here still reads as
MQL.

usage: translate.py OUTPUT.cpp KIT_DIR PROGRAM.mq4|PROGRAM.mq5...
An #include is looked up in KIT_DIR/MQL4/Include (MQL5/Include for a .mq5),
then KIT_DIR/Shared/Include (what both kits ship), then beside the program.
"""
import os
import re
import sys

# C++ syntax that is not MQL4: a program using it would compile here and be
# refused by MetaEditor.
REFUSED_WORDS = {
    "namespace", "using", "std", "nullptr", "auto", "constexpr", "static_cast",
    "reinterpret_cast", "const_cast", "dynamic_cast", "decltype",
    "noexcept", "mutable", "friend", "throw", "try", "catch", "goto", "register",
    "volatile", "unsigned", "signed", "alignas", "thread_local", "static_assert",
}
REFUSED_PUNCT = {"->", ".*", "->*"}
# MQL5 has namespaces; MQL4 does not.
DIALECT_WORDS = {"mql5": {"namespace"}, "mql4": set()}

# MQL4 types whose C++ spelling differs (long is 64 bits in MQL4, 32 in the
# i686 C++ compiler).
TYPE_WORDS = {"long": "mql_long", "ulong": "mql_ulong"}

# The #property names each dialect's reference lists (indicator_labelN and
# the like with any plot number).
PROPERTIES = {
    "mql4": {"copyright", "link", "version", "description", "icon", "stacksize", "library", "strict",
             "indicator_chart_window", "indicator_separate_window", "indicator_height", "indicator_buffers",
             "indicator_minimum", "indicator_maximum", "indicator_levelcolor", "indicator_levelstyle",
             "indicator_levelwidth", "script_show_confirm", "script_show_inputs", "tester_file",
             "tester_indicator", "tester_library"},
    "mql5": {"copyright", "link", "version", "description", "icon", "stacksize", "library",
             "indicator_applied_price", "indicator_chart_window", "indicator_separate_window",
             "indicator_height", "indicator_buffers", "indicator_plots", "indicator_minimum",
             "indicator_maximum", "indicator_levelcolor", "indicator_levelstyle", "indicator_levelwidth",
             "script_show_confirm", "script_show_inputs", "tester_file", "tester_indicator",
             "tester_library", "tester_set", "tester_no_cache", "tester_everytick_calculate",
             "optimization_chart_mode"},
}
NUMBERED_PROPERTIES = {
    "mql4": ("indicator_label", "indicator_color", "indicator_width", "indicator_style", "indicator_type",
             "indicator_level"),
    "mql5": ("indicator_label", "indicator_color", "indicator_width", "indicator_style", "indicator_type",
             "indicator_level"),
}


def property_known(dialect, name):
    if name in PROPERTIES[dialect]:
        return True
    match = re.fullmatch(r"([a-z_]+?)(\d+)", name)
    return bool(match) and match.group(1) in NUMBERED_PROPERTIES[dialect] and int(match.group(2)) >= 1

# The web colours MQL names (clrRed, and in MQL4 also plain Red), for the
# colours a #property gives.
WEB_COLOURS = set("""
AliceBlue AntiqueWhite Aqua Aquamarine Beige Bisque Black BlanchedAlmond Blue BlueViolet Brown BurlyWood
CadetBlue Chartreuse Chocolate Coral CornflowerBlue Cornsilk Crimson DarkBlue DarkGoldenrod DarkGray
DarkGreen DarkKhaki DarkOliveGreen DarkOrange DarkOrchid DarkSalmon DarkSeaGreen DarkSlateBlue
DarkSlateGray DarkTurquoise DarkViolet DeepPink DeepSkyBlue DimGray DodgerBlue FireBrick ForestGreen
Gainsboro Gold Goldenrod Gray Green GreenYellow Honeydew HotPink IndianRed Indigo Ivory Khaki Lavender
LavenderBlush LawnGreen LemonChiffon LightBlue LightCoral LightCyan LightGoldenrod LightGreen LightGray
LightPink LightSalmon LightSeaGreen LightSkyBlue LightSlateGray LightSteelBlue LightYellow Lime LimeGreen
Linen Magenta Maroon MediumAquamarine MediumBlue MediumOrchid MediumPurple MediumSeaGreen MediumSlateBlue
MediumSpringGreen MediumTurquoise MediumVioletRed MidnightBlue MintCream MistyRose Moccasin NavajoWhite
Navy OldLace Olive OliveDrab Orange OrangeRed Orchid PaleGoldenrod PaleGreen PaleTurquoise PaleVioletRed
PapayaWhip PeachPuff Peru Pink Plum PowderBlue Purple Red RosyBrown RoyalBlue SaddleBrown Salmon
SandyBrown SeaGreen Seashell Sienna Silver SkyBlue SlateBlue SlateGray Snow SpringGreen SteelBlue Tan
Teal Thistle Tomato Turquoise Violet Wheat White WhiteSmoke Yellow YellowGreen""".split())

# MetaEditor's types by their size, for the 512 KB of locals a function may
# hold.
TYPE_SIZES = {"bool": 1, "char": 1, "uchar": 1, "short": 2, "ushort": 2, "int": 4, "uint": 4, "color": 4,
              "float": 4, "long": 8, "ulong": 8, "datetime": 8, "double": 8, "string": 12}
LOCALS_LIMIT = 512 * 1024

# The structures the runtime declares (by reference only, as the program's own).
BUILTIN_STRUCTS = {"MqlRates", "MqlTradeRequest", "MqlTradeResult", "MqlTick", "MqlDateTime"}

# Built-ins that write a scalar through a reference parameter: a variable
# handed to one is set by it, not read (their parameter positions).
OUTPUT_BUILTINS = {"SymbolInfoDouble": 2, "SymbolInfoInteger": 2, "SymbolInfoString": 2,
                   "ChartGetInteger": 3, "ChartGetDouble": 3, "GlobalVariableGet": 1,
                   "AccountInfoInteger": 1, "AccountInfoDouble": 1, "OrderCalcMargin": 4,
                   "OrderCalcProfit": 5, "PositionGetInteger": 1, "PositionGetDouble": 1,
                   "StringTrimLeft": 0, "StringTrimRight": 0}

SCALAR_TYPES = {"bool", "char", "uchar", "short", "ushort", "int", "uint", "color", "long",
                "ulong", "datetime", "float", "double", "string"}

# How an import's parameter travels on the stack: MQL4's 32-bit ABI.
ARG_KIND = {
    "bool": "arg_i32", "char": "arg_i32", "uchar": "arg_i32", "short": "arg_i32",
    "ushort": "arg_i32", "int": "arg_i32", "uint": "arg_i32", "color": "arg_i32",
    "long": "arg_i64", "ulong": "arg_i64", "datetime": "arg_i64",
    "float": "arg_f32", "double": "arg_f64", "string": "arg_wstr",
}
RESULT_TYPE = {
    "void": "void", "bool": "std::int32_t", "char": "std::int32_t", "uchar": "std::int32_t",
    "short": "std::int32_t", "ushort": "std::int32_t", "int": "std::int32_t",
    "uint": "std::int32_t", "color": "std::int32_t", "long": "std::int64_t",
    "ulong": "std::int64_t", "datetime": "std::int64_t", "float": "double", "double": "double",
}

TOKEN = re.compile(r"""
    (?P<ws>\s+)
  | (?P<comment>//[^\n]*|/\*.*?\*/)
  | (?P<literal>[DC]'[^'\n]*')
  | (?P<string>"(?:\\.|[^"\\\n])*")
  | (?P<char>'(?:\\.|[^'\\\n])+')
  | (?P<number>0[xX][0-9a-fA-F]+|(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?)
  | (?P<ident>[A-Za-z_]\w*)
  | (?P<punct>->\*|\.\*|->|::|<<=|>>=|\+\+|--|&&|\|\||[-+*/%&|^!=<>]=|<<|>>|[][{}()<>;:,.?~!%^&*|=+/-])
""", re.X | re.S)


class Refused(Exception):
    pass


class Token:
    def __init__(self, kind, text, path, line):
        self.kind, self.text, self.path, self.line = kind, text, path, line

    def __repr__(self):
        return self.text


class MethodMark(Token):
    """Where a method defined outside its class starts or ends among the
    tokens: blank to every pass, it moves the method after the program."""
    def __init__(self, starts, path, line):
        super().__init__("ws", "", path, line)
        self.starts = starts


# A preprocessor directive: from a "#" that starts its line (blanks before it
# allowed) to the line's end. A comment on it is part of the token (a block
# comment it opens may run over several lines) and no part of its text:
# Token.text is the directive without its comments.
DIRECTIVE = re.compile(r"""\#(?:"(?:\\.|[^"\\\n])*"|'(?:\\.|[^'\\\n])*'|/\*.*?\*/|//[^\n]*|/(?![/*])|[^\n"'/])*""",
                       re.S)


def directive_text(raw):
    """A directive's text without its comments (outside its strings)."""
    out, pos = [], 0
    for match in re.finditer(r'"(?:\\.|[^"\\\n])*"|\'(?:\\.|[^\'\\\n])*\'|/\*.*?\*/|//[^\n]*', raw, re.S):
        out.append(raw[pos:match.start()])
        out.append(match.group() if match.group()[0] in "\"'" else " ")
        pos = match.end()
    out.append(raw[pos:])
    return "".join(out).rstrip()


def tokenize(text, path, first_line=1):
    """The one tokenizer: every pass reads its tokens. Comments become
    whitespace holding their line breaks; a directive is one token."""
    tokens, pos, line = [], 0, first_line
    while pos < len(text):
        line_start = text.rfind("\n", 0, pos) + 1
        if text[pos] == "#" and not text[line_start:pos].strip():
            match = DIRECTIVE.match(text, pos)
            token = Token("directive", directive_text(match.group()), path, line)
            token.breaks = match.group().count("\n")  # the lines a comment on it runs over
            tokens.append(token)
            line += token.breaks
            pos = match.end()
            continue
        match = TOKEN.match(text, pos)
        if not match:
            raise Refused("%s:%d: unexpected character %r" % (path, line, text[pos]))
        kind, value = match.lastgroup, match.group()
        if kind == "comment":  # keep the line count, drop the text
            kind, value = "ws", "\n" * value.count("\n") or " "
        tokens.append(Token(kind, value, path, line))
        line += value.count("\n")
        pos = match.end()
    return tokens


def literal_value(token):
    """D'2024.01.02 10:30' as seconds since 1970, C'r,g,b' as MQL4's colour
    number (red in the low byte)."""
    body = token.text[2:-1].strip()
    if token.text[0] == "C":
        parts = [int(p, 0) for p in body.split(",")]
        if len(parts) != 3 or not all(0 <= p <= 255 for p in parts):
            raise Refused("%s:%d: bad colour literal %s" % (token.path, token.line, token.text))
        return str(parts[0] | parts[1] << 8 | parts[2] << 16)
    match = re.fullmatch(r"(\d{4})\.(\d{1,2})\.(\d{1,2})(?:\s+(\d{1,2}):(\d{2})(?::(\d{2}))?)?", body)
    if not match:
        raise Refused("%s:%d: bad datetime literal %s" % (token.path, token.line, token.text))
    import calendar
    y, mo, d = (int(match.group(i)) for i in (1, 2, 3))
    h, mi, s = (int(match.group(i) or 0) for i in (4, 5, 6))
    # MetaEditor's warnings 22 and 23 (errors in a strict build): a day the
    # month lacks would otherwise roll over into the next month.
    if not (1970 <= y <= 3000 and 1 <= mo <= 12 and 1 <= d <= calendar.monthrange(y, mo)[1]):
        raise Refused("%s:%d: %s - wrong number in the datetime string for the date (warning 22)"
                      % (token.path, token.line, token.text))
    if not (h < 24 and mi < 60 and s < 60):
        raise Refused("%s:%d: %s - wrong number in the datetime string for the time (warning 23)"
                      % (token.path, token.line, token.text))
    return "mql_long(%dLL)" % calendar.timegm((y, mo, d, h, mi, s, 0, 0, 0))


def significant(tokens):
    return [t for t in tokens if t.kind != "ws"]


def statement_type(tokens, index):
    """The declared type of the statement or parameter around tokens[index]:
    the first type word after the last ; { } ( or , before it (the , only in
    a parameter list)."""
    depth = 0
    i = index
    while True:
        i -= 1
        if i < 0:
            break
        t = tokens[i]
        if t.kind == "ws":
            continue
        if t.text in (")", "]"):
            depth += 1
        elif t.text in ("(", "[") and depth:
            depth -= 1
        elif depth == 0 and t.text in (";", "{", "}", "("):
            break
    for t in tokens[i + 1:index]:
        if t.text.startswith("array<"):  # the first declarator, already rewritten
            return t.text[len("array<"):-1]
        if t.kind == "ident" and (t.text in SCALAR_TYPES or t.text[0].isupper()):
            if t.text not in ("const",):
                return t.text
    return None


def dialect_of(path):
    return "mql5" if path.lower().endswith(".mq5") else "mql4"


class Translator:
    def __init__(self, kit_dir, dialect):
        self.dialect = dialect
        self.include_dirs = [os.path.join(kit_dir, dialect.upper(), "Include"),
                             os.path.join(kit_dir, "Shared", "Include")]
        self.properties = {}
        self.inputs = []  # (name, mql type)
        self.imports = []  # (library, name, result, [(type, name, kind)])
        self.included = set()
        self.handlers = set()
        self.calls = {}  # function -> names it calls
        self.structs = set()
        self.input_names = set()
        self.input_declarations = set()  # token indexes of this chunk's input names
        self.macros = set()  # the names the program #defines, undefined after it
        self.numbers = {}  # the #defines that are whole numbers (array sizes)
        self.program_sig = []  # the program's significant tokens, includes inlined
        self.property_lines = {}
        self.reference_params = {}  # import -> [passed by reference, ...]
        self.classes = set()  # the program's classes and structures, by name
        self.methods = []  # methods defined outside their class, as C++ after the program

    def refuse(self, token, what):
        raise Refused("%s:%d: %s is C++, not %s" % (token.path, token.line, what, self.dialect.upper()))

    def translate_file(self, path):
        """The program or include file as C++: its tokens read once, the
        directives among them acted on, the code between them translated."""
        tokens = tokenize(open(path, encoding="utf-8-sig").read(), path)
        out, chunk, i = [], [], 0
        while i < len(tokens):
            t = tokens[i]
            if t.kind != "directive":
                chunk.append(t)
                i += 1
                continue
            out.extend(self.translate_code(chunk))
            chunk = []
            directive = re.match(r"#\s*(\w+)\s*(.*)", t.text, re.S)
            if not directive:
                raise Refused("%s:%d: a directive needs a name after #" % (path, t.line))
            word, rest = directive.group(1), directive.group(2).strip()
            i += 1
            if word == "property":
                parts = rest.split(None, 1)
                if not parts:
                    raise Refused("%s:%d: #property needs a name" % (path, t.line))
                if not property_known(self.dialect, parts[0]):
                    raise Refused("%s:%d: #property %s is not %s" % (path, t.line, parts[0], self.dialect.upper()))
                self.properties[parts[0]] = parts[1] if len(parts) > 1 else ""
                self.property_lines[parts[0]] = Token("directive", t.text, path, t.line)
                if re.fullmatch(r"indicator_(color\d+|levelcolor)", parts[0]):
                    self.check_colours(path, t.line, parts[1] if len(parts) > 1 else "")
            elif word == "include":
                quoted = re.match(r'(?:<([^>"]+)>|"([^>"]+)")\s*$', rest)
                if not quoted:
                    raise Refused('%s:%d: #include needs a file in quotes or <>' % (path, t.line))
                wanted = quoted.group(1) or quoted.group(2)
                # The standard library's trade class: the runtime models CTrade
                # (mql5.h) on the runner's trade server.
                if self.dialect == "mql5" and quoted.group(1) and re.fullmatch(r"Trade[\\/]Trade\.mqh", wanted):
                    continue
                found = self.include_path(wanted, path, t.line)
                if found not in self.included:
                    self.included.add(found)
                    out.append(self.translate_file(found) + "\n")
            elif word == "import":
                library = re.match(r'"([^"]+)"', rest)
                if not library:
                    raise Refused("%s:%d: #import without a library" % (path, t.line))
                end = next((k for k in range(i, len(tokens)) if tokens[k].kind == "directive"
                            and re.match(r"#\s*import\b", tokens[k].text)), None)
                if end is None:
                    raise Refused("%s: #import \"%s\" is not closed" % (path, library.group(1)))
                self.add_imports(path, t.line, library.group(1), significant(tokens[i:end]), out)
                i = end + 1
            elif word == "define":
                name = re.match(r"(\w+)", rest)
                if name:
                    self.macros.add(name.group(1))
                number = re.fullmatch(r"(\w+)\s+(\d+)", rest)
                if number:
                    self.numbers[number.group(1)] = int(number.group(2))
                out.append(re.sub(r'"(?:\\.|[^"\\])*"', lambda m: "string(%s)" % m.group(), t.text) + "\n")
            elif word in ("undef", "ifdef", "ifndef", "else", "endif"):
                out.append(t.text + "\n")
            else:
                raise Refused("%s:%d: #%s is not supported" % (path, t.line, word))
        out.extend(self.translate_code(chunk))
        return '#line 1 "%s"\n' % path + "".join(out)

    def include_path(self, name, path, number):
        """The file an #include names: in the dialect's include folder, the
        shared one, else beside the including file; never outside them."""
        for folder in self.include_dirs + [os.path.dirname(path)]:
            if not os.path.isdir(folder):
                continue
            folder = os.path.realpath(folder)
            found = os.path.realpath(os.path.join(folder, name))
            if os.path.isfile(found):
                if os.path.commonpath([folder, found]) != folder:
                    raise Refused("%s:%d: #include %s leaves the include folder" % (path, number, name))
                return found
        raise Refused("%s:%d: #include %s: no such file" % (path, number, name))

    def translate_code(self, tokens):
        """The code between two directives, as C++ (a #line before it keeps
        the program's line numbers in the compiler's messages)."""
        if not tokens:
            return []
        path, first_line = tokens[0].path, tokens[0].line
        self.check(tokens)
        tokens = self.rewrite_inputs(tokens)
        tokens = self.mark_methods(tokens)
        tokens = self.flatten_namespaces(tokens)
        self.check_declarations(significant(tokens))
        self.program_sig.extend(significant(tokens))
        tokens = self.rewrite_arrays(tokens)
        tokens = self.drop_prototypes(tokens)
        tokens = self.rewrite_fixed(tokens)
        tokens = self.hoist_statics(tokens)
        self.find_handlers(tokens)
        self.collect_calls(tokens)
        program = result = ['#line %d "%s"\n' % (first_line, path)]
        skip = set()
        packed = self.packed_structs(tokens)
        for index, t in enumerate(tokens):
            if index in skip:
                continue
            if isinstance(t, MethodMark) and t.starts:
                result = ['#line %d "%s"\n' % (t.line, t.path)]
                self.methods.append(result)
                continue
            if isinstance(t, MethodMark):
                result = program
                result.append('\n#line %d "%s"\n' % (t.line, t.path))
                continue
            if index in packed:
                result.append(packed[index])
            if t.kind == "string":
                # An MQL string, so "text" + 5 is the runtime's to judge (in
                # C++ it would move a pointer); adjacent literals join.
                parts, j = [t.text], index + 1
                while j < len(tokens) and tokens[j].kind in ("ws", "string"):
                    if tokens[j].kind == "string":
                        parts.append(tokens[j].text)
                        skip.update(range(index + 1, j + 1))
                    j += 1
                result.append("string(%s)" % " ".join(parts))
            elif t.kind == "literal":
                result.append(literal_value(t))
            elif t.kind == "ident" and t.text in TYPE_WORDS:
                result.append(TYPE_WORDS[t.text])
            else:
                result.append(t.text)
        result.append(packed.get(len(tokens), ""))  # a structure that ends the chunk
        return program

    @staticmethod
    def packed_structs(tokens):
        """MQL packs a structure's members to 1 byte unless told otherwise,
        as the records a DLL fills are laid out (BarsightText: the pointer
        at offset 4). {token index: text to put before it} that packs each
        structure of scalar members so; one holding a string or an array
        keeps C++'s layout (no DLL reads one, and its members need their
        alignment)."""
        marks = {}
        sig_idx = [i for i, t in enumerate(tokens) if t.kind != "ws"]
        for n, i in enumerate(sig_idx):
            if tokens[i].text != "struct" or n + 2 >= len(sig_idx) or tokens[sig_idx[n + 2]].text != "{":
                continue
            depth, end = 0, None
            for m in range(n + 2, len(sig_idx)):
                text = tokens[sig_idx[m]].text
                depth += (text == "{") - (text == "}")
                if depth == 0:
                    end = m
                    break
            if end is None or end + 1 >= len(sig_idx) or tokens[sig_idx[end + 1]].text != ";":
                continue
            body = [tokens[sig_idx[m]].text for m in range(n + 3, end)]
            if "string" in body or "[" in body or any(b.startswith("array<") for b in body):
                continue
            # _Pragma keeps the line numbers of the #line directives.
            marks[i] = '_Pragma("pack(push, 1)") '
            marks[sig_idx[end + 1] + 1] = ' _Pragma("pack(pop)")'

        return marks

    def check(self, tokens):
        sig = significant(tokens)
        for i, t in enumerate(sig):
            if t.kind == "ident" and t.text in REFUSED_WORDS and t.text not in DIALECT_WORDS[self.dialect]:
                self.refuse(t, "'%s'" % t.text)
            if t.kind == "punct" and t.text in REFUSED_PUNCT:
                self.refuse(t, "'%s'" % t.text)
            if t.text == "[" and i + 1 < len(sig) and sig[i + 1].text == "]" and i + 2 < len(sig) \
                    and sig[i + 2].text == "(":
                self.refuse(t, "a lambda")
            # MQL4 draws no colour plots: MetaEditor does not know the names.
            if self.dialect == "mql4" and t.kind == "ident" and t.text.startswith("DRAW_COLOR_"):
                raise Refused("%s:%d: '%s' - undeclared identifier" % (t.path, t.line, t.text))
            # Only a class object has a pointer (a descriptor) in MQL: the
            # reference's compilation error 253.
            if t.text == "*" and 0 < i and i + 1 < len(sig) and sig[i + 1].kind == "ident" \
                    and sig[i - 1].text in SCALAR_TYPES | {"void"} \
                    and (i < 2 or sig[i - 2].text in (";", "{", "}", "(", ",", "const", "static")):
                raise Refused("%s:%d: '*' - a pointer can be declared only for a class or structure (error 253)"
                              % (t.path, t.line))

    def check_declarations(self, sig):
        """Declarations C++ accepts and MQL4 does not, or that would not
        translate one for one: brace initialisation, reference locals,
        several-dimensional dynamic arrays, a list mixing arrays and
        scalars, and assignments to an input."""
        depth = 0
        types = SCALAR_TYPES | self.structs
        for i, t in enumerate(sig):
            depth += t.text == "{"
            depth -= t.text == "}"
            prev = sig[i - 1] if i else None
            nxt = sig[i + 1] if i + 1 < len(sig) else None
            if t.text == "struct" and nxt is not None:
                self.structs.add(nxt.text)
                types = SCALAR_TYPES | self.structs
            if t.kind == "ident" and nxt is not None and nxt.text == "{" and prev is not None \
                    and prev.text in types:
                self.refuse(nxt, "brace initialisation")
            if depth > 0 and t.text in types and nxt is not None and nxt.text == "&" \
                    and i + 3 < len(sig) and sig[i + 2].kind == "ident" and sig[i + 3].text == "=":
                self.refuse(nxt, "a reference variable")
            if t.text == "[" and nxt is not None and nxt.text == "]":
                if i + 2 < len(sig) and sig[i + 2].text == "[":
                    raise Refused("%s:%d: a dynamic array of several dimensions is not supported"
                                  % (t.path, t.line))
                self.check_array_list(sig, i + 2)
            if t.kind == "ident" and t.text in self.input_names and i not in self.input_declarations:
                assigned = (nxt is not None and nxt.text in ("=", "+=", "-=", "*=", "/=", "%=", "++", "--",
                                                             "&=", "|=", "^=", "<<=", ">>=")) or \
                           (prev is not None and prev.text in ("++", "--"))
                if assigned:
                    raise Refused("%s:%d: input %s is read-only in MQL4" % (t.path, t.line, t.text))

    def check_array_list(self, sig, index):
        """After `name[]` in a declaration list every further declarator
        must be an array too (`double a[], b;` would make b an array here)."""
        paren = brace = 0
        for k in range(index, len(sig)):  # a parameter list ends at an unmatched )
            text = sig[k].text
            paren += text == "("
            brace += (text == "{") - (text == "}")
            if text == ")":
                if paren == 0:
                    return
                paren -= 1
            if paren == 0 and brace == 0 and text == ";":
                break
        paren = brace = 0
        for k in range(index, len(sig)):
            text = sig[k].text
            paren += (text == "(") - (text == ")")
            brace += (text == "{") - (text == "}")
            if paren == 0 and brace == 0 and text == ";":
                return
            if paren == 0 and brace == 0 and text == ",":
                j = k + 1
                if j < len(sig) and sig[j].text == "&" and not (j + 2 < len(sig) and sig[j + 2].text == "["):
                    self.refuse(sig[j], "a reference variable")

    @staticmethod
    def depth_at(sig, index):
        depth = 0
        for t in sig[:index]:
            depth += t.text == "{"
            depth -= t.text == "}"
        return depth

    def rewrite_inputs(self, tokens):
        """`input T name = value;` (and sinput, extern) becomes a member with
        its default, registered so --input NAME=VALUE can set it."""
        out = list(tokens)
        sig_idx = [i for i, t in enumerate(out) if t.kind != "ws"]
        self.input_declarations = set()
        removed = 0
        for n, i in enumerate(sig_idx):
            t = out[i]
            if t.kind == "ident" and t.text in ("input", "sinput", "extern"):
                if self.depth_at([out[j] for j in sig_idx], n) > 0:
                    continue
                # `input group "Name";` heads a group in the Inputs tab: no variable.
                if t.text != "extern" and n + 3 < len(sig_idx) and out[sig_idx[n + 1]].text == "group" \
                        and out[sig_idx[n + 2]].kind == "string" and out[sig_idx[n + 3]].text == ";":
                    for k in range(n, n + 4):
                        out[sig_idx[k]] = Token("ws", " ", t.path, t.line)
                    removed += 4
                    continue
                if n + 2 >= len(sig_idx) or out[sig_idx[n + 1]].kind != "ident" or \
                        out[sig_idx[n + 2]].kind != "ident":
                    raise Refused("%s:%d: %s needs a type and a name" % (t.path, t.line, t.text))
                type_token = out[sig_idx[n + 1]]
                name_token = out[sig_idx[n + 2]]
                self.inputs.append((name_token.text, type_token.text))
                # An input is a constant; an extern is an ordinary variable
                # the Inputs tab sets.
                if t.text != "extern":
                    self.input_names.add(name_token.text)
                out[i] = Token("ws", " ", t.path, t.line)
                # the declaration itself, by its index among significant tokens
                # once the `input` words are gone
                self.input_declarations.add(n + 1 - removed)
                removed += 1
        return out

    def rewrite_arrays(self, tokens):
        """Dynamic array declarators: `T name[]` becomes `array<T> name`,
        `T &name[]` becomes `array<T> &name`; in a list (`double a[], b[];`)
        each declarator becomes its own declaration."""
        out = list(tokens)
        sig_idx = [i for i, t in enumerate(out) if t.kind != "ws"]
        sig = [out[i] for i in sig_idx]
        for n in range(len(sig) - 1):
            if sig[n].text != "[" or sig[n + 1].text != "]":
                continue
            name = sig[n - 1]
            if name.kind != "ident":
                raise Refused("%s:%d: [] after %r" % (name.path, name.line, name.text))
            k = n - 2
            ref = sig[k].text == "&"
            if ref:
                k -= 1
            before = sig[k]
            # The element type stands before the name, or for a further
            # declarator of a list at the start of the statement.
            element = statement_type(out, sig_idx[n - 1]) if before.text == "," else before.text
            if element is None:
                raise Refused("%s:%d: cannot find the type of array %s" % (name.path, name.line, name.text))
            cpp_element = TYPE_WORDS.get(element, element)
            # drop the []
            out[sig_idx[n]] = Token("ws", "", name.path, name.line)
            out[sig_idx[n + 1]] = Token("ws", "", name.path, name.line)
            if before.text == ",":
                # a further declarator of a list statement
                out[sig_idx[k]] = Token("punct", "; array<%s> %s" % (cpp_element, "&" if ref else ""),
                                        before.path, before.line)
                if ref:
                    out[sig_idx[n - 2]] = Token("ws", "", name.path, name.line)
            elif before.kind == "ident" and (before.text in SCALAR_TYPES or before.text[0].isupper()):
                out[sig_idx[k]] = Token("ident", "array<%s>" % cpp_element, before.path, before.line)
            else:
                raise Refused("%s:%d: unexpected array declaration of %s" % (name.path, name.line, name.text))
            self.split_scalars(out, sig_idx, n + 2, cpp_element)
        return out

    def mark_methods(self, tokens):
        """`T C::F(...) {...}`, a method defined outside its class: the
        program is a C++ class, inside which a nested class's method cannot
        be defined so, so the definition is marked (a MethodMark before
        and after it) and goes after the program's class as
        `T Program::C::F(...) {...}`, where C++ accepts it. Its class's
        names are found in the class, then in the program, as MQL finds them."""
        sig_idx = [i for i, t in enumerate(tokens) if t.kind != "ws"]
        sig = [tokens[i] for i in sig_idx]
        for n, t in enumerate(sig[:-1]):
            if t.text in ("class", "struct") and sig[n + 1].kind == "ident":
                self.classes.add(sig[n + 1].text)
        marks, depth = [], 0
        for n, t in enumerate(sig):
            depth += (t.text == "{") - (t.text == "}")
            if depth or t.kind != "ident" or t.text not in self.classes or n + 3 >= len(sig) \
                    or sig[n + 1].text != "::" or sig[n + 2].kind != "ident" or sig[n + 3].text != "(":
                continue
            if n == 0 or not self.is_type(sig[n - 1]):
                continue  # not a definition
            close = self.closing(sig, n + 3)
            opening = close + 1
            if opening < len(sig) and sig[opening].text == "const":
                opening += 1
            if opening >= len(sig) or sig[opening].text != "{":
                continue
            start = n - 1
            while start > 0 and sig[start - 1].kind == "ident" and sig[start - 1].text in ("const", "virtual"):
                start -= 1
            end = self.closing(sig, opening)
            marks.append((start, n, end))
        if not marks:
            return tokens
        out = list(tokens)
        for start, name, end in reversed(marks):
            owner = sig[name]
            out[sig_idx[name]] = Token("ident", "Program::" + owner.text, owner.path, owner.line)
            closing = sig[end]
            out.insert(sig_idx[end] + 1, MethodMark(False, closing.path, closing.line))
            out.insert(sig_idx[start], MethodMark(True, sig[start].path, sig[start].line))
        return out

    def flatten_namespaces(self, tokens):
        """An MQL5 namespace's names become the program's own, prefixed
        (N::F is N__F): the program is a class, and a class holds no
        namespace. `::Name` (the global one) is the program's Name."""
        out = list(tokens)
        if not hasattr(self, "namespaces"):
            self.namespaces = set()
        sig_idx = [i for i, t in enumerate(out) if t.kind != "ws"]
        blank = lambda t: Token("ws", "", t.path, t.line)  # noqa: E731
        n = 0
        while n < len(sig_idx):
            t = out[sig_idx[n]]
            if t.text == "namespace" and n + 2 < len(sig_idx) and out[sig_idx[n + 2]].text == "{":
                space = out[sig_idx[n + 1]].text
                self.namespaces.add(space)
                level, end = 0, n + 2
                for end in range(n + 2, len(sig_idx)):
                    text = out[sig_idx[end]].text
                    level += (text == "{") - (text == "}")
                    if level == 0:
                        break
                body = [out[sig_idx[m]] for m in range(n + 3, end)]
                names, level = set(), 0
                for k, token in enumerate(body):
                    level += (token.text == "{") - (token.text == "}")
                    if level == 0 and token.kind == "ident" and k and self.is_type(body[k - 1]) \
                            and k + 1 < len(body) and body[k + 1].text in ("(", "=", ";", ",", "["):
                        names.add(token.text)
                for m in range(n + 3, end):
                    token, previous = out[sig_idx[m]], out[sig_idx[m - 1]].text
                    if token.kind == "ident" and token.text in names and previous not in (".", "::"):
                        out[sig_idx[m]] = Token("ident", "%s__%s" % (space, token.text), token.path, token.line)
                for m in (n, n + 1, n + 2, end):
                    out[sig_idx[m]] = blank(out[sig_idx[m]])
            n += 1
        for n in range(len(sig_idx)):
            t = out[sig_idx[n]]
            if t.text != "::":
                continue
            before = out[sig_idx[n - 1]] if n else None
            if before is not None and before.text in self.namespaces and n + 1 < len(sig_idx):
                after = out[sig_idx[n + 1]]
                out[sig_idx[n - 1]] = blank(before)
                out[sig_idx[n]] = blank(t)
                out[sig_idx[n + 1]] = Token("ident", "%s__%s" % (before.text, after.text), after.path, after.line)
            elif before is None or before.kind != "ident":
                out[sig_idx[n]] = blank(t)  # ::Name
            elif before.text in self.classes or (before.text.startswith("Program::")
                                                 and before.text[len("Program::"):] in self.classes):
                continue  # a class's own name (a static member), or a method defined outside its class
            else:
                self.refuse(t, "'::' after a class")
        return out

    def drop_prototypes(self, tokens):
        """`int Later(int v);` before its definition: a class sees all its
        members, and C++ would not declare one twice, so the prototype goes
        (one without any definition is refused by check_program)."""
        out = list(tokens)
        sig_idx = [i for i, t in enumerate(out) if t.kind != "ws"]
        sig = [out[i] for i in sig_idx]
        depth = 0
        for n, t in enumerate(sig):
            depth += (t.text == "{") - (t.text == "}")
            if depth or t.kind != "ident" or not n or not self.is_type(sig[n - 1]) \
                    or n + 1 >= len(sig) or sig[n + 1].text != "(":
                continue
            close = self.closing(sig, n + 1)
            if close + 1 < len(sig) and sig[close + 1].text == ";":
                start = n - 1
                while start > 0 and sig[start - 1].text in ("const", "static"):
                    start -= 1
                for m in range(start, close + 2):
                    out[sig_idx[m]] = Token("ws", "", sig[m].path, sig[m].line)
        return out

    def rewrite_fixed(self, tokens):
        """`T name[N]` (and `[N][M]`) declared in a function or at file level
        becomes `fixed<T, N> name`, whose accesses are checked; a
        structure's members keep C++'s array (its layout is a DLL's)."""
        out = list(tokens)
        sig_idx = [i for i, t in enumerate(out) if t.kind != "ws"]
        sig = [out[i] for i in sig_idx]
        braces = []  # for each open brace: whether it is a structure's body
        for n, t in enumerate(sig):
            if t.text == "{":
                braces.append(n >= 2 and sig[n - 2].text in ("struct", "class"))
            elif t.text == "}" and braces:
                braces.pop()
            if any(braces) or t.kind != "ident" or not (t.text in SCALAR_TYPES or t.text in self.structs
                                                        or t.text in BUILTIN_STRUCTS or t.text.startswith("ENUM_")):
                continue
            if n and sig[n - 1].text not in (";", "{", "}", "static", "const"):
                continue
            if not (n + 2 < len(sig) and sig[n + 1].kind == "ident" and sig[n + 2].text in ("[", ",", "=", ";")):
                continue
            # The statement's declarators (`int a[3], n, b[4];`): the names
            # at its top level, the first and each after a comma.
            names, nest, k = [n + 1], 0, n + 2
            while k < len(sig):
                text = sig[k].text
                nest += (text in "([{") - (text in ")]}") if sig[k].kind == "punct" else 0
                if nest < 0 or (nest == 0 and text == ";"):
                    break
                if nest == 0 and text == "," and k + 1 < len(sig) and sig[k + 1].kind == "ident":
                    names.append(k + 1)
                k += 1
            if not any(m + 2 < len(sig) and sig[m + 1].text == "[" and sig[m + 2].text != "]" for m in names):
                continue
            # Each declarator becomes a declaration of its own, a fixed-size
            # array one checked.
            element = TYPE_WORDS.get(t.text, t.text)
            constant = n and sig[n - 1].text == "const"
            out[sig_idx[n]] = Token("ident", self.fixed_type(out, sig_idx, sig, n + 2, element), t.path, t.line)
            for m in names[1:]:
                comma = sig[m - 1]
                out[sig_idx[m - 1]] = Token("punct", "; %s%s" % ("const " if constant else "",
                                                                 self.fixed_type(out, sig_idx, sig, m + 1, element)),
                                            comma.path, comma.line)
        return out

    @staticmethod
    def fixed_type(out, sig_idx, sig, k, element):
        """The C++ type of the declarator whose sizes (if any) start at
        sig[k]: `fixed<T, (N)>` for each size, the sizes blanked out."""
        sizes = []
        while k < len(sig) and sig[k].text == "[" and k + 1 < len(sig) and sig[k + 1].text != "]":
            close = Translator.closing(sig, k)
            sizes.append(" ".join(x.text for x in sig[k + 1:close]))
            for m in range(k, close + 1):
                out[sig_idx[m]] = Token("ws", "", sig[m].path, sig[m].line)
            k = close + 1
        cpp = element
        for size in reversed(sizes):
            cpp = "fixed<%s, (%s)>" % (cpp, size)
        return cpp

    def hoist_statics(self, tokens):
        """A static local keeps its value between calls. Each chart runs its
        own copy of the program, so it becomes a member of the program (a
        C++ static would be shared by all charts): the declaration moves
        after its function, renamed, and the function's uses follow it. A
        static at file level is a global like any other."""
        out = list(tokens)
        sig_idx = [i for i, t in enumerate(out) if t.kind != "ws"]
        depth, n = 0, 0
        members = {}  # the function's closing brace -> the declarations moved after it
        bodies = []  # for each open brace: whether it is a class's or structure's body
        while n < len(sig_idx):
            t = out[sig_idx[n]]
            depth += (t.text == "{") - (t.text == "}")
            if t.text == "{":
                bodies.append(self.opens_class(out, sig_idx, n))
            elif t.text == "}" and bodies:
                bodies.pop()
            if t.text != "static" or (bodies and bodies[-1]):
                n += 1  # a class's static member stays one
                continue
            if depth == 0:
                out[sig_idx[n]] = Token("ws", " ", t.path, t.line)
                n += 1
                continue
            # the function's closing brace
            end, level = n, depth
            while end < len(sig_idx) and level > 0:
                end += 1
                if end < len(sig_idx):
                    text = out[sig_idx[end]].text
                    level += (text == "{") - (text == "}")
            if end >= len(sig_idx):
                raise Refused("%s:%d: a static local whose function does not end here" % (t.path, t.line))
            # the declaration, to its ;
            stop, nest = n, 0
            while stop < len(sig_idx):
                text = out[sig_idx[stop]].text
                nest += (text in "({[") - (text in ")}]") if out[sig_idx[stop]].kind == "punct" else 0
                if nest == 0 and text == ";":
                    break
                stop += 1
            self.static_count = getattr(self, "static_count", 0) + 1
            renamed = {}
            moved = []
            expect_name, nest = True, 0
            for m in range(n + 1, stop + 1):
                token = out[sig_idx[m]]
                nest += (token.text in "({[") - (token.text in ")}]") if token.kind == "punct" else 0
                if token.kind == "ident" and nest == 0 and expect_name and m + 1 <= stop \
                        and out[sig_idx[m + 1]].text in ("=", ";", ",", "["):
                    renamed[token.text] = "%s_static%d" % (token.text, self.static_count)
                    token = Token("ident", renamed[token.text], token.path, token.line)
                    expect_name = False
                if token.text == "," and nest == 0:
                    expect_name = True
                moved.append(token)
            for m in range(n, stop + 1):
                old = out[sig_idx[m]]
                out[sig_idx[m]] = Token("ws", "", old.path, old.line)
            for m in range(stop + 1, end):
                token = out[sig_idx[m]]
                previous = out[sig_idx[m - 1]].text
                if token.kind == "ident" and token.text in renamed and previous not in (".", "::"):
                    out[sig_idx[m]] = Token("ident", renamed[token.text], token.path, token.line)
            for token in moved:
                members.setdefault(end, []).extend([Token("ws", " ", token.path, token.line), token])
            n = stop + 1
        for end in sorted(members, reverse=True):
            at = sig_idx[end] + 1
            out[at:at] = members[end]
        return out

    @staticmethod
    def opens_class(out, sig_idx, n):
        """Whether the brace at out[sig_idx[n]] opens a class's or a
        structure's body (`class C : public B {`)."""
        for m in range(n - 1, -1, -1):
            text = out[sig_idx[m]].text
            if text in ("class", "struct"):
                return True
            if text in (";", "{", "}", ")", "="):
                return False
        return False

    @staticmethod
    def split_scalars(out, sig_idx, start, element):
        """`double a[], b;` declares an array and a double: each scalar
        declarator after an array one in the statement from sig_idx[start]
        becomes a declaration of its own (arrays are rewritten by the
        caller). A parameter list is left as it is."""
        paren = brace = 0
        commas = []
        for m in range(start, len(sig_idx)):
            text = out[sig_idx[m]].text
            if text in ("(", "["):
                paren += 1
            elif text in (")", "]"):
                if paren == 0:
                    return  # a parameter list
                paren -= 1
            brace += (text == "{") - (text == "}")
            if brace < 0:
                return
            if paren == 0 and brace == 0 and text == ";":
                break
            if paren == 0 and brace == 0 and text == ",":
                commas.append(m)
        else:
            return
        for m in commas:
            after = [out[sig_idx[k]].text for k in range(m + 1, min(m + 4, len(sig_idx)))]
            if after[1:3] == ["[", "]"] or after[:1] == ["&"]:
                continue  # a dynamic array declarator: the caller's
            comma = out[sig_idx[m]]
            out[sig_idx[m]] = Token("punct", "; %s" % element, comma.path, comma.line)

    def collect_calls(self, tokens):
        """For each function defined at file level, the names it calls."""
        sig = significant(tokens)
        depth, i = 0, 0
        while i < len(sig):
            t = sig[i]
            if t.text == "{":
                depth += 1
            elif t.text == "}":
                depth -= 1
            elif depth == 0 and t.kind == "ident" and i + 1 < len(sig) and sig[i + 1].text == "(":
                # a definition: name ( ... ) {
                j, nest = i + 1, 0
                while j < len(sig):
                    nest += sig[j].text == "("
                    nest -= sig[j].text == ")"
                    j += 1
                    if nest == 0:
                        break
                if j < len(sig) and sig[j].text == "{":
                    end, nest = j, 0
                    while end < len(sig):
                        nest += sig[end].text == "{"
                        nest -= sig[end].text == "}"
                        if nest == 0:
                            break
                        end += 1
                    calls = self.calls.setdefault(t.text, set())
                    for k in range(j, end):
                        if sig[k].kind == "ident" and k + 1 < len(sig) and sig[k + 1].text == "(":
                            calls.add(sig[k].text)
                    i = end + 1
                    continue
            i += 1

    def reachable_imports(self, start):
        seen, todo = set(), [start]
        while todo:
            name = todo.pop()
            if name in seen:
                continue
            seen.add(name)
            todo.extend(self.calls.get(name, ()))
        return sorted({name for _, name, _ in self.imports} & seen)

    def find_handlers(self, tokens):
        sig = significant(tokens)
        for i, t in enumerate(sig[:-1]):
            if t.text in ("OnInit", "OnDeinit", "OnStart", "OnCalculate", "OnTimer", "OnChartEvent", "OnTick") \
                    and sig[i + 1].text == "(" and self.depth_at(sig, i) == 0 \
                    and i > 0 and sig[i - 1].kind == "ident":
                self.handlers.add(t.text)

    def check_colours(self, path, line, value):
        """The colours of a #property: C'r,g,b', a number, or a web colour
        MQL names; anything else MetaEditor does not know."""
        for part in re.findall(r"C'[^']*'|[^,\s][^,]*", value):
            part = part.strip()
            if re.fullmatch(r"C'[^']*'|0[xX][0-9a-fA-F]+|\d+", part) or part in ("clrNONE", "CLR_NONE"):
                continue
            if part.startswith("clr") and part[3:] in WEB_COLOURS:
                continue
            if self.dialect == "mql4" and part in WEB_COLOURS:
                continue
            raise Refused("%s:%d: '%s' - undeclared identifier (not a colour)" % (path, line, part))

    @staticmethod
    def closing(sig, index):
        """The index of the bracket that closes sig[index]."""
        pairs = {"(": ")", "[": "]", "{": "}"}
        opening, depth = sig[index].text, 0
        for k in range(index, len(sig)):
            depth += (sig[k].text == opening) - (sig[k].text == pairs[opening])
            if depth == 0:
                return k
        return len(sig) - 1

    @staticmethod
    def split_arguments(sig, start, end):
        """The comma-separated parts of sig[start:end] (a parameter or
        argument list), each a list of tokens."""
        parts, current, depth = [], [], 0
        for t in sig[start:end]:
            depth += (t.text in "([{") - (t.text in ")]}") if t.kind == "punct" else 0
            if depth == 0 and t.text == ",":
                parts.append(current)
                current = []
            else:
                current.append(t)
        if current:
            parts.append(current)
        return parts

    def is_type(self, token):
        return token.kind == "ident" and (token.text in SCALAR_TYPES or token.text == "void"
                                          or token.text in self.structs or token.text in BUILTIN_STRUCTS
                                          or token.text[0].isupper())

    def check_program(self):
        """What MetaEditor refuses, or warns about (errors in a strict
        build), seen over the whole program: its functions' parameters and
        locals, the calls made to them, prototypes left without a body, and
        the indicator's plots."""
        sig = self.program_sig
        functions = []  # (name token, parameter parts, body start or None, depth)
        depth = 0
        for i, t in enumerate(sig):
            depth += (t.text == "{") - (t.text == "}")
            if t.kind == "ident" and 0 < i < len(sig) - 1 and sig[i + 1].text == "(" and self.is_type(sig[i - 1]) \
                    and (i < 2 or sig[i - 2].text not in (".", "::")) and sig[i - 1].text != "return":
                close = self.closing(sig, i + 1)
                opening = close + 1
                if opening < len(sig) and sig[opening].text == "const":
                    opening += 1  # a constant method
                after = sig[opening].text if opening < len(sig) else ""
                if after not in ("{", ";"):
                    continue
                functions.append((t, self.split_arguments(sig, i + 2, close), opening if after == "{" else None,
                                  depth))
        signatures = dict(self.reference_params)
        defined = set()
        for name, params, body, _ in functions:
            flags = []
            for param in params:
                words = [p for p in param if p.text != "const"]
                names = [k for k, p in enumerate(words) if p.kind == "ident" and k > 0]
                if not words or not names:
                    flags.append(False)
                    continue
                where = names[0]
                reference = any(p.text == "&" for p in words[:where])
                is_array = where + 1 < len(words) and words[where + 1].text == "["
                declared = words[where]
                if is_array and not reference:
                    raise Refused("%s:%d: '%s' - arrays are passed by reference only"
                                  % (declared.path, declared.line, declared.text))
                if not is_array and not reference and (words[0].text in self.structs
                                                       or words[0].text in BUILTIN_STRUCTS):
                    raise Refused("%s:%d: '%s' - objects are passed by reference only"
                                  % (declared.path, declared.line, declared.text))
                flags.append(reference)
            signatures[name.text] = flags
            if body is not None:
                defined.add(name.text)
        for name, _, body, level in functions:
            if body is None and level == 0 and name.text not in defined:
                raise Refused("%s:%d: '%s' - function must have a body (warning 41: declared, never defined)"
                              % (name.path, name.line, name.text))
        outputs = dict(OUTPUT_BUILTINS)
        if self.dialect == "mql4":
            outputs.pop("StringTrimLeft")
            outputs.pop("StringTrimRight")
        calls = []  # (call name index, argument parts)
        for i, t in enumerate(sig[:-1]):
            if t.kind == "ident" and sig[i + 1].text == "(" and not (i and self.is_type(sig[i - 1])):
                calls.append((i, self.split_arguments(sig, i + 2, self.closing(sig, i + 1))))

        def by_reference(name, position):
            if name in signatures:
                flags = signatures[name]
                return position < len(flags) and flags[position]
            return outputs.get(name) == position

        # An input is a constant: never a reference parameter's argument.
        for i, arguments in calls:
            for position, argument in enumerate(arguments):
                if len(argument) == 1 and argument[0].text in self.input_names and by_reference(sig[i].text, position):
                    raise Refused("%s:%d: '%s' - constant variable cannot be passed as reference"
                                  % (argument[0].path, argument[0].line, argument[0].text))
        # Each function's locals: their size, and each read before it is set.
        for name, _, body, _ in functions:
            if body is None:
                continue
            end = self.closing(sig, body)
            self.check_locals(sig, body, end, name, by_reference)
        # An MQL5 indicator with buffers shows them through plots: without
        # indicator_plots MetaEditor warns (the reference's warning 50).
        buffers = self.properties.get("indicator_buffers", "0").strip()
        if self.dialect == "mql5" and "OnCalculate" in self.handlers and buffers.isdigit() and int(buffers) > 0 \
                and "indicator_plots" not in self.properties:
            where = self.property_lines["indicator_buffers"]
            raise Refused("%s:%d: no indicator plot defined for indicator (warning 50: no graphical series to "
                          "draw the indicator; #property indicator_plots)" % (where.path, where.line))

    def check_locals(self, sig, body, end, function, by_reference):
        total = 0
        for i in range(body + 1, end):
            t = sig[i]
            if not (t.kind == "ident" and t.text in TYPE_SIZES and sig[i - 1].text in (";", "{", "}", "static", "const")):
                continue
            # the declarators of `type a, b[4] = ..., c;`
            k = i + 1
            while k < end:
                if sig[k].text == "&":
                    k += 1
                if sig[k].kind != "ident":
                    break
                declared, count, k = sig[k], 1, k + 1
                dynamic = False
                while k < end and sig[k].text == "[":
                    close = self.closing(sig, k)
                    size = " ".join(x.text for x in sig[k + 1:close])
                    if not size:
                        dynamic = True
                    elif size.isdigit() or size in self.numbers:
                        count *= int(size) if size.isdigit() else self.numbers[size]
                    k = close + 1
                initialised = k < end and sig[k].text == "="
                if not dynamic:
                    total += TYPE_SIZES[t.text] * count
                    if total > LOCALS_LIMIT:
                        raise Refused("%s:%d: '%s' - too large volume of local variables (> 512Kb) "
                                      "(warning 26)" % (declared.path, declared.line, function.text))
                if not initialised and sig[k - 1] is declared \
                        and t.text != "string" and sig[i - 1].text != "static":
                    self.check_set_before_read(sig, k, end, declared, by_reference)
                # on to the next declarator
                depth = 0
                while k < end:
                    depth += (sig[k].text in ("(", "[", "{")) - (sig[k].text in (")", "]", "}"))
                    if depth < 0 or (depth == 0 and sig[k].text in (",", ";")):
                        break
                    k += 1
                if k >= end or sig[k].text != ",":
                    break
                k += 1

    def check_set_before_read(self, sig, start, end, declared, by_reference):
        """Warning 38: the first use of an uninitialised local reads it."""
        for k in range(start, end):
            t = sig[k]
            if t.text != declared.text or t.kind != "ident" or sig[k - 1].text in (".", "::"):
                continue
            if k + 1 < end and sig[k + 1].text == "=":
                return
            # handed to a reference parameter that sets it
            if sig[k - 1].text in ("(", ",") and k + 1 < end and sig[k + 1].text in (")", ","):
                depth, j, position = 0, k - 1, 0
                while j > start:
                    text = sig[j].text
                    if text in (")", "]"):
                        depth += 1
                    elif text in ("(", "["):
                        if depth == 0:
                            break
                        depth -= 1
                    elif text == "," and depth == 0:
                        position += 1
                    j -= 1
                if j > 0 and sig[j].text == "(" and by_reference(sig[j - 1].text, position):
                    return
            raise Refused("%s:%d: possible use of uninitialized variable '%s' (warning 38)"
                          % (t.path, t.line, t.text))

    def add_imports(self, path, line, library, sig, out):
        """The declarations of an #import block (its significant tokens)."""
        text = " ".join(t.text for t in sig)
        out.append('#line %d "%s"\n' % (line, path))
        for decl in filter(None, (d.strip() for d in text.split(";"))):
            match = re.fullmatch(r"(\w+)\s+(\w+)\s*\((.*)\)", decl, re.S)
            if not match:
                raise Refused("%s: cannot read the import declaration %r" % (path, decl))
            result, name, params = match.groups()
            if result not in RESULT_TYPE:
                raise Refused("%s: %s: an import cannot return %s here" % (path, name, result))
            args, cpp_params = [], []
            for number, param in enumerate(filter(None, (p.strip() for p in params.split(",")))):
                pm = re.fullmatch(r"(const\s+)?(\w+)\s*(&)?\s*(\w+)\s*(\[\s*\])?\s*(=\s*\S.*)?", param)
                if not pm:
                    raise Refused("%s: %s: cannot read the parameter %r" % (path, name, param))
                const, ptype, ref, pname, array, default = pm.groups()
                cpp_type = TYPE_WORDS.get(ptype, ptype)
                # MQL's default value, passed when the call leaves the argument out
                declared = pname + (" " + default if default else "")
                # The reference: classes, string arrays and objects holding
                # strings cannot be passed to functions imported from a DLL.
                if array and ptype == "string":
                    where = next((t for t in sig if t.text == pm.group(4)), None)
                    raise Refused("%s:%d: '%s' - imported function cannot have this parameter (error 298: a string "
                                  "array cannot be passed to a function imported from a DLL)"
                                  % (path, where.line if where else line, pm.group(4)))
                if array:
                    cpp_params.append("%sarray<%s> &%s" % (const or "", cpp_type, declared))
                    args.append("arg_array(%s)" % pname)
                elif ref:
                    if ptype == "string":
                        raise Refused("%s: %s: a string by reference is not supported" % (path, name))
                    cpp_params.append("%s%s &%s" % (const or "", cpp_type, declared))
                    args.append("arg_ref(%s)" % pname)
                elif ptype in ARG_KIND:
                    cpp_params.append("%s%s %s" % (const or "", cpp_type, declared))
                    args.append("%s(%s)" % (ARG_KIND[ptype], pname))
                else:
                    raise Refused("%s: %s: a %s is passed by reference in MQL4" % (path, name, ptype))
            self.reference_params[name] = [bool(re.search(r"&", p)) for p in
                                           filter(None, (p.strip() for p in params.split(",")))]
            slot = len(self.imports)
            self.imports.append((library, name, result))
            cpp_result = TYPE_WORDS.get(result, result)
            call = "import_call<%s>(%d%s)" % (RESULT_TYPE[result], slot,
                                              "".join(", " + a for a in args))
            body = "%s;" % call if result == "void" else "return (%s)%s;" % (cpp_result, call)
            out.append("%s %s(%s) { %s }\n" % (cpp_result, name, ", ".join(cpp_params), body))


def class_name(path):
    """The program's C++ name: its file name, with _mq5 for MetaTrader 5's
    twin of an MQL4 program."""
    name = re.sub(r"\W", "_", os.path.splitext(os.path.basename(path))[0])
    return name + "_mq5" if dialect_of(path) == "mql5" else name


INPUT_SETTER = {
    "string": "parse_string", "bool": "parse_bool", "double": "parse_double",
    "float": "parse_double", "datetime": "parse_datetime", "color": "parse_integer",
    "long": "parse_integer", "ulong": "parse_integer",
}


def main():
    output, kit_dir, programs = sys.argv[1], sys.argv[2], sys.argv[3:]
    parts = ["// Generated by tools/mql4run/translate.py from the kit's MQL programs.\n"
             "// Do not edit: change the .mq4, .mq5 and .mqh files.\n"
             '#include "tools/mql4run/mql4.h"\n#include "tools/mql4run/mql5.h"\n#include "tools/mql4run/registry.h"\n\n']
    registry = []
    try:
        names = {}
        for path in programs:
            base = os.path.basename(path)
            if any(c in base for c in "\"\\\n"):
                raise Refused("%s: a program name cannot hold a quote, a backslash or a line end" % path)
            name = class_name(path)
            if name in names:
                raise Refused("%s: its name becomes %s, as %s's does: rename one" % (path, name, names[name]))
            names[name] = path
        for path in programs:
            dialect = dialect_of(path)
            translator = Translator(kit_dir, dialect)
            body = translator.translate_file(os.path.abspath(path))
            translator.check_program()
            name = class_name(path)
            macro = "__MQL5__" if dialect == "mql5" else "__MQL4__"
            side = "mql5::Program5" if dialect == "mql5" else "mql4::Program4"
            inputs = []
            for input_name, input_type in translator.inputs:
                parser = INPUT_SETTER.get(input_type, "parse_integer")
                inputs.append('    {"%s", "%s", [](mql::Program& p, const std::string& v) '
                              '{ return mql::%s(v, &static_cast<Program&>(p).%s); }},\n'
                              % (input_name, input_type, parser, input_name))
            imports = "".join('    {"%s", "%s"},\n' % (lib, fn, ) for lib, fn, _ in translator.imports)
            # The program sees the shared names and its own dialect's only.
            # The #property counts the terminal holds the indicator to
            # (overriding the base's, unmarked like the program's handlers).
            declared = "".join("    int declared_%s() const { return %d; }\n" % (what, int(value))
                               for what, value in (("buffers", translator.properties.get("indicator_buffers", "")),
                                                   ("plots", translator.properties.get("indicator_plots", "")))
                               if value.strip().isdigit())
            parts.append("#define %s 1\nnamespace mql4prog_%s {\nusing namespace mql;\nusing namespace mql::%s;\n\n"
                         "struct Program final : mql::%s {\n%s\n%s};\n\n" % (macro, name, dialect, side, body,
                                                                            declared))
            # Methods defined outside their class, where C++ takes them.
            parts.append("".join("".join(method) + "\n" for method in translator.methods))
            parts.append("const mql::ImportDecl imports[] = {\n%s    {nullptr, nullptr}};\n" % imports)
            parts.append("const mql::InputDecl inputs[] = {\n%s    {nullptr, nullptr, nullptr}};\n"
                         % "".join(inputs))
            # Its macros end with it: the next program (the other dialect's
            # twin) may define them otherwise.
            parts.append("}  // namespace mql4prog_%s\n#undef %s\n%s\n" % (
                name, macro, "".join("#undef %s\n" % m for m in sorted(translator.macros))))
            kind = "script" if "OnStart" in translator.handlers else \
                "expert" if "OnTick" in translator.handlers else "indicator"
            # A script runs straight through: every import its OnStart can
            # reach may be called, so the runner can judge it before it starts.
            started = translator.reachable_imports("OnStart") if kind == "script" else []
            parts.append("namespace mql4prog_%s {\nconst char* const reached[] = {%s};\n}\n"
                         % (name, "".join('"%s", ' % n for n in started) + "nullptr"))
            registry.append('    {"%s", mql::ProgramKind::%s, mql::Dialect::%s, mql4prog_%s::imports, mql4prog_%s::inputs,\n'
                            '     mql4prog_%s::reached, [](const mql::ProgramContext& c) -> std::unique_ptr<mql::Program> '
                            '{ return mql::make_program<mql4prog_%s::Program>(c); }},\n'
                            % (os.path.basename(path), kind, dialect, name, name, name, name))
    except Refused as refused:
        sys.exit("translate.py: %s" % refused)
    parts.append("namespace mql {\nconst ProgramEntry programs[] = {\n%s    {nullptr, ProgramKind::script, "
                 "Dialect::mql4, nullptr, nullptr, nullptr, nullptr}};\n}  // namespace mql\n" % "".join(registry))
    text = "".join(parts)
    if not os.path.exists(output) or open(output).read() != text:
        with open(output, "w") as f:
            f.write(text)


if __name__ == "__main__":
    main()
