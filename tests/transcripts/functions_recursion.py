#!/usr/bin/env python3
"""Deep user-function calls, checked against values computed here.

  functions_recursion.py TARVEX

Until conditionals land, a recursion ends through shadowed definitions:
each recursive definition deletes itself ("@F") before it calls the name
again, which then finds the next older definition; the oldest one is the
base case. So 200 definitions give the factorial of 200, and 10,000 give a
recursion 10,000 calls deep that sums 1..10000. Then a runaway recursion
must end in a numbered error, after which the session goes on with its
globals intact and no binding of a dead call left.
"""
import math
import re
import subprocess
import sys
import tempfile


def numbers(text):
    """The displayed results: digit runs joined across continuation lines."""
    text = text.replace("`\n", "")
    return [int(m.replace(" ", "")) for m in re.findall(r"^ *(-?[0-9][0-9 ]*)$", text, re.M)]


def main(argv):
    binary = argv[1]
    lines = ["Func Fa(n) = 1."]
    lines += ["Func Fa(n) = @Fa; n * Fa(n - 1)."] * 200
    lines += ["Fa(200);", "s := 0;", "Func T(n) = 0."]
    lines += ["Func T(n) = s := s + n; @T; T(n - 1)."] * 10000
    lines += ["T(10000);", "s;", "n := 77;", "c := 0;",
              "Func R(n) = c := c + 1; R(n + 1).", "R(1);", "n;", "c;",
              "Func Sq(x) = x^2.", "Sq(12);", "x;"]
    script = ("\n".join(lines) + "\n").encode()
    with tempfile.TemporaryDirectory() as cwd:
        proc = subprocess.run([binary], input=script, capture_output=True, cwd=cwd, timeout=300)
    out = proc.stdout.decode("utf-8", "replace")
    failures = []
    if proc.returncode != 0:
        failures.append(f"exit status {proc.returncode}")
    if not out.rstrip().endswith("bye"):
        failures.append("the session did not end normally")
    values = numbers(out.split("\n>", 1)[-1])
    if math.factorial(200) not in values:
        failures.append("Fa(200) is not 200!")
    if 50005000 not in values:
        failures.append("the sum over 10,000 nested calls is not 50005000")
    if "Function calls nested too deeply." not in out:
        failures.append("the runaway recursion gave no error 216")
    tail = out.split("Function calls nested too deeply.", 1)[-1]
    after = numbers(tail)
    if after[:1] != [77]:
        failures.append(f"the global n is not intact after the runaway recursion: {after[:3]}")
    elif len(after) < 2 or after[1] <= 10000:
        failures.append(f"the runaway recursion stopped before 10,000 calls: {after[:3]}")
    if 144 not in after:
        failures.append("a call after the runaway recursion did not work")
    if "Undefined variable" not in tail.split("144", 1)[-1]:
        failures.append("a parameter binding of a dead call is left (x is defined)")
    if failures:
        print(out[-3000:])
        print("\n".join(failures))
        return 1
    print("recursion: 200!, 10,000 deep, runaway stopped")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
