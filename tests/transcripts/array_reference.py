"""The tests' own arithmetic for array values, independent of the
interpreter: rational functions in named variables over the rationals
(Fraction) or modulo a prime, a reader for the interpreter's display of a
value, matrices as lists of rows, and a session that runs one statement per
line through the built interpreter and gives each statement's output.
"""
import re
import subprocess
from fractions import Fraction


class Rationals:
    name = "rational"
    line = ""

    def __init__(self):
        self.zero, self.one = Fraction(0), Fraction(1)

    def num(self, n, d=1):
        return Fraction(n, d)

    def inv(self, c):
        return 1 / c


class Residues:
    """Integers modulo the prime q, held in 0 .. q - 1."""

    def __init__(self, q):
        self.q = q
        self.name = f"mod {q}"
        self.line = f"&(p = {q});"
        self.zero, self.one = 0, 1

    def num(self, n, d=1):
        if d % self.q == 0:
            raise ZeroDivisionError(f"{d} vanishes modulo {self.q}")
        return n * pow(d, -1, self.q) % self.q

    def inv(self, c):
        return pow(c, -1, self.q)


def gf256_mul(a, b):
    """The product of two bytes in GF(2^8) = GF(2)[a]/(a^8 + a^4 + a^3 + a + 1)."""
    r = 0
    while b:
        if b & 1:
            r ^= a
        b >>= 1
        a <<= 1
        if a & 0x100:
            a ^= 0x11B
    return r


class Byte:
    """An element of GF(2^8) = GF(2)[a]/(a^8 + a^4 + a^3 + a + 1): bit i of
    the byte is the coefficient of a^i; sums are exclusive or."""
    __slots__ = ("b",)

    def __init__(self, b):
        self.b = b

    def __add__(self, o):
        return Byte(self.b ^ o.b)

    __sub__ = __add__

    def __neg__(self):
        return self

    def __mul__(self, o):
        return Byte(gf256_mul(self.b, o.b))

    def __bool__(self):
        return self.b != 0

    def __eq__(self, o):
        return isinstance(o, Byte) and self.b == o.b

    def __hash__(self):
        return self.b

    def __repr__(self):
        return f"<{self.b}>"


class Field256:
    """GF(2^8): an integer n stands for the byte |n| mod 256 (negation is
    the identity in characteristic 2)."""
    name = "GF(2^8)"
    line = "&(p = 256);"

    def __init__(self):
        self.zero, self.one = Byte(0), Byte(1)

    def num(self, n, d=1):
        if abs(d) % 256 == 0:
            raise ZeroDivisionError(f"{d} vanishes in GF(2^8)")
        return Byte(abs(n) % 256) * self.inv(Byte(abs(d) % 256))

    def inv(self, c):
        if not c:
            raise ZeroDivisionError("division by zero in GF(2^8)")
        return next(Byte(b) for b in range(1, 256) if (c * Byte(b)).b == 1)


# ----------------------------------------------------------- polynomials
# A polynomial is a dict {exponent tuple: nonzero coefficient} over the
# variables of its field's session, in a fixed order.

def padd(f, a, b):
    out = dict(a)
    for m, c in b.items():
        s = out.get(m, f.zero) + c
        if hasattr(f, "q"):
            s %= f.q
        if s:
            out[m] = s
        else:
            out.pop(m, None)
    return out


def pmul(f, a, b):
    out = {}
    for m1, c1 in a.items():
        for m2, c2 in b.items():
            m = tuple(i + j for i, j in zip(m1, m2))
            s = out.get(m, f.zero) + c1 * c2
            if hasattr(f, "q"):
                s %= f.q
            out[m] = s
    return {m: c for m, c in out.items() if c}


def pconst(f, c, nvars):
    if hasattr(f, "q"):
        c %= f.q
    return {(0,) * nvars: c} if c else {}


def pscale(f, a, c):
    out = {}
    for m, v in a.items():
        s = v * c
        if hasattr(f, "q"):
            s %= f.q
        if s:
            out[m] = s
    return out


class Value:
    """A rational function num / den; den a nonzero polynomial. Equality by
    cross-multiplication, so no gcds are needed."""

    def __init__(self, ring, num, den=None):
        self.ring = ring
        self.num = num
        self.den = den if den is not None else pconst(ring.field, ring.field.one, ring.nvars)
        if not self.den:
            raise ZeroDivisionError("zero denominator")
        # A constant denominator is divided out.
        if len(self.den) == 1 and next(iter(self.den)) == (0,) * ring.nvars:
            c = next(iter(self.den.values()))
            if c != ring.field.one:
                self.num = pscale(ring.field, self.num, ring.field.inv(c))
                self.den = pconst(ring.field, ring.field.one, ring.nvars)

    def _lift(self, other):
        return other if isinstance(other, Value) else self.ring.const(other)

    def __add__(self, other):
        o, f = self._lift(other), self.ring.field
        if self.den == o.den:
            return Value(self.ring, padd(f, self.num, o.num), self.den)
        return Value(self.ring, padd(f, pmul(f, self.num, o.den), pmul(f, o.num, self.den)), pmul(f, self.den, o.den))

    def __neg__(self):
        return Value(self.ring, pscale(self.ring.field, self.num, -self.ring.field.one), self.den)

    def __sub__(self, other):
        return self + (-self._lift(other))

    def __mul__(self, other):
        o, f = self._lift(other), self.ring.field
        return Value(self.ring, pmul(f, self.num, o.num), pmul(f, self.den, o.den))

    def __truediv__(self, other):
        o, f = self._lift(other), self.ring.field
        if not o.num:
            raise ZeroDivisionError("division by zero")
        return Value(self.ring, pmul(f, self.num, o.den), pmul(f, self.den, o.num))

    def __eq__(self, other):
        o, f = self._lift(other), self.ring.field
        return pmul(f, self.num, o.den) == pmul(f, o.num, self.den)

    def is_zero(self):
        return not self.num

    def is_constant(self):
        """num = c * den for a field element c."""
        f = self.ring.field
        m, lead = next(iter(self.den.items()))
        c = self.num.get(m, f.zero) * f.inv(lead)
        return self.num == pscale(f, self.den, c)

    def constant(self):
        """The value as a field element, or None when it is not one."""
        z = (0,) * self.ring.nvars
        if set(self.num) - {z} or set(self.den) != {z}:
            return None
        return self.num.get(z, self.ring.field.zero)

    def __repr__(self):
        return f"({self.num}) / ({self.den})"


class Ring:
    """Values over a field in the variables names (outermost last, as they
    are adjoined)."""

    def __init__(self, field, names=()):
        self.field = field
        self.names = list(names)
        self.nvars = len(self.names)

    @property
    def name(self):
        return self.field.name + (" in " + ",".join(self.names) if self.names else "")

    def setup_lines(self):
        lines = [f"&(J = {v});" for v in self.names]
        if self.field.line:
            lines.append(self.field.line)
        return lines

    def const(self, c):
        if isinstance(c, Value):
            return c
        if isinstance(c, int):
            c = self.field.num(c)
        return Value(self, pconst(self.field, c, self.nvars))

    def var(self, name):
        e = [0] * self.nvars
        e[self.names.index(name)] = 1
        return Value(self, {tuple(e): self.field.one})

    def parse(self, text):
        return Reader(self, text).value()


class Reader:
    """The interpreter's display of a value: numbers (long ones broken
    between digit groups), lines continued after "`", names, ^ with an integer exponent, + - * /,
    parentheses and juxtaposition as product ("4x^2y", "(x + 1)y")."""

    def __init__(self, ring, text):
        text = text.split(";")[0]                      # "-7 / 3;  or  -2.33..."
        text = text.replace("`", " ")                  # a long line continued
        text = re.sub(r"(\d)\s+(?=\d)", r"\1", " ".join(text.split()))
        self.ring = ring
        self.tokens = re.findall(r"\d+|[A-Za-z_]\w*|\S", text)
        self.pos = 0

    def peek(self):
        return self.tokens[self.pos] if self.pos < len(self.tokens) else None

    def take(self, want=None):
        t = self.peek()
        if t is None or (want is not None and t != want):
            raise ValueError(f"expected {want!r} at {self.pos} in {' '.join(self.tokens)}")
        self.pos += 1
        return t

    def value(self):
        v = self.expr()
        if self.peek() is not None:
            raise ValueError(f"trailing {self.peek()!r} in {' '.join(self.tokens)}")
        return v

    def expr(self):
        negate = False
        if self.peek() == "-":
            self.take()
            negate = True
        v = self.term()
        if negate:
            v = -v
        while self.peek() in ("+", "-"):
            op = self.take()
            t = self.term()
            v = v + t if op == "+" else v - t
        return v

    def term(self):
        v = self.factor()
        while True:
            t = self.peek()
            if t in ("*", "/"):
                self.take()
                f = self.factor()
                v = v * f if t == "*" else v / f
            elif t is not None and (t == "(" or t[0].isalnum()):
                v = v * self.factor()
            else:
                return v

    def factor(self):
        base = self.primary()
        if self.peek() != "^":
            return base
        self.take()
        negative = self.peek() == "-"
        if negative:
            self.take()
        e = int(self.take())
        out = self.ring.const(1)
        for _ in range(e):
            out = out * base
        return self.ring.const(1) / out if negative else out

    def primary(self):
        t = self.take()
        if t == "(":
            v = self.expr()
            self.take(")")
            return v
        if t.isdigit():
            return self.ring.const(int(t))
        if t in self.ring.names:
            return self.ring.var(t)
        raise ValueError(f"unexpected {t!r} in {' '.join(self.tokens)}")


class RandomCells:
    """Random cell values of a ring: (text the interpreter reads, value)."""

    def __init__(self, ring, rng):
        self.ring, self.rng = ring, rng
        self.modular = hasattr(ring.field, "q") or isinstance(ring.field, Field256)

    def number(self):
        rng = self.rng
        kind = rng.random()
        if isinstance(self.ring.field, Field256):
            # Integers below 2^27, as the field reads them.
            if kind < 0.15:
                n = 256 * rng.randrange(0, 4)
                return str(n), self.ring.const(0)
            if kind < 0.6:
                n = rng.randrange(-2**27, 2**27)
                return str(n), self.ring.const(n)
            n, d = rng.randrange(0, 2**20), rng.randrange(1, 2**20)
            while d % 256 == 0:
                d += 1
            return f"{n}/{d}", self.ring.const(self.ring.field.num(n, d))
        if self.modular:
            q = self.ring.field.q
            if kind < 0.15:
                n = q * rng.randrange(-3, 4)                  # a multiple of the modulus: 0
                return str(n), self.ring.const(0)
            if kind < 0.6:
                n = rng.randrange(-10**12, 10**12)
                return str(n), self.ring.const(n)
            n, d = rng.randrange(-10**6, 10**6), rng.randrange(1, 10**4)
            while d % q == 0:
                d += 1
            return f"{n}/{d}", self.ring.const(self.ring.field.num(n, d))
        if kind < 0.5:
            n = rng.randrange(-9, 10)
            return str(n), self.ring.const(n)
        if kind < 0.85:
            n, d = rng.randrange(-30, 31), rng.randrange(1, 12)
            return f"{n}/{d}", self.ring.const(Fraction(n, d))
        n = rng.choice([-1, 1]) * rng.randrange(10**18, 10**30)
        return str(n), self.ring.const(n)

    def poly(self):
        rng, ring = self.rng, self.ring
        texts, value = [], ring.const(0)
        for _ in range(rng.randrange(1, 4)):
            ctext, c = self.small_coefficient()
            mono = []
            v = c
            for name in ring.names:
                e = rng.randrange(0, 3)
                for _ in range(e):
                    v = v * ring.var(name)
                if e:
                    mono.append(name if e == 1 else f"{name}^{e}")
            texts.append("*".join([f"({ctext})"] + mono))
            value = value + v
        return "(" + " + ".join(texts) + ")", value

    def quoly(self):
        """A quotient of two polynomials that is not a constant."""
        while True:
            nt, n = self.poly()
            dt, d = self.poly()
            if not d.is_zero() and d.constant() is None and not (n / d).is_constant():
                return f"{nt}/{dt}", n / d

    def small_coefficient(self):
        rng = self.rng
        if rng.random() < 0.7:
            n = rng.choice([i for i in range(-5, 6) if i])
            return str(n), self.ring.const(n)
        n, d = rng.choice([-3, -1, 1, 2, 5]), rng.choice([2, 3, 4])
        return f"{n}/{d}", self.ring.const(self.ring.field.num(n, d))

    def any(self):
        if self.ring.names and self.rng.random() < 0.7:
            return self.poly()
        return self.number()

    def nonzero(self):
        while True:
            t, v = self.any()
            if not v.is_zero():
                return t, v

    def matrix(self, rows, cols, density, nonzero=False):
        """(texts, values), lists of rows; zeros written "0" mostly."""
        texts, values = [], []
        for _ in range(rows):
            tr, vr = [], []
            for _ in range(cols):
                if nonzero:
                    t, v = self.nonzero()
                elif self.rng.random() * 100 >= density:
                    t, v = "0", self.ring.const(0)
                else:
                    t, v = self.any()
                tr.append(t)
                vr.append(v)
            texts.append(tr)
            values.append(vr)
        return texts, values

    def integer_matrix(self, rows, cols, nonzero=False):
        texts, values = [], []
        for _ in range(rows):
            tr, vr = [], []
            for _ in range(cols):
                n = 0
                while n == 0:
                    n = self.rng.choice([self.rng.randrange(-50, 51), self.rng.randrange(-10**25, 10**25)])
                    if not nonzero:
                        break
                tr.append(str(n))
                vr.append(n)
            texts.append(tr)
            values.append(vr)
        return texts, values



# -------------------------------------------------------------- matrices

def shape(m):
    return len(m), len(m[0])


def mat_map(m, fn):
    return [[fn(x) for x in row] for row in m]


def mat_zip(a, b, fn):
    return [[fn(x, y) for x, y in zip(ra, rb)] for ra, rb in zip(a, b)]


def transpose(m):
    return [list(col) for col in zip(*m)]


def matmul(ring, a, b):
    zero = ring.const(0)
    out = []
    for row in a:
        r = []
        for j in range(len(b[0])):
            s = zero
            for k, x in enumerate(row):
                if not x.is_zero() and not b[k][j].is_zero():
                    s = s + x * b[k][j]
            r.append(s)
        out.append(r)
    return out


def identity(ring, n):
    return [[ring.const(1 if i == j else 0) for j in range(n)] for i in range(n)]


# --------------------------------------------------------------- running

def run_lines(binary, cwd, lines, timeout=300):
    """Runs the statements one per line; returns the output of each (the
    text between its prompt and the next), or raises when the count of
    prompts does not match."""
    script = "\n".join(lines) + "\n"
    proc = subprocess.run([binary], input=script.encode(), capture_output=True, cwd=cwd, timeout=timeout)
    out = proc.stdout.decode("utf-8", "replace")
    blocks = out.split("\n>")[1:]
    if len(blocks) < len(lines):
        raise RuntimeError(f"{len(blocks)} outputs for {len(lines)} statements; the run ended:\n{out[-2000:]}")
    return blocks[:len(lines)]
