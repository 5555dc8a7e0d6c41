#!/usr/bin/env python3
"""The coefficient built-ins on random polynomials in one to four variables
(negative exponents too), checked against sympy and against a model kept
here:

  - Coef by exponent lists re-sums to u at every depth: the sum over the
    exponent prefixes e1..ek of Coef(u, e1, ..., ek) times the monomial is u;
    and for every variable v the sum over e of Coef(u, v, e) v^e is u;
  - Mcoef(u, m [, m2]) equals the coefficient computed from u's terms, and
    for a full monomial sympy's coeff_monomial;
  - Mcoef2(u, m) m plus the terms of u not divisible by m is u;
  - Nlc, Ntc, Zcoef, Nmcoef and Lmon against sympy's Poly (lex order,
    outermost variable first);
  - random Recoef sequences against a model polynomial: every changed value
    equals the model, and Coef reads each new coefficient back.

  coefficients_differential.py TARVEX [COUNT] [SEED]
"""
import os
import random
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import quoly_differential as qd  # noqa: E402
from quoly_differential import sympy  # noqa: E402

NAMES = ["x", "y", "z", "w"]                 # adjoined in this order: w is outermost
SYMS = {n: sympy.Symbol(n) for n in NAMES}


VARS = NAMES[::-1]                           # outermost first: exponent lists follow this order


def read_back(text):
    """The sympy value of a readable display in x, y, z and w."""
    text = qd.joined(text).split(";  or  ")[0]
    text = re.sub(r"(\d)([xyzw(])", r"\1*\2", text)
    text = re.sub(r"\)([xyzw(])", r")*\1", text)
    return sympy.sympify(text.replace("^", "**"), locals=SYMS)


def mono_text(vars_, exps):
    parts = [f"{v}^({e})" for v, e in zip(vars_, exps) if e]
    return "*".join(parts) if parts else "1"


def mono_expr(vars_, exps):
    r = sympy.Integer(1)
    for v, e in zip(vars_, exps):
        r *= SYMS[v] ** e
    return r


def poly_text(vars_, terms):
    if not terms:
        return "0"
    return " + ".join(f"({c})*{mono_text(vars_, e)}" for e, c in terms.items())


def poly_expr(vars_, terms):
    return sum((c * mono_expr(vars_, e) for e, c in terms.items()), sympy.Integer(0))


def random_poly(rng, nvars, low, active=None):
    """Random terms over nvars variables, of which only those in active
    (positions; all when None) occur."""
    active = range(nvars) if active is None else active
    terms = {}
    for _ in range(rng.randrange(1, 7)):
        e = tuple(rng.randrange(low, 4) if i in active else 0 for i in range(nvars))
        c = rng.choice([1, -1, 2, -3, 5, 7, 12, -20, 10**12 + 1])
        terms[e] = terms.get(e, 0) + c
    return {e: c for e, c in terms.items() if c}


class Session:
    """Statements with what each displayed value must be (a sympy value),
    run in one interpreter session."""

    def __init__(self):
        self.lines = []          # (statement, expected sympy value or None: no display checked, label)

    def add(self, text, expected, label):
        self.lines.append((text, expected, label))

    def run(self, binary, nvars_max):
        head = "".join(f"&(J = {n});\n" for n in NAMES[:nvars_max])
        script = head + "".join(f"{t};\n" for t, _, _ in self.lines)
        with tempfile.TemporaryDirectory() as cwd:
            out = subprocess.run([binary], input=script.encode(), capture_output=True, cwd=cwd,
                                 timeout=300).stdout.decode()
        blocks = out.split("\n>")[1 + nvars_max:]
        failed = 0
        for (text, expected, label), block in zip(self.lines, blocks):
            if expected is None:
                continue
            shown = block.strip("\n")
            problem = None
            if "***" in shown:
                problem = "error reported"
            else:
                try:
                    if sympy.expand(read_back(shown) - expected) != 0:
                        problem = f"expected {sympy.expand(expected)}"
                except (sympy.SympifyError, SyntaxError, TypeError) as e:
                    problem = f"unreadable ({e})"
            if problem:
                failed += 1
                if failed <= 10:
                    print(f"{label}: {text}: {problem}; got {shown!r}")
        if len(blocks) < len(self.lines):
            print(f"only {len(blocks)} results for {len(self.lines)} statements")
            failed += len(self.lines) - len(blocks)
        return failed


def prefix_sums(s, name, vars_, terms, label):
    """Coef(u, e1..ek) for every prefix length k: each coefficient is the
    sum of the terms below the prefix (exactly, at full depth)."""
    for k in range(1, len(vars_) + 1):
        prefixes = sorted({e[:k] for e in terms}) or [(0,) * k]
        for pre in prefixes + [tuple(p + 5 for p in prefixes[0])]:
            sub = {e: c for e, c in terms.items() if e[:k] == pre}
            inner = sum((c * mono_expr(vars_[k:], e[k:]) for e, c in sub.items()), sympy.Integer(0))
            args = ", ".join(str(p) for p in pre)
            s.add(f"Coef({name}, {args})", inner, label)
    # Past the depth only exponent 0 finds a coefficient again.
    e = next(iter(terms)) if terms else (0,) * len(vars_)
    args = ", ".join(str(p) for p in e)
    s.add(f"Coef({name}, {args}, 0, 0)", terms.get(e, 0), label)
    s.add(f"Coef({name}, {args}, 1)", 0, label)


def variable_sums(s, name, vars_, terms, label):
    for i, v in enumerate(vars_):
        for ex in sorted({e[i] for e in terms} | {9}):
            sub = {e: c for e, c in terms.items() if e[i] == ex}
            expected = sum((c * mono_expr(vars_, e) / SYMS[v] ** ex for e, c in sub.items()), sympy.Integer(0))
            s.add(f"Coef({name}, {v}, {ex})", expected, label)


def mcoef_reference(vars_, terms, m, m2):
    """Coefficient of monomial m (dict var -> exp) with the variables of m2
    held at exponent 0 where m has none."""
    total = sympy.Integer(0)
    for e, c in terms.items():
        ok = all(e[i] == m.get(v, 0) for i, v in enumerate(vars_) if v in m or v in m2)
        if ok:
            total += c * mono_expr(vars_, e) / mono_expr(vars_, [m.get(v, 0) for v in vars_])
    return total


def monomial_checks(s, rng, name, vars_, terms, laurent, label):
    exps_seen = list(terms) or [(0,) * len(vars_)]
    for _ in range(4):
        base = rng.choice(exps_seen)
        chosen = [v for v in vars_ if rng.random() < 0.6] or [vars_[0]]
        m = {v: base[vars_.index(v)] for v in chosen}
        m = {v: e for v, e in m.items() if e} or {vars_[-1]: 1}
        mt = mono_text(list(m), list(m.values()))
        others = [v for v in vars_ if v not in m]
        m2 = {v: 1 for v in others if rng.random() < 0.5}
        s.add(f"Mcoef({name}, 3*{mt})", mcoef_reference(vars_, terms, m, {}), label)
        if m2:
            m2t = mono_text(list(m2), list(m2.values()))
            s.add(f"Mcoef({name}, {mt}, {m2t})", mcoef_reference(vars_, terms, m, m2), label)
        full = [m.get(v, 0) for v in vars_]
        if not laurent:
            p = sympy.Poly(poly_expr(vars_, terms), *[SYMS[v] for v in vars_])
            s.add(f"Mcoef({name}, {mt}, {mono_text(vars_, [1] * len(vars_))})",
                  p.coeff_monomial(mono_expr(vars_, full)), label)
            s.add(f"Nmcoef({name}, {mt})", p.coeff_monomial(mono_expr(vars_, full)), label)
        else:
            s.add(f"Nmcoef({name}, {mt})", terms.get(tuple(full), 0), label)
        if all(e >= 0 for e in m.values()):
            # Mcoef2: the divisible terms divided by m, and the rest.
            quotient = sympy.Integer(0)
            for e, c in terms.items():
                if all(e[vars_.index(v)] >= k for v, k in m.items()):
                    quotient += c * mono_expr(vars_, e) / mono_expr(vars_, full)
            s.add(f"Mcoef2({name}, {mt})", quotient, label)
            s.add(f"Mcoef2({name}, {mt}) * {mt} + ({name} - Mcoef2({name}, {mt}) * {mt})",
                  poly_expr(vars_, terms), label)


def numeric_checks(s, name, vars_, terms, label):
    if not terms:
        return
    order = sorted(terms)                    # lex with the outermost variable first
    s.add(f"Nlc({name})", terms[order[-1]], label)
    s.add(f"Ntc({name})", terms[order[0]], label)
    s.add(f"Zcoef({name})", terms.get((0,) * len(vars_), 0), label)
    s.add(f"Lmon({name})", terms[order[-1]] * mono_expr(vars_, order[-1]), label)
    if all(e >= 0 for t in terms for e in t):
        p = sympy.Poly(poly_expr(vars_, terms), *[SYMS[v] for v in vars_])
        s.add(f"Nlc({name}) - ({p.LC()})", 0, label)
        s.add(f"Ntc({name}) - ({p.terms(order='lex')[-1][1]})", 0, label)
        s.add(f"Lmon({name}) - ({p.LC()})*{mono_text(vars_, p.LM().exponents)}", 0, label)
    for k in range(1, len(vars_) + 1):
        # Down to the k-th variable: the levels above keep their first term.
        top = order[-1][:k - 1]
        sub = {e: c for e, c in terms.items() if e[:k - 1] == top}
        s.add(f"Lmon({name}, {vars_[k - 1]})", poly_expr(vars_, sub), label)


def recoef_sequence(s, rng, name, vars_, laurent, label):
    """Random changes of one coefficient (or of a whole inner coefficient),
    each checked against the model and read back by Coef."""
    model = {}
    s.add(f"{name} := 0", 0, label)
    n = len(vars_)
    low = -2 if laurent else 0
    for _ in range(12):
        d = n if rng.random() < 0.7 else rng.randrange(0, n)
        pre = tuple(rng.randrange(low, 4) for _ in range(d))
        if d == n:
            c = rng.choice([0, 0, 1, -4, 9, 10**15])
            value_text, value_terms = str(c), {(): c} if c else {}
        else:
            value_terms = random_poly(rng, n - d, low) if rng.random() < 0.8 else {}
            value_text = poly_text(vars_[d:], value_terms)
        for e in [e for e in model if e[:d] == pre]:
            del model[e]
        for e, c in value_terms.items():
            model[pre + e] = c
        args = "".join(f", {p}" for p in pre)
        s.add(f"Recoef({name}{args}) := {value_text}", poly_expr(vars_, model), label)
        if d:
            s.add(f"Coef({name}{args})", poly_expr(vars_[d:], value_terms), label)


def main(argv):
    binary = os.path.abspath(argv[1])
    count = int(argv[2]) if len(argv) > 2 else 40
    rng = random.Random(int(argv[3]) if len(argv) > 3 else 26)
    s = Session()
    for case in range(count):
        laurent = case % 4 == 3
        vars_ = VARS
        active = rng.sample(range(4), rng.randrange(1, 5))
        terms = random_poly(rng, 4, -2 if laurent else 0, active)
        label = f"case {case}"
        if laurent:
            s.add("&l", None, label)
        s.add(f"u := {poly_text(vars_, terms)}", poly_expr(vars_, terms), label)
        prefix_sums(s, "u", vars_, terms, label)
        variable_sums(s, "u", vars_, terms, label)
        monomial_checks(s, rng, "u", vars_, terms, laurent, label)
        numeric_checks(s, "u", vars_, terms, label)
        recoef_sequence(s, rng, "g", vars_, laurent, label)
        if laurent:
            s.add("&l", None, label)
    failed = s.run(binary, 4)
    checked = sum(1 for _, e, _ in s.lines if e is not None)
    print(f"{checked - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
