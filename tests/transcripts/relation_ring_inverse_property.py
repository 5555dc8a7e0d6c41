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
    zero divisor, when the quotient is refused or still one.

  relation_ring_inverse_property.py TARVEX [SEED] [CASES_PER_RING]
"""
import random
import subprocess
import sys

import sympy
from sympy.polys.matrices import DomainMatrix

from case_report import report

t, s, x = sympy.symbols("t s x")

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


def header(p, relations):
    lines = [f"&(J = {v});" for v, _, _ in relations] + ["&(J = x);"]
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

    def classify(self, e):
        """'zero', 'zero divisor' or 'regular' for a polynomial in x over the ring."""
        coefs = sympy.Poly(sympy.expand(e), x).all_coeffs() if e != 0 else [0]
        if self.roots is None:
            # A field: only 0 fails.
            red = [self.reduce(c) for c in coefs]
            if self.p:
                red = [sympy.Poly(c, *self.gens, modulus=self.p) if c != 0 else 0 for c in red]
            return "zero" if all(c == 0 or c.is_zero for c in red) else "regular"
        vanish = [all(self.value(c, at) == 0 for c in coefs) for at in self.roots]
        return "zero" if all(vanish) else "zero divisor" if any(vanish) else "regular"


def session(rng, ring, header_text, cases):
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
        u = random_entry(rng, ring.gens, True) + x ** 2
        if rng.random() < 0.5:
            u = sympy.expand(u * w)
        wkind = ring.classify(ring.reduce(w))
        lines += [f"w{k} := {text(w)}:", f"u{k} := {text(u)}:", f"!!('at_quo{k}'):", f"q{k} := u{k}/w{k}:",
                  f"!!('quo{k}', q{k}*w{k} - u{k});", f"!!('at_div{k}'):", f"!!('div{k}', Divides(w{k}, u{k}*w{k}));"]
        checks.append((f"quo{k}", "quo", wkind, (u, w)))
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
        if words and words[0].startswith(("det", "inv", "kept", "quo", "div", "adj")) and words[0][-1].isdigit():
            got[words[0]] = words[1:]
    return {k: (got.get(k), "\n".join(v)) for k, v in texts.items()} | {
        k: (v, "") for k, v in got.items() if k not in texts}


def check(name, got, checks, rationals_without_flag):
    results = []
    for label, what, kind, data in checks:
        k = label.lstrip("detinvaskquo")
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
        else:
            vals, before = got.get(label, (None, ""))
            dvals, dbefore = got.get("div" + k, (None, ""))
            refused = any(r in before for r in REFUSALS)
            # Over the rationals without the flag a leading coefficient that
            # is a zero divisor may leave Divides undecided: a refusal as a
            # ring that makes no field is allowed there, never a 0.
            divides_ok = dvals == ["1"] and not any(r in dbefore for r in REFUSALS) or (
                rationals_without_flag and dvals != ["0"] and "does not make a field" in dbefore)
            if kind == "regular":
                ok = not refused and vals == ["0"] and divides_ok
            else:
                # By a zero divisor a refusal is right, and so is a
                # quotient that is one.
                ok = refused or vals == ["0"]
            results.append(None if ok else f"{name}: quotient {data} ({kind}): q*w - u = {vals}, Divides {dvals} "
                           f"{(before + dbefore)[-200:]!r}")
    return results


def main():
    tarvex = sys.argv[1]
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 1)
    cases = int(sys.argv[3]) if len(sys.argv) > 3 else 8
    results = []
    for name, p, relations, roots in RINGS:
        ring = Ring(p, relations, roots)
        text_in, checks = session(rng, ring, header(p, relations), cases)
        out = subprocess.run([tarvex], input=text_in, capture_output=True, text=True, timeout=120).stdout
        results += check(name, segments(out), checks, p == 0 and not all(f for _, _, f in relations))
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
