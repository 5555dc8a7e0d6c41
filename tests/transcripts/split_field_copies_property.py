#!/usr/bin/env python3
"""Planted gcds over one relation declared a field, modulo primes where it
splits into linear factors, splits only partly (factors of mixed degrees,
or of degree 2 only), or stays irreducible, including primes below its
degree, and in GF(2^8) and GF(2^16). The ring F[t]/(m) is then a product
of fields, one for each irreducible factor of m (its copies), and has zero
divisors unless m stays irreducible.
g is monic in x; a = x + alpha(y, t) and b are drawn so that a and b are
coprime in every factor's field (b(-alpha) is no zero divisor's multiple:
its coefficients and m have gcd 1), which makes g the gcd of u = g*a and
v = g*b.

Clean cases: no coefficient of u or v is a zero divisor, or b has one
below its leading term and stays coprime to a in every copy (the copies'
gcds are all g). GCD(u, v) is g, u/v is a/b (its numerator a up to a unit,
times v it is u), v divides u*b and u does not divide v: no error.
Zero-divisor cases: b times a factor of m, or plus any term with one. The
gcd is then a multiple of g dividing u and v, or "Division by zero."; the
quotient times v is u, or that error; v divides u*b, or that error.
Shared cases, for m with a root r: g over the ground field, a = x - t and
b = x - r; the copy at r has the gcd g*(x - r), the others g, so GCD is
"Division by zero." and u/v cancels what they share: it is a/b. Never a
fatal line. GF(2^8) and GF(2^16) take their arithmetic from the system's
tables, only to draw the cases.

Towers of two and three field levels that the prime splits only partly
(the inner level splits and the outer not, the outer splits over the inner
one in some copies or in all): the products are left to the system. Clean
cases: b = w*a + c with c a non-zero number and w leading with a number,
so a and b are coprime in every copy and GCD(u, v) is g. Shared cases: a
and b agree in one copy only (a = x - s, b = x - rho, rho a root of the
outer relation there) and g is over the ground field, as above.

  split_field_copies_property.py TARVEX [SEED] [CASES_PER_RING]
"""
import os
import random
import subprocess
import sys

# (modulus, relation, a factor of it there, or None); relations and factors
# are coefficient lists from the constant up, monic. None for the relation:
# t^2 - c with c a random nonzero square (two linear factors). "root": the
# factor t - r for a root r found by trying every element. 256 and 65536
# are GF(2^8) and GF(2^16), whose element codes are typed as integers.
RINGS = [
    (7, None, None), (13, None, None), (17, None, None), (23, None, None), (97, None, None),
    (1009, None, None), (65521, None, None),
    (23, [-2, 0, 0, 1], "root"),            # t^3 - 2 = (t - 16)(quadratic)
    (5, [-2, 0, 0, 1], "root"),             # (t - 3)(quadratic)
    (31, [-2, 0, 0, 1], "root"),            # three linear factors
    (7, [-2, 0, 0, 1], None),               # irreducible
    (7, [-2, 0, 0, 0, 1], "root"),          # t^4 - 2: two linear, a quadratic
    (17, [-2, 0, 0, 0, 1], [-6, 0, 1]),     # two quadratics
    (3, [1, 1, 0, 1], "root"),              # t^3 + t + 1 = (t - 1)(quadratic)
    (2, [1, 2, 0, 1], "root"),              # t^3 + 2t + 1 = (t + 1)(t^2 + t + 1)
    (2, [1, 1, 0, 1], None),                # t^3 + t + 1: irreducible
    (256, [1, 1, 1], "root"),               # two linear factors (GF(4) inside)
    (256, [1, 0, 1, 1, 1], "root"),         # (t + 1)(t^3 + t + 1)
    (256, [1, 1, 0, 1], None),              # irreducible
    (65536, [1, 1, 0, 0, 1], "root"),       # t^4 + t + 1: four linear factors
    (65536, [1, 0, 1, 1, 1], "root"),       # (t + 1)(t^3 + t + 1)
]


class Field:
    """Z/q for a prime q; GF(2^8) and GF(2^16) (q = 256, 65536) on the codes
    of the system's own tables of GF(2^16), whose codes below 256 are GF(2^8)."""
    tables = None

    def __init__(self, q, tarvex):
        self.q = q
        if q not in (256, 65536):
            self.of, self.neg = (lambda n: n % q), (lambda a: -a % q)
            self.add, self.mul = (lambda a, b: (a + b) % q), (lambda a, b: a * b % q)
            self.inv = lambda a: pow(a, q - 2, q)
            return
        if Field.tables is None:
            with open(os.path.join(os.path.dirname(os.path.abspath(tarvex)), "BACKWARD", "f2t16d")) as fh:
                exp = [int(w) for w in fh.read().split()[:65535]]
            Field.tables = exp, {e: i for i, e in enumerate(exp)}
        exp, log = Field.tables
        self.of = self.neg = lambda a: a
        self.add = lambda a, b: a ^ b
        self.mul = lambda a, b: exp[(log[a] + log[b]) % 65535] if a and b else 0
        self.inv = lambda a: exp[-log[a] % 65535]


def reduce(f, m, F):
    f = list(f)
    d = len(m) - 1
    for k in range(len(f) - 1, d - 1, -1):
        c = f[k]
        if c:
            for i in range(d + 1):
                f[k - d + i] = F.add(f[k - d + i], F.neg(F.mul(c, m[i])))
    return tuple((f + [0] * d)[:d])


def rmul(a, b, m, F):
    out = [0] * (len(a) + len(b))
    for i, x in enumerate(a):
        for j, y in enumerate(b):
            out[i + j] = F.add(out[i + j], F.mul(x, y))
    return reduce(out, m, F)


def ugcd(a, b, F):
    """Monic gcd of two coefficient lists (constant first)."""
    def trim(f):
        while f and f[-1] == 0:
            f.pop()
        return f
    a, b = trim(list(a)), trim(list(b))
    while b:
        inv = F.inv(b[-1])
        while len(a) >= len(b):
            c, s = F.mul(a[-1], inv), len(a) - len(b)
            for i, y in enumerate(b):
                a[s + i] = F.add(a[s + i], F.neg(F.mul(c, y)))
            trim(a)
        a, b = b, a
    return a


def is_unit(c, m, F):
    return len(ugcd(c, m, F)) == 1


def vadd(x, y, F):
    return tuple(F.add(a, b) for a, b in zip(x, y))


def mul(f, h, m, F):
    out = {}
    for (i, j), a in f.items():
        for (k, l), b in h.items():
            key = (i + k, j + l)
            out[key] = vadd(out.get(key, (0,) * (len(m) - 1)), rmul(a, b, m, F), F)
    return {k: v for k, v in out.items() if any(v)}


def coprime_everywhere(a, b, m, F):
    """a = x + alpha(y): b(-alpha, y) has coefficients whose gcd with m is 1."""
    d = len(m) - 1
    neg = {(0, j): tuple(F.neg(c) for c in v) for (i, j), v in a.items() if i == 0}
    total = {}
    for (i, j), cb in b.items():
        term = {(0, j): cb}
        for _ in range(i):
            term = mul(term, neg, m, F)
        for key, v in term.items():
            total[key] = vadd(total.get(key, (0,) * d), v, F)
    g = list(m)
    for v in total.values():
        g = ugcd(g, v, F)
    return len(g) == 1


def coef(rng, F, d):
    k = rng.random()
    if k < 0.45:
        return (rng.randrange(1, F.q),) + (0,) * (d - 1)
    c = [rng.randrange(F.q) if rng.random() < 0.6 else 0 for _ in range(d)]
    c[rng.randrange(1, d)] = rng.randrange(1, F.q)
    return tuple(c)


def elem(c):
    return " + ".join(f"{a}*t^{e}" for e, a in enumerate(c) if a) or "0"


def text(f):
    parts = []
    for (i, j), c in sorted(f.items(), reverse=True):
        mono = (f"*x^{i}" if i else "") + (f"*y^{j}" if j else "")
        parts.append(f"({elem(c)}){mono}")
    return " + ".join(parts) if parts else "0"


def draw(rng, F, m):
    """g, a, b with a, b coprime in every factor's field, u, v zero-divisor free."""
    d = len(m) - 1
    one = (1,) + (0,) * (d - 1)
    while True:
        dg = rng.randrange(1, 5)
        g = {(dg, 0): one}
        for _ in range(rng.randrange(1, 5)):
            g[(rng.randrange(dg), rng.randrange(5))] = coef(rng, F, d)
        a = {(1, 0): one}
        for _ in range(rng.randrange(1, 4)):
            a[(0, rng.randrange(4))] = coef(rng, F, d)
        b = {}
        for _ in range(rng.randrange(2, 6)):
            b[(rng.randrange(4), rng.randrange(5))] = coef(rng, F, d)
        if all(i == 0 and j == 0 for i, j in b) or not coprime_everywhere(a, b, m, F):
            continue
        u, v = mul(g, a, m, F), mul(g, b, m, F)
        if all(is_unit(c, m, F) for w in (u, v) for c in w.values()):
            return g, a, b


def root_factor(m, F):
    for r in range(F.q):
        value = 0
        for c in reversed(m):
            value = F.add(F.mul(value, r), c)
        if value == 0:
            return [F.neg(r), 1]
    return None


def session(p, m, factor, rng, cases, tarvex):
    F = Field(p, tarvex)
    if m is None:
        c = rng.choice(sorted({x * x % p for x in range(1, p)}))
        m, factor = [-c, 0, 1], "root"
    m = [F.of(c) for c in m]
    if factor == "root":
        factor = root_factor(m, F)
    elif factor is not None:
        factor = [F.of(c) for c in factor]
    d = len(m) - 1
    # The factor is one: m modulo it is 0.
    assert factor is None or not any(reduce(m, factor, F)), (p, m)
    rel = " + ".join(f"{a}*t^{e}" for e, a in enumerate(m) if a)
    lines = [f"&(p = {p});", "&(J = t);", "&(J = y);", "&(J = x);", f"&(P = {rel}, 1);"]
    kinds = []
    for k in range(cases):
        g, a, b = draw(rng, F, m)
        kind = 0 if factor is None else k % 4
        if kind == 3 and len(factor) != 2:
            kind = 1
        z = tuple((factor + [0] * d)[:d]) if factor else None
        if kind == 1:
            if rng.random() < 0.5:
                b = mul(b, {(0, 0): z}, m, F)
            else:
                b = dict(b)
                b[(rng.randrange(3), 4)] = rmul(z, coef(rng, F, d), m, F)
        elif kind == 2:
            # A zero-divisor term below b's leading one, b still coprime
            # to a in every copy: the copies' gcds are all g.
            kind = 0
            top = max(i for i, _ in b)
            for _ in range(10 if top else 0):
                mono = (rng.randrange(top), rng.randrange(6))
                b2 = dict(b)
                b2[mono] = vadd(b.get(mono, (0,) * d), rmul(z, coef(rng, F, d), m, F), F)
                b2 = {key: c for key, c in b2.items() if any(c)}
                if coprime_everywhere(a, b2, m, F):
                    b, kind = b2, 2
                    break
        elif kind == 3:
            # g over the ground field times x - t and x - r, r the root:
            # the copy at r has the gcd g (x - r), the others g.
            g = {key: (c[0] or 1,) + (0,) * (d - 1) for key, c in g.items()}
            one = (1,) + (0,) * (d - 1)
            a = {(1, 0): one, (0, 0): (0, F.neg(1)) + (0,) * (d - 2)}
            b = {(1, 0): one, (0, 0): (factor[0],) + (0,) * (d - 1)}
        kinds.append(kind)
        lines += [f"g := {text(g)}:", f"a := {text(a)}:", f"b := {text(b)}:", "u := g*a:", "v := g*b:",
                  # x^7 (no multiple of g, and no answer of Divides) stays
                  # where a statement fails.
                  "h := x^7:", "h := GCD(u, v):",
                  f"!!('gcd_{k}', Divides(x^7, h)*Divides(h, x^7), Divides(g, h), Divides(h, u), Divides(h, v));",
                  f"!!('equal_{k}', h - g);",
                  "q := x^7:", "q := u/v:", "nq := Numer(q):",
                  f"!!('quotient_{k}', Divides(x^7, nq)*Divides(nq, x^7), Divides(a, nq), Divides(nq, a), q*v - u);",
                  "e1 := x^7:", "e1 := Divides(v, u*b):", "e2 := x^7:", "e2 := Divides(u, v):",
                  f"!!('divides_{k}', e1, e2);"]
    return "\n".join(lines) + "\n", kinds, rel


# (modulus, relations innermost first, (a, b) of a shared case or None).
# The levels are t, s, r, from the inside.
TOWERS = [
    (7, ["t^2 - 2", "s^2 - 3"], ("x - t", "x - 3")),          # t splits, s not
    (17, ["t^2 - 2", "s^2 - t"], ("x - t", "x - 6")),         # t splits, s in no copy
    (7, ["t^2 - 2", "s^2 - t"], ("x - s", "x - 2")),          # s splits at t = 4 only
    (7, ["t^2 - 3", "s^2 - t"], ("x - s", "x - 3*t - 6")),    # s splits over t's field
    (5, ["t^2 - 2", "s^2 - 3"], ("x - s", "x - 2*t")),        # s = 2t, -2t
    (3, ["t^2 + 1", "s^2 - s - 1"], ("x - s", "x - 2*t - 2")),
    (7, ["t^2 - 2", "s^2 - 3", "r^2 - t"], ("x - r", "x - 2")),
    # t splits, s not; "root": b = x - r for a root r of t^2 + t + 1.
    (256, ["t^2 + t + 1", "s^3 + s + 1"], "root"),
    (65536, ["t^2 + t + 1", "s^3 + s + 1"], "root"),
    (256, ["t^2 + t + 1", "s^2 + s + t"], "root"),           # split all through
]
NAMES = ["t", "s", "r"]


def tower_elem(rng, p, k):
    """A random element over the tower, as text."""
    mono = [""]
    for name in NAMES[:k]:
        mono = mono + [m + "*" + name for m in mono]
    parts = [f"{rng.randrange(1, p)}{m}" for m in mono if rng.random() < 0.4]
    return " + ".join(parts) or str(rng.randrange(1, p))


def tower_poly(rng, p, k, lead, top, ys=3):
    """lead*x^top plus random terms of lower degree in x over the tower."""
    parts = [f"{lead}*x^{top}"]
    for _ in range(rng.randrange(1, 4)):
        parts.append(f"({tower_elem(rng, p, k)})*x^{rng.randrange(top)}*y^{rng.randrange(ys)}")
    return " + ".join(parts)


def tower_session(p, rels, shared, rng, cases, tarvex):
    k = len(rels)
    if shared == "root":
        F = Field(p, tarvex)
        shared = ("x - t", "x - %d" % next(r for r in range(2, p) if F.add(F.mul(r, r), r) == 1))
    lines = [f"&(p = {p});"] + [f"&(J = {n});" for n in NAMES[:k]] + ["&(J = y);", "&(J = x);"]
    lines += [f"&(P = {r}, 1);" for r in rels]
    kinds = []
    for i in range(cases):
        kind = 3 if shared and i % 2 else 0
        if kind == 3:
            g = tower_poly(rng, p, 0, 1, rng.randrange(1, 3))
            a, b = shared
            lines += [f"g := {g}:", f"a := {a}:", f"b := {b}:"]
        else:
            g = tower_poly(rng, p, k, 1, rng.randrange(1, 3))
            a = f"x + {tower_elem(rng, p, k)} + ({tower_elem(rng, p, k)})*y"
            w = tower_poly(rng, p, k, rng.randrange(1, p), rng.randrange(1, 3))
            lines += [f"g := {g}:", f"a := {a}:", f"b := ({w})*a + {rng.randrange(1, p)}:"]
        kinds.append(kind)
        lines += ["u := g*a:", "v := g*b:", "h := x^7:", "h := GCD(u, v):",
                  f"!!('gcd_{i}', Divides(x^7, h)*Divides(h, x^7), Divides(g, h), Divides(h, u), Divides(h, v));",
                  f"!!('equal_{i}', h - g);",
                  "q := x^7:", "q := u/v:", "nq := Numer(q):",
                  f"!!('quotient_{i}', Divides(x^7, nq)*Divides(nq, x^7), Divides(a, nq), Divides(nq, a), q*v - u);",
                  "e1 := x^7:", "e1 := Divides(v, u*b):", "e2 := x^7:", "e2 := Divides(u, v):",
                  f"!!('divides_{i}', e1, e2);"]
    return "\n".join(lines) + "\n", kinds


def judge(out, kinds):
    """The failures, one line each."""
    bad = []
    seen = {}
    for ln in out.splitlines():
        w = ln.lstrip(">").split()
        name, _, k = w[0].partition("_") if w else ("", "", "")
        if name in ("gcd", "equal", "quotient", "divides") and k.isdigit():
            seen[(name, int(k))] = w[1:]
    for k, kind in enumerate(kinds):
        g, e, q, dv = (seen.get((name, k)) for name in ("gcd", "equal", "quotient", "divides"))
        if g is None or e is None or q is None or dv is None:
            bad.append(f"case {k}: no check line")
            continue
        gcd_failed, quotient_failed = g[0] == "1", q[0] == "1"
        if kind == 1:
            # A multiple of g dividing both operands, or the error.
            if not gcd_failed and g[1:] != ["1", "1", "1"]:
                bad.append(f"case {k} (zero divisor): gcd divides {g[1:]}")
            if not quotient_failed and q[3:] != ["0"]:
                bad.append(f"case {k} (zero divisor): quotient {q}")
            if dv[0] not in ("1", "x^7") or dv[1] not in ("0", "x^7"):
                bad.append(f"case {k} (zero divisor): divides {dv}")
        elif kind == 3:
            # The copies disagree: GCD is the error; the quotient cancels
            # what they share, g, and leaves (x - t)/(x - r).
            if not gcd_failed:
                bad.append(f"case {k} (shared): gcd {g[1:]}")
            if quotient_failed or q[1:] != ["1", "1", "0"]:
                bad.append(f"case {k} (shared): quotient {'failed' if quotient_failed else q[:4]}")
            if dv != ["1", "0"]:
                bad.append(f"case {k} (shared): divides {dv}")
        else:
            if gcd_failed or g[1:] != ["1", "1", "1"] or e != ["0"]:
                bad.append(f"case {k}: gcd {'failed' if gcd_failed else g[1:]}, minus g {e[:4]}")
            if quotient_failed or q[1:] != ["1", "1", "0"]:
                bad.append(f"case {k}: quotient {'failed' if quotient_failed else q[:4]}")
            if dv != ["1", "0"]:
                bad.append(f"case {k}: divides {dv}")
    if out.count("Division by zero.") != out.count("*** Error occurred"):
        bad.append("case -: an error other than Division by zero.")
    if "Tarvex error" in out:
        bad.append("case -: a fatal line")
    return bad


def main():
    tarvex = sys.argv[1]
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 1)
    cases = int(sys.argv[3]) if len(sys.argv) > 3 else 12
    failures = total = 0
    sessions = [(p,) + session(p, m, factor, rng, cases, tarvex) for p, m, factor in RINGS]
    sessions += [(p,) + tower_session(p, rels, shared, rng, max(4, cases // 4), tarvex) + (", ".join(rels),)
                 for p, rels, shared in TOWERS]
    for p, text_in, kinds, rel in sessions:
        try:
            out = subprocess.run([tarvex], input=text_in, capture_output=True, text=True, timeout=120).stdout
        except subprocess.TimeoutExpired:
            out = ""
        bad = judge(out, kinds)
        total += len(kinds)
        failures += len({b.split(":")[0] for b in bad})
        for b in bad:
            print(f"FAIL p={p} {rel}: {b}")
    print(f"{total} cases, {failures} failed")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
