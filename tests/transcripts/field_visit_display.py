#!/usr/bin/env python3
"""What a session prints in a ring does not depend on the rings it visited
before: after trips to GF(2^8) and GF(2^16) (from the rationals or straight
from a modulus, with the display switch H set before the trip, inside the
field or not at all), the same statements in a modulus print what a fresh
session with the same H prints: scalars typed and converted, polynomials,
dense and sparse arrays, and the values brought back to the rationals. A
save made inside a field and read by a fresh session gives the same too, and
so does the way back of a save made in the modulus after the trip.
Inside a field H changes nothing printed, a relation's report included.

  field_visit_display.py TARVEX [CASES] [SEED]
"""
import os
import random
import subprocess
import sys
import tempfile

MODULI = [2, 3, 5, 7, 23, 97, 65521, 1000003]


def run(binary, script, cwd):
    proc = subprocess.run([binary], input=script.encode(), capture_output=True, cwd=cwd, timeout=120)
    return proc.returncode, proc.stdout.decode("utf-8", "replace")


def last_prompts(out, count):
    # One prompt per statement: the last `count` statements' output.
    return out.split("\n>")[-count:]


def body(rng, m, star):
    """Statements run in modulus m after the values below are stored in
    rational mode (all starred, or none); their output is what is compared."""
    a, b, c = (rng.randint(-40, 40) for _ in range(3))
    d = rng.randint(1, 9)
    return [
        f"&(p = {m}{' : **' if star else ''});",
        "-1;",
        f"{a} - {m};",
        "u;",
        f"(x - 1)*(s + {b})*x + {c}*s;",
        "q;",
        "[g];",
        "[h];",
        f"w := {a}*x - {d};",
        f"[g] := {b}*[g] - [g];",
        "[g];",
        "&(p = _i);",
        "u;",
        "w;",
        "q;",
        "[g];",
        "[h];",
    ]


def values(rng):
    return [
        "&(J = x);",
        "&(J = s);",
        f"u := {rng.randint(-99, -1)}/{rng.choice([1, 13, 29])};",
        f"q := (x - {rng.randint(1, 9)})*(s - {rng.randint(1, 9)})*{rng.randint(-20, -1)};",
        "Array g[3];",
        f"[g] := [({rng.randint(-9, -1)}, {rng.randint(-9, 9)}, -1)];",
        "Array h[4, 4] Sparse;",
        f"h[1, 2] := {rng.randint(-9, -1)};",
        f"h[3, 1] := {rng.randint(-9, -1)}*x;",
    ]


def visits(rng):
    lines = []
    for field in rng.sample([256, 65536], rng.choice([1, 2])):
        start = rng.choice([None, rng.choice(MODULI)])
        if start:
            lines.append(f"&(p = {start});")
        lines.append(f"&(p = {field});")
        lines.append("-1;")
    return lines


def main(argv):
    binary = os.path.abspath(argv[1])
    cases = int(argv[2]) if len(argv) > 2 else 12
    seed = int(argv[3]) if len(argv) > 3 else 89005
    rng = random.Random(seed)
    failures = 0
    for case in range(cases):
        m = MODULI[case % len(MODULI)]
        h_before = rng.choice([None, 0, 1])
        h_inside = rng.choice([None, None, 0, 1])
        expected_h = h_inside if h_inside is not None else h_before
        stored = values(rng)
        stmts = body(rng, m, case % 2 == 1)
        back = stmts.index("&(p = _i);")
        trip = visits(rng)
        if h_inside is not None:
            trip.insert(-1, f"&(H = {h_inside});")
        set_h = [] if h_before is None else [f"&(H = {h_before});"]
        fresh_h = [] if expected_h is None else [f"&(H = {expected_h});"]

        with tempfile.TemporaryDirectory() as cwd:
            fresh = "\n".join(fresh_h + stored + stmts) + "\n"
            visited = "\n".join(set_h + trip + ["&(p = _i);"] + stored + stmts) + "\n"
            # The trip's last field saved, read by a fresh session that
            # leaves it and goes on as the session that made the save.
            saved = "\n".join(set_h + trip + ["&(S = 'f.sav'); &s; &(S = @);"]) + "\n"
            read = "\n".join(["&(R = 'f.sav');", "&(p = _i);"] + stored + stmts) + "\n"
            runs = {name: run(binary, text, cwd) for name, text in
                    (("fresh", fresh), ("visited", visited), ("saved", saved))}
            runs["read"] = run(binary, read, cwd)
            # A save in the modulus after the trip, read by a fresh session
            # that takes the way back: the values a save writes for it.
            saved = "\n".join(set_h + trip + ["&(p = _i);"] + stored + stmts[:back]
                              + ["&(S = 'm.sav'); &s; &(S = @);"]) + "\n"
            run(binary, saved, cwd)
            runs["way back read"] = run(binary, "\n".join(["&(R = 'm.sav');"] + stmts[back:]) + "\n", cwd)
        want = last_prompts(runs["fresh"][1], len(stmts) + 1)
        if "***" in "".join(want):
            failures += 1
            print(f"case {case}: the fresh session reports an error:\n" + "".join(want))
        for name in ("visited", "read", "way back read"):
            status, out = runs[name]
            due = want[back:] if name == "way back read" else want
            got = last_prompts(out, len(due))
            if status != 0 or got != due:
                failures += 1
                print(f"case {case} (modulus {m}, H before {h_before}, H inside {h_inside}): "
                      f"{name} session differs from a fresh one (status {status})")
                print("trip: " + " ".join(trip))
                for w, g in zip(due, got):
                    if w != g:
                        print(f"  fresh: {w.strip()!r}\n  {name}: {g.strip()!r}")
                        break
    # Field elements have no sign: H set inside the field changes nothing
    # that is printed there, the report of a relation t^n + c included.
    for field, c in ((256, rng.randint(129, 255)), (65536, rng.randint(32769, 65535)), (256, 5)):
        reports = []
        for h in (0, 1):
            text = f"&(p = {field});\n&(H = {h});\n&(J = t);\n&(P = t^3 + {c});\nt^4 + {c};\n"
            with tempfile.TemporaryDirectory() as cwd:
                reports.append(last_prompts(run(binary, text, cwd)[1], 3))
        if reports[0] != reports[1]:
            failures += 1
            print(f"t^3 + {c} in GF({field}) reported differently under H = 1:\n" + "".join(reports[1]))
    print(f"field visits: {cases} cases, {failures} sessions differ (seed {seed})")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
