#!/usr/bin/env python3
"""Assembles dist/barsight-<version>-win32.zip from a built win32 lane (and,
with --x64, the MetaTrader 5 part from a win64 build) and, from the same list
of files, dist/barsight-<version>-setup.exe (NSIS).

With --sign PFX (its password in BARSIGHT_SIGN_PASSWORD) every DLL and
program is Authenticode-signed with osslsigncode before the zip and the
setup are built from the signed copies (the build's own files stay as they
are), and makensis signs the uninstaller (!uninstfinalize) and setup.exe
(!finalize). The password reaches osslsigncode through a file readable by
the owner only, never on a command line. A timestamp is added when the
server (BARSIGHT_TIMESTAMP_URL, default DigiCert's) answers; when it does
not, the signatures are made without one and a note says so.

Its working files go into a private folder under OUTPUT_DIR, removed at the end;
--keep DIR keeps the installer's file list (files.nsh) and, when signed, the
signed uninstaller (uninstall.exe) in DIR, for the tests.

usage: make_release.py WIN32_BUILD_DIR OUTPUT_DIR [--x64 WIN64_BUILD_DIR] [--sign PFX] [--no-setup] [--keep DIR]
       make_release.py --sign-one PFX PASSWORD_FILE FILE [COPY]   (what makensis calls)
"""
import hashlib
import os
import shlex
import shutil
import subprocess
import sys
import tempfile
import zipfile

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")


def help_pages(binaries):
    """(path under help/, file on disk) of the pages a build put beside its
    DLLs: the help window finds them there and works offline."""
    help_root = os.path.join(binaries, "help")
    pages = []
    for folder, _, names in sorted(os.walk(help_root)):
        for name in sorted(names):
            path = os.path.join(folder, name)
            pages.append(("help/" + os.path.relpath(path, help_root).replace(os.sep, "/"), path))
    return pages


def kit_files(dialect, prefix):
    """(path in the bundle, file) of a MetaTrader kit: kit/<dialect>'s
    Include, Indicators, Scripts and Experts folders, those that exist, and
    the include files both kits share (kit/Shared/Include) in its Include."""
    files = []
    for folder in ("Include", "Indicators", "Scripts", "Experts"):
        source = os.path.join(ROOT, "kit", dialect, folder)
        if os.path.isdir(source):
            for name in sorted(os.listdir(source)):
                files.append(("%s/%s/%s" % (prefix, folder, name), os.path.join(source, name)))
    shared = os.path.join(ROOT, "kit", "Shared", "Include")
    for name in sorted(os.listdir(shared)):
        files.append(("%s/Include/%s" % (prefix, name), os.path.join(shared, name)))
    return files


def layout(build):
    """(path in the bundle, file on disk) for every file of the bundle."""
    binaries = os.path.join(build, "bin")
    dll = lambda name: os.path.join(binaries, name)
    files = []
    for name in ("BarsightPlugin.dll", "BarsightPlugin.dll.config", "Spreadcore.dll", "orvane.dll"):
        files.append(("MetaStock/" + name, dll(name)))
    for recipe in ("Barsight formulas.txt", "Barsight expert.txt", "Barsight exploration.txt"):
        files.append(("MetaStock/" + recipe, os.path.join(ROOT, "kit", "MetaStock", recipe)))
    for name in ("BarsightPlugin.dll", "BarsightPlugin.dll.config", "Spreadcore.dll"):
        files.append(("MetaTrader/MQL4/Libraries/" + name, dll(name)))
    files += kit_files("MQL4", "MetaTrader/MQL4")
    # The help pages beside each BarsightPlugin.dll.
    for inside, path in help_pages(binaries):
        files.append(("MetaStock/" + inside, path))
        files.append(("MetaTrader/MQL4/Libraries/" + inside, path))
    files.append(("tools/msxhost.exe", dll("msxhost.exe")))
    # A copy of the plug-ins beside msxhost, so the commands the guide shows
    # work as written from the bundle's folder and from the program folder
    # after setup (an install for MetaTrader only has no MetaStock folder).
    for name in ("BarsightPlugin.dll", "Spreadcore.dll", "orvane.dll"):
        files.append(("tools/" + name, dll(name)))
    files.append(("INSTALL.md", os.path.join(ROOT, "kit", "INSTALL.md")))
    files.append(("signals.md", os.path.join(ROOT, "engine", "README.md")))
    # The same guides as HTML: Windows opens .htm in the default browser and
    # has no program for .md.
    guides = os.path.join(build, "guides")
    files.append(("INSTALL.htm", guide_html(os.path.join(ROOT, "kit", "INSTALL.md"), "Installing Barsight",
                                            os.path.join(guides, "INSTALL.htm"))))
    files.append(("signals.htm", guide_html(os.path.join(ROOT, "engine", "README.md"), "Barsight signals",
                                            os.path.join(guides, "signals.htm"))))
    return files


GUIDE_STYLE = """body { font-family: Verdana, Arial, sans-serif; font-size: 14px; max-width: 60em; margin: 1em auto;
  padding: 0 1em; color: #222; line-height: 1.45; }
h1 { font-size: 22px; color: #1a237e; } h2 { font-size: 18px; color: #1a237e; margin-top: 1.6em; }
h3 { font-size: 15px; color: #1a237e; }
code { font-family: "Lucida Console", monospace; font-size: 12px; background: #f1f3f9; }
pre { background: #f1f3f9; padding: 6px; overflow-x: auto; }
table { border-collapse: collapse; margin: 0.5em 0; }
th, td { border: 1px solid #ccc; padding: 3px 8px; text-align: left; vertical-align: top; }
th { background: #e8eaf6; }
"""


def guide_html(markdown_path, title, out_path):
    """A Markdown guide as a self-contained HTML page styled like the help
    pages (python3-markdown's converter, with tables)."""
    body = subprocess.run(["markdown_py", "-x", "tables", "-x", "fenced_code", markdown_path], check=True,
                          capture_output=True, text=True).stdout
    os.makedirs(os.path.dirname(out_path), exist_ok=True)
    with open(out_path, "w", encoding="utf-8", newline="\n") as f:
        f.write('<!DOCTYPE html>\n<html lang="en"><head>\n<meta charset="utf-8">\n'
                '<meta http-equiv="X-UA-Compatible" content="IE=edge">\n'
                '<meta name="viewport" content="width=device-width">\n<title>%s</title>\n<style>\n%s</style>\n'
                '</head><body>\n%s</body></html>\n' % (title, GUIDE_STYLE, body))
    return out_path


def layout_x64(build64):
    """(path in the bundle, file on disk) of the MetaTrader 5 part: the x86_64
    DLLs of a win64 build with their help pages, and the MQL5 kit."""
    binaries = os.path.join(build64, "bin")
    files = []
    for name in ("BarsightPlugin.dll", "BarsightPlugin.dll.config", "Spreadcore.dll"):
        files.append(("MetaTrader5/MQL5/Libraries/" + name, os.path.join(binaries, name)))
    files += [("MetaTrader5/MQL5/Libraries/" + inside, path) for inside, path in help_pages(binaries)]
    return files + kit_files("MQL5", "MetaTrader5/MQL5")


def nsis_string(text):
    """A text as a quoted NSIS string used at run time: $ doubled, quotes and
    line ends escaped."""
    return '"%s"' % (text.replace("$", "$$").replace('"', '$\\"').replace("\r", "$\\r")
                     .replace("\n", "$\\n"))


def nsis_source(path):
    """A source path as the compiler's File takes it: literal but for ${...}
    (a define) and quotes; such a path is refused, a quote escaped."""
    if "${" in path or "\n" in path or "\r" in path:
        sys.exit("make_release: the setup cannot take a file whose path holds '${' or a line end: " + path)
    return '"%s"' % path.replace('"', '$\\"')


def sha256_of(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def nsis_file_lists(files):
    """The setup's file lists from the bundle's: one NSIS macro per target,
    each applying the macro OP to (target folder, sub-folder, name, source,
    the source's SHA-256: what the installed file holds)."""
    groups = {"METASTOCK": [], "MT4": [], "MT5": [], "PROGRAM": []}
    for inside, path in files:
        if inside.startswith("MetaStock/") and not inside.endswith(".txt"):
            group, rel = "METASTOCK", inside[len("MetaStock/"):]
        elif inside.startswith("MetaTrader/MQL4/"):
            group, rel = "MT4", inside[len("MetaTrader/MQL4/"):]
        elif inside.startswith("MetaTrader5/MQL5/"):
            group, rel = "MT5", inside[len("MetaTrader5/MQL5/"):]
        else:
            group, rel = "PROGRAM", inside[len("MetaStock/"):] if inside.startswith("MetaStock/") else inside
            if rel.startswith("help/"):
                continue  # the program folder's pages come from MetaStock/help below
        groups[group].append((rel, path))
    groups["PROGRAM"] += [(rel, path) for rel, path in groups["METASTOCK"] if rel.startswith("help/")]
    lines = ["; Generated by scripts/make_release.py from the bundle's file list.\n"]
    if groups["MT5"]:
        lines.append("!define BARSIGHT_HAVE_MT5  ; the MetaTrader 5 part is in\n")
    for group, entries in groups.items():
        lines.append("!macro BARSIGHT_%s_FILES OP DIR\n" % group)
        for rel, path in entries:
            folder, name = rel.rsplit("/", 1) if "/" in rel else ("", rel)
            folder = folder.replace("/", "\\")
            lines.append('  !insertmacro ${OP} "${DIR}" %s %s %s "%s"\n' % (
                nsis_string(folder), nsis_string(name), nsis_source(os.path.abspath(path)), sha256_of(path)))
        lines.append("!macroend\n")
    return "".join(lines)


TIMESTAMP = os.environ.get("BARSIGHT_TIMESTAMP_URL", "http://timestamp.digicert.com")
# The address a signature names for more about the program: the help site.
SIGN_URL = os.environ.get("BARSIGHT_SIGN_URL", "https://help.barsight.app/")


def sign_file(pfx, password_file, source, target):
    """Signs `source` into `target` (separate files, as osslsigncode wants);
    with a timestamp when the server answers. Returns whether it has one."""
    base = ["osslsigncode", "sign", "-pkcs12", pfx, "-readpass", password_file, "-h", "sha256",
            "-n", "Barsight", "-i", SIGN_URL]
    for extra, stamped in ((["-ts", TIMESTAMP], True), ([], False)):
        if os.path.exists(target):
            os.remove(target)
        done = subprocess.run(base + extra + ["-in", source, "-out", target], capture_output=True, text=True)
        if done.returncode == 0:
            return stamped
    sys.exit("make_release: cannot sign %s: %s" % (source, (done.stderr or done.stdout).strip()))


def sign_in_place(pfx, password_file, path, copy=None):
    """For makensis: signs `path` through a temporary file, then (for the
    tests) leaves a copy of the signed file at `copy`."""
    signed = path + ".signed"
    stamped = sign_file(pfx, password_file, path, signed)
    os.replace(signed, path)
    if not stamped:
        what = "the uninstaller" if copy else os.path.basename(path)
        print("make_release: %s signed without a timestamp (no answer from %s)" % (what, TIMESTAMP))
    if copy:
        shutil.copyfile(path, copy)


def write_sign_command(command, pfx, password_file):
    """The script makensis runs to sign a file it wrote: this script's
    --sign-one. Each path is quoted for the shell: a ", $ or ` in the
    checkout's or the certificate's path is a character of it, never a
    command."""
    with open(command, "w") as f:
        f.write("#!/bin/sh\nexec %s \"$@\"\n" % " ".join(shlex.quote(part) for part in (
            sys.executable, os.path.abspath(__file__), "--sign-one", pfx, password_file)))
    os.chmod(command, 0o700)


def option(name):
    """The value after `name` among the options, or None."""
    options = sys.argv[3:]
    if name not in options:
        return None
    at = options.index(name)
    if at + 1 >= len(options):
        sys.exit("make_release: %s needs a value" % name)
    return options[at + 1]


def main():
    if sys.argv[1] == "--sign-one":
        sign_in_place(*sys.argv[2:6])
        return
    build, out = sys.argv[1], sys.argv[2]
    with open(os.path.join(build, "version.txt")) as f:
        version = f.read().strip()
    top = "barsight-%s-win32" % version
    os.makedirs(out, exist_ok=True)
    target = os.path.join(out, top + ".zip")
    files = layout(build)
    if option("--x64"):
        files += layout_x64(option("--x64"))
    if not any(inside.endswith("help/plugin/Inds1/none.htm") for inside, _ in files):
        sys.exit("no help pages in %s/bin/help: build them (scripts/release.sh does)" % build)
    pfx = option("--sign")
    if pfx and "BARSIGHT_SIGN_PASSWORD" not in os.environ:
        sys.exit("make_release: --sign needs the certificate's password in BARSIGHT_SIGN_PASSWORD")
    keep = option("--keep")
    # Everything this run writes on its way (the password, the signed copies,
    # the installer's file list and signing command) lives in a folder of its
    # own under the output folder, never at a fixed place of the build
    # folder: two releases of one build can be made at once, each signed with
    # its own certificate. (Not under /tmp: makensis runs the signing command
    # from there, and /tmp may be mounted noexec.)
    work = os.path.abspath(tempfile.mkdtemp(prefix=".release-", dir=out))  # mode 700
    try:
        password_file = None
        if pfx:
            password_file = os.path.join(work, "password")
            with open(os.open(password_file, os.O_WRONLY | os.O_CREAT, 0o600), "w") as f:
                f.write(os.environ["BARSIGHT_SIGN_PASSWORD"])
            files, stamps = sign_copies(files, os.path.abspath(pfx), password_file, os.path.join(work, "signed"))
            if False in stamps:
                print("make_release: no answer from the timestamp server %s: the signatures carry no "
                      "timestamp and stop being valid when the certificate expires" % TIMESTAMP)
        build_bundle(work, out, version, top, target, files, pfx, password_file)
        if keep:
            # For the tests: the installer's file list and the signed uninstaller.
            os.makedirs(keep, exist_ok=True)
            for name in ("files.nsh", "uninstall.exe"):
                if os.path.isfile(os.path.join(work, name)):
                    shutil.copyfile(os.path.join(work, name), os.path.join(keep, name))
    finally:
        shutil.rmtree(work, ignore_errors=True)


def sign_copies(files, pfx, password_file, staging):
    """Signed copies in `staging` of the bundle's DLLs and programs; returns
    the file list pointing at them and whether each signature has a timestamp."""
    stamps = set()
    signed = []
    for inside, path in files:
        if inside.endswith((".dll", ".exe")):
            copy = os.path.join(staging, inside)
            os.makedirs(os.path.dirname(copy), exist_ok=True)
            stamps.add(sign_file(pfx, password_file, path, copy))
            path = copy
        signed.append((inside, path))
    return signed, stamps


def build_bundle(work, out, version, top, target, files, pfx, password_file):
    # Written beside the target, then moved over it: a reader never sees half a zip.
    partial = tempfile.NamedTemporaryFile(dir=out, prefix=".%s." % top, suffix=".part", delete=False)
    try:
        with partial, zipfile.ZipFile(partial, "w", zipfile.ZIP_DEFLATED) as bundle:
            for inside, path in files:
                if not os.path.isfile(path):
                    sys.exit("missing " + path)
                bundle.write(path, top + "/" + inside)
        os.replace(partial.name, target)
    finally:
        if os.path.exists(partial.name):
            os.remove(partial.name)
    print(target)
    if "--no-setup" in sys.argv[3:]:
        return
    with open(os.path.join(work, "files.nsh"), "w", encoding="utf-8") as f:
        f.write(nsis_file_lists(files))
    setup = os.path.abspath(os.path.join(out, "barsight-%s-setup.exe" % version))
    numbers = (version.split(".") + ["0", "0", "0"])[:3] + ["0"]
    defines = ["-DVERSION=" + version, "-DVERSION4=" + ".".join(numbers),
               "-DFILES=" + os.path.join(work, "files.nsh"), "-DOUTFILE=" + setup]
    if pfx:
        # makensis runs these on the uninstaller and on setup.exe once they are
        # written; a copy of the signed uninstaller stays for the tests.
        command = os.path.join(work, "sign-one.sh")
        write_sign_command(command, os.path.abspath(pfx), password_file)
        defines += ["-DSIGN=" + command, "-DUNINSTALLER_COPY=" + os.path.join(work, "uninstall.exe")]
    subprocess.run(["makensis", "-V2", "-INPUTCHARSET", "UTF8"] + defines +
                   [os.path.join(ROOT, "kit", "installer", "barsight.nsi")], check=True)
    print(setup)


if __name__ == "__main__":
    main()
