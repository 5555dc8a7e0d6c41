#!/usr/bin/env python3
"""Planted gcds over t^2 - c declared a field where c is a square modulo
the prime, so that the ring is two copies of Z/p (t at one root or the
other) and has zero divisors. g is monic in x; a = x + alpha(y, t) and b
are drawn so that a and b are coprime in both copies (b does not vanish at
x = -alpha there), which makes g the gcd of u = g*a and v = g*b.

Clean cases: no coefficient of u or v is a zero divisor (their terms are
the same in both copies). GCD(u, v) is g, and u/v times v is u: no error.
Zero-divisor cases: b times a zero divisor, or plus a term with one. The
gcd is then a multiple of g dividing u and v, or "Division by zero."; the
quotient times v is u, or that error. Never a fatal line.

  split_field_copies_property.py TARVEX [SEED] [CASES_PER_PRIME]
"""
import random
import subprocess
import sys

PRIMES = [7, 13, 17, 23, 97, 1009, 65521]


def mul(f, h, p, c):
    """Product over Z/p[t]/(t^2 - c): coefficients (c0, c1) = c0 + c1 t."""
    out = {}
    for (i, j), (a0, a1) in f.items():
        for (k, l), (b0, b1) in h.items():
            m = (i + k, j + l)
            o0, o1 = out.get(m, (0, 0))
            out[m] = ((o0 + a0 * b0 + a1 * b1 * c) % p, (o1 + a0 * b1 + a1 * b0) % p)
    return {m: v for m, v in out.items() if v != (0, 0)}


def copy_at(f, r, p):
    return {m: (a0 + a1 * r) % p for m, (a0, a1) in f.items() if (a0 + a1 * r) % p}


def vanishes_on(b, alpha, p):
    """b(-alpha(y), y) == 0 over Z/p (b, alpha in one copy; alpha in y)."""
    neg = {j: -a % p for (_, j), a in alpha.items()}
    total = {}
    for (i, j), cb in b.items():
        term = {j: cb}
        for _ in range(i):
            nxt = {}
            for e1, c1 in term.items():
                for e2, c2 in neg.items():
                    nxt[e1 + e2] = (nxt.get(e1 + e2, 0) + c1 * c2) % p
            term = nxt
        for e, cf in term.items():
            total[e] = (total.get(e, 0) + cf) % p
    return not any(total.values())


def coef(rng, p):
    k = rng.random()
    if k < 0.55:
        return (rng.randrange(1, p), 0)
    if k < 0.8:
        return (0, rng.randrange(1, p))
    return (rng.randrange(p), rng.randrange(1, p))


def text(f):
    parts = []
    for (i, j), (a0, a1) in sorted(f.items(), reverse=True):
        mono = (f"*x^{i}" if i else "") + (f"*y^{j}" if j else "")
        parts.append(f"({a0} + {a1}*t){mono}")
    return " + ".join(parts) if parts else "0"


def draw(rng, p, c, roots):
    """g, a, b with a, b coprime in both copies and u, v free of zero divisors."""
    while True:
        dg = rng.randrange(1, 5)
        g = {(dg, 0): (1, 0)}
        for _ in range(rng.randrange(1, 5)):
            g[(rng.randrange(dg), rng.randrange(5))] = coef(rng, p)
        a = {(1, 0): (1, 0)}
        for _ in range(rng.randrange(1, 4)):
            a[(0, rng.randrange(4))] = coef(rng, p)
        b = {}
        for _ in range(rng.randrange(2, 6)):
            b[(rng.randrange(4), rng.randrange(5))] = coef(rng, p)
        if all(i == 0 and j == 0 for i, j in b):
            continue
        alpha = {m: v for m, v in a.items() if m[0] == 0}
        if any(vanishes_on(copy_at(b, r, p), copy_at(alpha, r, p), p) for r in roots):
            continue
        u, v = mul(g, a, p, c), mul(g, b, p, c)
        if all(set(copy_at(w, r, p)) == set(w) for w in (u, v) for r in roots):
            return g, a, b


def session(p, rng, cases):
    squares = sorted({x * x % p for x in range(1, p)})
    c = rng.choice(squares)
    roots = sorted(r for r in range(p) if r * r % p == c)
    lines = [f"&(p = {p});", "&(J = t);", "&(J = y);", "&(J = x);", f"&(P = t^2 - {c}, 1);"]
    kinds = []
    for k in range(cases):
        g, a, b = draw(rng, p, c, roots)
        zero_divisor = k % 2 == 1
        if zero_divisor:
            r = rng.choice(roots)
            z = {(0, 0): ((-r) % p, 1)}   # t - r vanishes in one copy
            if rng.random() < 0.5:
                b = mul(b, z, p, c)
            else:
                b = dict(b)
                b[(rng.randrange(3), 4)] = ((-r * 3) % p, 3)
        kinds.append(zero_divisor)
        lines += [f"g := {text(g)}:", f"u := g*({text(a)}):", f"v := g*({text(b)}):",
                  # h and q keep -1 (degree 0) when the statement fails.
                  "h := -1:", "h := GCD(u, v):", "dh := Deg(h):",
                  f"!!('gcd_{k}', dh, Divides(g, h), Divides(h, u), Divides(h, v));",
                  f"!!('equal_{k}', h - g);",
                  "q := -1:", "q := u/v:", "nq := Numer(q):", "dq := Deg(nq):",
                  f"!!('quotient_{k}', dq, q*v - u);"]
    return "\n".join(lines) + "\n", kinds, c


def judge(out, kinds):
    """The failures, one line each."""
    bad = []
    seen = {}
    for ln in out.splitlines():
        w = ln.lstrip(">").split()
        name, _, k = w[0].partition("_") if w else ("", "", "")
        if name in ("gcd", "equal", "quotient") and k.isdigit():
            seen[(name, int(k))] = w[1:]
    for k, zd in enumerate(kinds):
        g, e, q = (seen.get((name, k)) for name in ("gcd", "equal", "quotient"))
        if g is None or e is None or q is None:
            bad.append(f"case {k}: no check line")
            continue
        gcd_failed, quotient_failed = g[0] == "0", q[0] == "0"
        if zd:
            # A multiple of g dividing both operands, or the error.
            if not gcd_failed and g[1:] != ["1", "1", "1"]:
                bad.append(f"case {k} (zero divisor): gcd divides {g[1:]}")
            if not quotient_failed and q[1:] != ["0"]:
                bad.append(f"case {k} (zero divisor): quotient {q}")
        else:
            if gcd_failed or g[1:] != ["1", "1", "1"] or e != ["0"]:
                bad.append(f"case {k}: gcd {'failed' if gcd_failed else g[1:]}, minus g {e[:4]}")
            if quotient_failed or q[1:] != ["0"]:
                bad.append(f"case {k}: quotient {'failed' if quotient_failed else q[1:4]}")
    if out.count("Division by zero.") != out.count("*** Error occurred"):
        bad.append("an error other than Division by zero.")
    if "Tarvex error" in out:
        bad.append("a fatal line")
    return bad


def main():
    tarvex = sys.argv[1]
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 1)
    cases = int(sys.argv[3]) if len(sys.argv) > 3 else 16
    failures = total = 0
    for p in PRIMES:
        text_in, kinds, c = session(p, rng, cases)
        out = subprocess.run([tarvex], input=text_in, capture_output=True, text=True, timeout=120).stdout
        bad = judge(out, kinds)
        total += len(kinds)
        failures += len({b.split(":")[0] for b in bad})
        for b in bad:
            print(f"FAIL p={p} t^2 - {c}: {b}")
    print(f"{total} cases, {failures} failed")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
