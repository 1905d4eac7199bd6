#!/usr/bin/env python3
"""A signed release, checked as Windows checks it: a throw-away self-signed
certificate made with openssl signs the bundle (make_release.py --sign, its
password only in BARSIGHT_SIGN_PASSWORD), and osslsigncode verifies against
that certificate every DLL and program of the zip, setup.exe and the
uninstaller setup writes, for two releases of one build made at once, each
with its own certificate. Without --sign the bundle's files are the build's,
byte for byte, and carry no signature. No timestamp server is reachable in a
test: the note saying so is checked too.

usage: check_signing.py WIN32_BUILD_DIR"""
import os
import subprocess
import sys
import tempfile
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.join(HERE, "..", "..")
build = sys.argv[1]
failures = []
started = time.time()


def check(name, condition, detail=""):
    print("signing: %s: %s" % (name, "ok" if condition else "FAILED " + detail))
    if not condition:
        failures.append(name)


def verify(path, cert):
    done = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", path], capture_output=True, text=True)
    return done.returncode == 0 and "Signature verification: ok" in done.stdout + done.stderr or \
        (done.returncode == 0 and "Succeeded" in done.stdout + done.stderr)


def certificate(work, name):
    """A throw-away self-signed certificate: (cert.pem, .pfx) under `work`."""
    key, cert, pfx = (os.path.join(work, "%s-%s" % (name, n)) for n in ("key.pem", "cert.pem", "test.pfx"))
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                    "-days", "2", "-subj", "/CN=Barsight test signing %s" % name], check=True, capture_output=True)
    subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", pfx,
                    "-passout", "pass:throw away"], check=True, capture_output=True)
    return cert, pfx


def signed_release(out, pfx):
    """A signed release of the build into `out` (its installer's files kept
    in out/work), started, not waited for."""
    env = dict(os.environ, BARSIGHT_SIGN_PASSWORD="throw away", BARSIGHT_TIMESTAMP_URL="http://127.0.0.1:9/")
    return subprocess.Popen([sys.executable, os.path.join(ROOT, "scripts", "make_release.py"), build, out,
                             "--sign", pfx, "--keep", os.path.join(out, "work")],
                            env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


with tempfile.TemporaryDirectory() as work:
    # Two signed releases of one build at once, each with its own
    # certificate: each run's files are its own, so each verifies against
    # its certificate only.
    runs = []
    for name in ("first", "second"):
        cert, pfx = certificate(work, name)
        out = os.path.join(work, name)
        runs.append((name, cert, out, signed_release(out, pfx)))
    version = open(os.path.join(build, "version.txt")).read().strip()
    for name, cert, out, run in runs:
        stdout, stderr = run.communicate()
        check("%s: a signed release is made" % name, run.returncode == 0, stderr[-600:])
        check("%s: no timestamp server: the note says so" % name, "no answer from the timestamp server" in stdout,
              stdout)
        zip_path = os.path.join(out, "barsight-%s-win32.zip" % version)
        unpacked = os.path.join(out, "unpacked")
        programs = []
        if os.path.isfile(zip_path):
            with zipfile.ZipFile(zip_path) as bundle:
                bundle.extractall(unpacked)
                programs = [n for n in bundle.namelist() if n.endswith((".dll", ".exe"))]
        bad = [n for n in programs if not verify(os.path.join(unpacked, n), cert)]
        check("%s: every DLL and program of the zip verifies (%d)" % (name, len(programs)), programs and not bad,
              str(bad))
        setup = os.path.join(out, "barsight-%s-setup.exe" % version)
        check("%s: setup.exe verifies" % name, os.path.isfile(setup) and verify(setup, cert))
        check("%s: its working folder is gone (the password with it)" % name,
              not any(n.startswith(".release-") for n in os.listdir(out)), str(os.listdir(out)))
        uninstaller = os.path.join(out, "work", "uninstall.exe")
        check("%s: the uninstaller setup writes verifies" % name,
              os.path.isfile(uninstaller) and verify(uninstaller, cert))
    first_cert, second_setup = runs[0][1], os.path.join(runs[1][2], "barsight-%s-setup.exe" % version)
    check("a setup signed with another certificate does not verify",
          os.path.isfile(second_setup) and not verify(second_setup, first_cert))
    # One byte of a signed DLL's code changed: its signature no longer holds.
    unpacked = os.path.join(runs[0][2], "unpacked")
    dll = os.path.join(unpacked, "barsight-%s-win32" % version, "MetaStock", "BarsightPlugin.dll")
    if os.path.isfile(dll):
        altered = os.path.join(work, "altered.dll")
        data = bytearray(open(dll, "rb").read())
        data[0x400] ^= 0xFF
        open(altered, "wb").write(bytes(data))
        check("an altered signed DLL does not verify", not verify(altered, first_cert))
    check("the build's own DLL is left unsigned",
          not verify(os.path.join(build, "bin", "BarsightPlugin.dll"), first_cert))
    check("nothing of a release is left in the build folder",
          not any(os.path.exists(os.path.join(build, n)) and os.path.getmtime(os.path.join(build, n)) >= started
                  for n in ("signed", "installer")))
    pfx = os.path.join(work, "first-test.pfx")
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
