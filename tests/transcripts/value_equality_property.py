#!/usr/bin/env python3
"""One value built by different routes (the quotient of a product by its
factor, distributivity, sums taken back, idempotent splits) compares equal
with `=`, `<>`, Equal, Equalneg against its negative and Det#([a] = v)
exactly when the difference of the two forms prints 0, over flagged
relations that make a field or that the prime splits fully or partly,
relations without the flag over Q, modulo p (2 and 3 below the degrees) and
modulo 9, GF(2^8), GF(2^16), a tower, and composite moduli without
relations; the same value plus something not 0 (some 0 at every point of
Z/q) compares unequal, and each route's difference is 0.

  value_equality_property.py TARVEX [SEED] [CASES_PER_RING]
"""
import random
import re
import subprocess
import sys

from case_report import report

# p (0: the rationals, 256: GF(2^8)), levels ("v: relation[, 1 the flag]" or
# a free "v"), an idempotent of the ring (1 where there is none).
RINGS = [(23, "t: t^3 - 2, 1; x; y", "18*(t^2 + 16*t + 3)"), (7, "t: t^2 - 2, 1; x; y", "4 - t"),
         (0, "t: t^2 - 2; x; y", "1"), (5, "t: t^2 - 2; x; y", "1"), (9, "t: t^2 - 2; x; y", "1"),
         (7, "t: t^2 - 2; x; y", "4 - t"), (0, "t: t^2 - 1; x; y", "(1 + t)/2"), (3, "t: t^3 - t; x; y", "1 - t^2"),
         (2, "t: t^3 + 1, 1; x; y", "t^2 + t + 1"), (256, "t: t^7 + 1, 1; x; y", "t^6+t^5+t^4+t^3+t^2+t+1"),
         (65536, "t: t^5 + 1, 1; x; y", "t^4 + t^3 + t^2 + t + 1"), (7, "t: t^2 - 2, 1; s: s^2 - 3, 1; x; y", "4 - t"),
         (0, "t: t^3 - 2, 1; x; y", "1"), (5, "t: t^2 - 2, 1; x; y", "1")]
RINGS += [(n, "x; y", "1") for n in (4, 8, 9, 12, 15, 25, 27, 49)] + [
    (4, "t: t^2 + 1; x; y", "1"), (0, "x; t: t^2 - 2; y", "1"), (256, "t: t^2 + t + 1; x; y", "1"),
    (0, "s: s^2 - 3; t: t^2 - s; x; y", "1")]
ROUTES = [("f", "(f*g)/g"), ("(a + b)*c", "a*c + b*c"), ("(a*b)/b", "a"), ("e*a + (1 - e)*a", "a"),
          ("(a + f) - f", "a"), ("a*(b*f)", "(a*b)*f"), ("1/(1/a)", "a"), ("a", "(Numer(a)*h)/(Denom(a)*h)"),
          ("a", "(Numer(a)*z)/(Denom(a)*z)"), ("a", "(Numer(a)*k)/(Denom(a)*k)")]
# A factor whose leading and trailing coefficients are zero divisors where
# the ring has them (2 modulo 4, 8, 12; e and 1 - e), so that the two cross
# products' end terms are not their factors' end terms.
ZERO_ENDS = "z := (e + 2)*x*y + 2*(1 - e)*y + x + 2*e:"
# A factor that is 0 at every point of Z/q for q a prime's square or cube
# (x^p - x is a multiple of p there), yet not 0: a difference carrying it
# is seen only beyond the points of Z/q.
ROOTS_EVERYWHERE = "k := ((x^{p} - x)*(y^{p} - y + 1))^3:"


def case(rng, k, gens):
    def elem():
        return "(" + "".join(f"{rng.randint(-3, 3)}*{v} + " for v in gens) + f"{rng.randint(-3, 3)})"

    def poly():
        return f"(x*y + {elem()}*x + {elem()}*y + {elem()})"   # regular: x*y led by 1

    def den():   # regular: a constant term 1 or a coefficient 1
        return rng.choice([f"{elem()}*x + {elem()}*y + 1", f"x + {elem()}", f"({gens[0] if gens else 3}*x + {rng.randint(1, 2)})*y",
                           f"(e*y + (1 - e)*(y + {rng.randint(1, 3)}))*x"])
    lines = [f"a := ({poly()})/({den()}):", f"b := ({poly()})/({den()}):", f"c := ({poly()})/({den()}):",
             f"f := ((e*{poly()} + (1 - e)*{poly()})*y)/(({den()})*x):", f"g := (x*y)/(({den()})*(x*y + 1)):", f"h := {rng.choice([poly(), den()])}:"]
    for j, (one, other) in enumerate(ROUTES):
        for n, v in ((0, other), (1, rng.choice([f"{other} + e*x/(y + 1)", f"{other} + x*y/(y + 5)", f"{other} + 1/(x + 2)", f"{other} + k*x/(y + 1)"]))):
            lines += [f"!!('@{k}.{j}.{n}');", f"u := {one}:", f"v := {v}:", "w[1] := v:",
                      f"!!('{k}.{j}.{n}', u - v, '|', if [u = v] then 1 else 0 fi, if [u <> v] then 1 else 0 fi, "
                      "Equal(u, v), Equalneg(u, -v), Det#([w] = u));"]
    return lines


def main():
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 1)
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 8
    results, refused = [], 0
    for p, levels, idem in RINGS:
        lines = [f"&(p = {p});"] * bool(p)
        for lev in levels.split("; "):
            v, _, rel = lev.partition(":")
            lines += [f"&(J = {v});"] + [f"&(P = {rel.strip()});"] * bool(rel)
        gens = [lev.split(":")[0] for lev in levels.split("; ") if ":" in lev]
        least = next((d for d in range(2, 50) if p % d == 0), 2) if 1 < p < 256 else 2
        lines += [f"e := {idem}:", ZERO_ENDS, ROOTS_EVERYWHERE.format(p=least), "Array w[1];"] + [line for k in range(count) for line in case(rng, k, gens)]
        out = subprocess.run([sys.argv[1]], input="\n".join(lines) + "\n&q;\n", capture_output=True, text=True,
                             timeout=300).stdout.replace(" `\n", " ")
        pieces = re.split(r"^ *>@(\S+)$", out, flags=re.M)
        if len(pieces) // 2 != count * len(ROUTES) * 2:
            results.append(f"session ended early: p={p} {levels} {out[-400:]!r}")
        for mark, said in zip(pieces[1::2], pieces[2::2]):
            what = f"p={p} {levels} case {mark}: {said.strip()[:600]}"
            if "***" in said:   # a route refused (a division the ring cannot make)
                refused += 1
                continue
            got = re.search(r"^ *>\S+ (.*?)\| (.*)$", said, flags=re.M)
            zero = bool(got) and got[1].strip() == "0"
            if not got or zero != mark.endswith(".0"):
                results.append(f"difference {'not ' * mark.endswith('.0')}0: {what}")
            else:   # =, <>, Equal, Equalneg against -v, the count of cells equal
                want = "1 0 1 1 1" if zero else "0 1 0 0 0"
                results.append(None if got[2].split() == want.split() else f"compared wrong: {what}")
    print(f"{refused} routes refused")
    return report(results)


if __name__ == "__main__":
    sys.exit(main())
