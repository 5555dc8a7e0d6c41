#!/usr/bin/env python3
"""The function listing reads back as the same functions.

  listing_roundtrip.py TARVEX

Functions with comments, loops and conditionals nested three deep, every
comparison (also the one-byte forms of <>, <= and >=), "^" parameters and
an Integer statement are defined, run on a few arguments and listed with
"&f *;". The listing text is then typed back, both into a fresh session and
into the same session after the functions were deleted there: each time the
functions give the same results as before and list exactly as before. At
the terminal every listing line but a definition's last ends with " `";
the last ends with the definition's ".".
"""
import os
import re
import subprocess
import sys
import tempfile

DEFINITIONS = b"""Func Cmp(a, b) =
  {compare every way}
  c := 0;
  if a = b then c := c + 1 fi;
  if a <> b then c := c + 2 fi;
  if a < b then c := c + 4 fi;
  if a <= b then c := c + 8 fi;
  if a > b then c := c + 16 fi;
  if a >= b then c := c + 32 fi;
  c.
Func Cmp1(a, b) = c := 0; if a \xad b then c := c + 2 fi; if a \xb2 b then ` 
  c := c + 8 fi; if a \xb3 b then c := c + 32 fi; if [a < b] and not [a = 0] then c := c + 64 fi; c.
Func Cmp2(a, b) = c := 0; if a < > b then c := 1 fi; if a > = b then c := c + 2 fi; ` 
  if a < = b then c := c + 4 fi; c.
Func Nest(n, ^t) =
  {loops inside loops}
  t := 0;
  for i = 1 to n do
    j := i;
    while j > 0 do
      if j = 2 * (j \\ 2) then t := t + j else {odd} t := t - 1 fi;
      j := j - 1
    od
  od;
  t * 10.
Func Isum(n) = Integer; s := 0; for i = n to 1 by -1 do s := s + i * i od; s.
Func Bump(^v, w) = v := v + w; &}; v := 0.
Func Tc(x) = x + 1; {a comment after the last statement}
  .
"""

NAMES = ["Bump", "Cmp", "Cmp1", "Cmp2", "Isum", "Nest", "Tc"]

# Each call is followed by the variable it may change, so "^" copy-back is
# compared too.
CALLS = b"""90001;
Cmp(1, 2); Cmp(3, 3); Cmp(5, -4); Cmp(1/2, 1/3);
Cmp1(1, 2); Cmp1(2, 2); Cmp1(3, 2); Cmp1(0, 2);
Cmp2(1, 2); Cmp2(2, 2); Cmp2(3, 2);
t := 5; Nest(4, t); t; Nest(0, t); t; Nest(7, t); t;
Isum(10); Isum(1); Isum(0);
v := 1; Bump(v, 41); v; Bump(v, -2/3); v;
Tc(4);
90002;
"""


def session(binary, text):
    with tempfile.TemporaryDirectory() as cwd:
        proc = subprocess.run([binary], input=text, capture_output=True, cwd=cwd, timeout=120)
    out = proc.stdout.decode("latin-1")
    return proc.returncode, out.split("\n>", 1)[-1]


def listings(out):
    """The text of each "&f *" listing: from the first " Function " line to
    the last definition's end."""
    found = []
    for chunk in out.split("\n>"):
        if "\n Function " in chunk:
            body = chunk[chunk.index(" Function "):]
            found.append(body.rstrip("\n") + "\n")
    return found


def results(out):
    """The displayed values between the markers 90001 and 90002."""
    part = out.split("90001", 1)[1].split("90002", 1)[0]
    return re.findall(r"^ +(\S.*)$", part, re.M)


def check_lines(listing, failures):
    lines = listing.splitlines()
    for k, line in enumerate(lines):
        last = k + 1 == len(lines) or lines[k + 1].startswith(" Function ")
        if last:
            if not line.endswith("."):
                failures.append(f"a definition's last line does not end with '.': {line!r}")
        elif not line.endswith(" `"):
            failures.append(f"a listing line does not end with ' `': {line!r}")


def main(argv):
    binary = os.path.abspath(argv[1])
    failures = []
    code, first = session(binary, DEFINITIONS + CALLS + b"&f *;\n")
    if code != 0:
        failures.append(f"first session: exit status {code}")
    lists = listings(first)
    if len(lists) != 1:
        print(first)
        print("FAIL: the first session did not list the functions once")
        return 1
    listing = lists[0]
    before = results(first)
    if [m for m in re.findall(r"^ Function (\w+)", listing, re.M)] != NAMES:
        failures.append("the listing does not hold every function, sorted by name")
    check_lines(listing, failures)
    # Hand-computed values the first run must give.
    want = ["14", "41", "50", "50", "74", "40", "34", "10", "5", "6", "3",
            "5", "40", "4", "0", "0", "240", "24", "385", "1", "0",
            "1", "0", "42", "0", "124 / 3;  or  41.3333333333333333333333333333333333333333", "5"]
    got = [r for r in before]
    if got != want:
        failures.append(f"results before: {got}\n  expected: {want}")
    typed = listing.encode("latin-1")

    # A fresh session defines them from the listing alone.
    code, second = session(binary, typed + CALLS + b"&f *;\n")
    if code != 0:
        failures.append(f"fresh session: exit status {code}")
    again = listings(second)
    if again != [listing]:
        failures.append("the listing typed into a fresh session lists differently:\n"
                        + "".join(again))
    if results(second) != before:
        failures.append(f"fresh session results: {results(second)}")

    # The same session: deleted, typed back, listed again.
    deletes = ("".join(f"@{n};\n" for n in NAMES)).encode()
    code, third = session(binary, DEFINITIONS + b"&f *;\n" + deletes + b"&f *;\n"
                          + typed + CALLS + b"&f *;\n")
    if code != 0:
        failures.append(f"same session: exit status {code}")
    lists3 = listings(third)
    if lists3 != [listing, listing]:
        failures.append("the listing typed back into the same session lists differently "
                        f"(or the deleted functions were still listed): {len(lists3)} listings")
    if results(third) != before:
        failures.append(f"same session results: {results(third)}")

    for f in failures:
        print("FAIL:", f)
    print("listing round trip:", "failed" if failures else "passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
