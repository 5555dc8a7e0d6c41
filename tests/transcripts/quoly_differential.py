#!/usr/bin/env python3
"""Random rational-function expressions in x, y and z evaluated by the
interpreter and by sympy, compared three ways:

  - by value: the displayed result, read back, minus sympy's value cancels
    to 0;
  - by normal form: the displayed numerator and denominator are coprime
    integer polynomials (no common factor, no common integer content) and
    the denominator's leading coefficient, with z outermost, then y, then x,
    is positive;
  - by text: the display equals the one this script renders itself from
    sympy's value, nesting, signs, blanks and line breaks included.

A statement whose divisor is zero must be refused with "Division by zero."
and the session must go on.

  quoly_differential.py TARVEX [COUNT] [SEED]
"""
import os
import random
import re
import subprocess
import sys
import tempfile

try:
    import sympy
    from sympy import Integer, Poly, symbols
except ImportError as missing:
    sys.exit(f"the test reference sympy cannot be imported by {sys.executable} "
             f"(scripts/install-deps.sh installs python3-sympy): {missing}")

X, Y, Z = symbols("x y z")
GENS = (Z, Y, X)               # outermost first: the last adjoined is outermost
NAMES = ("z", "y", "x")
CUTOFF = 76                    # line width of the readable display
LINE_LIMIT = 150


class Undefined(Exception):
    """A division by zero somewhere in the expression."""


# ---------------------------------------------------------------- expressions

def small_poly(rng, variables):
    terms = []
    for _ in range(rng.randrange(1, 4)):
        c = rng.choice([1, -1, 2, -2, 3, -3, 5, 7, -4])
        mono = [f"{v}^{e}" if e > 1 else v
                for v in variables for e in [rng.randrange(0, 3)] if e]
        terms.append("*".join([str(c)] + mono))
    text = "+".join(terms).replace("+-", "-")
    return f"({text})"


def expression(rng, variables, depth):
    """(text, sympy value); the value raises Undefined for a zero divisor."""
    if depth == 0 or rng.random() < 0.3:
        if rng.random() < 0.15:
            n = rng.choice([0, 1, 2, -3, 6])
            return str(n), Integer(n)
        text = small_poly(rng, variables)
        return text, sympy.sympify(text.replace("^", "**"), locals={"x": X, "y": Y, "z": Z})
    kind = rng.choice("+-*/^/n")
    if kind == "n":
        t, v = expression(rng, variables, depth - 1)
        return f"-({t})", -v
    if kind == "^":
        t, v = expression(rng, variables, depth - 1)
        e = rng.choice([-2, -1, 0, 2, 2, 3])
        if e < 0 and sympy.cancel(v) == 0:
            raise Undefined(f"({t})^({e})")
        return f"({t})^({e})", v ** e
    lt, lv = expression(rng, variables, depth - 1)
    rt, rv = expression(rng, variables, depth - 1)
    text = f"({lt}){kind}({rt})"
    if kind == "/" and sympy.cancel(rv) == 0:
        raise Undefined(text)
    return text, {"+": lv + rv, "-": lv - rv, "*": lv * rv, "/": lv / rv}[kind]


def normal_parts(value):
    """(numerator, denominator) as integer Polys in GENS: coprime, without
    common content, the denominator's leading coefficient positive."""
    num, den = sympy.fraction(sympy.cancel(sympy.together(value)))
    p, q = Poly(num, *GENS, domain="QQ"), Poly(den, *GENS, domain="QQ")
    scale = sympy.ilcm(*[c.q for c in p.coeffs() + q.coeffs()])
    p, q = Poly(p * scale, *GENS, domain="ZZ"), Poly(q * scale, *GENS, domain="ZZ")
    g = p.gcd(q)                       # over ZZ: includes the integer content
    p, q = p.exquo(g), q.exquo(g)
    if q.LC() < 0:
        p, q = -p, -q
    return p, q


# ------------------------------------------------------------------- display

def nest(monomials, level):
    """The nested form of {exponent tuple: coefficient}: an int for a
    constant, else a list of (exponent, coefficient) in decreasing order."""
    if all(not any(m[level:]) for m in monomials):
        return int(sum(monomials.values()))
    groups = {}
    for m, c in monomials.items():
        groups.setdefault(m[level], {})[m] = c
    return [(e, nest(groups[e], level + 1)) for e in sorted(groups, reverse=True)]


class Printer:
    """The readable terminal display, written out independently: what is
    printed, and the column count that decides the line breaks (some marks,
    such as a bare "-" or the parentheses around a whole numerator, are not
    counted; an exponent counts by its binary length, not its digits)."""

    def __init__(self):
        self.out, self.col, self.lines = [], 0, 0
        self.cut = False       # the suppression message has been written

    def write(self, text, count=0):
        self.out.append(text)
        self.col += count

    def break_if_due(self):
        if self.col >= CUTOFF:
            self.out.append(" `\n")
            self.col = 0
            self.lines += 1

    def number(self, n, sign_blank):
        if n < 0:
            self.write("- " if sign_blank else "-", 1)
        digits = str(abs(n))
        groups = [digits[:len(digits) % 8 or 8]]
        groups += [digits[i:i + 8] for i in range(len(groups[0]), len(digits), 8)]
        self.write(groups[0], len(groups[0]))
        for g in groups[1:]:
            if self.col >= CUTOFF:
                self.out.append(" `\n ")
                self.col = 0
            self.write(g, 8)

    def poly(self, p, level, sign_blank, top):
        if isinstance(p, int):
            self.number(p, sign_blank)
            return
        for i, (e, c) in enumerate(p):
            if e == 0 and isinstance(c, int):
                self.number(c, sign_blank)
            else:
                paren = e != 0 and not isinstance(c, int)
                if paren:
                    self.break_if_due()
                    self.write("(", 1)
                    sign_blank = False
                if not isinstance(c, int):
                    self.poly(c, level + 1, sign_blank, False)
                elif c == -1:
                    self.write("-")
                    if sign_blank:
                        self.write(" ", 1)
                    self.break_if_due()
                elif c != 1:
                    self.number(c, sign_blank)
                if paren:
                    self.write(")", 1)
                    self.break_if_due()
                if self.lines > LINE_LIMIT:
                    return self.stop()
            sign_blank = False
            if e:
                self.write(NAMES[level], len(NAMES[level]))
                if e != 1:
                    self.write(f"^{e}", 1 + int(0.3 * (e.bit_length() - 1)))
            if i + 1 == len(p):
                return
            if self.col >= CUTOFF:
                self.out.append(" `\n")
                self.lines += 1
                self.col = 0
            else:
                self.write(" ", 1)
            self.col += 1
            if self.shows_plus(p[i + 1]):
                self.write("+ ", 2)
                self.break_if_due()
            else:
                sign_blank = True
            if self.lines > LINE_LIMIT:
                return self.stop()

    def stop(self):
        """The line limit: the rest of this polynomial is not shown, and
        the first such stop of a value says so."""
        if not self.cut:
            self.out.append("   ... more output suppressed ... \n")
        self.cut = True

    @staticmethod
    def shows_plus(term):
        """Whether the separator before a term is "+": not when the term
        opens with a negative number that carries its own minus."""
        e, c = term
        while True:
            if isinstance(c, int):
                return c > 0
            if e != 0:
                return True
            e, c = c[0]
            if e != 0 and not isinstance(c, int):
                return True


def small(p):
    """A number, or one power of one variable with coefficient 1 or -1."""
    return len(p.terms()) == 1 and (p.is_ground or abs(p.LC()) == 1 and sum(1 for e in p.monoms()[0] if e) == 1)


def render(p, q):
    """The readable terminal display of the quoly p / q (q = 1: none)."""
    pr = Printer()
    if q.is_ground and q.LC() == 1 and p.is_ground:
        # A plain number stands in a nine-character field.
        n = int(p.LC())
        digits = str(abs(n))
        lead = digits[:len(digits) % 8 or 8]
        pr.write(" " * (8 - len(lead)) + ("-" if n < 0 else " ") + lead, 8)
        for i in range(len(lead), len(digits), 8):
            if pr.col >= CUTOFF:
                pr.write(" `\n ")
                pr.col = 0
            pr.write(digits[i:i + 8], 8)
        return "".join(pr.out)
    has_den = not (q.is_ground and q.LC() == 1)
    opened = has_den and not small(p)
    pr.write(" ")
    if opened:
        pr.write("( ")
    pr.poly(nest(p.as_dict(), 0), 0, False, True)
    if opened:
        pr.write(" )")
    if has_den:
        pr.write(" / ")
        pr.lines, pr.cut = 0, False
        opened = not small(q)
        if opened:
            pr.write("( ")
        pr.poly(nest(q.as_dict(), 0), 0, False, True)
        if opened:
            pr.write(" )")
        if p.is_ground and q.is_ground:
            a, b = int(p.LC()), int(q.LC())
            quotient, rest = abs(a) // b, abs(a) % b
            sign = "-" if a < 0 else ""
            if pr.col + 60 >= CUTOFF:
                return None        # the decimal part may be broken; not modelled
            pr.write(f";  or  {sign}{quotient}.{rest * 10**40 // b:040d}")
    return "".join(pr.out)


# ------------------------------------------------------------ reading back

def joined(text):
    """A display with its broken lines joined again (a number broken inside
    goes on after one blank)."""
    return text.replace(" `\n ", "").replace(" `\n", "")


def read_back(text):
    """The sympy value of a readable display (without the decimal part)."""
    text = joined(text).split(";  or  ")[0]
    text = re.sub(r"(\d)([xyz(])", r"\1*\2", text)
    text = re.sub(r"\)([xyz(])", r")*\1", text)
    return sympy.sympify(text.replace("^", "**"), locals={"x": X, "y": Y, "z": Z})


def split_parts(value_text):
    """Numerator and denominator texts of a display, split at the " / "
    outside parentheses."""
    depth = 0
    for i, ch in enumerate(value_text):
        depth += ch == "("
        depth -= ch == ")"
        if depth == 0 and value_text.startswith(" / ", i):
            return value_text[:i], value_text[i + 3:]
    return value_text, "1"


def check_form(text):
    """Why the displayed value is not in normal form, or None."""
    num_text, den_text = split_parts(joined(text).split(";  or  ")[0])
    p = Poly(read_back(num_text), *GENS)
    q = Poly(read_back(den_text), *GENS)
    if p.domain != sympy.ZZ or q.domain != sympy.ZZ:
        return "coefficients not integers"
    if not p.gcd(q).is_one:
        return "numerator and denominator have a common factor"
    if q.LC() < 0:
        return "denominator's leading coefficient negative"
    return None


def main(argv):
    binary = os.path.abspath(argv[1])
    count = int(argv[2]) if len(argv) > 2 else 300
    rng = random.Random(int(argv[3]) if len(argv) > 3 else 11)
    cases = []
    while len(cases) < count:
        variables = ["x", "y", "z"][: rng.randrange(1, 4)]
        if rng.random() < 0.03:
            # A divisor that is zero only once its terms are collected.
            t = small_poly(rng, variables) if rng.random() < 0.5 else "1"
            s = small_poly(rng, variables)
            cases.append((rng.choice([f"({t})/({s}-{s})", f"({s}-{s})^(-2)"]), None, None))
            continue
        try:
            text, value = expression(rng, variables, rng.randrange(1, 4))
        except Undefined as undefined:
            if rng.random() < 0.1:
                cases.append((str(undefined), None, None))
            continue
        p, q = normal_parts(value)
        if max(p.total_degree(), q.total_degree()) > 14 or max(
                abs(c) for c in p.coeffs() + q.coeffs()) > 10**30:
            continue
        cases.append((text, value, (p, q)))

    script = "&(J = x);\n&(J = y);\n&(J = z);\n" + "".join(f"{t};\n" for t, _, _ in cases)
    with tempfile.TemporaryDirectory() as cwd:
        out = subprocess.run([binary], input=script.encode(), capture_output=True, cwd=cwd,
                             timeout=300).stdout.decode()
    blocks = out.split("\n>")[4:4 + len(cases)]
    failed = 0
    for (text, value, parts), block in zip(cases, blocks):
        shown = block.strip("\n")
        if value is None:
            problem = None if "Division by zero." in block else "division by zero not reported"
        elif "***" in block:
            problem = "error reported"
        else:
            try:
                problem = None if sympy.cancel(read_back(shown) - value) == 0 else "wrong value"
                problem = problem or check_form(shown)
            except (sympy.SympifyError, SyntaxError, TypeError, sympy.PolynomialError) as e:
                problem = f"unreadable display ({e})"
            expected = render(*parts)
            if not problem and expected is not None and shown != expected:
                problem = f"display differs from {expected!r}"
        if problem:
            failed += 1
            if failed <= 10:
                print(f"{text}: {problem}; got {shown!r}")
    if len(blocks) < len(cases):
        failed += len(cases) - len(blocks)
        print(f"only {len(blocks)} results for {len(cases)} statements")
    print(f"{len(cases) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
