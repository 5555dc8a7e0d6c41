#!/usr/bin/env python3
"""Verify a generated data directory.

    python3 check_backward.py DIR

Reads every file back the way the start-up loader does (a stream of
whitespace-separated integers; Qerrs by lines first), checks the loader's own
check values, and then checks the contents against independent references:
primality (sympy when available), exact factorials and binomials, the field
axioms of GF(2^8) and GF(2^16), and the defining property of the Lagrange basis
polynomials. Prints every failure and exits 1 if there was any.
"""

import math
import os
import random
import sys
from fractions import Fraction

try:
    import sympy
except ImportError:          # the checks fall back to a deterministic Miller-Rabin
    sympy = None

RADIX = 1 << 28
DEC_RADIX = 10 ** 8

# Built-in names the interpreter itself relies on, by position.
FIXED_BUILTINS = {
    0: "Array", 3: "Chpoly", 6: "Colreduce", 10: "Denom", 12: "Det", 14: "Diag",
    19: "FFLU", 20: "FFLUC", 24: "Func", 25: "Function", 26: "GCD", 29: "Hermite",
    32: "Iszero", 34: "LCM", 42: "MSmith", 45: "Minors", 46: "Minpoly",
    54: "Normalize", 58: "Numer", 63: "Poly", 67: "Pseudet", 68: "RRand",
    70: "Rand", 73: "Redrowech", 75: "Return", 76: "Reverse", 78: "Rowreduce",
    81: "STrans", 83: "Smith", 84: "Sort", 85: "Sparse", 89: "Sqrt",
    101: "Trans", 103: "Var", 108: "ZZ3", 109: "ZZ4",
}
# Built-ins the factor routine evaluates itself; their second word is "*<position>".
INLINE_BUILTINS = {1, 4, 5, 7, 9, 12, 14, 40, 66, 68, 70, 79, 82, 89, 101, 103}
BUILTIN_COUNT = 110


class Failed(Exception):
    pass


failures = []


def check(cond, message):
    if not cond:
        failures.append(message)
    return cond


def require(cond, message):
    """A failure after which the rest of the file cannot be read meaningfully."""
    if not cond:
        raise Failed(message)


# ---------------------------------------------------------------- primality

def is_prime(n):
    if sympy is not None:
        return bool(sympy.isprime(n))
    if n < 2:
        return False
    for p in (2, 3, 5, 7, 11, 13):
        if n % p == 0:
            return n == p
    d, s = n - 1, 0
    while d % 2 == 0:
        d, s = d // 2, s + 1
    for a in (2, 3, 5, 7, 11, 13):          # deterministic far beyond 2^32
        x = pow(a, d, n)
        if x in (1, n - 1):
            continue
        for _ in range(s - 1):
            x = x * x % n
            if x == n - 1:
                break
        else:
            return False
    return True


def next_prime(n):
    n += 1
    while not is_prime(n):
        n += 1
    return n


def check_consecutive_primes(name, values, first=None, last=None):
    """values are primes with no prime between neighbours."""
    if first is not None:
        check(values[0] == first, f"{name}: starts at {values[0]}, expected {first}")
    if last is not None:
        check(values[-1] == last, f"{name}: ends at {values[-1]}, expected {last}")
    if not check(all(is_prime(v) for v in values), f"{name}: holds a number that is not prime"):
        return
    for a, b in zip(values, values[1:]):
        if not check(next_prime(a) == b, f"{name}: {b} does not follow {a} as the next prime"):
            return


# ---------------------------------------------------------------- readers

class Stream:
    """The loader's view of a file: whitespace-separated decimal integers."""

    def __init__(self, name, text):
        self.name = name
        self.tokens = text.split()
        self.pos = 0

    def int(self):
        require(self.pos < len(self.tokens), f"{self.name}: ends early (after {self.pos} values)")
        tok = self.tokens[self.pos]
        self.pos += 1
        try:
            v = int(tok, 10)
        except ValueError:
            raise Failed(f"{self.name}: value {self.pos} is not an integer: {tok!r}")
        require(-(1 << 63) <= v < (1 << 63), f"{self.name}: value {self.pos} overflows a long")
        return v

    def ints(self, n):
        return [self.int() for _ in range(n)]

    def digits(self, n, radix, what):
        """n signed digits, most significant first; returns the value."""
        ds = self.ints(n)
        check(all(abs(d) < radix for d in ds), f"{self.name}: {what}: digit out of range")
        check(all(d >= 0 for d in ds) or all(d <= 0 for d in ds),
              f"{self.name}: {what}: digits of mixed sign")
        check(n == 1 or ds[0] != 0, f"{self.name}: {what}: leading zero digit")
        v = 0
        for d in ds:
            v = v * radix + d
        return v

    def record(self, what, radix=RADIX):
        d = self.int()
        require(d >= 1, f"{self.name}: {what}: digit count {d}")
        return d, self.digits(d, radix, what)

    def at_end(self):
        check(self.pos == len(self.tokens),
              f"{self.name}: {len(self.tokens) - self.pos} values left over after the last table")


def read_text(directory, name):
    with open(os.path.join(directory, name), encoding="ascii") as f:
        return f.read()


# ---------------------------------------------------------------- Qerrs

def check_qerrs(directory):
    with open(os.path.join(directory, "Qerrs"), "rb") as f:
        data = f.read()
    lines = data.split(b"\n")
    require(len(lines) > 381, "Qerrs: fewer than 381 lines")
    for n, line in enumerate(lines[:381], 1):
        check(len(line) < 1023, f"Qerrs: line {n} longer than the loader's line buffer")
        check(0 < len(line) <= 65, f"Qerrs: message {n} has {len(line)} characters (1..65)")
        check(line.isascii() and line.decode().isprintable(),
              f"Qerrs: message {n} holds a character that is not printable ASCII")
        check(line.strip() != b"", f"Qerrs: message {n} is blank")
    words = b"\n".join(lines[381:]).split()
    require(words, "Qerrs: no built-in count")
    require(words[0].isdigit(), "Qerrs: built-in count is not a number")
    count = int(words[0])
    check(count == BUILTIN_COUNT, f"Qerrs: built-in count {count}, expected {BUILTIN_COUNT}")
    require(55 <= count <= 111, f"Qerrs: built-in count {count} outside 55..111")
    require(len(words) == 1 + 2 * (count + 1),
            f"Qerrs: {len(words) - 1} words after the count, expected {2 * (count + 1)}")
    names = [w.decode() for w in words[1::2]]
    seconds = [w.decode() for w in words[2::2]]
    for pos, (name, second) in enumerate(zip(names, seconds)):
        check(len(name) <= 10 and len(second) <= 10,
              f"Qerrs: built-in {pos} '{name} {second}': a word longer than 10 characters")
        check(name[0].isupper(), f"Qerrs: built-in {pos} '{name}' does not begin upper-case")
        if pos in INLINE_BUILTINS:
            check(second == f"*{pos}", f"Qerrs: inline built-in {pos} has second word '{second}'")
        else:
            check(not second.startswith("*"),
                  f"Qerrs: built-in {pos} '{name}' has an inline second word '{second}'")
    for pos in range(1, len(names)):
        check(names[pos - 1].encode() < names[pos].encode(),
              f"Qerrs: '{names[pos - 1]}' and '{names[pos]}' are not in byte order")
    for pos, name in FIXED_BUILTINS.items():
        check(pos < len(names) and names[pos] == name,
              f"Qerrs: position {pos} must be '{name}'")


# ---------------------------------------------------------------- pow228

def binom_index(n, k):
    """The loader's index of C(n, k) in the binomial table."""
    q = n // 3
    g = (q - 1) * (n - 1) // 4 if q % 2 == 1 else (n - 4) * q // 4
    return g + min(k, n - k) - 1


def check_pow228(directory):
    s = Stream("pow228", read_text(directory, "pow228"))
    # Conversion to decimal indexes this table from 1: entry k holds 2^(28k).
    for k in range(1, 131):
        c = s.int()
        require(c >= 1, f"pow228: two_28 entry {k}: digit count {c}")
        v = s.digits((c + 7) // 8, DEC_RADIX, f"two_28 entry {k}")
        check(v == 1 << (28 * k), f"pow228: two_28 entry {k} is not 2^(28*{k})")
        check(c == len(str(v)), f"pow228: two_28 entry {k}: count {c} is not its decimal length")

    factnum = s.ints(22)
    check(factnum[0] == 1 and factnum[1] == 10, "pow228: factnum must begin 1, 10")
    check(factnum[2] >= 14, "pow228: factnum[2] must be at least 14")
    check(all(a < b for a, b in zip(factnum, factnum[1:])), "pow228: factnum not increasing")
    for i, n in enumerate(factnum):
        _, v = s.record(f"facts entry {i}")
        check(v == math.factorial(n), f"pow228: facts entry {i} is not {n}!")
    check(math.factorial(factnum[0]) == 1 and math.factorial(factnum[1]) == 3628800,
          "pow228: machine words of the first two factorials")

    binom = []
    for r in range(1, 51):
        width = 1
        for k in range(1, 3 * r // 2 + 1):
            first = s.int()
            if first < 0:                     # marker: this number and the rest are wider
                width += 1
                first = s.int()
            ds = [first] + s.ints(width - 1)
            check(all(0 <= d < RADIX for d in ds), f"pow228: binomial row {r}: digit out of range")
            v = 0
            for d in ds:
                v = v * RADIX + d
            binom.append(v)
            check(v == math.comb(3 * r, k), f"pow228: binomial row {r}, k = {k} is not C({3 * r}, {k})")
    check(len(binom) == 1900, f"pow228: {len(binom)} binomials, expected 1900")

    def table_comb(n, k):
        if k == 0 or k == n:
            return 1
        return binom[binom_index(n, k)]

    for m in range(1, 51):
        n = 3 * m
        for k in range(1, n):
            check(table_comb(n, k) == math.comb(n, k),
                  f"pow228: the table index of C({n}, {k}) finds a wrong value")
    # Pascal's rule three times over: C(n, k) = sum_j C(3, j) C(n - 3, k - j).
    for m in range(2, 51):
        n = 3 * m
        for k in range(0, n + 1):
            total = sum(math.comb(3, j) * table_comb(n - 3, k - j)
                        for j in range(4) if 0 <= k - j <= n - 3)
            check(table_comb(n, k) == total, f"pow228: C({n}, {k}) breaks Pascal's rule")

    words = s.ints(80)
    check(words == binom[:80], "pow228: the 80 machine words differ from binom[0..79]")
    check(max(words) < (1 << 31), "pow228: a machine word does not fit 32 bits")
    s.at_end()


# ---------------------------------------------------------------- primes

def check_pprods(directory, med_last):
    s = Stream("pprods", read_text(directory, "pprods"))
    primes = s.ints(599)
    prime = [3001, 16087, 16273, 16339, 19997] + primes
    check(prime[603] == 48869, f"pprods: last prime {prime[603]}, expected 48869")
    check_consecutive_primes("pprods", primes, first=next_prime(med_last))
    check(all(p < 65536 for p in primes), "pprods: a prime of 16 bits or more")
    check(all(is_prime(p) for p in prime[:5]), "pprods: a built-in prime is not prime")
    check(len(set(prime)) == 604, "pprods: the table of primes has a repeat")
    product = 1
    num_prod = []
    for j in range(599):
        d, v = s.record(f"num_prod entry {j}")
        product *= primes[j]
        check(v == product, f"pprods: num_prod entry {j} is not the product of the first {j + 1} primes")
        num_prod.append((d, v))
    check(num_prod[598][0] == 332, f"pprods: num_prod entry 598 has {num_prod[598][0]} digits, expected 332")
    s.at_end()

    # The start-up Chinese-remainder constants must exist: each prime is
    # invertible modulo every later one.
    def inverse(a, m):
        r0, r1, t0, t1 = m, a % m, 0, 1
        while r1:
            q = r0 // r1
            r0, r1, t0, t1 = r1, r0 - q * r1, t1, t0 - q * t1
        require(r0 == 1, f"pprods: {a} is not invertible modulo {m}")
        return t0 % m

    for j in range(598):
        m = prime[j + 6]
        inv = 1
        for i in range(5, j + 6):
            inv = inv * inverse(prime[i], m) % m
        check(inv * num_prod[j][1] % m == 1, f"pprods: invs_prod entry {j} fails")


def check_primelist(directory):
    s = Stream("primelist", read_text(directory, "primelist"))
    small = s.ints(1229)
    med = s.ints(2466)
    s.at_end()
    check(med[2465] == 42349, f"primelist: med_prime entry 2465 is {med[2465]}, expected 42349")
    check(small[1228] != 0, "primelist: small_prime entry 1228 is 0")
    check(all(0 < v <= 32767 for v in small), "primelist: a small prime does not fit a short")
    reference = list(sympy.primerange(2, 10000)) if sympy else [p for p in range(10000) if is_prime(p)]
    check(small == reference, "primelist: small_prime is not every prime below 10,000")
    check_consecutive_primes("primelist (medium)", med, last=42349)
    check(med[1284] == 30011, "primelist: med_prime entry 1284 is not 30,011")
    check(len(small) + len(med) > 157, "primelist: global_list needs small_prime[7..157]")
    return med[-1]


def check_bprimes(directory, pprods_last=48869):
    s = Stream("bprimes", read_text(directory, "bprimes"))
    b = s.ints(1516)
    s.at_end()
    check(b[1515] == 65521, f"bprimes: entry 1515 is {b[1515]}, expected 65521")
    check_consecutive_primes("bprimes", b, first=next_prime(pprods_last))
    check(next_prime(b[-1]) >= 65536, "bprimes: a prime below 2^16 is missing at the end")


def check_lrgpmes(directory):
    s = Stream("lrgpmes", read_text(directory, "lrgpmes"))
    lp = s.ints(2000)
    s.at_end()
    check(lp[1999] == 2147483629, f"lrgpmes: entry 1999 is {lp[1999]}, expected 2147483629")
    check_consecutive_primes("lrgpmes", lp)
    check(next_prime(lp[-1]) > 2147483644, "lrgpmes: a larger prime up to 2147483644 is missing")
    check(lp[-1] < (1 << 31), "lrgpmes: a prime does not fit a signed 32-bit word")


# ---------------------------------------------------------------- finite fields

def gf256_mul(a, b):
    """Reference product in GF(2)[a]/(a^8 + a^4 + a^3 + a + 1): carry-less multiply, reduce."""
    p = 0
    for i in range(8):
        if b >> i & 1:
            p ^= a << i
    for i in range(14, 7, -1):
        if p >> i & 1:
            p ^= 0x11B << (i - 8)
    return p


def check_f256d(directory):
    s = Stream("f256d", read_text(directory, "f256d"))
    inv = [0] + s.ints(255)
    check(inv[255] == 28, f"f256d: inverse of 255 is {inv[255]}, expected 28")
    prod = [[0] * 256 for _ in range(256)]
    for a in range(256):
        for b in range(a, 256):
            prod[a][b] = s.int()
    check(prod[255][255] == 19, f"f256d: 255*255 is {prod[255][255]}, expected 19")
    sqr = s.ints(256)
    check(sqr[255] == 78, f"f256d: square root of 255 is {sqr[255]}, expected 78")
    s.at_end()
    for a in range(256):
        for b in range(a):
            prod[a][b] = prod[b][a]           # the loader mirrors the upper triangle

    check(all(0 <= v < 256 for row in prod for v in row) and all(0 <= v < 256 for v in inv + sqr),
          "f256d: a value outside 0..255")
    bad = [(a, b) for a in range(256) for b in range(256) if prod[a][b] != gf256_mul(a, b)]
    check(not bad, f"f256d: product differs from GF(2^8) mod 0x11B at {bad[:3]}")
    check(all(prod[a][inv[a]] == 1 for a in range(1, 256)), "f256d: a*inv(a) != 1")
    check(all(prod[sqr[x]][sqr[x]] == x for x in range(256)), "f256d: sqr(x)^2 != x")
    return prod, inv, sqr


def check_f2t16d(directory, prod8, inv8, sqr8):
    s = Stream("f2t16d", read_text(directory, "f2t16d"))
    exp = s.ints(65536)
    inv = [0] + s.ints(65535)
    log = [0] + s.ints(65535)
    sqr = s.ints(65536)
    s.at_end()
    check(exp[65535] == 1, "f2t16d: exp[65535] is not 1")
    check(exp[64507] == 14, f"f2t16d: exp[64507] is {exp[64507]}, expected 14")
    check(inv[65535] == 3602, f"f2t16d: inv[65535] is {inv[65535]}, expected 3602")
    check(log[65535] == 483, f"f2t16d: log[65535] is {log[65535]}, expected 483")
    check(sqr[65535] == 41708, f"f2t16d: sqr[65535] is {sqr[65535]}, expected 41708")
    for t in (exp, inv, log, sqr):
        require(all(0 <= v < 65536 for v in t), "f2t16d: a value outside 0..65535")

    # Reference: the tower GF(2^8)[b]/(b^2 + 2b + 1), v = 256h + l standing for h*b + l.
    check(all(gf256_mul(r, r) ^ gf256_mul(2, r) ^ 1 for r in range(256)),
          "f2t16d: b^2 + 2b + 1 has a root in GF(2^8), so the tower is no field")

    ref8 = [[gf256_mul(a, b) for b in range(256)] for a in range(256)]
    times2 = ref8[2]

    def mul(x, y):
        h1, l1, h2, l2 = x >> 8, x & 255, y >> 8, y & 255
        hh = ref8[h1][h2]
        return (times2[hh] ^ ref8[h1][l2] ^ ref8[l1][h2]) << 8 | (hh ^ ref8[l1][l2])

    check(sorted(exp[:65535]) == list(range(1, 65536)), "f2t16d: exp[0..65534] is not a permutation")
    g = exp[1]
    check(all(mul(exp[i], g) == exp[i + 1] for i in range(65535)),
          "f2t16d: exp[i+1] != exp[i] * exp[1] in the tower field")
    check(all(exp[log[x]] == x for x in range(1, 65536)), "f2t16d: exp[log[x]] != x")
    check(all(log[exp[i]] == i for i in range(65535)), "f2t16d: log[exp[i]] != i")
    check(all(mul(x, inv[x]) == 1 for x in range(1, 65536)), "f2t16d: x*inv(x) != 1")
    check(all(mul(sqr[x], sqr[x]) == x for x in range(65536)), "f2t16d: sqr(x)^2 != x")
    rng = random.Random(20240607)
    for _ in range(20000):
        i, j = rng.randrange(65535), rng.randrange(65535)
        if not check(mul(exp[i], exp[j]) == exp[(i + j) % 65535], "f2t16d: exp[i]*exp[j] != exp[i+j]"):
            break
    # GF(2^8) is the subfield 0..255, so its arithmetic can be read from these tables.
    check(all(mul(a, b) == prod8[a][b] for a in range(256) for b in range(256)),
          "f2t16d: the product on 0..255 differs from f256d")
    check(inv[1:256] == inv8[1:256], "f2t16d: inverses on 1..255 differ from f256d")
    check(sqr[:256] == sqr8, "f2t16d: square roots on 0..255 differ from f256d")


# ---------------------------------------------------------------- chdat

def check_chdat(directory):
    s = Stream("chdat", read_text(directory, "chdat"))
    for r in range(1, 38):
        m = r + 1
        for j in range(r + 1):
            i = j + 1
            what = f"row {r}, entry {j}"
            dd, den = s.record(what + " denominator")
            check(den > 0, f"chdat: {what}: denominator not positive")
            if den == 1:
                check(dd == 1, f"chdat: {what}: denominator 1 must be written '1 1'")
            degree = s.int()
            require(degree == r, f"chdat: {what}: degree {degree}, expected {r}")
            num = [s.record(f"{what} coefficient")[1] for _ in range(degree + 1)]
            check(num[0] != 0, f"chdat: {what}: leading coefficient 0")
            check(math.gcd(math.gcd(*num), den) == 1, f"chdat: {what}: not in lowest terms")
            for x in range(1, m + 1):
                value = Fraction(0)
                for c in num:
                    value = value * x + c
                value /= den
                check(value == (1 if x == i else 0),
                      f"chdat: {what}: L_{i}({x}) = {value}, expected {1 if x == i else 0}")
    s.at_end()


# ---------------------------------------------------------------- main

def main(argv):
    if len(argv) != 2:
        sys.exit("usage: check_backward.py DIR")
    directory = argv[1]

    def run(name, step, *args):
        try:
            return step(directory, *args)
        except Failed as e:
            failures.append(str(e))
        except (OSError, UnicodeDecodeError) as e:
            failures.append(f"{name}: {e}")
        except IndexError:
            failures.append(f"{name}: cannot be read to its end")
        return None

    run("Qerrs", check_qerrs)
    run("pow228", check_pow228)
    med_last = run("primelist", check_primelist)
    run("pprods", check_pprods, med_last or 42349)
    run("bprimes", check_bprimes)
    run("lrgpmes", check_lrgpmes)
    f256 = run("f256d", check_f256d)
    if f256 is not None:
        run("f2t16d", check_f2t16d, *f256)
    run("chdat", check_chdat)

    if sympy is None:
        print("note: sympy not found; primality checked by Miller-Rabin")
    if failures:
        for f in failures:
            print("FAIL:", f)
        print(f"{len(failures)} check(s) failed in {directory}")
        return 1
    print(f"all data files in {directory} verified")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
