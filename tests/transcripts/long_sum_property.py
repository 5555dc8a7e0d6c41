#!/usr/bin/env python3
"""Long typed sums of terms, in every ground ring, checked against the same
polynomial built another way.

Each case writes a random polynomial as a sum of single terms ("c*x^i*y^j",
a coefficient sometimes split over several terms that partly cancel, each
term added or subtracted), in descending, ascending or shuffled order, and
as its Horner form, whose coefficients are the same small pieces in
brackets: f - g must be 0. Where the coefficients are integers or residues
modulo a prime, f at x = 3 (y = 2) is also compared with the value this
script computes. Some cases mix rational functions c/(x + k) among the
terms (added back to the Horner form at its end), some read the sum inside
Sigma, which gathers the terms the same way.

The last cases are a sum of 65536 dense terms over Q and modulo 65521
(as the factoring benches type their input), each held to LIMIT seconds of
processor time: adding term by term copies the running sum each time.

  long_sum_property.py TARVEX [SEED] [LIMIT]
"""
import random
import sys
from fractions import Fraction

from cpu_limited import run_held

sys.set_int_max_str_digits(0)

# (modulus or None for Q, a field or Q: point values computed here)
RINGS = [(None, True), (2, True), (3, True), (13, True), (65521, True), (2147483629, True),
         (12, False), (1000000, False), (256, False), (65536, False)]


def monomial(i, j, laurent_shift):
    parts = []
    if i - laurent_shift:
        parts.append("x^%d" % (i - laurent_shift))
    if j:
        parts.append("y^%d" % j)
    return "*".join(parts)


def pieces(rng, c, with_t):
    """c written as 1 to 3 signed integer pieces (summing to c), and, with a
    relation, a t part that cancels."""
    k = rng.choice([1, 1, 2, 3])
    ps = [rng.randrange(-10**rng.choice([1, 3, 25]), 10**rng.choice([1, 3, 25])) for _ in range(k - 1)]
    ps.append(c - sum(ps))
    out = [str(p) for p in ps]
    if with_t and rng.random() < 0.3:
        a = rng.randrange(1, 50)
        out += ["%d*t" % a, "-%d*t" % a]
    return out


def horner_x(coeffs, deg):
    """Horner form in x of coeffs[i] (written pieces), degree deg."""
    h = "(%s)" % " + ".join(coeffs.get(deg, ["0"]))
    for i in range(deg - 1, -1, -1):
        h = "(%s)*x + (%s)" % (h, " + ".join(coeffs.get(i, ["0"])))
    return "(%s)" % h


def make_case(rng, ring, dx, dy, order, laurent, with_t, fractions, density=0.7):
    coeff = {}
    terms = []   # (sign, text)
    for i in range(dx + 1):
        for j in range(dy + 1):
            if rng.random() > density and not (i == dx and j == dy):
                continue
            c = rng.randrange(-10**6, 10**6) or 1
            coeff[(i, j)] = c
            mono = monomial(i, j, laurent)
            for p in pieces(rng, c, with_t):
                # A piece is added as written or subtracted negated.
                sign, q = "+", p
                if rng.random() < 0.5:
                    sign, q = "-", p[1:] if p.startswith("-") else "-" + p
                terms.append((sign, "(%s)%s" % (q, ("*" + mono) if mono else ""), i, j, p))
    if order == "descending":
        terms.sort(key=lambda t: (-t[2], -t[3]))
    elif order == "ascending":
        terms.sort(key=lambda t: (t[2], t[3]))
    else:
        rng.shuffle(terms)
    fracs = []
    if fractions:
        for _ in range(3):
            # x + k at x = 3 is a unit modulo every prime here.
            k = rng.choice([5, 7, 11, 17, 19, 23, 29, 31, 37, 41, 43, 47]) - 3
            fracs.append("%d/(x + %d)" % (rng.randrange(1, 100), k))
            terms.insert(rng.randrange(len(terms) + 1), ("+", fracs[-1], 0, 0, None))
    text = ""
    for n, (sign, t, _, _, _) in enumerate(terms):
        if n == 0:
            text = ("-" if sign == "-" else "") + t
        else:
            text += " %s %s" % (sign, t)
    # The Horner form of the same pieces.
    by = {}
    for _, _, i, j, p in terms:
        if p is not None:
            by.setdefault((i, j), []).append(p)
    rows = []
    for j in range(dy + 1):
        rows.append(horner_x({i: by[(i, jj)] for (i, jj) in by if jj == j}, dx))
    g = rows[dy]
    for j in range(dy - 1, -1, -1):
        g = "(%s)*y + %s" % (g, rows[j])
    if laurent:
        g = "x^-%d*(%s)" % (laurent, g)
    if fracs:
        g = "(%s) + %s" % (g, " + ".join(fracs))
    # The value at x = 3, y = 2 over Q (reduced by the caller).
    val = sum(Fraction(c) * Fraction(3) ** (i - laurent) * 2 ** j for (i, j), c in coeff.items())
    for fr in fracs:
        a, k = fr.replace("/(x + ", " ").rstrip(")").split()
        val += Fraction(int(a), 3 + int(k))
    return text, g, val


def setup(ring, laurent, with_t):
    s = "&(J = x);\n&(J = y);\n"
    if with_t:
        s += "&(J = t);\n&(P = t^2 + 3);\n"
    if laurent:
        s += "&(l = 1);\n"
    if ring:
        s += "&(p = %d);\n" % ring
    return s


def reduce_value(v, ring):
    if ring is None:
        return "(%d)/(%d)" % (v.numerator, v.denominator)
    return str(v.numerator * pow(v.denominator, -1, ring) % ring)


def results(out):
    """The displayed values, one per statement after the setup."""
    chunks = out.split("\n>")
    return [c.strip() for c in chunks]


def refused(out):
    # A relation reducible modulo the prime only warns.
    return any(line.startswith("***") for line in out.splitlines())


def main():
    tarvex = sys.argv[1]
    seed = int(sys.argv[2]) if len(sys.argv) > 2 else 20261208
    limit = float(sys.argv[3]) if len(sys.argv) > 3 else 3.0
    rng = random.Random(seed)
    failures = 0
    cases = 0
    for ring, field in RINGS:
        for shape in ("one", "two", "laurent", "relation", "fractions", "sigma"):
            for order in rng.sample(("descending", "ascending", "shuffled"), 2):
                if shape == "fractions" and not field:
                    continue   # such sums may have no normal form there
                if shape == "sigma" and ring and ring < 1000:
                    continue   # the loop's k would be a residue there
                dx, dy = (rng.choice([5, 40, 150]), 0) if shape in ("one", "laurent", "fractions", "sigma") else (rng.randrange(3, 12), rng.randrange(1, 4))
                laurent = rng.randrange(1, 4) if shape == "laurent" else 0
                with_t = shape == "relation"
                f, g, val = make_case(rng, ring, dx, dy, order, laurent, with_t, shape == "fractions")
                script = setup(ring, laurent, with_t)
                if shape == "sigma":
                    # The same kind of sum read term by term from an array
                    # of coefficients, upward or downward.
                    # (Subscripts and exponents stay plain loop values: in
                    # modular mode a computed k + 1 would be a residue.)
                    cs = [rng.randrange(-10**4, 10**4) for _ in range(dx + 1)]
                    script += "Array c[%d];\n" % (dx + 1)
                    script += "".join("c[%d] := %d:\n" % (k + 1, cs[k]) for k in range(dx + 1))
                    rng_k = "k = 1, %d" % (dx + 1) if order == "ascending" else "k = %d, 1, -1" % (dx + 1)
                    f = "Sigma<%s>(c[k]*x^k)" % rng_k
                    g = "x*" + horner_x({k: [str(cs[k])] for k in range(dx + 1)}, dx)
                    val = sum(Fraction(cs[k]) * 3 ** (k + 1) for k in range(dx + 1))
                script += "f := %s;\ng := %s;\nf - g;\n" % (f, g)
                # A point where no denominator vanishes.
                point = field and not with_t and shape != "two" and (
                    ring is None or (val.denominator % ring != 0 and not (laurent and ring == 3)))
                if point:
                    script += "f#(x = 3) - (%s);\n" % reduce_value(val, ring)
                cases += 1
                done = run_held(tarvex, script, limit, text=True)
                name = "ring %s, %s, %s" % (ring or "Q", order, shape)
                if done is None:
                    print("FAIL %s: over %.1f s of processor time" % (name, limit))
                    failures += 1
                    continue
                got = results(done.stdout)
                want = ["0", "0"] if point else ["0"]
                tail = got[-1 - len(want):-1]
                if refused(done.stdout) or tail != want:
                    print("FAIL %s: got %r" % (name, tail))
                    failures += 1
    # A long dense sum, as typed for the factoring benches.
    for ring in (None, 65521):
        n = 65536
        r = random.Random(seed + n)
        cs = [r.randrange(1, 65521) for _ in range(n)]
        text = " + ".join(["x^%d" % n] + ["%d*x^%d" % (cs[k], k) for k in range(n - 1, 0, -1)] + [str(cs[0])])
        # Over Q the value at 3 would have some 30000 digits: -1 instead.
        at = 3 if ring else -1
        if ring:
            val = (pow(at, n, ring) + sum(cs[k] * pow(at, k, ring) for k in range(n))) % ring
        else:
            val = (-1) ** n + sum(cs[k] * (-1) ** k for k in range(n))
        script = setup(ring, 0, False) + "f := %s:\nf#(x = %d) - (%s);\n" % (text, at, reduce_value(Fraction(val), ring))
        cases += 1
        done = run_held(tarvex, script, 2 * limit, text=True)
        name = "%d dense terms, ring %s" % (n, ring or "Q")
        if done is None:
            print("FAIL %s: over %.1f s of processor time" % (name, 2 * limit))
            failures += 1
            continue
        got = results(done.stdout)
        if refused(done.stdout) or got[-2] != "0":
            print("FAIL %s: got %r" % (name, got[-2]))
            failures += 1
    # The same length read by Sigma, downward (each term below the sum so
    # far); k stays below the word prime, so exponents are plain there.
    for ring in (None, 2147483629):
        n = 65536
        at = 3 if ring else -1
        if ring:
            val = sum(k * pow(at, k, ring) for k in range(1, n + 1)) % ring
        else:
            val = sum(k * (-1) ** k for k in range(1, n + 1))
        script = setup(ring, 0, False) + "f := Sigma<k = %d, 1, -1>(k*x^k):\nf#(x = %d) - (%s);\n" % (
            n, at, reduce_value(Fraction(val), ring))
        cases += 1
        done = run_held(tarvex, script, 2 * limit, text=True)
        name = "Sigma of %d terms, ring %s" % (n, ring or "Q")
        if done is None:
            print("FAIL %s: over %.1f s of processor time" % (name, 2 * limit))
            failures += 1
            continue
        got = results(done.stdout)
        if refused(done.stdout) or got[-2] != "0":
            print("FAIL %s: got %r" % (name, got[-2]))
            failures += 1
    print("%d of %d cases failed" % (failures, cases))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
