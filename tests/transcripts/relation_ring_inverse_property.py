#!/usr/bin/env python3
"""Inverses, determinants and quotients over relation rings, random cases.

Rings: relations with and without the field flag, that the prime splits and
that it does not, over the rationals, and a tower. In each, random matrices
(dense and sparse) and random quotients, with the invariants checked in the
language:
  - 1/[a] gives C with A·C = 1, or is refused (Division by zero, a relation
    that makes no field, or a singular matrix) with C left as it was; a
    refusal must be deserved: the determinant is a zero divisor, by sympy;
  - the dense Det equals the sparse one, and neither is refused;
  - s := u/w gives s·w - u = 0, and Divides(w, u·w) is 1, unless w is a
    zero divisor, when the quotient is refused or still one: then
    u·z - s·(w·z) = 0 too for a z ≠ 0 with w·z = 0 (a quotient standing
    for 1/w would give u·z);
  - w^-1 gives p with p·w = 1, or, for a zero divisor, is refused with p
    left as it was;
  - for w no zero divisor a + b, a = u/w and b = 1/w, shows what the
    quotient of its parts typed shows (the numerators' sum over the one
    denominator when a and b have one), and 1/w + 1/w what 2/w shows,
    neither refused.
Rings without the field flag run a second time with the free variable x
inside the relations (adjoined first), or with a free y inside them that
w may use.

  relation_ring_inverse_property.py TARVEX [SEED] [CASES_PER_RING]
"""
import random
import subprocess
import sys

import sympy
from sympy.polys.matrices import DomainMatrix

from case_report import report

t, s, x, y = sympy.symbols("t s x y")

# name, modulus (0: the rationals), relations (variable, polynomial, field
# flag) outermost first, and the choices of roots when the relations split
# (none when the ring is a field).
RINGS = [
    ("t^2-2 mod 7, no flag (splits)", 7, [(t, t**2 - 2, 0)], [{t: 3}, {t: 4}]),
    ("t^2-2 mod 7, field flag (splits)", 7, [(t, t**2 - 2, 1)], [{t: 3}, {t: 4}]),
    ("t^2-2 mod 17, field flag (splits)", 17, [(t, t**2 - 2, 1)], [{t: 6}, {t: 11}]),
    ("t^2-3 mod 7, field flag (a field)", 7, [(t, t**2 - 3, 1)], None),
    ("t^2-3 mod 7, no flag (a field)", 7, [(t, t**2 - 3, 0)], None),
    ("t^2-1 over Q, no flag (splits)", 0, [(t, t**2 - 1, 0)], [{t: 1}, {t: -1}]),
    ("t^2-4 over Q, no flag (splits)", 0, [(t, t**2 - 4, 0)], [{t: 2}, {t: -2}]),
    # Nilpotent t: an element is a zero divisor exactly when it vanishes
    # at t = 0, so the one root classifies it (a multiple of t as "zero").
    ("t^2 over Q, no flag (nilpotent)", 0, [(t, t**2, 0)], [{t: 0}]),
    ("s^2-2, t^2-3 mod 23, field flags (splits)", 23, [(s, s**2 - 2, 1), (t, t**2 - 3, 1)],
     [{s: a, t: b} for a in (5, 18) for b in (7, 16)]),
]

# Split field relations, most with no free variable beside them, where the
# pivot search once saw no copies: zero-heavy matrices, a column times a factor of
# the relation (a determinant vanishing in some copy), dense Det = sparse
# Det = the determinant typed in, and A·Adjoint[A] = det·1 (the adjoint's
# cofactors are such determinants). (name, modulus, header, generators, factor)
SPLIT_DET_RINGS = [
    ("t^2-2 mod 7 alone", 7, "&(J = t);\n&(P = t^2 - 2, 1);", [t], t - 3),
    ("t^3-t mod 3 alone", 3, "&(J = t);\n&(P = t^3 - t, 1);", [t], t - 1),
    ("t^3-t mod 3 alone, fraction-free", 3, "&(K = 1);\n&(J = t);\n&(P = t^3 - t, 1);", [t], t - 1),
    ("t^3-t mod 3 with x", 3, "&(J = t);\n&(J = x);\n&(P = t^3 - t, 1);", [t, x], t - 1),
    ("s^2-2, t^2-3 mod 23 alone", 23, "&(J = s);\n&(J = t);\n&(P = s^2 - 2, 1);\n&(P = t^2 - 3, 1);", [s, t], s - 5),
]


def det_session(rng, p, header_text, gens, factor, cases):
    lines, checks = [f"&(p = {p});", header_text], []
    for k in range(cases):
        n = rng.randint(3, 8)
        m = sympy.Matrix(n, n, lambda i, j: 0 if rng.random() < 0.5 else random_entry(rng, gens, False))
        if rng.random() < 0.5:
            c = rng.randrange(n)
            m[:, c] = m[:, c] * factor
        dm = DomainMatrix.from_Matrix(m)
        det, one = text(dm.domain.to_sympy(dm.det())), ", ".join("1" if i % (n + 1) == 0 else "0" for i in range(n * n))
        lines += [f"Array a{k}[{n},{n}], s{k}[{n},{n}] Sparse, c{k}[{n},{n}], i{k}[{n},{n}];",
                  f"[a{k}] := [({', '.join(text(c) for c in m)})]:", f"[s{k}] := [a{k}]:", f"[i{k}] := [({one})]:",
                  f"!!('at_det{k}'):\n!!('det{k}', Det[a{k}] - ({det}), Det[s{k}] - ({det}));",
                  f"!!('at_adj{k}'):\n[c{k}] := [a{k}]*Adjoint[a{k}] - ({det})*[i{k}]:\n!!('adj{k}', Iszero[c{k}]);"]
        checks += [(f"det{k}", ["0", "0"], list(m)), (f"adj{k}", ["1"], list(m))]
    return "\n".join(lines) + "\n&q;\n", checks


REFUSALS = ("Division by zero.", "does not make a field", "Singular matrix.")


def header(p, relations, order="inner"):
    """order: the relations innermost (x outermost), "outer" (x inside
    them) or "between" (x outermost, a free y inside them)."""
    lines = [f"&(J = {v});" for v, _, _ in relations] + ["&(J = x);"]
    if order == "outer":
        lines = lines[-1:] + lines[:-1]
    elif order == "between":
        lines.insert(0, "&(J = y);")
    if p:
        lines.insert(0, f"&(p = {p});")
    for v, m, flag in relations:
        lines.append(f"&(P = {sympy.sstr(m).replace('**', '^')}{', 1' if flag else ''});")
    return "\n".join(lines) + "\n"


def text(e):
    return sympy.sstr(sympy.expand(e)).replace("**", "^")


def random_entry(rng, gens, with_x):
    e = rng.randint(-3, 3) + sum(rng.randint(-3, 3) * g for g in gens)
    if with_x and rng.random() < 0.4:
        e += (rng.randint(-2, 2) + rng.choice(gens) * rng.randint(-2, 2)) * x
    if rng.random() < 0.15:
        e = 0
    return e


class Ring:
    def __init__(self, p, relations, roots):
        self.p, self.relations, self.roots = p, relations, roots
        self.gens = [v for v, _, _ in relations]

    def reduce(self, e):
        e = sympy.expand(e)
        for v, m, _ in reversed(self.relations):
            e = sympy.rem(e, m, v)
        return sympy.expand(e)

    def value(self, c, at):
        v = sympy.Rational(sympy.expand(c).subs(at))
        return v % self.p if self.p else v

    def annihilator(self, e):
        """A non-zero z with z·e = 0 for a zero divisor e: it vanishes at
        every choice of roots but one at which e vanishes (t itself when t
        is nilpotent)."""
        coefs = sympy.Poly(sympy.expand(e), x, y).coeffs() if e != 0 else [0]
        at = next(r for r in self.roots if all(self.value(c, r) == 0 for c in coefs))
        if len(self.roots) == 1:
            return self.gens[0]
        z = 1
        for v in self.gens:
            z *= sympy.Mul(*[v - r[v] for r in self.roots if r[v] != at[v]][:1])
        return sympy.expand(z)

    def classify(self, e):
        """'zero', 'zero divisor' or 'regular' for a polynomial in x and y
        over the ring (by its coefficients over them: some non-zero element
        kills them all, or none does)."""
        coefs = sympy.Poly(sympy.expand(e), x, y).coeffs() if e != 0 else [0]
        if self.roots is None:
            # A field: only 0 fails.
            red = [self.reduce(c) for c in coefs]
            if self.p:
                red = [sympy.Poly(c, *self.gens, modulus=self.p) if c != 0 else 0 for c in red]
            return "zero" if all(c == 0 or c.is_zero for c in red) else "regular"
        vanish = [all(self.value(c, at) == 0 for c in coefs) for at in self.roots]
        return "zero" if all(vanish) else "zero divisor" if any(vanish) else "regular"


def session(rng, ring, header_text, cases, with_y=False):
    lines = [header_text]
    for n in (2, 3, 4):
        ones = ", ".join("1" if i % (n + 1) == 0 else "0" for i in range(n * n))
        lines += [f"Array i{n}[{n},{n}];", f"[i{n}] := [({ones})];"]
    checks = []
    for k in range(cases):
        n = rng.choice((2, 3, 3, 4))
        with_x = rng.random() < 0.4
        cells = [random_entry(rng, ring.gens, with_x) for _ in range(n * n)]
        det = sympy.Matrix(n, n, cells).det()
        kind = ring.classify(ring.reduce(det))
        lines.append(f"Array a{k}[{n},{n}], s{k}[{n},{n}] Sparse, c{k}[{n},{n}], z{k}[{n},{n}];")
        lines.append(f"[a{k}] := [({', '.join(text(c) for c in cells)})];")
        lines.append(f"[s{k}] := [a{k}];")
        lines.append(f"!!('at_det{k}'):\n!!('det{k}', Det[a{k}] - Det[s{k}]);")
        checks.append((f"det{k}", "det", None, cells))
        for src in (f"a{k}", f"s{k}"):
            lines += [f"!!('at_inv{src}'):", f"[c{k}] := [a{k}]:", f"[c{k}] := 1/[{src}]:", f"[z{k}] := [a{k}]*[c{k}] - [i{n}]:",
                      f"!!('inv{src}', Iszero[z{k}]);", f"[z{k}] := [c{k}] - [a{k}]:", f"!!('kept{src}', Iszero[z{k}]);"]
            checks.append((f"inv{src}", "inv", kind, cells))
        # A quotient by a divisor whose leading coefficient may be a zero
        # divisor, of a multiple of it or of anything.
        w = random_entry(rng, ring.gens, False) * x + random_entry(rng, ring.gens, False)
        if with_y and rng.random() < 0.5:
            # y inside the relations, in the coefficient ring's place.
            w += random_entry(rng, ring.gens, False) * y
        u = random_entry(rng, ring.gens, True) + x ** 2
        if rng.random() < 0.5:
            u = sympy.expand(u * w)
        wkind = ring.classify(ring.reduce(w))
        z = text(ring.annihilator(ring.reduce(w))) if wkind == "zero divisor" else "0"
        lines += [f"w{k} := {text(w)}:", f"u{k} := {text(u)}:", f"!!('at_quo{k}'):", f"q{k} := 0:", f"q{k} := u{k}/w{k}:",
                  f"!!('quo{k}', q{k}*w{k} - u{k});", f"!!('ann{k}', u{k}*({z}) - q{k}*(w{k}*({z})));",
                  f"!!('at_div{k}'):", f"!!('div{k}', Divides(w{k}, u{k}*w{k}));",
                  f"!!('at_pow{k}'):", f"p{k} := 2:", f"p{k} := w{k}^-1:", f"!!('pow{k}', p{k}*w{k});",
                  f"!!('pkept{k}', p{k});",
                  f"!!('at_sum{k}'):", f"a{k} := u{k}/w{k}:", f"b{k} := 1/w{k}:", f"!!('sum{k}', a{k} + b{k});",
                  f"t{k} := (Numer(a{k})*Denom(b{k}) + Numer(b{k})*Denom(a{k}))/(Denom(a{k})*Denom(b{k})):",
                  f"if [Denom(a{k}) = Denom(b{k})] then t{k} := (Numer(a{k}) + Numer(b{k}))/Denom(a{k}) fi:",
                  f"!!('sumT{k}', t{k});", f"!!('dbl{k}', 1/w{k} + 1/w{k});", f"!!('dblT{k}', 2/w{k});"]
        checks.append((f"quo{k}", "quo", wkind, (u, w)))
        checks.append((f"pow{k}", "pow", wkind, w))
        if wkind == "regular":
            checks.append((f"sum{k}", "sum", wkind, (u, w)))
    return "\n".join(lines) + "\n&q;\n", checks


def segments(out):
    """label -> (values, the text printed from its group's start on): a
    group starts with the label at_NAME and holds what its statements
    printed, refusals among them."""
    got, texts, group = {}, {}, None
    for ln in out.splitlines():
        words = ln.lstrip(">").split()
        if words and words[0].startswith("at_"):
            group = words[0][3:]
            texts[group] = []
            continue
        if group is not None:
            texts[group].append(ln)
        if words and words[0].startswith(("det", "inv", "kept", "quo", "div", "ann", "pow", "pkept", "sum", "dbl", "adj")) \
                and words[0][-1].isdigit():
            got[words[0]] = words[1:]
    return {k: (got.get(k), "\n".join(v)) for k, v in texts.items()} | {
        k: (v, "") for k, v in got.items() if k not in texts}


def check(name, got, checks, divides_may_refuse):
    results = []
    for label, what, kind, data in checks:
        k = label.lstrip("detinvaskquopwum")
        if what == "det":
            vals, before = got.get(label, (None, ""))
            ok = vals == ["0"] and not any(r in before for r in REFUSALS)
            results.append(None if ok else f"{name}: dense Det - sparse Det = {vals} {before[-200:]!r} {data}")
        elif what == "inv":
            src = label[3:]
            vals, before = got.get(label, (None, ""))
            kept = got.get("kept" + src, (None, ""))[0]
            refused = any(r in before for r in REFUSALS)
            if refused:
                ok = kept == ["1"] and kind in ("zero", "zero divisor")
            else:
                ok = vals == ["1"] and kind == "regular"
            results.append(None if ok else f"{name}: 1/[{src}] refused={refused} A*C=1:{vals} kept:{kept} "
                           f"det {kind} {data} {before[-160:]!r}")
        elif what == "pow":
            vals, before = got.get(label, (None, ""))
            kept = got.get("pkept" + k, (None, ""))[0]
            refused = any(r in before for r in REFUSALS)
            refused = refused or "not invertible" in before   # 0^-1 modulo a prime
            ok = (not refused and vals == ["1"]) if kind == "regular" else (refused and kept == ["2"])
            results.append(None if ok else f"{name}: ({data})^-1 ({kind}) refused={refused} p*w={vals} kept {kept} "
                           f"{before[-160:]!r}")
        elif what == "sum":
            vals, before = got.get(label, (None, ""))
            typed = got.get("sumT" + k, (None, ""))[0]
            dbl, dtyped = got.get("dbl" + k, (None, ""))[0], got.get("dblT" + k, (None, ""))[0]
            refused = any(r in before for r in REFUSALS)
            ok = not refused and vals and vals == typed and dbl and dbl == dtyped
            results.append(None if ok else f"{name}: u/w + 1/w = {vals} where typed {typed}, 1/w + 1/w = {dbl} "
                           f"where 2/w {dtyped}, {data} {before[-160:]!r}")
        else:
            vals, before = got.get(label, (None, ""))
            avals = got.get("ann" + k, (None, ""))[0]
            dvals, dbefore = got.get("div" + k, (None, ""))
            refused = any(r in before for r in REFUSALS)
            # Over the rationals without the flag a leading coefficient that
            # is a zero divisor may leave Divides undecided, and so may one
            # in the free variable inside the relations: a refusal as a ring
            # that makes no field is allowed there, never a 0.
            divides_ok = dvals == ["1"] and not any(r in dbefore for r in REFUSALS) or (
                divides_may_refuse and dvals != ["0"] and "does not make a field" in dbefore)
            if kind == "regular":
                ok = not refused and vals == ["0"] and divides_ok
            else:
                # By a zero divisor a refusal is right, and so is a
                # quotient that is one.
                ok = refused or (vals == ["0"] and avals == ["0"])
            results.append(None if ok else f"{name}: quotient {data} ({kind}): q*w - u = {vals}, "
                           f"u*z - q*(w*z) = {avals}, Divides {dvals} "
                           f"{(before + dbefore)[-200:]!r}")
    return results


def main():
    tarvex = sys.argv[1]
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 1)
    cases = int(sys.argv[3]) if len(sys.argv) > 3 else 8
    results = []
    for name, p, relations, roots in RINGS:
        ring = Ring(p, relations, roots)
        # A field flag needs every level inside it to be a field.
        orders = ["inner"] + ([rng.choice(("outer", "between"))] if not any(f for _, _, f in relations) else [])
        for order in orders:
            text_in, checks = session(rng, ring, header(p, relations, order), cases, order == "between")
            out = subprocess.run([tarvex], input=text_in, capture_output=True, text=True, timeout=120).stdout
            results += check(f"{name} ({order})", segments(out), checks,
                             order != "inner" or p == 0 and not all(f for _, _, f in relations))
    for name, p, header_text, gens, factor in SPLIT_DET_RINGS:
        text_in, checks = det_session(rng, p, header_text, gens, factor, cases)
        got = segments(subprocess.run([tarvex], input=text_in, capture_output=True, text=True, timeout=120).stdout)
        for label, want, cells in checks:
            vals, before = got.get(label, (None, ""))
            ok = vals == want and not any(r in before for r in REFUSALS)
            results.append(None if ok else f"{name}: {label} {vals} {before[-160:]!r} {cells}")
    sys.exit(report(results))


if __name__ == "__main__":
    main()
