#!/usr/bin/env python3
"""Gcds over Q(i) in three variables (x, y, z; t^2 + 1 = 0), and the
determinant of a dense matrix of linear forms there by elimination and by
interpolation. The gcds are of planted products g*a and g*b: the answer
must divide both products, be divisible by g, and leave coprime
cofactors, all checked by sympy over Q(i). The operands are big enough
for the gcd to move another variable to the top, where the coprimality
images must drop every field level.

  field_gcd_differential.py TARVEX [COUNT] [SEED]
"""
import random
import re
import subprocess
import sys

import sympy
from sympy.parsing.sympy_parser import implicit_multiplication, parse_expr, standard_transformations

X, Y, Z, T = sympy.symbols("x y z t")
GENS = (X, Y, Z)
MARK = "z^99"
HEADER = "&(J = t); &(J = z); &(J = y); &(J = x); &(P = t^2 + 1, 1);"


def text(e):
    return str(sympy.expand(e)).replace("**", "^")


def coef(rng):
    return rng.randint(-6, 6) + rng.randint(-6, 6) * T


def poly(rng, deg, terms):
    e = 0
    for _ in range(terms):
        m = coef(rng)
        for g in GENS:
            m *= g ** rng.randint(0, deg)
        e += m
    return sympy.expand(e + GENS[rng.randrange(3)] ** (deg + 1))


def linear_matrix(rng, n):
    return [[sympy.expand(coef(rng) * X + coef(rng) * Y + coef(rng) * Z + coef(rng)) for _ in range(n)]
            for _ in range(n)]


def in_qi(e):
    return sympy.Poly(sympy.expand(e).subs(T, sympy.I), *GENS, extension=sympy.I)


def run(binary, lines):
    out = subprocess.run([binary], input=("\n".join(lines + ["&q;"]) + "\n").encode(), capture_output=True,
                         timeout=600).stdout.decode(errors="replace")
    out = out.replace(" `\n", "")
    pieces = re.split(r"\n *z\^99\n", out)[1:]
    values = []
    for piece in pieces:
        body = piece.split("\n>", 1)[1] if "\n>" in piece else piece
        values.append(body.split("\n>", 1)[0].strip())
    return values


def check_gcd(label, value, g, a, b):
    if "rror" in value or not value:
        return [f"{label}: {value[:300]!r}"]
    # The interpreter writes products without '*': (2t + 1)x.
    try:
        h = in_qi(parse_expr(value.replace("^", "**").replace("\n", " "), local_dict={"t": T, "x": X, "y": Y, "z": Z},
                             transformations=standard_transformations + (implicit_multiplication,)))
    except (SyntaxError, TypeError, ValueError, sympy.SympifyError):
        return [f"{label}: no polynomial in {value[:300]!r}"]
    pa, pb, pg = in_qi(g * a), in_qi(g * b), in_qi(g)
    failed = []
    if h.is_zero:
        return [f"{label}: gcd 0"]
    if not pa.rem(h).is_zero or not pb.rem(h).is_zero:
        failed.append(f"{label}: {value[:200]} does not divide both products")
    elif not h.rem(pg).is_zero:
        failed.append(f"{label}: the planted factor does not divide {value[:200]}")
    else:
        ca, cb = pa.quo(h), pb.quo(h)
        if sympy.Poly(ca.gcd(cb), *GENS).total_degree() > 0:
            failed.append(f"{label}: cofactors of {value[:200]} share a factor")
    return failed


# A dense matrix over Q(sqrt 123456789) whose elimination needs a gcd that
# moves an inner variable to the top: its coprimality images once kept the
# field variable.
FIXED = ("4*t*y^2*z + 3*x^2*y^2*z^2 + 4*x*y^2*z + z,3*t*y*z^2 - 7*x*y^2 - 1,0,0,0,-5*t*x^2*y^2*z^2 + 2*y,"
         "-4*x^2*z^2,-5*t*y^2*z + 3*x*y^2 - 5*y^2*z,5*x^2*z^2 + z + 3,-5*t*y^2*z^2 + x^2*z^2 - 2*y,"
         "-x^2*y*z^2 + x^2*z^2,-4*t*y^2*z^2 - 6*x^2*y,6*x*y^2*z,0,-y^2*z,-2*x + 3*z^2,3*x^2*y*z + z,0,"
         "5*t*y^2*z^2 + 3*y^2*z^2,3*x*z^2 - 6,-2*x^2*z - 5*y^2 + 8,2*t*x^2*y*z^2 + 8*t + 5*x^2*y*z^2 + 3*y,"
         "t*x^2*z^2 + 2*t*x*y^2*z,2*y*z^2,z + 5,5*y^2,-3*t*x*y^2*z^2 + 9*x^2*y - 4*x*y^2*z^2 - 1,0,-2*y,"
         "4*t*y^2*z + 4*y,5*t*y*z + 4*t + y^2 - y*z,0,t*y*z^2 + 4*y*z^2 - y*z + z,-x^2*y - 4*z,"
         "5*x^2*y^2 + 2*y,5*x^2*y^2*z^2,-t*x*z^2 + t*y + 6*z^2,-2*x*z,4*x*y^2*z^2 - 8*y + 4,2*x,"
         "2*t*x^2*z^2 + 4*t*z + z,0,-5*x^2*y^2 - 2*x^2 - 8*x*y,2*t*x^2*y*z^2 + 4*t*x^2 + x^2*y*z^2 - 4*x^2,"
         "-4*t*x^2*z^2 + 6*x^2*y^2*z - 5*x*y^2*z^2,0,t*x^2*y^2 + 6*t*z^2 + 3*x^2*y^2 - 7,0,"
         "3*t*y*z + 5*x^2*y - y^2 + z")


def fixed_matrix(binary):
    cells = [sympy.sympify(e.replace("^", "**"), locals={"t": T, "x": X, "y": Y, "z": Z}) for e in FIXED.split(",")]
    point = {X: 6, Y: -4, Z: 2}
    at = sympy.Matrix(7, 7, [e.subs(point) for e in cells]).det()
    at = sympy.expand(sympy.rem(sympy.Poly(sympy.expand(at), T), sympy.Poly(T ** 2 - 123456789, T)).as_expr())
    lines = [HEADER.replace("t^2 + 1", "t^2 - 123456789"), "Array m[7,7];", f"[m] := [({FIXED})];",
             "&(L = 5000);", "e := Det [m];", "&(L = 1);", f"{MARK};", "e - Det [m];", f"{MARK};",
             f"((e#(x = 6))#(y = -4))#(z = 2) - ({text(at)});"]
    values = run(binary, lines)
    if len(values) != 2:
        return [f"fixed matrix: only {len(values)} results for 2 checks"]
    return [f"fixed matrix {label}: {value[:300]!r}"
            for label, value in zip(["elimination = interpolation", "elimination = sympy at a point"], values)
            if value.split("\n")[-1].strip() != "0" or "rror" in value]


# A pair met in the elimination of a matrix of linear forms: their gcd is
# of degree 2, and scaling each remainder of the subresultant sequence to
# monic form once left a non-zero remainder in an exact division.
PAIR_U = ('(-1007964*t + 333914)*x^6 + ((-464962*t + 5180096)*y + (-5095295*t + 712095)*z+ 2053472*t - 2495646)'
      '*x^5 + ((307390*t + 10687872)*y^2 + ((-4981878*t + 5413472)*z + 841384*t - 14267350)*y + (-384597*t '
      '- 187907)*z^2 + (12321004*t - 5044480)*z- 1410906*t + 2718506)*x^4 + ((5029114*t + 19593114)*y^3 + ('
      '(-21717487*t - 2395339)*z + 5017567*t - 41240097)*y^2 + ((12593055*t - 15264626)*z^2 + (15639435*t +'
      ' 2123960)*z - 7906437*t + 28327603)*y + (4682473*t + 6423643)*z^3 + (3000637*t + 11073911)*z^2 + (-9'
      '830330*t + 5770628)*z + 309786*t - 1722216)*x^3 + ((334414*t + 22903660)*y^4 + ((-29522118*t - 19804'
      '100)*z + 1955154*t - 42525708)*y^3 + ((-5631715*t - 13240772)*z^2 + (28573372*t + 37188694)*z - 7623'
      '343*t + 46606574)*y^2 + ((11930403*t - 27701878)*z^3 + (-50303751*t - 22531069)*z^2 + (-39396802*t -'
      ' 7691469)*z - 7137679*t - 14200041)*y + (11508649*t + 3829083)*z^4 + (1933065*t - 2749849)*z^3 + (14'
      '76294*t - 11167328)*z^2 + (-1587835*t - 4785761)*z + 1276212*t - 3056136)*x^2 + ((-12634408*t + 7336'
      '462)*y^5 + ((-18587934*t - 19668930)*z + 27934199*t - 28192161)*y^4 + ((17032644*t - 25247741)*z^2 +'
      ' (-42707685*t + 49586218)*z - 11371036*t + 46727140)*y^3 + ((-15998614*t + 35103851)*z^3 + (21339351'
      '*t + 6411424)*z^2 + (73854775*t - 73803301)*z - 5269427*t- 27747525)*y^2 + ((-24925876*t - 12250136)'
      '*z^4 + (-4205743*t + 27761141)*z^3 + (60734549*t + 17578261)*z^2 + (8056365*t + 9919019)*z + 2923907'
      '*t - 6476609)*y + (4581584*t - 7268350)*z^5 + (-12775352*t - 3101728)*z^4 + (-3776558*t + 6991372)*z'
      '^3 + (8024989*t + 17185093)*z^2 + (10120870*t - 3334682)*z + 2234110*t + 413928)*x + (-853296*t - 70'
      '34334)*y^6 + ((-14650224*t - 7015630)*z - 2609684*t + 22711078)*y^5 + ((-5324338*t + 18245193)*z^2 +'
      ' (16886523*t + 4585937)*z + 27440444*t - 9976293)*y^4 + ((2523305*t - 1006879)*z^3 + (39724307*t - 3'
      '1823494)*z^2 + (18856470*t - 39046103)*z - 47679332*t + 4151558)*y^3 + ((1016400*t + 3691522)*z^4 + '
      '(-18382428*t + 13183873)*z^3 + (-1679741*t + 23285110)*z^2 + (-5940052*t + 26842801)*z + 13972956*t '
      '- 17254849)*y^2 + ((306526*t + 2540212)*z^5 + (4505951*t - 1800997)*z^4 + (9814211*t - 15659722)*z^3'
      ' + (-23451356*t + 8940895)*z^2 + (-18942264*t + 2422804)*z - 1896826*t + 6459570)*y + (-1150554*t - '
      '549918)*z^6 + (-2747950*t + 5869662)*z^5 + (8332733*t - 5708623)*z^4 + (3491476*t - 5610928)*z^3 + ('
      '-8930623*t + 111155)*z^2 + (-1294356*t + 4602234)*z + 1209350*t + 1062040')
PAIR_V = ('7442*x^4 + ((42944*t + 3904)*y + (-732*t + 67588)*z - 14640*t - 2684)*x^3 + ((46888*t+ 8100)*y^2 + ('
      '(170294*t - 37866)*z - 75878*t - 25198)*y + (33276*t + 152708)*z^2+ (-90016*t - 20472)*z - 12488*t -'
      ' 4274)*x^2 + ((209984*t - 84544)*y^3 + ((-14580*t+ 373148)*z - 284232*t + 190500)*y^2 + ((-101028*t '
      '- 369040)*z^2 + (-255526*t - 253610)*z + 81010*t - 6854)*y + (166236*t - 1524)*z^3 + (-112984*t + 62'
      '0)*z^2 + (-57120*t- 10472)*z + 88*t - 15364)*x + (166440*t + 119818)*y^4 + ((-252686*t - 210918)*z- '
      '460114*t - 157906)*y^3 + ((264321*t + 644)*z^2 + (230534*t + 174112)*z + 224013*t+ 59488)*y^2 + ((-1'
      '40694*t + 63138)*z^3 + (-56714*t + 151714)*z^2 + (193022*t - 103654)*z + 56234*t - 77382)*y + (-1800'
      '*t - 44982)*z^4 + (-17436*t + 58572)*z^3 + (19372*t+ 20172)*z^2 + (3420*t - 25420)*z - 2728*t - 7446')


def main(argv):
    binary = argv[1]
    count = int(argv[2]) if len(argv) > 2 else 4
    seed = int(argv[3]) if len(argv) > 3 else 7
    rng = random.Random(seed)
    lines = [HEADER]
    cases = []
    for c in range(count):
        g = poly(rng, 1, 3)
        a = poly(rng, 2, 6)
        b = poly(rng, 2, 6)
        lines += [f"{MARK};", f"GCD({text(g * a)}, {text(b * g)});"]
        cases.append((f"gcd case {c}", g, a, b))
    lines += [f"{MARK};", f"GCD({PAIR_U}, {PAIR_V});"]
    parse = {"t": T, "x": X, "y": Y, "z": Z}
    cases.append(("subresultant pair", sympy.Integer(1), sympy.sympify(PAIR_U.replace("^", "**"), locals=parse),
                  sympy.sympify(PAIR_V.replace("^", "**"), locals=parse)))
    # Coprime operands: the gcd is a unit.
    a, b = poly(rng, 2, 7), poly(rng, 2, 7)
    lines += [f"{MARK};", f"GCD({text(a)}, {text(b)});"]
    cases.append(("coprime case", sympy.Integer(1), a, b))
    # The determinant of linear forms: elimination against interpolation,
    # and against sympy at a point.
    n = 6
    m = linear_matrix(rng, n)
    vals = ",".join(text(m[i][j]) for i in range(n) for j in range(n))
    point = {X: rng.randint(-5, 5), Y: rng.randint(-5, 5), Z: rng.randint(-5, 5)}
    at = sympy.Matrix([[e.subs(point) for e in row] for row in m]).det()
    at = sympy.expand(sympy.rem(sympy.Poly(sympy.expand(at), T), sympy.Poly(T ** 2 + 1, T)).as_expr())
    lines += [f"Array m[{n},{n}];", f"[m] := [({vals})];", "&(L = 5000);", "e := Det [m];", "&(L = 1);",
              "i := Det [m];", f"{MARK};", "e - i;", f"{MARK};",
              f"((e#(x = {point[X]}))#(y = {point[Y]}))#(z = {point[Z]}) - ({text(at)});"]
    values = run(binary, lines)
    failed = []
    if len(values) != len(cases) + 2:
        failed.append(f"only {len(values)} results for {len(cases) + 2} checks")
    for (label, g, a, b), value in zip(cases, values):
        failed += check_gcd(label, value, g, a, b)
    for label, value in zip(["elimination = interpolation", "elimination = sympy at a point"],
                            values[len(cases):]):
        if value.split("\n")[-1].strip() != "0" or "rror" in value:
            failed.append(f"determinant {label}: {value[:300]!r}")
    failed += fixed_matrix(binary)
    for f in failed:
        print("FAIL", f)
    print(f"field gcd: {'ok' if not failed else f'{len(failed)} failures'} (seed {seed})")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
