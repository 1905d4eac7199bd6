"""A Windows program starts under Wine whatever the place of the C library's
heap. wine64 is loaded at a fixed address and the kernel starts its heap
anywhere in the gigabyte above; a heap over 0x7ffe0000 leaves Wine no room
for the shared user data and the program ends before it runs (exit 1, no
output under WINEDEBUG=-all). Here the heap is put there on purpose: with
address randomisation off (setarch -R) the heap starts right after the
loader, and a library loaded first (heap_over_shared_page.c, built here)
stretches it over the page. Through Wine's preloader the page is taken
before the heap can be, and the program runs.

usage: check_wine_start_heap.py RUNNER HELPER_SOURCE PROGRAM [ARGUMENT...]
(RUNNER: the build's wine-run.sh; PROGRAM: one that prints PASSED)
"""
import os
import subprocess
import sys
import tempfile

runner, source, command = sys.argv[1], sys.argv[2], sys.argv[3:]
with tempfile.TemporaryDirectory() as scratch:
    helper = os.path.join(scratch, "heap_over_shared_page.so")
    subprocess.run(["cc", "-shared", "-fPIC", "-o", helper, source], check=True)
    environment = dict(os.environ, LD_PRELOAD=helper)
    r = subprocess.run(["setarch", "-R", runner] + command, env=environment,
                       stdin=subprocess.DEVNULL, capture_output=True, text=True)
# (setarch and the runner's shell load the helper too: their heaps are elsewhere)
said = [line for line in r.stderr.splitlines() if line.startswith("heap ")]
print("\n".join(said))
failures = []
if r.returncode != 0 or "PASSED" not in r.stdout:
    failures.append(f"the program did not run (exit {r.returncode}): {r.stdout}{r.stderr}".strip())
if "heap over the page" in said:
    failures.append("the heap could be stretched over the shared user data page")
elif "heap kept off the page" not in said:
    failures.append("the case was not made: no heap below the page to stretch")
for failure in failures:
    print(failure)
if not failures:
    print("the program ran with its heap kept off the shared user data page")
sys.exit(1 if failures else 0)
