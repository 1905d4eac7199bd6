"""A test program that makes a window leaves nothing behind holding its
output. ctest takes a test as ended when its output ends; the first window
made on a Wine desktop starts the desktop process (explorer.exe /desktop),
which inherits the output of the program that made it and lives until the
desktop closes, a second after the last program on it has ended (so, under
a parallel run, not before every test beside it has ended). The prefix's
desktop is therefore kept open by scripts/wine-prefix.sh for the whole run:
  - the prefix's desktop process runs before the program starts, its output
    no pipe (none that a test's runner reads), and still runs when it has
    ended;
  - once the program has ended, no process but the Wine server (which lets
    go of a process's handles when it has seen it end) has its stdout or
    stderr open.

usage: check_window_output.py PREFIX RUNNER PROGRAM [ARGUMENT...]
(PREFIX: the Wine prefix RUNNER runs programs in; RUNNER: the build's
wine-run.sh)
"""
import os
import subprocess
import sys


def processes():
    """pid -> (command line, environment) of every process we may read."""
    found = {}
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                line = f.read().replace(b"\0", b" ").decode(errors="replace").strip()
            with open(f"/proc/{pid}/environ", "rb") as f:
                environment = f.read().split(b"\0")
        except OSError:  # ended meanwhile, or not ours to read
            continue
        found[int(pid)] = (line, environment)
    return found


def desktop_processes(prefix):
    wanted = b"WINEPREFIX=" + os.fsencode(prefix)
    return {pid for pid, (line, environment) in processes().items()
            if "explorer.exe /desktop" in line and wanted in environment}


def holders(inode):
    """(pid, command line) of every other process with that pipe open."""
    found = []
    for pid, (line, _) in processes().items():
        if pid == os.getpid():
            continue
        try:
            links = [os.readlink(f"/proc/{pid}/fd/{fd}") for fd in os.listdir(f"/proc/{pid}/fd")]
        except OSError:
            continue
        if f"pipe:[{inode}]" in links:
            found.append((pid, line))
    return found


def main():
    prefix, command = sys.argv[1], sys.argv[2:]
    failures = []
    before = desktop_processes(prefix)
    if not before:
        failures.append(f"no desktop process runs in {prefix} before the program: the program "
                        "would start it, and it would keep the program's output")
    for pid in before:
        for fd in (1, 2):
            try:
                target = os.readlink(f"/proc/{pid}/fd/{fd}")
            except OSError:
                continue
            if target.startswith("pipe:"):
                failures.append(f"the desktop process {pid} writes to a pipe ({target}): a program "
                                "run by a test started it, and it keeps that test's output")
    program = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE)
    # The program's own output is a few lines: it fits in the pipes, so the
    # program ends without their being read.
    status = program.wait()
    for name, pipe in (("stdout", program.stdout), ("stderr", program.stderr)):
        for pid, line in holders(os.fstat(pipe.fileno()).st_ino):
            if "wineserver" not in line:
                failures.append(f"{name} still open in process {pid} ({line}) after the program ended")
    if before and not before & desktop_processes(prefix):
        failures.append(f"the desktop process of {prefix} ended during the program")
    # (read without waiting: a process holding the pipes may not end soon)
    os.set_blocking(program.stdout.fileno(), False)
    os.set_blocking(program.stderr.fileno(), False)
    out = (program.stdout.read() or b"").decode(errors="replace")
    err = (program.stderr.read() or b"").decode(errors="replace")
    if status != 0:
        failures.append(f"the program failed (exit {status}):\n{out}{err}")
    for failure in failures:
        print(failure)
    if not failures:
        print("the desktop process ran throughout; the program's output ended with it")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
