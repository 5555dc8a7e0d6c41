#!/usr/bin/env python3
"""A program piped in is read statement by statement from its output, one
prompt each: random programs, one statement a line, must print exactly one
prompt per statement read (and the one before the first), in every ground
ring and over every statement kind: assignments of numbers, rationals,
polynomials, rational functions, copies and products of stored values,
array cells and elements, ended by ";", ":" or "@"; array statements,
switches, function definitions and calls, for and while loops, conditions,
Sigma and generated arrays. Some lines end in blanks or a carriage return.

  prompt_count_property.py TARVEX [COUNT [SEED]]

COUNT programs (default 48) from SEED (default 1), spread over the rings.
The programs hold no error: an error line fails the case too, so that a
template that goes wrong in some ring is seen.
"""
import concurrent.futures
import random
import sys

from case_report import report
from cpu_limited import run_held

# (name, set-up lines): rationals, primes, a composite modulus, the
# characteristic-2 fields, a relation over a prime, Laurent mode.
RINGS = [
    ("rationals", []),
    ("mod 3", ["&(p = 3);"]),
    ("mod 12", ["&(p = 12);"]),
    ("mod 65521", ["&(p = 65521);"]),
    ("GF(2^8)", ["&(p = 256);"]),
    ("GF(2^16)", ["&(p = 65536);"]),
    ("t^2 - 3 mod 7", ["&(p = 7);", "&(J = t, P = t^2 - 3);"]),
    ("Laurent mod 5", ["&(l = 1);", "&(p = 5);"]),
]


def statements(rng, ring):
    """A list of statements, each alone on its line."""
    lines = ["&(J = x);", "a := x:", "b := 1;", "c := 5:", "d := 0;", "Array m[2,2];", "Array s[2,2] Sparse;",
             "[m] := [(1, 2, 3, 4)];", "s[1,2] := 3;", "Func Sq(y) = y^2."]
    names = ["a", "b", "c", "d"]
    laurent = ring.startswith("Laurent")

    def value():
        v, w = rng.choice(names), rng.choice(names)
        return rng.choice([
            str(rng.randint(-9, 9)), "5/11", "x^2 - 2*x + 1", "1/(x + 1)", v, f"2*{v}", f"{v} + 1",
            f"{v}^2", f"{v}*{w}", f"-{v}", f"({v})", "m[1,2]", "s[1,2]", "Sq(c)", f"Sq({v})",
            "Sigma<i = 1, 3>(i*x)", "x^-2" if laurent else "x^3"])

    kinds = [
        lambda: f"{rng.choice(names)} := {value()}" + rng.choice([";", ":", ":", "@"]),
        lambda: f"{rng.choice(names)};",
        lambda: f"{value()}" + rng.choice([";", ":"]),
        lambda: f"m[{rng.randint(1, 2)},{rng.randint(1, 2)}] := {value()}" + rng.choice([";", ":"]),
        lambda: f"s[{rng.randint(1, 2)},{rng.randint(1, 2)}] := {rng.randint(1, 9)}" + rng.choice([";", ":"]),
        lambda: rng.choice(["[m] := [m]*[m];", "[m] := Trans[m]:", "[m];", "Det[m];", "[s];"]),
        lambda: rng.choice(["&(_d = 70);", "&(_d = 76);", "&t;", "&E;"]),
        lambda: f"for i = 1 to {rng.randint(0, 3)} do d := d + i od" + rng.choice([";", ":"]),
        lambda: "k := 0: while k <> 1 do k := k + 1 od;",
        lambda: f"if c = 5 then b := {rng.choice(names)} else b := 1 fi" + rng.choice([";", ":"]),
        lambda: f"[g] := [<i = 1, 2> i*x]" + rng.choice([";", ":"]),
    ]
    lines += [rng.choice(kinds)() for _ in range(rng.randint(15, 30))]
    # A statement then blanks, or the carriage return of a CRLF line end.
    return [line + rng.choice(["", "", "", "", " ", "  ", "\r"]) for line in lines]


def check(binary, seed):
    rng = random.Random(seed)
    ring, setup = RINGS[seed % len(RINGS)]
    # Two show the same: "k := 0: while ..." is one line of two statements.
    lines = setup + statements(rng, ring)
    wanted = 1 + sum(2 if line.startswith("k := 0:") else 1 for line in lines)
    done = run_held(binary, ("\n".join(lines) + "\n").encode(), 10)
    if done is None:
        return f"{ring}, seed {seed}: no end"
    out = done.stdout.decode("utf-8", "replace")
    body = out[out.find("\n>"):]
    errors = [line for line in body.splitlines() if line.startswith("***")]
    if errors or done.returncode != 0:
        return f"{ring}, seed {seed}: {errors[:2]} status {done.returncode}\n" + "\n".join(lines)
    # No value or report here holds ">": each one is a prompt (with the
    # extra lines off a value follows its prompt on the same line).
    prompts = body.count(">")
    if prompts != wanted:
        return (f"{ring}, seed {seed}: {prompts} prompts for {wanted - 1} statements:\n" + "\n".join(lines))
    return None


def main(argv):
    binary = argv[1]
    count = int(argv[2]) if len(argv) > 2 else 48
    seed = int(argv[3]) if len(argv) > 3 else 1
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        results = list(pool.map(lambda k: check(binary, seed * 1000 + k), range(count)))
    return report(results)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
