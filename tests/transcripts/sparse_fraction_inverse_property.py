#!/usr/bin/env python3
"""Sparse inverses of random matrices of fractions in x over relation
rings: split and not, with the field flag and without, modulo primes
above and below n, a composite modulus, GF(2^8), over the rationals, a
tower. Checked in the language, cell by cell (a zero divisor can make a
whole-matrix identity hold where cells are wrong): 1/[s] and [s]^-1 into
sparse and dense arrays and [h]/[s] are the dense road's values (1/[a],
[h]/[a]), [s] and [a] times their inverses are the identity, and [a] times
itself, sparse, dense, mixed and by Winograd's scheme, is the sum of its
cells' products taken one by one.
A refusal by either road must be the other's too. Each ring's session is
held to a limit of processor time: sums of fractions under split
relations without the flag swell past any limit where their common
factors go unproved (a 5 x 5 modulo 11 under t^3 - 2 took over an hour).

  sparse_fraction_inverse_property.py TARVEX [SEED] [MATRICES_PER_RING] [SCALE]

SCALE multiplies every ring's seconds (a sanitizer build runs several times
slower).
"""
import concurrent.futures
import random
import re
import sys

from case_report import report
from cpu_limited import run_held

# (modulus, 0 the rationals; levels in the order adjoined, "v: relation[, 1
# the flag]" or a free "v"; the largest n; seconds of processor time a session
# takes with room to spare)
RINGS = [(5, "t: t^3 - 2; x", 5, 2), (11, "t: t^3 - 2; x", 5, 2), (0, "t: t^2 - 1; x", 4, 2),
         (0, "t: t^2 + 1; x", 5, 2), (0, "t: t^3 - t; x", 4, 2), (0, "t: t^2; x", 4, 2),
         (0, "k: k^2 - 2; t: t^2 - k; x", 4, 4), (7, "s: s^2 - 3, 1; t: t^2 - 2; x", 4, 2),
         (5, "t: t^3 - 2, 1; x", 5, 2), (256, "t: t^7 + 1; x", 4, 2),
         (12, "t: t^2 + 1; x", 4, 2), (7, "x; t: t^2 - 2", 4, 2), (3, "t: t^3 - 2; x", 4, 2)]
# (name, target array, statement, the dense road's array)
ROUTES = [("1/[s]", "w", "1/[s{k}]", "v"), ("[s]^-1 dense", "u", "[s{k}]^-1", "v"),
          ("[h]/[s]", "r", "[h{k}]/[s{k}]", "g")]
REFUSED = re.compile(r"Division by zero|Singular matrix|does not make a field|not all invertible|"
                     r"not invertible|Error occurred")


def cell(rng, rels, x, p):
    """A random entry: a linear polynomial in x over the relations' ring,
    over a monic denominator in x, or (one in four) no denominator."""
    c = lambda: rng.randint(-3, 3) % p if p and p < 256 else rng.randint(-3, 3)
    r = lambda: " + ".join(f"{c()}*{v}" for v in rels)
    num = f"({c()} + {r()})*{x} + {c()} + {r()}"
    return num if rng.random() < 0.25 else f"({num})/({x} + {rng.randint(1, 4)} + {r()})"


def session(rng, p, levels, top, count):
    lines = [f"&(p = {p});"] * bool(p)
    rels, x = [], None
    for lev in levels:
        v, _, rel = lev.partition(":")
        lines += [f"&(J = {v});"] + [f"&(P = {rel});"] * bool(rel)
        rels, x = (rels + [v], x) if rel else (rels, v)
    marks = []
    composite = p not in (0, 256) and any(p % d == 0 for d in range(2, p))
    for k in range(count):
        # The first at the ring's largest size and nearly full, where the cliff was.
        n = rng.randint(2, top) if k else top
        fill = rng.choice((0.3, 0.5, 0.8)) if k else 0.8
        cells = {(i, j): cell(rng, rels, x, p) for i in range(1, n + 1) for j in range(1, n + 1)
                 if i == j or rng.random() < fill}
        arrays = ", ".join(f"{a}{k}[{n},{n}]" + " Sparse" * (a in "swrh") for a in "aswurhvgdoepqzy")
        lines += [f"Array {arrays};"] + [f"a{k}[{i},{j}] := {c}:" for (i, j), c in cells.items()]
        lines += [f"e{k}[{i},{i}] := 1:" for i in range(1, n + 1)]
        lines += [f"[s{k}] := [a{k}]:", f"[h{k}] := [<i = 1, {n}><j = 1, {n}> i + j*{x}]:",
                  f"!!('@m{k}v');", f"[v{k}] := 1/[a{k}]:", f"[g{k}] := [h{k}]/[a{k}]:"]
        for r, (_, target, value, _) in enumerate(ROUTES):
            lines += [f"!!('@m{k}r{r}');", f"[{target}{k}] := {value.format(k=k)}:"]
        # Whether any cell differs from the dense road's, and of [s] and [a] times their
        # inverses from the identity. In modular mode a loop index is a residue elsewhere than
        # in a subscript (i = j holds for 1 and 6 modulo 5) and so is a count, so the identity
        # is written out and a cell off raises a flag.
        lines += ["!!('@m%dc');" % k, f"[d{k}] := [s{k}]*[w{k}]:", f"[o{k}] := [a{k}]*[v{k}]:"]
        # Products of fractions by every storage against the sums of the cells' products
        # (modulo a composite number both refuse most sums of fractions).
        lines += [] if composite else [
            f"[p{k}] := [s{k}]*[s{k}]:", f"[q{k}] := [a{k}]*[s{k}]:", f"[z{k}] := [s{k}]*[a{k}]:",
            f"[y{k}] := Altmult([a{k}], [a{k}]):",
            f"c := 0; for i = 1 to {n} do for j = 1 to {n} do r := 0; for m = 1 to {n} do r := r + a{k}[i,m]*a{k}[m,j]; "
            "od; " + "".join(f"if [{m}{k}[i,j] - r <> 0] then c := 1; fi; " for m in "pqzy") + f"od; od; !!('m{k}.sq', c);"]
        for r, (_, target, _, dense) in enumerate(ROUTES):
            lines.append(f"c := 0; for i = 1 to {n} do for j = 1 to {n} do if [{target}{k}[i,j] - {dense}{k}[i,j] <> 0] "
                         f"then c := 1; fi; od; od; !!('m{k}r{r}.diff', c);")
        for m in "do":
            lines.append(f"c := 0; for i = 1 to {n} do for j = 1 to {n} do if [{m}{k}[i,j] - e{k}[i,j] <> 0] "
                         f"then c := 1; fi; od; od; !!('m{k}.{m}', c);")
        marks.append((k, n, not composite))
    return "\n".join(lines) + "\n!!('@end');\n&q;\n", marks


def check(name, out, marks):
    pieces = re.split(r"^ *[0-9]*>@(\S+)$", out, flags=re.M)
    said = dict(zip(pieces[1::2], pieces[2::2]))
    counts = dict(re.findall(r"^ *[0-9]*>(m\S+) (\d+)$", out, flags=re.M))
    results = []
    for k, n, products in marks:
        what = f"{name} matrix {k} ({n} x {n})"
        dense_refused = bool(REFUSED.search(said.get(f"m{k}v", "?")))
        sparse_refused = bool(REFUSED.search(said.get(f"m{k}r0", "?")))
        for r, (route, *_) in enumerate(ROUTES):
            text = said.get(f"m{k}r{r}", "?")
            if "Tarvex error" in text or "New command level" in text:
                results.append(f"{what}: {route} a fatal line")
            elif "not all invertible" in text and ", 1" in name:
                pass   # the recurrence's step numbers, under the flag
            elif bool(REFUSED.search(text)) != dense_refused:
                results.append(f"{what}: {route} refused {not dense_refused}, the dense road {dense_refused}")
            elif not dense_refused and counts.get(f"m{k}r{r}.diff") != "0":
                results.append(f"{what}: {route} has cells unlike the dense road's")
        if products and counts.get(f"m{k}.sq") != "0":
            results.append(f"{what}: [a] times [a] has cells off the sums of their products")
        for m, product, refused in (("d", "[s] times 1/[s]", sparse_refused), ("o", "[a] times 1/[a]", dense_refused)):
            if not refused and counts.get(f"m{k}.{m}") != "0":
                results.append(f"{what}: {product} has cells off the identity")
    return results


def main():
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 1)
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 4
    scale = float(sys.argv[4]) if len(sys.argv) > 4 else 1
    jobs = concurrent.futures.ThreadPoolExecutor(3)
    runs = []
    for p, levels, top, seconds in RINGS:
        text, marks = session(rng, p, [lev.strip() for lev in levels.split(";")], top, count)
        seconds *= scale
        runs.append((f"p={p} {levels}", marks, seconds, jobs.submit(run_held, sys.argv[1], text, seconds, text=True)))
    results = []
    for name, marks, seconds, run in runs:
        done = run.result()
        if done is None:
            results.append(f"{name}: no answer in {seconds} s of processor time")
            continue
        results += check(name, done.stdout, marks) or [None]
    return report(results)


if __name__ == "__main__":
    sys.exit(main())
