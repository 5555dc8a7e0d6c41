#!/usr/bin/env python3
"""Exponents near the end of the range the polynomial records hold: random
monomials x^A (A built as a product of typed pieces, sums and products of
exponents from 2^27 to past 2^33) in rational mode, Z/7, a word-sized Z/p,
Z/12, GF(2^8), GF(2^16) and Laurent mode (rational and Z/13), through
products, sums of terms, powers, Powermod (no modulus, a modulus in another
variable, a modulus in x), MPowermod (a polynomial and a number modulus)
and quotients of monomials one of which lies at the very end, also under
relations (one of degree 2^30 + 1). Every
answer must carry exactly the exponents Python's integers give, or be the
refusal of an exponent out of range ("Number too large ..." or "Exponent
too large."), and a refusal is allowed only when some exponent on the way
really leaves the range.

  exponent_range_property.py TARVEX [CASES_PER_RING] [SEED]
"""
import os
import random
import re
import subprocess
import sys
import tempfile

LIMIT = 2**31 - 1
REFUSALS = ("Number too large (must be below 2^28).", "Exponent too large.")

# name, statements before the variables t and x, Laurent mode, a factor
# every monomial carries (an inner variable with a relation).
RELATION = ["&(J = s);", "&(P = s^2 - 2, 1);"]
RINGS = [
    ("rational", [], False, ""),
    ("Z/7", ["&(p = 7);"], False, ""),
    ("Z/2147483629", ["&(p = 2147483629);"], False, ""),
    ("Z/12", ["&(p = 12);"], False, ""),
    ("GF(2^8)", ["&(p = 256);"], False, ""),
    ("GF(2^16)", ["&(p = 65536);"], False, ""),
    ("Laurent", ["&(l = 1);"], True, ""),
    ("Laurent Z/13", ["&(l = 1);", "&(p = 13);"], True, ""),
    ("rational, s^2 = 2", RELATION, False, "*s"),
    ("Z/101, s^2 = 2", ["&(p = 101);"] + RELATION, False, "*s"),
    # A relation whose degree's double is past the range.
    ("Z/7, s^(2^30 + 1) = 2", ["&(p = 7);", "&(J = s);", "&(P = s^(2^30 + 1) - 2);"], False, "*s"),
]


def fits(e):
    return -LIMIT <= e <= LIMIT


def monomial(rng, laurent, extra=""):
    """A product of typed pieces (each below 2^28), times extra: its text,
    its exponent and whether every partial product stays in range."""
    k = rng.randrange(1, 10)
    pieces = [rng.randrange(2**26, 2**28) for _ in range(k)]
    if laurent:
        pieces = [p if rng.random() < 0.5 else -p for p in pieces]
    text = "*".join(f"x^({p})" for p in pieces) + extra
    sums = [sum(pieces[:i + 1]) for i in range(k)]
    return text, sums[-1], all(fits(s) for s in sums)


def edge_monomial(rng, laurent):
    """x^A with |A| within 2 of the end of the range, in pieces below 2^28."""
    total = LIMIT - rng.choice([0, 0, 0, 1, 2])
    cuts = sorted(rng.sample(range(1, total), 11))
    pieces = [b - a for a, b in zip([0] + cuts, cuts + [total])]
    sign = -1 if laurent and rng.random() < 0.5 else 1
    if any(p >= 2**28 for p in pieces):
        pieces = [total // 12] * 11 + [total - 11 * (total // 12)]
    return "*".join(f"x^({sign * p})" for p in pieces), sign * total


def quotient_shown(text, e):
    """Whether text is x^e, also as a fraction of two monomials (outside
    Laurent mode, or past the range there)."""
    num, _, den = text.partition(" / ")
    got = exponents(num, "x")
    if den:
        got = [a - b for a, b in zip(got, exponents(den, "x"))]
    return got == [e]


def count_near(rng, a):
    """An exponent n for x^a: small, just below or above the last n whose
    power fits, or far beyond it."""
    edge = LIMIT // max(1, abs(a))
    return max(2, rng.choice([rng.randrange(2, 40), edge + rng.randrange(-2, 3), rng.randrange(2, 2**34)]))


def exponents(text, var):
    """The exponents of var in each term of a one-line answer."""
    found = []
    for term in re.split(r"(?<=[\w)])\s+[-+]\s+", text.strip()):
        m = re.search(var + r"\^(-?\d+)", term)
        if m:
            found.append(int(m.group(1)))
        elif re.search(var + r"(?![\w^])", term):
            found.append(1)
        else:
            found.append(0)
    return found


def refused(block):
    return any(r in block for r in REFUSALS)


def answer(block):
    """The value lines of a statement's output, joined."""
    if "[[" in block:
        # An array shows its cells from the prompt's line on.
        inner = block[block.index("[[") + 2:block.index("]]")]
        return " ".join(ln.rstrip(" `") for ln in inner.split("\n"))
    lines = [ln for ln in block.split("\n")[1:] if ln.strip() and "Warning" not in ln]
    return " ".join(ln.rstrip(" `") for ln in lines)


def cases(rng, count, laurent, extra, modular):
    """(statements, check) pairs; check(outputs) returns an error text or None."""
    out = []
    for _ in range(count):
        kind = rng.choice(["product", "terms", "power", "powermod", "powermod_t", "powermod_x", "mpowermod",
                           "quotient"])
        # A Laurent value divided by a modulus may not have negative
        # exponents in any variable.
        text, a, ok_a = monomial(rng, laurent and kind not in ("powermod_t", "mpowermod"), extra)
        if kind == "product":
            b_text, b, ok_b = monomial(rng, laurent, extra)
            ok = ok_a and ok_b and fits(a + b)
            out.append(([f"{text}*{b_text};"], ok, lambda o, e=a + b: [e] == exponents(o[0], "x")))
        elif kind == "terms":
            b_text, b, ok_b = monomial(rng, laurent)
            ok = ok_a and ok_b and fits(a + b)
            want = sorted({a + b, a, b, 0} if len({a + b, a, b, 0}) == 4 else [])
            out.append(([f"({text} + 1)*({b_text} + 1);"], ok,
                        lambda o, w=want: not w or sorted(exponents(o[0], "x")) == w))
        elif kind == "quotient":
            # Reducing x^A / x^B divides by x^min(A, B): at the end of the
            # range the count of that division must not overflow.
            # A common factor t (and the inner variable) makes the
            # reduction a gcd in several variables.
            edge, c = edge_monomial(rng, laurent)
            b_text, b, ok_b = monomial(rng, laurent)
            if rng.random() < 0.5:
                b = rng.randrange(1, 2**rng.randrange(1, 29)) * (rng.choice([1, -1]) if laurent else 1)
                b_text, ok_b = f"x^({b})", True
            common = rng.choice(["", "*t" + extra, "*t" + extra])
            for (num, n), (den, d) in (((edge, c), (b_text, b)), ((b_text, b), (edge, c))):
                out.append(([f"({num}{common})/({den}{common});"], ok_b and fits(n - d),
                            lambda o, e=n - d: quotient_shown(o[0], e)))
        elif kind == "power":
            m = min(count_near(rng, a), rng.randrange(2, 12))
            ok = ok_a and fits(a * m)
            out.append(([f"({text})^{m};"], ok, lambda o, e=a * m: [e] == exponents(o[0], "x")))
        elif kind == "powermod":
            n = count_near(rng, a)
            ok = ok_a and fits(a * n)
            out.append(([f"Powermod({text}, {n});"], ok, lambda o, e=a * n: [e] == exponents(o[0], "x")))
        elif kind in ("powermod_t", "mpowermod"):
            # t^3 = -1 keeps t down; x grows with the exponent.
            n = count_near(rng, a)
            want = (a * n, n % 3)

            def check(o, w=want):
                return exponents(o[-1], "x") == [w[0]] and exponents(o[-1], "t") == [w[1]]
            if kind == "powermod_t":
                out.append(([f"Powermod({text}*t, {n}, t^3 + 1);"], ok_a and fits(a * n), check))
            else:
                stmts = [f"m[1,1] := {text}*t;", f"[n] := MPowermod([m], {n}, t^3 + 1);", "[n];"]
                out.append((stmts, ok_a and fits(a * n), check))
        else:
            # A modulus in x keeps x down and lets t grow.
            n = count_near(rng, 1)
            want = (n % 3, n)
            stmts = [f"Powermod(x*t^(1), {n}, x^3 + 1);"]
            out.append((stmts, fits(n),
                        lambda o, w=want: exponents(o[0], "x") == [w[0]] and exponents(o[0], "t") == [w[1]]))
    if not laurent and not modular:
        # A number modulus reduces only the coefficients: both variables grow.
        for _ in range(max(1, count // 8)):
            text, a, ok_a = monomial(rng, False, extra)
            n = count_near(rng, a)
            stmts = [f"m[1,1] := {text}*t;", f"[n] := MPowermod([m], {n}, 7);", "[n];"]
            out.append((stmts, ok_a and fits(a * n) and fits(n),
                        lambda o, w=(a * n, n): exponents(o[-1], "x") == [w[0]]
                        and exponents(o[-1], "t") == [w[1]]))
    return out


def run(binary, lines):
    with tempfile.TemporaryDirectory() as cwd:
        proc = subprocess.run([binary], input=("\n".join(lines) + "\n").encode(), capture_output=True,
                              cwd=cwd, timeout=300)
    out = proc.stdout.decode("utf-8", "replace")
    err = proc.stderr.decode("utf-8", "replace")
    if "runtime error" in err or "Sanitizer" in err:
        raise RuntimeError(f"sanitizer report:\n{err[-3000:]}")
    blocks = out.split("\n>")[1:]
    if len(blocks) < len(lines):
        raise RuntimeError(f"{len(blocks)} outputs for {len(lines)} statements:\n{out[-2000:]}")
    return blocks[:len(lines)]


def main(argv):
    binary = os.path.abspath(argv[1])
    count = int(argv[2]) if len(argv) > 2 else 30
    seed = int(argv[3]) if len(argv) > 3 else 20261208
    rng = random.Random(seed)
    failures = refusals = 0
    for name, setup, laurent, extra in RINGS:
        head = setup + ["&(J = t);", "&(J = x);", "Array m[1,1];"]
        todo = cases(rng, count, laurent, extra, any(x.startswith("&(p") for x in setup))
        lines = list(head)
        spans = []
        for stmts, ok, check in todo:
            spans.append((len(lines), len(stmts), ok, check))
            lines += stmts
        blocks = run(binary, lines)
        for start, n, ok, check in spans:
            got = blocks[start:start + n]
            shown = " | ".join(lines[start:start + n])
            if any("Tarvex error" in b for b in got):
                failures += 1
                print(f"{name}: {shown}: internal error\n{''.join(got)}")
                continue
            if any(refused(b) for b in got):
                refusals += 1
                if ok:
                    failures += 1
                    print(f"{name}: {shown}: refused, but every exponent fits\n{''.join(got)}")
                continue
            if any("***" in b for b in got):
                failures += 1
                print(f"{name}: {shown}: unexpected error\n{''.join(got)}")
                continue
            if not check([answer(b) for b in got]):
                failures += 1
                print(f"{name}: {shown}: wrong exponents (fits: {ok})\n{''.join(got)}")
    print(f"{len(RINGS)} rings, {refusals} refusals, {failures} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
