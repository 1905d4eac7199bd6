#!/usr/bin/env python3
"""A signed release, checked as Windows checks it: a throw-away self-signed
certificate made with openssl signs the bundle (make_release.py --sign, its
password only in BARSIGHT_SIGN_PASSWORD), and osslsigncode verifies against
that certificate every DLL and program of the zip, setup.exe and the
uninstaller setup writes. Without --sign the bundle's files are the build's,
byte for byte, and carry no signature. No timestamp server is reachable in a
test: the note saying so is checked too.

usage: check_signing.py WIN32_BUILD_DIR"""
import os
import subprocess
import sys
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.join(HERE, "..", "..")
build = sys.argv[1]
failures = []


def check(name, condition, detail=""):
    print("signing: %s: %s" % (name, "ok" if condition else "FAILED " + detail))
    if not condition:
        failures.append(name)


def verify(path, cert):
    done = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", path], capture_output=True, text=True)
    return done.returncode == 0 and "Signature verification: ok" in done.stdout + done.stderr or \
        (done.returncode == 0 and "Succeeded" in done.stdout + done.stderr)


with tempfile.TemporaryDirectory() as work:
    key, cert, pfx = (os.path.join(work, n) for n in ("key.pem", "cert.pem", "test.pfx"))
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                    "-days", "2", "-subj", "/CN=Barsight test signing"], check=True, capture_output=True)
    subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", pfx,
                    "-passout", "pass:throw away"], check=True, capture_output=True)
    env = dict(os.environ, BARSIGHT_SIGN_PASSWORD="throw away", BARSIGHT_TIMESTAMP_URL="http://127.0.0.1:9/")
    signed_out = os.path.join(work, "signed")
    uninstaller = os.path.join(build, "installer", "uninstall.exe")
    if os.path.exists(uninstaller):
        os.remove(uninstaller)  # the check must see this run's copy
    done = subprocess.run([sys.executable, os.path.join(ROOT, "scripts", "make_release.py"), build, signed_out,
                           "--sign", pfx], env=env, capture_output=True, text=True)
    check("a signed release is made", done.returncode == 0, done.stderr[-600:])
    check("no timestamp server: the note says so", "no answer from the timestamp server" in done.stdout, done.stdout)
    version = open(os.path.join(build, "version.txt")).read().strip()
    zip_path = os.path.join(signed_out, "barsight-%s-win32.zip" % version)
    unpacked = os.path.join(work, "unpacked")
    programs = []
    if os.path.isfile(zip_path):
        with zipfile.ZipFile(zip_path) as bundle:
            bundle.extractall(unpacked)
            programs = [n for n in bundle.namelist() if n.endswith((".dll", ".exe"))]
    bad = [n for n in programs if not verify(os.path.join(unpacked, n), cert)]
    check("every DLL and program of the zip verifies (%d)" % len(programs), programs and not bad, str(bad))
    setup = os.path.join(signed_out, "barsight-%s-setup.exe" % version)
    check("setup.exe verifies", os.path.isfile(setup) and verify(setup, cert))
    # One byte of a signed DLL's code changed: its signature no longer holds.
    if programs:
        altered = os.path.join(work, "altered.dll")
        data = bytearray(open(os.path.join(unpacked, programs[0]), "rb").read())
        data[0x400] ^= 0xFF
        open(altered, "wb").write(bytes(data))
        check("an altered signed DLL does not verify", not verify(altered, cert))
    check("the uninstaller setup writes verifies", os.path.isfile(uninstaller) and verify(uninstaller, cert))
    check("the build's own DLL is left unsigned",
          not verify(os.path.join(build, "bin", "BarsightPlugin.dll"), cert))
    wrong = subprocess.run([sys.executable, os.path.join(ROOT, "scripts", "make_release.py"), build,
                            os.path.join(work, "nopass"), "--sign", pfx, "--no-setup"],
                           env=dict(os.environ, BARSIGHT_TIMESTAMP_URL="http://127.0.0.1:9/"),
                           capture_output=True, text=True)
    check("--sign without BARSIGHT_SIGN_PASSWORD stops", wrong.returncode != 0 and
          "BARSIGHT_SIGN_PASSWORD" in wrong.stderr, wrong.stderr[-200:])

    # Unsigned: the files are the build's, byte for byte.
    plain_out = os.path.join(work, "plain")
    subprocess.run([sys.executable, os.path.join(ROOT, "scripts", "make_release.py"), build, plain_out,
                    "--no-setup"], check=True, capture_output=True)
    with zipfile.ZipFile(os.path.join(plain_out, "barsight-%s-win32.zip" % version)) as bundle:
        inside = bundle.read("barsight-%s-win32/MetaStock/BarsightPlugin.dll" % version)
    check("an unsigned bundle carries the build's DLL unchanged",
          inside == open(os.path.join(build, "bin", "BarsightPlugin.dll"), "rb").read())

if failures:
    sys.exit("signing: %d checks failed: %s" % (len(failures), ", ".join(failures)))
print("signing: all checks passed")
