#!/usr/bin/env python3
"""A '%' slot set inside a call (directly, in a nested call, a loop or an if
body, shared from another slot, or to an array the body declares) stands
for the caller's array after the call, never for one declared later: random
rings and storage; printed, read by name and a save read back agree with
values the session computes apart, and deleting the array unsets the slot.
  slot_parameters.py TARVEX
"""
import os, random, subprocess, sys, tempfile

RINGS = ["", "&(p = 7);", "&(p = 3);", "&(p = 12);", "&(p = 9);", "&(p = 256);", "&(p = 65536);"]
ROUTES = ["%[8] := [b];", "U([b]);", "%[9] := [b]; %[8] := %[9];", "for i = 1 to 2 do %[8] := [b] od;",
          "if 1 = 1 then %[8] := [b] fi;", "k := 0; while k < 1 do %[8] := [b]; k := k + 1 od;",
          "Array a[3]{kind}; a[1] := b[1]; %[8] := [a];"]


def main(binary, failures=0):
    rng = random.Random(1037)
    with tempfile.TemporaryDirectory() as cwd:
        run = lambda text: subprocess.run([binary], input=text.encode(), capture_output=True, cwd=cwd,
                                          timeout=60).stdout.decode("utf-8", "replace").split("\n>")
        for case in range(28):
            kind, later = rng.choice(["", " Sparse"]), rng.choice(["", " Sparse"])
            route, v, w = ROUTES[case % 7].format(kind=kind), rng.randint(2, 40), rng.randint(2, 40)
            c = "c" if "Array a" in route else "a"   # the body declares a itself
            out = run(f"{RINGS[case % 7]}\nArray {c}[3]{kind};\n{c}[1] := {v};\nFunc U(c) = %[8] := [c]; 1.\n"
                      f"Func S(b) = {route} 1.\nS([{c}]);\nArray d[3]{later};\nd[1] := 1;\nArray e[2];\n{v};\n"
                      f"{w};\n0;\n%[8][1];\n%[8][2] := {w};\nd[2];\na[2];\na[1];\n&(S = 's.sav'); &s; "
                      "&(S = @);\n@[a];\n%[8][1];\nArray f[3];\nf[1] := 3;\n%[8];\n")[-17:-1]
            got = [ch.strip().split("\n")[-1].strip() for ch in out]
            back = [ch.strip().split("\n")[-1].strip() for ch in run("&(R = 's.sav');\na[2];\na[1];\nd[2];\n")[-4:-1]]
            # printed, written, d[2], a[2], a[1] and a[2], a[1], d[2] read back; the slot unset after @[a]
            if got[3:8] + back != [got[0], got[1], got[2], got[1], got[0], got[1], got[0], got[2]] or \
                    sum("element has no value" in ch for ch in out) != 2:
                failures += 1
                print(f"{RINGS[case % 7] or 'Q'}{kind}{later} {route}: due {got[:3]}, got {got[3:8]}, back {back}")
    print(f"slot parameters: {28 - failures} of 28 right")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(os.path.abspath(sys.argv[1])))
