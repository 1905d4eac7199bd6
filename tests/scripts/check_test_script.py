"""The test command as a fresh machine runs it.

Runs `scripts/test.sh probe` with an empty environment (env -i: no locale,
no PATH, no HOME) and its output through a pipe, as `./scripts/test.sh | cat`
or CI reads it, and checks that
  - the lanes get a UTF-8 locale, a search path and a home of their own;
  - Wine, under that locale, makes a folder named with é and €;
  - the pipe closes when the script ends: no Wine server or helper the
    probe left running holds it (the probe leaves its server running on
    purpose: the end of test.sh must stop it);
  - no process of the probe's Wine prefix is left afterwards.
usage: check_test_script.py REPOSITORY
"""
import os
import select
import signal
import subprocess
import sys
import time

root = os.path.abspath(sys.argv[1])
prefix = os.path.join(root, "build", "probe", "wine", "prefix")
failures = []


def check(name, condition, detail=""):
    if condition:
        print("scripts: ok: %s" % name)
    else:
        failures.append(name)
        print("scripts: FAILED: %s %s" % (name, detail))


def prefix_processes():
    """Processes whose environment names the probe's Wine prefix."""
    found = []
    needle = ("WINEPREFIX=" + prefix).encode()
    for pid in os.listdir("/proc"):
        if not pid.isdigit() or int(pid) == os.getpid():
            continue
        try:
            with open("/proc/%s/environ" % pid, "rb") as f:
                names = f.read().split(b"\0")
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                command = f.read().replace(b"\0", b" ").decode("utf-8", "replace").strip()
        except OSError:
            continue
        if any(n == needle or n == needle + b"/" for n in names):
            found.append((int(pid), command))
    return found


started = time.monotonic()
script = subprocess.Popen(["env", "-i", os.path.join(root, "scripts", "test.sh"), "probe"],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                          cwd="/")
output = b""
ended_at = None
closed_at = None
limit = 600  # the probe makes a Wine prefix the first time (about 20 s)
while time.monotonic() - started < limit:
    if ended_at is None and script.poll() is not None:
        ended_at = time.monotonic()
    # The pipe closes within a minute of the script's end, or never.
    if ended_at is not None and time.monotonic() - ended_at > 60:
        break
    ready, _, _ = select.select([script.stdout], [], [], 0.5)
    if ready:
        chunk = os.read(script.stdout.fileno(), 65536)
        if not chunk:
            closed_at = time.monotonic()
            break
        output += chunk
if ended_at is None:
    try:
        script.wait(timeout=60)  # the pipe closed just before the script ended
    except subprocess.TimeoutExpired:
        script.kill()
    ended_at = time.monotonic()
code = script.wait()
text = output.decode("utf-8", "replace")
sys.stdout.write("".join("  | " + line + "\n" for line in text.splitlines()))

check("test.sh probe passes with an empty environment (exit %d)" % code, code == 0)
check("the lanes get the UTF-8 locale", "probe: LC_ALL=C.UTF-8 LANG=C.UTF-8" in text)
check("and a search path and a home",
      any(line.startswith("probe: ") and " HOME=/" in line and " PATH=/" in line for line in text.splitlines()))
check("Wine makes a folder named with é and €", "probe: Wine made a folder named hélp €" in text)
check("the output pipe closes when the script ends (%s)" %
      ("%.1f s after" % (closed_at - ended_at) if closed_at and ended_at else "still open"),
      closed_at is not None and ended_at is not None and closed_at - ended_at < 60)
left = prefix_processes()
check("no process of the probe's Wine prefix is left", not left, str(left[:5]))
# Whatever was left must not outlive this check.
for pid, _ in left:
    try:
        os.kill(pid, signal.SIGKILL)
    except OSError:
        pass
if failures:
    print("scripts: %d of the checks FAILED" % len(failures))
sys.exit(1 if failures else 0)
