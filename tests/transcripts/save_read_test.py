#!/usr/bin/env python3
"""Save files and reading files, through the built interpreter.

  - Round trip: random sessions (numbers, rationals, polynomials and
    rational functions in 1 to 3 variables, user functions, switches, a
    prompt) are saved; a fresh process reads the file and saves again: the
    two files are byte-identical, and every value in them equals what sympy
    computes from the statements that built it. The same with the file
    converted to CRLF line ends, and for an empty state.
  - A hand-written CRLF script with tabs and lines ending in names.
  - Files with an error in the middle, &b, &x then &r, a missing file, a
    file that reads itself.
  - &_n: random polynomials written in canonical nested form read equal to
    the general evaluator's value of the same polynomial.

  save_read_test.py TARVEX [SEED]
"""
import os
import random
import re
import subprocess
import sys
import tempfile

from array_reference import gf256_mul

try:
    import sympy
    from sympy import Integer, Rational, symbols
    from sympy.parsing.sympy_parser import (convert_xor, implicit_multiplication_application, parse_expr,
                                            standard_transformations)
except ImportError as missing:
    sys.exit(f"the test reference sympy cannot be imported by {sys.executable} "
             f"(scripts/install-deps.sh installs python3-sympy): {missing}")

X, Y, Z = symbols("x y z")
LOCALS = {"x": X, "y": Y, "z": Z}
TRANSFORMS = standard_transformations + (implicit_multiplication_application, convert_xor)

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL:", message)


def run(binary, cwd, script):
    proc = subprocess.run([binary], input=script.encode(), capture_output=True, cwd=cwd, timeout=120)
    return proc.stdout.decode("utf-8", "replace")


def after_prompt(text):
    mark = text.find("\n>")
    return text[mark + 2:] if mark >= 0 else text


def to_sympy(text):
    # A long number is broken between its groups of digits.
    text = re.sub(r"(\d)\s+(?=\d)", r"\1", " ".join(text.split()))
    return parse_expr(text, local_dict=LOCALS, transformations=TRANSFORMS)


# ------------------------------------------------------------ ground rings

class Exact:
    """Rational mode, and Laurent mode, whose values are the same rational
    functions written with negative exponents."""
    def __init__(self, name, line):
        self.name, self.line = name, line

    def coefficients(self):
        return [1, -1, 2, -3, 5, 7, 10**12 + 39, -(3**40)]

    def integer(self, rng):
        return rng.choice([rng.randrange(-10**6, 10**6), rng.randrange(-10**90, 10**90)])

    def denominator(self, rng):
        return rng.randrange(1, 10**20)

    def value(self, text):
        return sympy.cancel(to_sympy(text))

    def is_zero(self, text):
        return sympy.expand(to_sympy(text)) == 0

    def equal(self, got_text, expected):
        return sympy.simplify(to_sympy(got_text) - expected) == 0

    def number(self, text):
        return int(self.value(text))


class Residues(Exact):
    """Modulo a prime: the statements' values reduced modulo it, compared
    by cross-multiplying numerators and denominators."""
    def __init__(self, name, line, q):
        super().__init__(name, line)
        self.q = q

    def denominator(self, rng):
        d = rng.randrange(1, 10**20)
        return d if d % self.q else d + 1

    def vanishes(self, expr):
        num, den = sympy.fraction(sympy.together(expr))
        poly = sympy.Poly(sympy.expand(num), X, Y, Z, domain="QQ")
        for c in poly.coeffs():
            c = Rational(c)
            if c.q % self.q == 0 or c.p % self.q:
                return False
        return True

    def is_zero(self, text):
        return self.vanishes(to_sympy(text))

    def equal(self, got_text, expected):
        n1, d1 = sympy.fraction(sympy.cancel(to_sympy(got_text)))
        n2, d2 = sympy.fraction(sympy.cancel(expected))
        return self.vanishes(sympy.expand(n1 * d2 - n2 * d1))

    def number(self, text):
        return int(self.value(text)) % self.q


class Field256(Exact):
    """GF(2^8) = GF(2)[a]/(a^8 + a^4 + a^3 + a + 1): byte b stands for the
    sum of b_i a^i, an integer n below 2^28 for n mod 256, sums are
    exclusive or. Values are evaluated here over that field, as pairs of
    polynomials {exponents of (x, y, z): byte}."""
    def coefficients(self):
        return [1, -1, 2, 3, 5, 7, 200, 1000, 65537]

    def integer(self, rng):
        return rng.randrange(-2**27, 2**27)

    def denominator(self, rng):
        d = rng.randrange(1, 2**27)
        return d if d % 256 else d + 1

    mul = staticmethod(gf256_mul)

    def inv(self, a):
        return next(b for b in range(1, 256) if self.mul(a, b) == 1)

    def pmul(self, p, r):
        out = {}
        for m1, c1 in p.items():
            for m2, c2 in r.items():
                m = tuple(i + j for i, j in zip(m1, m2))
                out[m] = out.get(m, 0) ^ self.mul(c1, c2)
        return {m: c for m, c in out.items() if c}

    @staticmethod
    def padd(p, r):
        out = dict(p)
        for m, c in r.items():
            out[m] = out.get(m, 0) ^ c
        return {m: c for m, c in out.items() if c}

    def evaluate(self, text):
        tokens = re.findall(r"\d+|[a-z]|\S", re.sub(r"(\d)\s+(?=\d)", r"\1", text))
        pos = [0]
        one = {(0, 0, 0): 1}

        def peek():
            return tokens[pos[0]] if pos[0] < len(tokens) else None

        def take():
            pos[0] += 1
            return tokens[pos[0] - 1]

        def primary():
            t = take()
            if t == "(":
                v = expr()
                assert take() == ")"
                return v
            if t.isdigit():
                c = int(t) % 256
                return ({(0, 0, 0): c} if c else {}), one
            e = {"x": (1, 0, 0), "y": (0, 1, 0), "z": (0, 0, 1)}[t]
            return {e: 1}, one

        def factor():
            base = primary()
            if peek() != "^":
                return base
            take()
            sign = take() if peek() == "-" else ""
            e = int(take())
            n, d = one, one
            for _ in range(e):
                n, d = self.pmul(n, base[0]), self.pmul(d, base[1])
            return (d, n) if sign else (n, d)

        def term():
            v = factor()
            while peek() in ("*", "/") or (peek() is not None and (peek() == "(" or peek().isalnum())):
                op = take() if peek() in ("*", "/") else "*"
                n, d = factor()
                v = (self.pmul(v[0], n), self.pmul(v[1], d)) if op == "*" else (self.pmul(v[0], d), self.pmul(v[1], n))
            return v

        def expr():
            if peek() == "-":
                take()
            v = term()
            while peek() in ("+", "-"):
                take()
                n, d = term()
                v = (self.padd(self.pmul(v[0], d), self.pmul(n, v[1])), self.pmul(v[1], d))
            return v

        v = expr()
        assert pos[0] == len(tokens), text
        return v

    def value(self, text):
        return self.evaluate(text)

    def is_zero(self, text):
        return not self.evaluate(text)[0]

    def equal(self, got_text, expected):
        n1, d1 = self.evaluate(got_text)
        n2, d2 = expected
        return self.pmul(n1, d2) == self.pmul(n2, d1)

    def number(self, text):
        n, d = self.evaluate(text)
        return self.mul(n.get((0, 0, 0), 0), self.inv(d[(0, 0, 0)]))


# The ground rings a round trip runs in; the file restores each by its
# switch lines.
MODES = [Exact("rational", ""), Residues("mod 97", "&(p = 97);", 97), Field256("GF(2^8)", "&(p = 256);"),
         Exact("Laurent", "&(l = 1);")]


# ------------------------------------------------------------- round trips

def small_poly(rng, ring, names):
    terms = []
    for _ in range(rng.randrange(1, 4)):
        c = rng.choice(ring.coefficients())
        mono = [f"{v}^{e}" if e > 1 else v for v in names for e in [rng.randrange(0, 3)] if e]
        terms.append("*".join([str(c)] + mono))
    return "(" + "+".join(terms).replace("+-", "-") + ")"


def random_value(rng, ring, names):
    kind = rng.choice(["int", "rat", "poly", "poly", "quoly", "quoly", "monomial"])
    if kind == "int":
        text = str(ring.integer(rng))
    elif kind == "rat":
        text = f"{ring.integer(rng)}/{ring.denominator(rng)}"
    else:
        vs = names[:rng.randrange(1, len(names) + 1)]
        a = small_poly(rng, ring, vs)
        if kind == "poly":
            text = f"{a}^{rng.randrange(1, 4)}"
        elif kind == "monomial":
            # A monomial denominator: negative exponents in Laurent mode.
            text = f"{a}/({'*'.join(f'{v}^{rng.randrange(1, 3)}' for v in vs)})"
        else:
            b = small_poly(rng, ring, vs)
            while ring.is_zero(b):
                b = small_poly(rng, ring, vs)
            text = f"{a}/{b}"
    return text, ring.value(text)


FUNCTIONS = """Func Sq(u) = u^2.
Func Acc(a, ^b) = c := a + b; b := c * 2; c.
Func Tri(n) = s := 0; for i = 1 to n do s := s + i; if i = 9 then &> fi od; s.
"""

SWITCHES = ["&(e = 1);", "&(D = 7);", "&(a = 0);", "&(u = 3);", "&(L = 1);", "&(B = 0);"]


def session(rng, ring):
    names = ["z", "y", "x"][:rng.randrange(1, 4)]   # the last adjoined is outermost
    lines = [ring.line] if ring.line else []
    lines += [f"&(J = {v});" for v in names]
    lines.append(FUNCTIONS.strip())
    values = {}
    for i in range(rng.randrange(3, 9)):
        text, value = random_value(rng, ring, names)
        name = f"v{i}"
        values[name] = value
        lines.append(f"{name} := {text};")
    # Chpoly speed is not changed in modular mode.
    lines += rng.sample([s for s in SWITCHES if not (ring.line.startswith("&(p") and s.startswith("&(B"))],
                        rng.randrange(0, len(SWITCHES) - 1))
    if rng.random() < 0.5:
        lines.append("&(M = 'ok>');")
    return "\n".join(lines) + "\n", values


def saved_texts(text):
    """{name: value text} from the scalars section of a save file."""
    section = text.split(";;** scalars:\n", 1)[1].split(";;**  arrays:", 1)[0]
    values = {}
    for stmt in section.split(";"):
        stmt = stmt.strip()
        if not stmt:
            continue
        name, value = stmt.split(":=", 1)
        values[name.strip()] = value.replace("&_n", "")
    return values


def saved_values(text):
    """{name: sympy value} from the scalars section of a save file."""
    return {name: to_sympy(value) for name, value in saved_texts(text).items()}


def round_trip(binary, rng, ring):
    mode = ring.name
    with tempfile.TemporaryDirectory() as cwd:
        script, expected = session(rng, ring)
        run(binary, cwd, script + "&(S = 'one.sav');\n&s;\n&(S = @);\n")
        with open(os.path.join(cwd, "one.sav"), "rb") as f:
            first = f.read()
        check(first.endswith(b"\n&x;\n"), f"{mode}: the save does not end with a line \"&x;\"")
        check(ring.line == "" or (ring.line + "\n").encode() in first, f"{mode}: no line {ring.line} saved")
        run(binary, cwd, "&(R = 'one.sav');\n&(S = 'two.sav');\n&s;\n&(S = @);\n")
        # The fresh process computes in the ring the file restored.
        out = run(binary, cwd, "&(R = 'one.sav');\nTri(4) + 1000;\n1/z;\n")
        with open(os.path.join(cwd, "two.sav"), "rb") as f:
            second = f.read()
        check(first == second, f"{mode}: saving the read-back state changed the file\n{script}")
        check((" z^-1\n" in out) == (ring.name == "Laurent"), f"{mode}: Laurent mode not restored\n{out}")
        check(values_shown(out)[-1:] == [ring.number("1+2+3+4+1000")],
              f"{mode}: a restored function gives a wrong value\n{out}")
        got = saved_texts(second.decode())
        for name, value in expected.items():
            check(name in got and ring.equal(got[name], value),
                  f"{mode}: {name} is {got.get(name)}, the reference says {value}\n{script}")
        # The same file with CRLF line ends reads back to the same state.
        with open(os.path.join(cwd, "crlf.sav"), "wb") as f:
            f.write(first.replace(b"\n", b"\r\n"))
        run(binary, cwd, "&(R = 'crlf.sav');\n&(S = 'three.sav');\n&s;\n&(S = @);\n")
        with open(os.path.join(cwd, "three.sav"), "rb") as f:
            check(f.read() == first, f"{mode}: the CRLF copy reads back to a different state")


def many_scalars(binary, rng):
    """More scalars than a listing sorts: still read back to the same file."""
    data = "".join(f"w{i} := {rng.randrange(-10**40, 10**40)};\n" for i in range(1200)).encode()
    with tempfile.TemporaryDirectory() as cwd:
        with open(os.path.join(cwd, "w.txt"), "wb") as f:
            f.write(data)
        run(binary, cwd, "&(R = 'w.txt');\n&(S = 'a.sav');\n&s;\n&(S = @);\n")
        run(binary, cwd, "&(R = 'a.sav');\n&(S = 'b.sav');\n&s;\n&(S = @);\n")
        with open(os.path.join(cwd, "a.sav"), "rb") as a, open(os.path.join(cwd, "b.sav"), "rb") as b:
            first, second = a.read(), b.read()
        check(first == second and first.count(b":=") == 1200, "1,200 scalars do not read back to the same save")


EMPTY_SAVE = ("&(m = 1);\n&(a = 1);\n&(u = 0);\n\n\n;;** functions:\n\n;;** scalars:\n\n;;**  arrays:\n&x;\n")


def empty_state(binary):
    with tempfile.TemporaryDirectory() as cwd:
        run(binary, cwd, "&(S = 'e.sav');\n&s;\n&(S = @);\n")
        with open(os.path.join(cwd, "e.sav")) as f:
            text = f.read()
        check(text == EMPTY_SAVE, f"empty state saves as\n{text!r}")
        run(binary, cwd, "&(R = 'e.sav');\n&(S = 'f.sav');\n&s;\n&(S = @);\n")
        with open(os.path.join(cwd, "f.sav")) as f:
            check(f.read() == EMPTY_SAVE, "the empty save does not read back to an empty state")


# ------------------------------------------------------------------ scripts

def with_files(binary, files, script):
    with tempfile.TemporaryDirectory() as cwd:
        for name, data in files.items():
            with open(os.path.join(cwd, name), "wb") as f:
                f.write(data)
        return after_prompt(run(binary, cwd, script))


def values_shown(out):
    # Residues are shown from the first column.
    return [int(v) for v in re.findall(r"^ *(-?\d+)$", out, re.M)]


def crlf_script(binary):
    script = (b"&(J = x);\r\n"
              b"a := 3\t;\r\n"
              b"b := a\r\n"
              b"  + x;\r\n"
              b"Func Twice(u) =\tu * 2.;\r\n"
              b"c := Twice(a)\t\r\n"
              b";\r\n"
              b"d := 7; e := 8;\r\n")
    out = with_files(binary, {"s.txt": script}, "&(R = 's.txt');\na;\nc;\nb - x;\nd;\ne;\n")
    shown = values_shown(out)
    check(shown[-4:] == [3, 6, 3, 7], f"CRLF script: values {shown}\n{out}")
    check("Undefined variable" in out, "CRLF script: the second statement of a line ran")


def error_in_the_middle(binary):
    lines = ["n := 0;", "a := 1;", "n := n + 1;", "c := (1;"] + ["n := n + 1;"] * 4 + ["d := 4;"]
    data = ("\n".join(lines) + "\n").encode()
    # At the top: the statements before ran, none after; the next lines are shown.
    out = with_files(binary, {"f.txt": data}, "&(R = 'f.txt');\na;\nn;\nd;\n")
    # The first line shown is the rest of the failing statement's line.
    check("*** Stopped right before this:\n\nn := n + 1;\nn := n + 1;\n" in out,
          f"error report: the next lines are not shown\n{out}")
    check(values_shown(out)[-2:] == [1, 1] and "Undefined variable" in out.split("n;")[-1],
          f"top level: wrong statements ran\n{out}")
    # At level 2 with pushing: after &_p every later statement runs once.
    out = with_files(binary, {"f.txt": data}, "&_P;\n&(e = 1);\n&(R = 'f.txt');\n&_p;\nn;\nd;\n")
    check(values_shown(out)[-2:] == [5, 4], f"nested level: later statements ran wrongly\n{out}")
    # &b closes the file at the error: the read ends when the level is left.
    out = with_files(binary, {"f.txt": data}, "&b;\n&_P;\n&(e = 1);\n&(R = 'f.txt');\n&_p;\nn;\n&r;\n")
    check("*** Closing file f.txt" in out and values_shown(out)[-1] == 1,
          f"&b: the read went on after the file was closed\n{out}")


def stop_and_resume(binary):
    data = b"a := 1;\n&x;\nb := 2;\n"
    out = with_files(binary, {"g.txt": data}, "&(R = 'g.txt');\nb;\n&r;\nb + 100;\n&r;\na + 200;\n")
    check("Undefined variable" in out and values_shown(out)[-3:] == [102, 0, 201], f"&x then &r\n{out}")


def missing_and_self(binary):
    out = with_files(binary, {}, "&(R = 'nothing.txt');\n")
    check(" *** Warning. nothing.txt: no such file. Read cancelled.\n" in out and "Cannot open the file." in out,
          f"missing file\n{out}")
    out = with_files(binary, {"me.txt": b"k := 1;\n&(R = 'me.txt');\nk := 2;\n"}, "&(R = 'me.txt');\nk;\n")
    check("File is already in use" in out and values_shown(out)[-1] == 1, f"a file that reads itself\n{out}")
    out = with_files(binary, {"r.txt": b"k := 1;\n&r;\nk := 2;\n"}, "&(R = 'r.txt');\nk;\n")
    check("File is already in use" in out and values_shown(out)[-1] == 1, f"&r inside the file\n{out}")
    # The same refusal when the error opens a nested level, after which the
    # read goes on: the file being read is not replaced by an empty one.
    me = b"k := 1;\n&(S = 'me.txt');\nk := 2;\n"
    with tempfile.TemporaryDirectory() as cwd:
        with open(os.path.join(cwd, "me.txt"), "wb") as f:
            f.write(me)
        out = after_prompt(run(binary, cwd, "&_P;\n&(e = 1);\n&(R = 'me.txt');\n&_p;\n&_p;\nk;\n"))
        with open(os.path.join(cwd, "me.txt"), "rb") as f:
            check(f.read() == me and "File is already in use" in out and values_shown(out)[-1] == 2,
                  f"saving into the file being read at a nested level\n{out}")
    out = with_files(binary, {}, "&(S = 'no/such/dir/x');\n&s;\n")
    check("Cannot open the file." in out and "Enter name of output file" in out,
          f"an output file that cannot be opened is kept\n{out}")


def symmetric(v, q):
    v %= q
    return v - q if v > q // 2 else v


def ring_switches_in_files(binary):
    """&p( and &(p = ... : ...) take their lists from the file being read,
    not from the terminal, whose statements all run after the read."""
    data = (b"a := 10^30;\nb := 7;\n&p(*a);\n97;\nc := a + 1;\n&p(c, *a);\ne := a;\n"
            b"&(p = 101 : *e);\nf := e * 2;\n&(p = _i : f, *e);\ng := b;\n")
    out = with_files(binary, {"l.txt": data}, "&(R = 'l.txt');\na;\nc;\ne;\nf;\ng;\n")
    want = [10**30, symmetric(10**30 + 1, 97), 10**30, symmetric(2 * 10**30, 101), 7]
    check(values_shown(out)[-5:] == want and "Error" not in out and "Inappropriate" not in out,
          f"conversion lists in a file: want {want}\n{out}")
    # A file that changes the ring leaves it changed; the values in it.
    data = b"a := 10;\n&(p = 7);\nb := a + 1;\n"
    out = with_files(binary, {"m.txt": data}, "&(R = 'm.txt');\na;\nb;\n&(p = _i);\nb;\n")
    check(values_shown(out)[-4:] == [3, symmetric(11, 7), 0, symmetric(11, 7)] and "Modulus is 7" in out,
          f"a file that changes the ring\n{out}")
    # The single-letter switches end their statement in a file too.
    data = b"&(J = x);\n&(p = 7);\na := 10;\n&p;\nb := a + 1;\n&l;\nc := 1/x;\n"
    out = with_files(binary, {"k.txt": data}, "&(R = 'k.txt');\na;\nb;\nc;\n")
    check(values_shown(out)[-2:] == [3, 4] and "\n x^-1\n" in out and "Improper" not in out,
          f"&p; and &l; in a file\n{out}")
    # Refused moduli in a file: the statements before ran, none after, and
    # the ring is the one before the refused change.
    for bad, message in [(b"&p x + 1;", "Modulus must be a number."), (b"&(p = 1);", "Modulus out of range"),
                         (b"&(p = 2147483645);", "Modulus out of range")]:
        data = b"&(J = x);\na := 10;\n" + bad + b"\nb := 1;\n"
        out = with_files(binary, {"n.txt": data}, "&(R = 'n.txt');\na + 5;\nb;\n")
        check(message in out and values_shown(out)[-1:] == [15] and "Undefined variable" in out.split("a + 5;")[-1]
              and "Now in modular mode" not in out, f"{bad}: a refused modulus in a file\n{out}")


def negative_value_warning(binary):
    """Integers not reduced while read as terms: a negative one seen in a
    file warns once per read of a file, never at the terminal."""
    warning = "*** Warning. Negative value seen during poly readin in modular mode.\n    Check your data carefully.\n\n"
    first = b"&(J = x);\n&(n = 1);\na := &_n -3x - 100;\nb := &_n -5x;\n&(n = 0);\nc := &_n -5x;\n"
    second = b"&(n = 1);\nd := &_n 2x - 7;\n&(n = 0);\n"
    out = with_files(binary, {"w.txt": first, "v.txt": second},
                     "&(p = 97);\n&(H = 0);\n&(R = 'w.txt');\na;\nc;\n&(R = 'v.txt');\n&(n = 1);\n&_n -3x;\n")
    check(out.count(warning) == 2 and "-3x - 100" in out and "\n 92x\n" in out,
          f"the negative-value warning\n{out}")


# ---------------------------------------------------------------------- &_n

def nested(poly, gens):
    """The canonical nested text of a sympy polynomial, outermost first."""
    if not gens:
        return str(poly)
    p = sympy.Poly(poly, gens[0])
    parts = []
    for (e,), c in sorted(p.terms(), reverse=True):
        c = sympy.expand(c)
        if e == 0:
            parts.append(nested(c, gens[1:]))
        elif c.is_number:
            parts.append(("-" if c == -1 else "" if c == 1 else str(c)) + gens[0].name + (f"^{e}" if e > 1 else ""))
        else:
            parts.append(f"({nested(c, gens[1:])}){gens[0].name}" + (f"^{e}" if e > 1 else ""))
    return " + ".join(parts).replace("+ -", "- ")


def term_reader(binary, rng):
    gens = (X, Y, Z)
    lines = ["&(J = z);", "&(J = y);", "&(J = x);"]
    count = 40
    for i in range(count):
        poly = sum(rng.choice([-1, 1]) * rng.randrange(1, 10**rng.randrange(1, 25)) *
                   X**rng.randrange(0, 6) * Y**rng.randrange(0, 6) * Z**rng.randrange(0, 6)
                   for _ in range(rng.randrange(1, 12)))
        general = str(sympy.expand(poly)).replace("**", "^")
        lines.append(f"p := &_n {nested(sympy.expand(poly), gens)}:")
        lines.append(f"p - ({general});")
    out = after_prompt(run_in_temp(binary, "\n".join(lines) + "\n"))
    shown = values_shown(out)
    check(shown[-count:] == [0] * count and "Inappropriate" not in out, f"&_n against the evaluator\n{out}")


def run_in_temp(binary, script):
    with tempfile.TemporaryDirectory() as cwd:
        return run(binary, cwd, script)


def main(argv):
    binary = os.path.abspath(argv[1])
    seed = int(argv[2]) if len(argv) > 2 else 2126
    rng = random.Random(seed)
    for ring in MODES:
        for _ in range(6):
            round_trip(binary, rng, ring)
    empty_state(binary)
    many_scalars(binary, rng)
    crlf_script(binary)
    error_in_the_middle(binary)
    ring_switches_in_files(binary)
    negative_value_warning(binary)
    stop_and_resume(binary)
    missing_and_self(binary)
    term_reader(binary, rng)
    print(f"{len(failures)} failures (seed {seed})")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
