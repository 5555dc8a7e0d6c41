#!/usr/bin/env python3
"""An update `X :+ a` or `X :- a` (and `X :* a` in modular `Integer;`
bodies) stores what `X := X + a`, `X := X - a` (`X := X * a`) stores, for
twin targets holding the same value: in the rationals, modulo 7, 2 and 12,
in GF(2^8) and GF(2^16), under a relation and in Laurent mode; a scalar, a
dense cell, a sparse cell set or never set, a polynomial (its constant term
present or not) as a scalar or in a dense cell; typed at the top level, in
a function body, a loop, an `if` body, an `Integer;` body (also inside
Cast), a file read, `&_m(` (also in an `Integer;` body), and in the second half of each session at the
nested level an error opened. The amount is left out (1), a literal, a
negated one, a variable or an expression. Both twins are printed, then
saved and printed again from a fresh session that reads the save. A target
written inside `&_m(` also has a scalar triplet written the same way, and
is read as `X + 0` too: every reader sees the element a scalar shows.

  update_differential.py TARVEX [CASES] [SEED]
"""
import os
import random
import subprocess
import sys
import tempfile

# (name, settings, modulus or 0, variable carrying a relation or None, Laurent)
RINGS = [
    ("rationals", [], 0, None, False),
    ("modulo 7", ["&(p = 7);"], 7, None, False),
    ("modulo 2", ["&(p = 2);"], 2, None, False),
    ("modulo 12", ["&(p = 12);"], 12, None, False),
    ("GF(2^8)", ["&(p = 256);"], 256, None, False),
    ("GF(2^16)", ["&(p = 65536);"], 65536, None, False),
    ("rationals over t^2 - 2", ["&(J = t);", "&(P = t^2 - 2);"], 0, "t", False),
    ("modulo 7 over t^2 + 3", ["&(p = 7);", "&(J = t);", "&(P = t^2 + 3);"], 7, "t", False),
    ("GF(2^8) over t^2 + t + 1", ["&(p = 256);", "&(J = t);", "&(P = t^2 + t + 1);"], 256, "t", False),
    ("rationals, Laurent", ["&(l = 1);"], 0, None, True),
    ("GF(2^16), Laurent", ["&(l = 1);", "&(p = 65536);"], 65536, None, True),
]
NUMBER_STORES = ["scalar", "dense", "sparse", "unset"]
STORES = NUMBER_STORES + ["poly", "polycell"]
ROUTES = ["top", "func", "loop", "if", "integer", "cast", "file", "outside", "outint"]


def number(rng, modulus):
    return rng.randrange(-10**6, 10**6) if modulus == 0 else rng.randrange(0, 3 * modulus)


def amount(rng, i, modulus):
    """(text after the operator, the twin's right operand, a setup line)."""
    a = abs(number(rng, modulus))
    form = rng.randrange(5)
    if form == 0:
        return "", "1", ""
    if form == 1:
        return f" {a}", f"{a}", ""
    if form == 2:
        return f" (-{a})", f"(-{a})", ""
    if form == 3:
        return f" m{i}", f"m{i}", f"m{i} := {a}:"
    return f" ({a} - 2*{a // 3})", f"({a} - 2*{a // 3})", ""


def polynomial(rng, modulus, relation, laurent):
    v = rng.choice([0, abs(number(rng, modulus))])
    head = rng.choice(["w^2 + 3*w", "w", "5*w^3"])
    if relation:
        head = f"{relation}*w + {relation}^3"
    if laurent:
        head = rng.choice([head, "w^-1", "w + w^-2"])
    return f"{head} + {v}" if v else head


def session(rng, cases, modulus, relation, laurent, files):
    """The program's lines, its print statements, and for each case the
    labels of the twins, a description, and whether it ran inside &_m."""
    lines = ["&(J = w);", f"Array da[{cases}];", f"Array db[{cases}];", f"Array sa[{cases}] Sparse;",
             f"Array sb[{cases}] Sparse;", "Array zz[1];"]
    prints, labels = [], []
    for i in range(1, cases + 1):
        if i == cases // 2 + 1:
            # The rest runs at the level an error opens.
            lines += ["&e;", "zz[9];"]
        store = rng.choice(STORES)
        route = rng.choice(ROUTES if store in NUMBER_STORES else ["top", "func", "loop", "if", "file"])
        x, y = {"scalar": (f"ua{i}", f"ub{i}"), "poly": (f"ua{i}", f"ub{i}"), "dense": (f"da[{i}]", f"db[{i}]"),
                "polycell": (f"da[{i}]", f"db[{i}]"), "sparse": (f"sa[{i}]", f"sb[{i}]"),
                "unset": (f"sa[{i}]", f"sb[{i}]")}[store]
        if store in ("poly", "polycell"):
            v = polynomial(rng, modulus, relation, laurent)
        else:
            v = "0" if store == "unset" else str(number(rng, modulus))
        if store != "unset":
            lines.append(f"{x} := {v}: {y} := {v}:")
        # ':*' is an update of the integer evaluator alone (its products
        # would leave one word in the rationals).
        op = rng.choice("+-*" if route in ("integer", "cast") and modulus else "+-")
        text, operand, setup = amount(rng, i, modulus)
        if setup:
            lines.append(setup)
        statements = (f"{x} :{op}{text}", f"{y} := {y} {op} {operand}")
        triplet = route in ("outside", "outint") and store != "scalar"
        if triplet:
            lines.append(f"uc{i} := {v}:")
            statements += (f"uc{i} := uc{i} {op} {operand}",)
        for twin, stmt in zip("UVW", statements):
            name = f"{twin}{i}"
            if route == "top":
                lines.append(stmt + ";")
            elif route == "func":
                lines += [f"Func {name}(z) = {stmt}; z.", f"{name}(0);"]
            elif route == "loop":
                lines.append(f"for j = 1 to 1 do {stmt} od;")
            elif route == "if":
                lines.append(f"if 1 = 1 then {stmt} fi;")
            elif route == "integer":
                lines += [f"Func {name}(z) = Integer; {stmt}; z.", f"{name}(0);"]
            elif route == "cast":
                lines += [f"Func {name}(z) = Integer; Cast({stmt}); z.", f"{name}(0);"]
            elif route == "outint":
                lines += [f"Func {name}(z) = Integer; &_m({stmt}); z.", f"{name}(0);"]
            elif route == "file":
                files[f"{name}.txt"] = stmt + ";\n"
                lines.append(f"&(R = '{name}.txt');")
            else:
                lines.append(f"&_m({stmt});")
        what = f"{store} {v!r} {statements[0]} by {route}{' at a level' if i > cases // 2 else ''}"
        prints += [f"!!('ua{i}', {x});", f"!!('ub{i}', {y});"]
        if triplet:
            prints += [f"!!('uc{i}', uc{i});", f"!!('ud{i}', {x} + 0);"]
        labels.append((f"ua{i}", f"ub{i}", what, triplet))
    return lines, prints, labels


def run(binary, cwd, text):
    proc = subprocess.run([binary], input=text.encode(), capture_output=True, cwd=cwd, timeout=300)
    return proc.returncode, proc.stdout.decode("utf-8", "replace")


def printed(out):
    values = {}
    for line in out.splitlines():
        words = line.lstrip("0123456789>").split()
        if words and words[0][:2] in ("ua", "ub", "uc", "ud") and words[0][2:].isdigit():
            values[words[0]] = " ".join(words[1:])
    return values


def main(argv):
    binary = argv[1]
    cases = int(argv[2]) if len(argv) > 2 else 48
    rng = random.Random(int(argv[3]) if len(argv) > 3 else 1031)
    failures = []
    with tempfile.TemporaryDirectory() as cwd:
        for ring, settings, modulus, relation, laurent in RINGS:
            files = {}
            lines, prints, labels = session(rng, cases, modulus, relation, laurent, files)
            for name, text in files.items():
                with open(os.path.join(cwd, name), "w") as f:
                    f.write(text)
            save = "&(S = 'u.sav'); &s; &(S = @);"
            code, out = run(binary, cwd, "\n".join(settings + lines + prints + [save]) + "\n")
            back_code, back = run(binary, cwd, "\n".join(["&(R = 'u.sav');"] + prints) + "\n")
            now, later = printed(out), printed(back)
            # The one error is the one that opens the level.
            expected = sum(4 if triplet else 2 for *_, triplet in labels)
            if code or back_code or len(now) != expected or out.count("Error occurred") != 1:
                failures.append(f"{ring}: exit {code}/{back_code}, {len(now)} of {expected} values\n"
                                f"{out[-1500:]}")
                continue
            for a, b, what, triplet in labels:
                seen = [now[a], now[b], later.get(a), later.get(b)]
                if triplet:
                    c, d = "uc" + a[2:], "ud" + a[2:]
                    seen += [now[c], now[d], later.get(c), later.get(d)]
                if len(set(seen)) != 1:
                    failures.append(f"{ring}: {what}: {now[a]} against {now[b]} (read back: {later.get(a)}, "
                                    f"{later.get(b)}; all readers: {seen})")
            os.remove(os.path.join(cwd, "u.sav"))
    for f in failures[:15]:
        print(f)
    print(f"update_differential: {len(failures)} failures" if failures else "update_differential: passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
