#!/usr/bin/env python3
"""Generate the start-up data directory BACKWARD/.

    python3 gen_backward.py OUTDIR

writes Qerrs, pow228, pprods, primelist, bprimes, lrgpmes, f256d, f2t16d and
chdat into OUTDIR. Every table is computed here from its mathematical
definition; the only hand-written inputs are the error texts and the built-in
name table beside this script, and the few parameters fixed below (field
polynomials, generator, factorial arguments, prime counts).

Values are whitespace-separated decimal integers. A big integer is written as
a digit count followed by that many digits, most significant first, every
digit carrying the number's sign. Only Qerrs has a line structure that the
reader relies on.
"""

import math
import os
import sys
from fractions import Fraction

HERE = os.path.dirname(os.path.abspath(__file__))
MESSAGES_FILE = os.path.join(HERE, "qerrs_messages.txt")
BUILTINS_FILE = os.path.join(HERE, "builtin_names.tsv")

RADIX = 1 << 28          # digit radix of ordinary big integers
DEC_RADIX = 10 ** 8      # digit radix of the powers of 2^28 used by decimal conversion

NUM_MESSAGES = 381
MESSAGE_WIDTH = 65       # the reader keeps at most this many bytes of a line
NAME_WIDTH = 10          # built-in names and second words
NUM_BUILTIN_SLOTS = 112  # the table has one slot more than the largest count allowed

NUM_SMALL_PRIMES = 1229  # every prime below 10,000
NUM_MED_PRIMES = 2466    # consecutive primes ending at LAST_MED_PRIME
LAST_MED_PRIME = 42349
NUM_PPRODS = 599         # consecutive primes after LAST_MED_PRIME, for modular images
NUM_BPRIMES = 1516       # the rest of the primes below 2^16
NUM_LRGPMES = 2000       # the largest primes not above the largest accepted modulus
LARGEST_MODULUS = 2147483644

NUM_TWO_28 = 130         # 2^(28k) for k = 1..130
# Factorials stored whole. The first two are fixed (machine words 1 and 10!),
# and the third must exceed 13 so that machine-integer factorials (at most 13!)
# only ever start from the first two entries.
FACTNUM = [1, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 125, 150, 200, 250,
           300, 400, 500, 750, 1000, 1500, 2000]
BINOM_ROWS = 50          # row m holds C(3m, k) for k = 1..floor(3m/2)
BINOM_WORD_ROWS = 10     # rows whose values are also given as machine words

GF256_POLY = 0x11B       # a^8 + a^4 + a^3 + a + 1
# GF(2^16) = GF(2^8)[b] / (b^2 + TOWER_B1*b + TOWER_B0); v = 256*h + l is h*b + l.
TOWER_B1 = 0x02
TOWER_B0 = 0x01
GF65536_GENERATOR = 0x0107

CHDAT_ROWS = 37          # rows r = 1..37: basis polynomials for the points 1..r+1


# ---------------------------------------------------------------- primes

def sieve(limit):
    """All primes below limit."""
    flags = bytearray([1]) * limit
    flags[0:2] = b"\0\0"
    for p in range(2, math.isqrt(limit - 1) + 1):
        if flags[p]:
            flags[p * p::p] = bytes(len(range(p * p, limit, p)))
    return [i for i, f in enumerate(flags) if f]


def primes_in(lo, hi, base_primes):
    """Primes in lo..hi (inclusive) by a segmented sieve; base_primes must reach sqrt(hi)."""
    assert base_primes[-1] ** 2 > hi
    flags = bytearray([1]) * (hi - lo + 1)
    for p in base_primes:
        if p * p > hi:
            break
        start = max(p * p, (lo + p - 1) // p * p)
        flags[start - lo::p] = bytes(len(range(start, hi + 1, p)))
    return [lo + i for i, f in enumerate(flags) if f and lo + i >= 2]


def prime_tables():
    below_2_16 = sieve(1 << 16)
    small = [p for p in below_2_16 if p < 10000]
    last_med = below_2_16.index(LAST_MED_PRIME)
    med = below_2_16[last_med - NUM_MED_PRIMES + 1:last_med + 1]
    pprods = below_2_16[last_med + 1:last_med + 1 + NUM_PPRODS]
    bprimes = below_2_16[last_med + 1 + NUM_PPRODS:]
    # Prime gaps near 2^31 average about 21, so this window holds well over 2,000.
    window = primes_in(LARGEST_MODULUS - 60000, LARGEST_MODULUS, below_2_16)
    lrg = window[-NUM_LRGPMES:]
    assert len(small) == NUM_SMALL_PRIMES
    assert len(med) == NUM_MED_PRIMES
    assert len(pprods) == NUM_PPRODS
    assert len(bprimes) == NUM_BPRIMES
    assert len(lrg) == NUM_LRGPMES
    return small, med, pprods, bprimes, lrg


# ---------------------------------------------------------------- number records

def radix_digits(n, radix):
    """Digits of |n| in the radix, most significant first (0 is one digit 0)."""
    n = abs(n)
    out = []
    while True:
        n, d = divmod(n, radix)
        out.append(d)
        if n == 0:
            return out[::-1]


def record28(n):
    """A base-2^28 record: digit count, then the signed digits."""
    digits = radix_digits(n, RADIX)
    if n < 0:
        digits = [-d for d in digits]
    return " ".join(map(str, [len(digits)] + digits))


def lines_of(values, per_line=16):
    values = list(values)
    return [" ".join(map(str, values[i:i + per_line]))
            for i in range(0, len(values), per_line)]


# ---------------------------------------------------------------- file contents

def make_primelist(small, med):
    return lines_of(small) + lines_of(med)


def make_pprods(pprods):
    out = lines_of(pprods)
    product = 1
    for p in pprods:
        product *= p
        out.append(record28(product))
    return out


def binomial_rows():
    """Rows m = 1..BINOM_ROWS: C(3m, k) for k = 1..floor(3m/2)."""
    return [[math.comb(3 * m, k) for k in range(1, 3 * m // 2 + 1)]
            for m in range(1, BINOM_ROWS + 1)]


def make_pow228():
    out = []
    for k in range(1, NUM_TWO_28 + 1):
        n = 1 << (28 * k)
        dec_digits = radix_digits(n, DEC_RADIX)
        assert len(dec_digits) == -(-len(str(n)) // 8)
        out.append(" ".join(map(str, [len(str(n))] + dec_digits)))
    out += lines_of(FACTNUM)
    out += [record28(math.factorial(n)) for n in FACTNUM]
    # Binomials are bare digits; a row starts at one digit, and a -1 before a
    # number widens it and the rest of its row by one digit.
    rows = binomial_rows()
    for row in rows:
        width = 1
        for v in row:
            digits = radix_digits(v, RADIX)
            assert width <= len(digits) <= width + 1, "row width may grow by one digit at a time"
            marker = []
            if len(digits) > width:
                width += 1
                marker = [-1]
            out.append(" ".join(map(str, marker + digits)))
    words = [v for row in rows[:BINOM_WORD_ROWS] for v in row]
    assert len(words) == 80 and max(words) < RADIX
    out += lines_of(words)
    return out


# GF(2^8) ------------------------------------------------------------

def gf256_product_table():
    """table[a][b] = a*b in GF(2)[a]/(GF256_POLY); each row is built by linearity in b."""
    table = []
    for a in range(256):
        shifted = []             # a * x^i
        v = a
        for _ in range(8):
            shifted.append(v)
            v <<= 1
            if v & 0x100:
                v ^= GF256_POLY
        row = [0] * 256
        for b in range(1, 256):
            low = b & -b
            row[b] = row[b ^ low] ^ shifted[low.bit_length() - 1]
        table.append(row)
    return table


def frobenius_inverse(mul, size):
    """Square roots: the inverse of x -> x*x, a bijection in characteristic 2."""
    root = [None] * size
    for y in range(size):
        sq = mul(y, y)
        assert root[sq] is None
        root[sq] = y
    return root


def make_f256d(mul8):
    inv = [0] * 256
    for a in range(1, 256):
        inv[a] = next(b for b in range(1, 256) if mul8[a][b] == 1)
    sqrt8 = frobenius_inverse(lambda x, y: mul8[x][y], 256)
    upper = (mul8[a][b] for a in range(256) for b in range(a, 256))
    return lines_of(inv[1:]) + lines_of(upper) + lines_of(sqrt8)


# GF(2^16) -----------------------------------------------------------

def gf65536_mul_fn(mul8):
    def mul(x, y):
        h1, l1, h2, l2 = x >> 8, x & 255, y >> 8, y & 255
        hh = mul8[h1][h2]
        # b^2 = TOWER_B1*b + TOWER_B0 (characteristic 2, so minus is plus)
        high = mul8[TOWER_B1][hh] ^ mul8[h1][l2] ^ mul8[l1][h2]
        low = mul8[TOWER_B0][hh] ^ mul8[l1][l2]
        return (high << 8) | low
    return mul


def make_f2t16d(mul8):
    mul = gf65536_mul_fn(mul8)
    order = 65535
    exp = [0] * (order + 1)
    log = [0] * (order + 1)
    v = 1
    for i in range(order):
        exp[i] = v
        v = mul(v, GF65536_GENERATOR)
    assert v == 1 and len(set(exp[:order])) == order, "generator must have order 65535"
    exp[order] = 1
    for i in range(order):
        log[exp[i]] = i
    inv = [0] * (order + 1)
    for x in range(1, order + 1):
        inv[x] = exp[(order - log[x]) % order]
    sqrt16 = frobenius_inverse(mul, order + 1)
    return lines_of(exp) + lines_of(inv[1:]) + lines_of(log[1:]) + lines_of(sqrt16)


# chdat --------------------------------------------------------------

def lagrange_basis(m, i):
    """L_i for the points 1..m, as (denominator, numerator coefficients from x^(m-1) down).

    L_i(x) = prod_{t != i} (x - t) / prod_{t != i} (i - t), in lowest terms with a
    positive denominator."""
    poly = [1]                                   # highest power first
    for t in range(1, m + 1):
        if t != i:
            poly = [a - t * b for a, b in zip(poly + [0], [0] + poly)]
    weight = math.prod(i - t for t in range(1, m + 1) if t != i)
    coefs = [Fraction(c, weight) for c in poly]
    den = math.lcm(*(c.denominator for c in coefs))
    num = [int(c * den) for c in coefs]
    return den, num


def make_chdat():
    out = []
    for r in range(1, CHDAT_ROWS + 1):
        m = r + 1
        for i in range(1, m + 1):
            den, num = lagrange_basis(m, i)
            out.append(record28(den))
            out.append(str(len(num) - 1))
            out += [record28(c) for c in num]
    return out


# Qerrs --------------------------------------------------------------

def text_lines(path):
    """Non-empty lines that are not comments, without their line ends."""
    with open(path, encoding="ascii") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if line.strip() and not line.startswith("#"):
                yield number, line


def read_messages(path):
    messages = []
    for number, line in text_lines(path):
        code, sep, text = line.partition("\t")
        where = f"{path}:{number}"
        if not sep or not code.isdigit() or int(code) != len(messages) + 1:
            sys.exit(f"{where}: expected code {len(messages) + 1}, a tab and the text")
        if not text.strip() or len(text) > MESSAGE_WIDTH or not text.isprintable():
            sys.exit(f"{where}: text must be 1..{MESSAGE_WIDTH} printable characters")
        messages.append(text)
    if len(messages) != NUM_MESSAGES:
        sys.exit(f"{path}: {len(messages)} messages, {NUM_MESSAGES} needed")
    return messages


def read_builtins(path):
    pairs = []
    for number, line in text_lines(path):
        fields = line.split("\t")
        where = f"{path}:{number}"
        if len(fields) != 3 or fields[0] != str(len(pairs)):
            sys.exit(f"{where}: expected position {len(pairs)}, name and second word, tab-separated")
        _, name, word = fields
        for w in (name, word):
            if not w or len(w) > NAME_WIDTH or not w.isascii() or any(c.isspace() for c in w):
                sys.exit(f"{where}: '{w}' must be 1..{NAME_WIDTH} non-blank characters")
        if not name[0].isupper():
            sys.exit(f"{where}: '{name}' must begin with an upper-case letter")
        if word.startswith("*") and word != f"*{len(pairs)}":
            sys.exit(f"{where}: an inline code must be '*' followed by the position")
        if pairs and pairs[-1][0].encode() >= name.encode():
            sys.exit(f"{where}: '{name}' does not sort after '{pairs[-1][0]}'")
        pairs.append((name, word))
    if not 56 <= len(pairs) <= NUM_BUILTIN_SLOTS:
        sys.exit(f"{path}: {len(pairs)} built-ins; the table takes 56 to {NUM_BUILTIN_SLOTS}")
    return pairs


def make_qerrs():
    messages = read_messages(MESSAGES_FILE)
    pairs = read_builtins(BUILTINS_FILE)
    # The count is the last position, not the number of pairs.
    return messages + [str(len(pairs) - 1)] + [f"{n} {w}" for n, w in pairs]


# ---------------------------------------------------------------- main

def main(argv):
    if len(argv) != 2:
        sys.exit("usage: gen_backward.py OUTDIR")
    outdir = argv[1]
    os.makedirs(outdir, exist_ok=True)

    small, med, pprods, bprimes, lrg = prime_tables()
    mul8 = gf256_product_table()
    files = {
        "Qerrs": make_qerrs(),
        "pow228": make_pow228(),
        "pprods": make_pprods(pprods),
        "primelist": make_primelist(small, med),
        "bprimes": lines_of(bprimes),
        "lrgpmes": lines_of(lrg),
        "f256d": make_f256d(mul8),
        "f2t16d": make_f2t16d(mul8),
        "chdat": make_chdat(),
    }
    for name, lines in files.items():
        # Write beside the target and rename, so that an interrupted run never
        # leaves a truncated file that looks up to date.
        path = os.path.join(outdir, name)
        with open(path + ".tmp", "w", encoding="ascii", newline="\n") as f:
            f.write("\n".join(lines) + "\n")
        os.replace(path + ".tmp", path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
