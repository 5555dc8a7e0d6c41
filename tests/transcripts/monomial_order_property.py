#!/usr/bin/env python3
"""Monless, Sort and Tablemerge against one reference order, over the
rationals, modulo 3 and 2147483629, in GF(2^8) and GF(2^16).

Random values of every kind (integers, rationals, polynomials, fractions
with a polynomial numerator, fractions with a number numerator), typed or
reached by arithmetic, each with its rank worked out here from how it was
built: plain numbers first, then fractions whose numerator is a number,
then the leading monomial of the numerator (fewer variables, then the
inner variable, then the smaller exponent). Checked:
- Monless(u, v) is 1 exactly when u ranks before v or equal to it;
- Sort of a dense and of a sparse array keeps the values and leaves them in
  that order;
- Tablemerge of two lists sorted by the reference keeps as many rows as the
  reference (per rank: the smaller count for 0, the larger for 1, both for
  2), and of a list with itself n, n and 2n rows.

  monomial_order_property.py TARVEX SEED TRIALS
"""
import os
import random
import subprocess
import sys
import tempfile

RINGS = [("rationals", None, 50), ("modulo 3", 3, 2), ("modulo 2147483629", 2147483629, 50),
         ("GF(2^8)", 256, 50), ("GF(2^16)", 65536, 50)]
VARS = ("x", "y")   # x outermost (level 0), y inner (level 1)


def monomial(a, b):
    parts = [f"{v}^{e}" for v, e in zip(VARS, (a, b)) if e]
    return "*".join(parts) or "1"


def rank(a, b):
    """Reference key of a numerator led by x^a*y^b: fewer variables first,
    then the deeper variable, then the smaller exponent."""
    pairs = [(lev, e) for lev, e in enumerate((a, b)) if e]
    return (2, len(pairs), tuple(-lev for lev, _ in pairs), tuple(e for _, e in pairs))


class Maker:
    def __init__(self, rng, modulus, top):
        self.rng, self.modulus, self.top = rng, modulus, top

    def coef(self):
        c = self.rng.randint(1, self.top)
        return -c if self.modulus is None and self.rng.random() < 0.3 else c

    def lead(self):
        a, b = self.rng.randint(0, 3), self.rng.randint(0, 3)
        if a == b == 0:
            a = 1
        return a, b

    def lower(self, a, b):
        """Terms below x^a*y^b in the lexicographic order, a nonzero constant
        among them, so that neither variable divides the sum."""
        terms = [str(self.coef())]
        for _ in range(self.rng.randint(0, 2)):
            la, lb = self.rng.randint(0, a), self.rng.randint(0, 3)
            if (la, lb) < (a, b) and (la, lb) != (0, 0):
                terms.append(f"{self.coef()}*{monomial(la, lb)}")
        return terms

    def denominator(self):
        return self.rng.choice([f"{self.coef()}*x", f"y^2", f"{self.coef()}*x*y", f"x + {self.coef()}",
                                f"x*y + y + {self.coef()}", f"y^3 + {self.coef()}*x"])

    def value(self):
        """(text, key) of one random value."""
        kind = self.rng.randrange(6)
        if kind == 0:
            if self.modulus is None and self.rng.random() < 0.3:
                return str(self.rng.randint(10**20, 10**30)), (0,)
            return str(self.coef()), (0,)
        if kind == 1:
            return f"{self.coef()}/{self.rng.randint(1, self.top)}", (0,)
        if kind == 2:
            a, b = self.lead()
            return f"{self.coef()}*{monomial(a, b)}", rank(a, b)
        if kind == 3:
            a, b = self.lead()
            return "+".join([f"{self.coef()}*{monomial(a, b)}"] + self.lower(a, b)), rank(a, b)
        if kind == 4:
            # The constant term keeps the numerator prime to x and y, whose
            # powers are the only denominators here.
            a, b = self.lead()
            num = "+".join([f"{self.coef()}*{monomial(a, b)}"] + self.lower(a, b))
            den = self.rng.choice([f"{self.coef()}*x", "y^2", f"{self.coef()}*x^2*y"])
            return f"({num})/({den})", rank(a, b)
        return f"{self.coef()}/({self.denominator()})", (1,)

    def route(self, text):
        """The value typed, or reached by arithmetic that gives it back."""
        return self.rng.choice([text, f"({text})*(y + 2)/(y + 2)", f"({text}) + x - x",
                                f"(({text}) + 1) - 1"])


def shown_count(n, modulus):
    """A count as the ring shows it: modulo a prime, the residue nearest 0
    (only GF(2^k) and the large prime show the counts here whole)."""
    if modulus is None or modulus in (256, 65536):
        return str(n)
    r = n % modulus
    return str(r - modulus if r > modulus // 2 else r)


def blocks(text):
    return [b.strip() for b in text.split("\n>")[1:]]


class Session:
    """Statements one a line: the output block of line i is answers[i]."""

    def __init__(self):
        self.lines = []

    def add(self, line):
        self.lines.append(line)
        return len(self.lines) - 1

    def run(self, binary):
        with tempfile.TemporaryDirectory() as cwd:
            out = subprocess.run([binary], input="\n".join(self.lines) + "\n&q;\n", capture_output=True,
                                 text=True, cwd=cwd, timeout=300).stdout
        return blocks(out)


def trial(binary, rng, name, modulus, top):
    make = Maker(rng, modulus, top)
    s = Session()
    if modulus is not None:
        s.add(f"&(p = {modulus});")
    s.add("&(J = x);")
    s.add("&(J > y);")
    pool = [make.value() for _ in range(rng.randint(6, 10))]
    checks = []   # (line, expected answer, what)

    # Monless on pairs of the pool, either way round.
    for _ in range(30):
        (u, ku), (v, kv) = rng.choice(pool), rng.choice(pool)
        line = s.add(f"Monless({make.route(u)}, {make.route(v)});")
        checks.append((line, "1" if ku <= kv else "0", f"Monless({u}, {v})"))

    # Sort: the values come back as the same display strings, in order.
    seen = {}
    for text, key in pool:
        seen[s.add(f"{text};")] = key
    for storage in ("", " Sparse"):
        items = [rng.choice(pool) for _ in range(rng.randint(2, 14))]
        s.add(f"Array s[{len(items)}]{storage}:")
        for i, (text, _) in enumerate(items, 1):
            s.add(f"s[{i}] := {make.route(text)}:")
        s.add("Sort[s]:")
        shown = [s.add(f"s[{i}];") for i in range(1, len(items) + 1)]
        pairs = [s.add(f"Monless(s[{i}], s[{i + 1}]);") for i in range(1, len(items))]
        checks.append((("sort", shown, pairs, items), None, f"Sort of{storage or ' dense'} {[t for t, _ in items]}"))

    # Tablemerge of two lists in the reference order, and of a list with itself.
    for k in range(3):
        a = sorted((rng.choice(pool) for _ in range(rng.randint(1, 8))), key=lambda e: e[1])
        b = sorted((rng.choice(pool) for _ in range(rng.randint(1, 8))), key=lambda e: e[1])
        s.add(f"Array u[{len(a)}] Sparse, v[{len(b)}] Sparse:")
        for i, (text, _) in enumerate(a, 1):
            s.add(f"u[{i}] := {make.route(text)}:")
        for i, (text, _) in enumerate(b, 1):
            s.add(f"v[{i}] := {make.route(text)}:")
        ka = [key for _, key in a]
        kb = [key for _, key in b]
        keys = set(ka) | set(kb)
        pick = (min, max, lambda p, q: p + q)[k]
        want = sum(pick(ka.count(key), kb.count(key)) for key in keys)
        s.add("[w] := [u]:")
        line = s.add(f"Tablemerge([u], [v], {k});")
        checks.append((line, shown_count(want, modulus), f"Tablemerge({[t for t, _ in a]}, {[t for t, _ in b]}, {k})"))
        line = s.add(f"Tablemerge([w], [w], {k});")
        checks.append((line, shown_count(len(a) * (2 if k == 2 else 1), modulus), f"Tablemerge of {[t for t, _ in a]} with itself, {k}"))

    answers = s.run(binary)
    display = {answers[line]: key for line, key in seen.items()}
    failures = 0
    for line, want, what in checks:
        if isinstance(line, tuple):
            _, shown, pairs, items = line
            got = [answers[i] for i in shown]
            keys = [display.get(g) for g in got]
            ok = (None not in keys and keys == sorted(keys)
                  and sorted(keys) == sorted(key for _, key in items)
                  and all(answers[p] == "1" for p in pairs))
            if not ok:
                failures += 1
                print(f"FAIL {name}: {what} gave {got} (Monless of neighbours {[answers[p] for p in pairs]})")
        elif answers[line].splitlines()[-1:] != [want]:
            failures += 1
            print(f"FAIL {name}: {what} is {answers[line]!r}, want {want}")
    return failures, len(checks)


def main():
    binary = os.path.abspath(sys.argv[1])
    rng = random.Random(int(sys.argv[2]))
    trials = int(sys.argv[3])
    failures = total = 0
    for _ in range(trials):
        for name, modulus, top in RINGS:
            f, n = trial(binary, rng, name, modulus, top)
            failures += f
            total += n
    print(f"{failures} of {total} checks failed")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
