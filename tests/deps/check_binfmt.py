#!/usr/bin/env python3
"""The qemu-i386 registration decision of scripts/deps.sh (smoke32), on fake
binfmt_misc folders: an entry the kernel already holds (a container or
chroot on a host that registered one) is taken when it is enabled and its
interpreter can run, and said plainly what to do when not; only without one
is a registration written. Nothing is mounted or registered: deps.sh is
sourced (it then only defines its functions) and its root commands are
stand-ins that act on the fake folder.

usage: check_binfmt.py SCRIPTS_DIR
"""
import os
import stat
import subprocess
import sys
import tempfile

deps = os.path.join(sys.argv[1], "deps.sh")
failures = []


def check(what, ok, detail=""):
    print("binfmt: %s: %s" % (what, "ok" if ok else "FAILED " + detail))
    if not ok:
        failures.append(what)


def entry(enabled=True, interpreter="/usr/bin/qemu-i386", flags=""):
    return ("%s\ninterpreter %s\nflags: %s\noffset 0\nmagic 7f454c4601010100000000000000000002000300\n"
            "mask fffffffffffefefcfffffffffffffffffeffffff\n" % ("enabled" if enabled else "disabled", interpreter, flags))


# The stand-ins for root: mount makes the folder's register file and shows
# the entry the host holds ($SHOWN, if any); writing to register makes the
# entry ($MADE, if any), and fails without one or when the name is taken (as
# the kernel refuses a second qemu-i386).
STAND_INS = r'''
as_root() {
  case $1 in
    mount) echo "mount" >> "$LOG"; : > "$MISC/register"; [ -z "$SHOWN" ] || cp "$SHOWN" "$MISC/qemu-i386" ;;
    sh) echo "register" >> "$LOG"; [ ! -e "$MISC/qemu-i386" ] && [ -n "$MADE" ] && cp "$MADE" "$MISC/qemu-i386" ;;
    *) echo "as_root $*" >> "$LOG"; return 1 ;;
  esac
}
'''


def run(script, misc, **env):
    return subprocess.run(["bash", "-c", 'f=$1; shift; set --; source "$f"\n' + STAND_INS + script, "_", deps],
                          capture_output=True, text=True, env=dict(os.environ, MISC=misc, **env))


with tempfile.TemporaryDirectory() as work:
    program = os.path.join(work, "qemu-i386")
    with open(program, "w") as f:
        f.write("#!/bin/sh\n")
    os.chmod(program, 0o755)
    plain = os.path.join(work, "not-a-program")
    open(plain, "w").close()
    os.chmod(plain, stat.S_IRUSR | stat.S_IWUSR)
    missing = os.path.join(work, "gone", "qemu-i386-static")

    # What a folder holds -> the decision.
    STATES = [
        ("no entry", None, "absent"),
        ("an enabled entry whose interpreter is here", entry(interpreter=program), "usable"),
        ("an enabled entry the kernel holds open (F), its interpreter not here", entry(interpreter=missing, flags="F"),
         "usable"),
        ("an enabled entry with flags OCF", entry(interpreter=missing, flags="OCF"), "usable"),
        ("an entry whose interpreter is not here", entry(interpreter=missing),
         "unusable: the kernel's qemu-i386 entry runs %s, which is not a program here" % missing),
        ("an entry whose interpreter cannot be run", entry(interpreter=plain), "unusable: the kernel's qemu-i386 entry runs"),
        ("a disabled entry", entry(enabled=False, interpreter=program), "unusable: the kernel's qemu-i386 entry is disabled"),
    ]
    for k, (name, text, want) in enumerate(STATES):
        misc = os.path.join(work, "state%d" % k)
        os.makedirs(misc)
        if text is not None:
            with open(os.path.join(misc, "qemu-i386"), "w") as f:
                f.write(text)
        done = run('i386_binfmt_state "$MISC"', misc)
        check("state: " + name, done.returncode == 0 and done.stdout.startswith(want), done.stdout + done.stderr)

    # binfmt_misc not mounted: what the mount shows decides; a register is
    # written only when it shows no entry (registering a name again fails).
    shown_usable, shown_disabled, made = (os.path.join(work, n) for n in ("usable", "disabled", "made"))
    for path, text in ((shown_usable, entry(interpreter=program)),
                       (shown_disabled, entry(enabled=False, interpreter=program)),
                       (made, entry(interpreter=program, flags="F"))):
        with open(path, "w") as f:
            f.write(text)
    rule = os.path.join(work, "qemu-i386.conf")
    open(rule, "w").close()
    FLOWS = [
        ("the host's usable entry is taken, nothing registered", shown_usable, made, rule, 0, ["mount"], ""),
        ("the host's disabled entry: what to do, nothing registered", shown_disabled, made, rule, 1, ["mount"],
         "deps.sh: group smoke32: the kernel's qemu-i386 entry is disabled; enable it (as root: echo 1 >"),
        ("no entry: registered from the rule", "", made, rule, 0, ["mount", "register"],
         "32-bit x86 programs now run through qemu-i386"),
        ("no entry, and the kernel refuses it", "", "", rule, 1, ["mount", "register"],
         "the kernel cannot be told to run 32-bit programs through qemu-i386"),
        ("no entry and no rule", "", made, os.path.join(work, "no-rule.conf"), 1, ["mount"],
         "qemu-user has no binfmt rule"),
    ]
    for k, (name, shown, making, rule_path, code, steps, said) in enumerate(FLOWS):
        misc = os.path.join(work, "flow%d" % k)
        os.makedirs(misc)
        log = os.path.join(work, "flow%d.log" % k)
        open(log, "w").close()
        done = run('register_i386_binfmt "$MISC" "$RULE"', misc, SHOWN=shown, MADE=making, RULE=rule_path, LOG=log)
        taken = open(log).read().split()
        check("not mounted, " + name, done.returncode == code and taken == steps and said in done.stdout,
              "exit %d, root did %s, said %r" % (done.returncode, taken, done.stdout + done.stderr))

if failures:
    sys.exit("binfmt: %d checks failed: %s" % (len(failures), ", ".join(failures)))
