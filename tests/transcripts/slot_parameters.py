#!/usr/bin/env python3
"""A '%' slot set inside a call stands for the array it was given: the
caller's array behind a parameter (also through a nested call, a shared
slot, a for or while loop, an if body) or an array the body
declared. After the call the slot reads and writes that array, never one
declared later; deleting the array leaves the slot unset.

  slot_parameters.py TARVEX

Random cases over rings (the rationals, modulo 7, 3, 12 and 9, GF(2^8),
GF(2^16)) and storage (dense, sparse); what is printed, what a later read
by name finds and what a save read back holds are checked against the
values the session computes apart.
"""
import os
import random
import subprocess
import sys
import tempfile

RINGS = ["", "&(p = 7);", "&(p = 3);", "&(p = 12);", "&(p = 9);", "&(p = 256);", "&(p = 65536);"]
# How the body sets slot 8 to its parameter b (or to an array it declares).
ROUTES = ["Func S(b) = %[8] := [b]; 1.",
          "Func U(c) = %[8] := [c]; 1.\nFunc S(b) = U([b]); 1.",
          "Func S(b) = %[9] := [b]; %[8] := %[9]; 1.",
          "Func S(b) = for i = 1 to 2 do %[8] := [b] od; 1.",
          "Func S(b) = if 1 = 1 then %[8] := [b] fi; 1.",
          "Func S(b) = k := 0; while k < 1 do %[8] := [b]; k := k + 1 od; 1.",
          "Func S(b) = Array a[3]{kind}; a[1] := b[1]; %[8] := [a]; 1."]


def chunks(out, count):
    # One prompt per statement (three for the save line): the last ones before "bye".
    return out.split("\n>")[-count - 1:-1]


def values(out, count):
    return [c.strip().split("\n")[-1].strip() for c in chunks(out, count)]


def run(binary, cwd, text):
    proc = subprocess.run([binary], input=text.encode(), capture_output=True, cwd=cwd, timeout=60)
    return proc.stdout.decode("utf-8", "replace")


def main(argv):
    binary = os.path.abspath(argv[1])
    rng = random.Random(1037)
    failures = []
    with tempfile.TemporaryDirectory() as cwd:
        for case in range(28):
            ring, route = RINGS[case % len(RINGS)], ROUTES[case % len(ROUTES)]
            kind = rng.choice(["", " Sparse"])
            later = rng.choice(["", " Sparse"])
            v, w, x = rng.randint(2, 40), rng.randint(2, 40), rng.randint(2, 40)
            # The last route declares the array a itself from the caller's c.
            caller = "c" if "Array a" in route else "a"
            text = (f"{ring}\nArray {caller}[3]{kind};\n{caller}[1] := {v};\n{route.format(kind=kind)}\n"
                    f"S([{caller}]);\nArray d[3]{later};\nd[1] := {x};\nArray e[2];\n"
                    f"{v};\n{w};\n0;\n%[8][1];\n%[8][2] := {w};\nd[2];\na[2];\na[1];\n"
                    "&(S = 's.sav'); &s; &(S = @);\n@[a];\n%[8][1];\nArray f[3];\nf[1] := 3;\n%[8];\n")
            out = run(binary, cwd, text)
            got = values(out, 16)
            back = values(run(binary, cwd, "&(R = 's.sav');\na[2];\na[1];\nd[2];\n"), 3)
            due_v, due_w, zero = got[0], got[1], got[2]
            printed, written, d2, a2, a1 = got[3], got[4], got[5], got[6], got[7]
            # Slot 8 read and read whole after its array is deleted.
            gone = [c for c in chunks(out, 16) if "element has no value" in c]
            want = [due_v, due_w, zero, due_w, due_v, [due_w, due_v, zero]]
            have = [printed, written, d2, a2, a1, back]
            if have != want or len(gone) != 2:
                failures.append(f"{ring or 'Q'} {kind or 'dense'} {later or 'dense'} {route}: printed, written, "
                                f"d[2], a[2], a[1], read back a[2], a[1], d[2]: {have} (due {want}); "
                                f"{len(gone)} of 2 refused after @[a]")
    if failures:
        print("\n".join(failures))
        return 1
    print("slot parameters: 28 cases right")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
