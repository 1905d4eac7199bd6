"""The release script's generated files under hostile paths: a checkout or
certificate path holding ", $, ` or a space reaches the signing command and
the setup's file lists as the characters it is, never as shell or NSIS
syntax.
usage: check_release_quoting.py   (needs makensis)"""
import os
import subprocess
import sys
import tempfile

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "..", "scripts"))
sys.argv = [sys.argv[0]]
import make_release  # noqa: E402

failures = []


def check(name, condition, detail=""):
    print("release quoting: %s: %s" % (name, "ok" if condition else "FAILED " + detail))
    if not condition:
        failures.append(name)


work = tempfile.mkdtemp(prefix="release-quoting-")
for hostile in ('a "quoted" $HOME `id` dir', "it's $(echo x) here"):
    folder = os.path.join(work, hostile)
    os.makedirs(folder, exist_ok=True)
    # The signing command: run with exec replaced by printf, it must hand
    # over every path whole.
    command = os.path.join(folder, "sign-one.sh")
    pfx, password = os.path.join(folder, "cert $1.pfx"), os.path.join(folder, "pass`word`")
    make_release.write_sign_command(command, pfx, password)
    script = open(command).read().replace("exec ", "printf '%s\\n' ", 1)
    got = subprocess.run(["sh", "-c", script, "sh", "FILE.exe", "COPY.exe"], capture_output=True, text=True)
    want = [sys.executable, os.path.abspath(make_release.__file__), "--sign-one", pfx, password, "FILE.exe",
            "COPY.exe"]
    check("the signing command in %r" % hostile, got.stdout.splitlines() == want, got.stdout + got.stderr)
    # The setup's file lists: makensis takes a source named with them, and
    # a run-time text keeps its $ and quotes.
    source = os.path.join(folder, 'my "$file".txt')
    open(source, "w").write("content\n")
    lists = os.path.join(folder, "files.nsh")
    open(lists, "w", encoding="utf-8").write(make_release.nsis_file_lists([("MetaTrader/MQL4/Files/a$b.txt", source)]))
    nsi = os.path.join(folder, "t.nsi")
    open(nsi, "w").write('Unicode true\nOutFile "%s"\nSilentInstall silent\n!include "%s"\n'
                         '!macro TAKE DIR FOLDER NAME SOURCE HASH\n  SetOutPath "${DIR}"\n'
                         '  File "/oname=${NAME}" "${SOURCE}"\n  DetailPrint "${FOLDER}\\${NAME}"\n!macroend\n'
                         'Section\n  !insertmacro BARSIGHT_MT4_FILES TAKE "$TEMP"\nSectionEnd\n'
                         % (os.path.join(folder, "t.exe").replace('"', '$\\"'), lists.replace('"', '$\\"')))
    done = subprocess.run(["makensis", "-V2", "-INPUTCHARSET", "UTF8", nsi], capture_output=True, text=True)
    check("makensis takes the file lists in %r" % hostile, done.returncode == 0, done.stdout[-400:] + done.stderr)
try:
    make_release.nsis_source("/tmp/${DIR}/x")
    check("a source path holding ${ is refused", False)
except SystemExit:
    check("a source path holding ${ is refused", True)
if failures:
    sys.exit("release quoting: %d checks failed" % len(failures))
