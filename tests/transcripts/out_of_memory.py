#!/usr/bin/env python3
"""Memory that runs out in the middle of a statement: the warning, the
statement abandoned, every value stored before intact, the session going
on, and the abandoned statement's work buffers given back (a computation
that fits in a fresh session still fits after it).

Two ways to run out:
  - the address space limited to 1.2 GB (RLIMIT_AS), the heap then failing
    a request;
  - a memory amount of 40 MB on the start-up file's first line: a single
    request larger than what is left of it is refused before it is made.

Both are skipped for a sanitizer build: its runtime serves the heap's
requests itself, and its shadow memory does not fit in such a limit.

  out_of_memory.py TARVEX [sanitized]
"""
import os
import resource
import subprocess
import sys
import tempfile

WARNING = "*** Warning.  You are out of heap space.  Abort this computation."

# 10^(10^8) needs more than either bound; 10^(2*10^7) fits in a fresh
# session under the address-space limit (not when the buffers sized for the
# failed statement are kept), 10^(10^6) fits in the budget.
LIMITED = """b := 7:
a := 10^(10^8):
b;
c := 10^(2*10^7):
c - c;
a := 10^(10^8):
c := 10^(2*10^7) + 1:
c - 10^(2*10^7);
b + 1;
"""
LIMITED_SHOWN = ["7", "0", "1", "8"]

BUDGETED = """b := 7:
a := 10^(10^8):
b;
c := 10^(10^6) + 1:
c - 10^(10^6);
a := 3^(10^8):
b + 1;
"""
BUDGETED_SHOWN = ["7", "1", "8"]


def limit_address_space():
    limit = 1200 * 1024 * 1024
    resource.setrlimit(resource.RLIMIT_AS, (limit, limit))


def shown(out):
    """The values shown after the first prompt, in order."""
    values = []
    for block in out.split("\n>")[1:]:
        text = block.replace(WARNING, "").strip()
        if text and text != "bye":
            values.append(text)
    return values


def check(binary, name, script, want, startup=None, preexec=None):
    with tempfile.TemporaryDirectory() as cwd:
        if startup:
            with open(os.path.join(cwd, "tarvexstart.txt"), "w") as f:
                f.write(startup)
        proc = subprocess.run([binary], input=script.encode(), capture_output=True, cwd=cwd, timeout=120,
                              preexec_fn=preexec)
    out = proc.stdout.decode("utf-8", "replace")
    problems = []
    if proc.returncode != 0:
        problems.append(f"exit status {proc.returncode}: {proc.stderr.decode('utf-8', 'replace')[-500:]}")
    if out.count(WARNING) != 2:
        problems.append(f"{out.count(WARNING)} warnings, not 2")
    if shown(out) != want:
        problems.append(f"values shown {shown(out)}, not {want}")
    if problems:
        print(f"--- {name}: " + "; ".join(problems))
        print(out[-2000:])
    return not problems


def main(argv):
    binary = os.path.abspath(argv[1])
    sanitized = len(argv) > 2 and argv[2] == "sanitized"
    if sanitized:
        # The sanitizer's runtime serves the heap's requests itself, and its
        # shadow memory does not fit in the address-space limit.
        print("skipped: a sanitizer build has an allocator of its own")
        return 0
    ok = check(binary, "budget", BUDGETED, BUDGETED_SHOWN, startup="40\n")
    ok = check(binary, "address space", LIMITED, LIMITED_SHOWN, preexec=limit_address_space) and ok
    print("passed" if ok else "failed")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
