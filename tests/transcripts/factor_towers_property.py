#!/usr/bin/env python3
"""Factoring over random towers of relations, and square-free parts of
polynomials in several variables with parts of multiplicity p.

Towers: one or two relations of degree 2 or 3 over Z/p (p = 2, 3, 5, 7,
13), the outer one with coefficients in the inner one's ring. The
reference here decides whether the tower is a field: a relation of degree
2 or 3 is irreducible exactly when it has no root in the field below it,
searched exhaustively. Then
  - Factor, Irred and Sqfree (of a value with a field element) refuse a
    tower that is not a field, naming the innermost reducible relation's
    variable, and Factor accepts every tower that is a field;
  - over an accepted tower every row h of Factor's list divides u as often
    as its multiplicity says (counted in the ring), has Irred 1, and the
    product of the rows to their true multiplicities is u; Factor's count
    is the number of rows; where the field is small enough, the rows of
    degree 1 are as many as the roots of u found by trying every element.

Square-free parts: products of random parts in x, y (and z) raised to 1,
2, p, p + 1, p^2 or 2p, some of them polynomials in x^p, over Z/p for
p = 2, 3, 5 and over GF(2^8) and GF(2^16). Every row h divides u as often
as its multiplicity says (in the ring), has no factor in common with all
its derivatives or with another row, and the rows multiply back to u up
to a number. Over Z/p the same is checked independently with sympy on the
rows as displayed.

  factor_towers_property.py TARVEX [SEED]
"""
import itertools
import random
import re
import subprocess
import sys

import sympy
from sympy.parsing.sympy_parser import (convert_xor, implicit_multiplication_application,
                                        parse_expr, standard_transformations)

CASE, ROW, END, PAIR, DIV = "CASEMARK", "ROWMARK", "ENDMARK", "PAIRMARK", "DIVMARK"
REFUSAL = "Modded-out variable does not make a field."


# ---------------------------------------------------------------- fields

class Prime:
    def __init__(self, p):
        self.p = p
        self.zero, self.one = 0, 1

    def add(self, a, b):
        return (a + b) % self.p

    def mul(self, a, b):
        return a * b % self.p

    def neg(self, a):
        return -a % self.p

    def elements(self):
        return range(self.p)

    def size(self):
        return self.p

    def random(self, rng):
        return rng.randrange(self.p)

    def text(self, a):
        return str(a)


class Extension:
    """base[v] / (relation), relation monic, coefficients low to high."""

    def __init__(self, base, relation, var):
        self.base, self.rel, self.var = base, relation, var
        self.d = len(relation) - 1
        self.zero = tuple([base.zero] * self.d)
        self.one = tuple([base.one] + [base.zero] * (self.d - 1))

    def add(self, a, b):
        return tuple(self.base.add(x, y) for x, y in zip(a, b))

    def neg(self, a):
        return tuple(self.base.neg(x) for x in a)

    def mul(self, a, b):
        B = self.base
        r = [B.zero] * (2 * self.d - 1)
        for i, x in enumerate(a):
            for j, y in enumerate(b):
                r[i + j] = B.add(r[i + j], B.mul(x, y))
        for k in range(len(r) - 1, self.d - 1, -1):
            c = r[k]
            for j in range(self.d):
                r[k - self.d + j] = B.add(r[k - self.d + j], B.neg(B.mul(c, self.rel[j])))
        return tuple(r[:self.d])

    def elements(self):
        return itertools.product(list(self.base.elements()), repeat=self.d)

    def size(self):
        return self.base.size() ** self.d

    def random(self, rng):
        return tuple(self.base.random(rng) for _ in range(self.d))

    def text(self, a):
        return "(" + " + ".join("%s*%s^%d" % (self.base.text(c), self.var, j) for j, c in enumerate(a)) + ")"


def evaluate(F, poly, a):
    r = F.zero
    for c in reversed(poly):
        r = F.add(F.mul(r, a), c)
    return r


def has_root(F, poly):
    return any(evaluate(F, poly, a) == F.zero for a in F.elements())


def poly_mul(F, a, b):
    r = [F.zero] * (len(a) + len(b) - 1)
    for i, x in enumerate(a):
        for j, y in enumerate(b):
            r[i + j] = F.add(r[i + j], F.mul(x, y))
    return r


def poly_text(F, poly, var):
    return " + ".join("%s*%s^%d" % (F.text(c), var, k) for k, c in enumerate(poly))


def random_monic(F, rng, degree):
    return [F.random(rng) for _ in range(degree)] + [F.one]


# ---------------------------------------------------------------- sessions

def run(tarvex, script):
    done = subprocess.run([tarvex], input=script, capture_output=True, text=True, timeout=300)
    out = done.stdout.replace(" `\n", "").rstrip()
    return out[:-3] if out.endswith("bye") else out


def blocks(text):
    return [b.strip() for b in text.split("\n>") if b.strip()]


def last_values(text, k):
    return [b.splitlines()[-1].strip() for b in blocks(text)[-k:]]


def row_segments(case_text):
    """The blocks of each existing row, then the end segment."""
    head, _, rest = case_text.partition(ROW)
    parts = rest.split(ROW)
    last, _, end = parts[-1].partition(END)
    parts[-1] = last
    rows = []
    for seg in parts:
        if "out of range" in seg:
            break
        rows.append(seg)
    return head, rows, len(parts), end


def row_line(array, i, work, test, third):
    """Row i's checks: a mark for each time h divides u (v gathers the
    quotients' h); its last three values: 1 when the test holds, the
    multiplicity shown, the third value."""
    return ("h := %s[%d,1]; g := u; while Pdivides(h, g) do g := g/h; v := v*h; !!('%s') od; "
            "%s ok := 0; if %s then ok := 1 fi; ok; %s[%d,2]; %s;"
            % (array, i, DIV, work, test, array, i, third))


def row_values(seg):
    """(test value, multiplicity shown, third value, true multiplicity)."""
    ok, shown, third = last_values(seg, 3)
    return ok, int(shown), third, seg.count(DIV)


# ---------------------------------------------------------------- towers

def random_tower(rng, p):
    """(statements, field, innermost reducible variable or None)."""
    F0 = Prime(p)
    d1 = rng.choice([2, 3])
    m1 = random_monic(F0, rng, d1)
    # Half the towers are drawn among fields, so that both kinds are met.
    want_field = rng.random() < 0.5
    while want_field and has_root(F0, m1):
        m1 = random_monic(F0, rng, d1)
    K = Extension(F0, m1, "s")
    lines = ["&(J = s);", "&(P = %s, 1);" % poly_text(F0, m1, "s")]
    bad = None if not has_root(F0, m1) else "s"
    F = K
    if rng.random() < 0.7:
        d2 = rng.choice([2, 3])
        m2 = random_monic(K, rng, d2)
        while want_field and has_root(K, m2):
            m2 = random_monic(K, rng, d2)
        lines += ["&(J = t);", "&(P = %s, 1);" % poly_text(K, m2, "t")]
        if bad is None and has_root(K, m2):
            bad = "t"
        F = Extension(K, m2, "t")
    return lines, F, bad


def tower_cases(rng, F, p):
    cases = []
    for _ in range(2):
        u = [F.one]
        factors = []
        for _ in range(rng.randint(1, 3)):
            d = rng.choice([1, 1, 2])
            e = rng.choice([1, 1, 2, p]) if p <= 3 else rng.choice([1, 1, 2])
            if len(u) - 1 + d * e > 6:
                e = 1
            if len(u) - 1 + d > 6:
                break
            g = random_monic(F, rng, d)
            factors.append("(%s)^%d" % (poly_text(F, g, "x"), e))
            for _ in range(e):
                u = poly_mul(F, u, g)
        cases.append((u, "*".join(factors)))
    return cases


def check_tower(tarvex, rng, p, failures):
    lines, F, bad = random_tower(rng, p)
    cases = tower_cases(rng, F, p)
    script = ["&(p = %d);" % p] + lines + ["&(J = x);", "&(_d = 32000);"]
    for u, text in cases:
        degree = len(u) - 1
        script += ["!!('%s');" % CASE, "u := %s;" % text, "n := Factor(u, [f]);", "r := Irred(u);",
                   "Sqfree((x + s)*(x + 1)^2, [q]);", "v := 1;"]
        for i in range(1, degree + 2):
            script += ["!!('%s');" % ROW,
                       row_line("f", i, "", "Irred(h) = 1", "Deg(h)")]
        script += ["!!('%s');" % END, "c := 0; if u = v then c := 1 fi; c;"]
    out = run(tarvex, "\n".join(script) + "\n")
    where = "p = %d, tower %s" % (p, " ".join(lines))
    texts = out.split(CASE)[1:]
    if len(texts) != len(cases):
        failures.append("%s: %d of %d cases answered" % (where, len(texts), len(cases)))
        return bad is None
    for (u, text), case_text in zip(cases, texts):
        head, rows, probes, end = row_segments(case_text)
        heads = blocks(head)
        if bad is not None:
            # Factor, Irred and Sqfree each refuse, naming the variable.
            said = [b for b in heads if REFUSAL in b]
            named = all("Inappropriate symbol: %s\n" % bad in b for b in said)
            if len(said) != 3 or not named:
                failures.append("%s: %s: want three refusals naming %s, got %s" % (where, text, bad, heads))
            continue
        if any("Error occurred" in b for b in heads):
            failures.append("%s: %s: refused a field: %s" % (where, text, heads))
            continue
        if len(rows) == probes:
            failures.append("%s: %s: more rows than the degree" % (where, text))
            continue
        degrees = []
        for seg in rows:
            ok, shown, deg, true = row_values(seg)
            if ok != "1" or (shown - true) % p:
                failures.append("%s: %s: Irred %s, multiplicity %d shown %d" % (where, text, ok, true, shown))
            degrees.append(int(deg))
        if last_values(end, 1) != ["1"]:
            failures.append("%s: %s: rows do not multiply back" % (where, text))
        n = heads[2].splitlines()[-1].strip()
        if not re.fullmatch(r"-?\d+", n) or int(n) % p != len(rows) % p:
            failures.append("%s: %s: count %s for %d rows" % (where, text, n, len(rows)))
        if F.size() <= 2197:
            roots = sum(1 for a in F.elements() if evaluate(F, u, a) == F.zero)
            if roots != degrees.count(1):
                failures.append("%s: %s: %d roots, %d linear rows" % (where, text, roots, degrees.count(1)))
    return bad is None


# ---------------------------------------------------------------- square-free parts

def random_part(rng, p, field, nvars, char, tower):
    """A random polynomial in x, y (, z) with a positive degree in x."""
    names = ["x", "y", "z"][:nvars]
    terms = set()
    lead = char if rng.random() < 0.3 else rng.randint(1, 2)
    in_xp = lead == char and rng.random() < 0.7
    terms.add((lead,) + (0,) * (nvars - 1))
    for _ in range(rng.randint(1, 3)):
        ex = rng.randrange(0, lead + 1, char) if in_xp else rng.randint(0, lead)
        if ex == lead:
            ex = 0
        terms.add((ex,) + tuple(rng.randint(0, 2) for _ in range(nvars - 1)))
    out = []
    for t in sorted(terms, reverse=True):
        c = "1" if t[0] == lead and all(v == 0 for v in t[1:]) else str(rng.randrange(1, field))
        if tower and c != "1":
            c = "(%s + %d*t)" % (c, rng.randrange(1, field))
        mono = "*".join("%s^%d" % (n, e) for n, e in zip(names, t) if e)
        out.append("%s*%s" % (c, mono) if mono else c)
    return "(" + " + ".join(out) + ")"


def sqfree_cases(rng, p, field, count, tower):
    cases = []
    for _ in range(count):
        nvars = rng.choice([2, 2, 3])
        parts = []
        total = 0
        for _ in range(rng.randint(2, 3)):
            e = rng.choice([1, 2, p, p, p + 1, p * p, 2 * p])
            part = random_part(rng, p, field, nvars, p, tower)
            if total + e > 12:
                e = rng.choice([1, p])
            total += e
            parts.append((part, e))
        if rng.random() < 0.3:
            parts.append(("(y + %d)" % rng.randrange(1, field), rng.choice([1, p])))
        cases.append((nvars, parts))
    return cases


TRANSFORMS = standard_transformations + (implicit_multiplication_application, convert_xor)
SYMS = {"x": sympy.Symbol("x"), "y": sympy.Symbol("y"), "z": sympy.Symbol("z")}


def displayed(text):
    return parse_expr(text.strip(), local_dict=SYMS, transformations=TRANSFORMS)


def sympy_check(p, nvars, text, rows, where, failures):
    gens = [SYMS[n] for n in ["x", "y", "z"][:nvars]]
    P = lambda e: sympy.Poly(e, *gens, modulus=p)
    u = P(sympy.sympify(text.replace("^", "**")))
    polys = [(P(displayed(h)), m) for h, m in rows]
    prod = P(1)
    for h, m in polys:
        rest, e = u, 0
        while True:
            q, r = sympy.div(rest, h)
            if not r.is_zero:
                break
            rest, e = q, e + 1
        if e % p != m % p:
            failures.append("%s: sympy multiplicity %d for %s shown %d" % (where, e, h.as_expr(), m))
        prod = prod * h ** e
        # Rebuilt from the expression: a derivative over GF(p) may keep
        # leading zeros that sympy's division then stumbles on.
        parts = [h] + [P(h.diff(g).as_expr()) for g in gens]
        d = parts[0]
        for q in parts[1:]:
            if not q.is_zero:
                d = sympy.gcd(d, q)
        if d.total_degree() > 0:
            failures.append("%s: sympy finds %s not square-free" % (where, h.as_expr()))
    for (a, _), (b, _) in itertools.combinations(polys, 2):
        if sympy.gcd(a, b).total_degree() > 0:
            failures.append("%s: sympy finds a common factor of %s and %s" % (where, a.as_expr(), b.as_expr()))
    q, r = sympy.div(u, prod)
    if not r.is_zero or q.total_degree() != 0:
        failures.append("%s: sympy: the rows do not multiply back" % where)


def check_sqfree(tarvex, rng, modulus, p, field, count, failures, relation=None):
    """relation: the field GF(p^2) of a relation in t below x, y, z."""
    cases = sqfree_cases(rng, p, field, count, relation is not None)
    script = ["&(J = t);", "&(J = z);", "&(J = y);", "&(J = x);", "&(p = %d);" % modulus, "&(_d = 32000);"]
    if relation:
        script.append("&(P = %s, 1);" % relation)
    for nvars, parts in cases:
        text = "*".join("%s^%d" % (part, e) for part, e in parts)
        names = ["x", "y", "z"][:nvars]
        derivs = "d := h; " + "".join("d := GCD(d, Deriv(h, %s, 1)); " % n for n in names)
        maxrows = min(3 * len(parts), 10)
        script += ["!!('%s');" % CASE, "u := %s;" % text, "n := Sqfree(u, [q]);", "[q];", "v := 1;"]
        for i in range(1, maxrows + 1):
            script += ["!!('%s');" % ROW,
                       row_line("q", i, derivs, "Pdivides(d, 1)", "0")]
        script += ["!!('%s');" % END, "c := 0; if u*Nlc(v) = v*Nlc(u) then c := 1 fi; c;"]
        for i, j in itertools.combinations(range(1, maxrows + 1), 2):
            script += ["!!('%s');" % PAIR, "c := 0; if Pdivides(GCD(q[%d,1], q[%d,1]), 1) then c := 1 fi; c;" % (i, j)]
    out = run(tarvex, "\n".join(script) + "\n")
    texts = out.split(CASE)[1:]
    ring = "Z/%d" % p if field == p else "GF(%d)" % field
    if relation:
        ring += " with %s" % relation
    if len(texts) != len(cases):
        failures.append("%s: %d of %d cases answered" % (ring, len(texts), len(cases)))
        return
    for (nvars, parts), case_text in zip(cases, texts):
        text = "*".join("%s^%d" % (part, e) for part, e in parts)
        where = "%s: %s" % (ring, text)
        head, rows, probes, end = row_segments(case_text)
        if "Error occurred" in head:
            failures.append("%s: refused: %s" % (where, blocks(head)))
            continue
        if not rows or len(rows) == probes:
            failures.append("%s: %d rows" % (where, len(rows)))
            continue
        shown = []
        for seg in rows:
            ok, m, _, true = row_values(seg)
            # A multiplicity is shown as the ring's element: modulo p, or
            # |n| mod 256 (65536) in GF(2^8) (GF(2^16)).
            if ok != "1" or (m - true) % (field if field != p else p):
                failures.append("%s: square-free %s, multiplicity %d shown %d" % (where, ok, true, m))
            shown.append((blocks(seg)[1].strip(), m))
        pieces = end.split(PAIR)
        maxrows = min(3 * len(parts), 10)
        pairs = len(rows) * (len(rows) - 1) // 2
        coprime = [last_values(piece, 1)[0] for (i, j), piece in
                   zip(itertools.combinations(range(1, maxrows + 1), 2), pieces[1:]) if j <= len(rows)]
        if last_values(pieces[0], 1) != ["1"]:
            failures.append("%s: the rows do not multiply back" % where)
        if len(coprime) != pairs or any(c != "1" for c in coprime):
            failures.append("%s: rows not coprime: %s" % (where, coprime))
        if field == p and not relation:
            sympy_check(p, nvars, text, shown, where, failures)


def main():
    tarvex = sys.argv[1]
    seed = int(sys.argv[2]) if len(sys.argv) > 2 else 2024
    rng = random.Random(seed)
    failures = []
    fields = towers = 0
    for p in [2, 3, 5, 7, 13]:
        for _ in range(12):
            towers += 1
            fields += check_tower(tarvex, rng, p, failures)
    for modulus, p, field in [(2, 2, 2), (3, 3, 3), (5, 5, 5), (256, 2, 256), (65536, 2, 65536)]:
        check_sqfree(tarvex, rng, modulus, p, field, 12, failures)
    for p, relation in [(3, "t^2 + 1"), (5, "t^2 - 2")]:
        check_sqfree(tarvex, rng, p, p, p, 6, failures, relation)
    for f in failures[:30]:
        print(f)
    print("%d towers (%d fields), 72 square-free cases, %d failures" % (towers, fields, len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
