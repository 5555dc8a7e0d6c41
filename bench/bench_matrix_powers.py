#!/usr/bin/env python3
"""Inverses, matrix powers and polynomials of matrices timed through the
real interpreter.

  bench_matrix_powers.py TARVEX [RUNS]

Each figure is the least of RUNS sessions (3 by default) less the least of
a session that only sets the case up; every case checks its value.

- Inverse of a dense integer matrix (entries up to 10^6 in size), n = 20,
  40, 80, through the table primes (&I on, the default) beside Gaussian
  elimination (&I off): the primes should win from n = 40, and doubling n
  cost at most 20x.
- MPowermod of a 10 x 10 matrix of polynomials modulo a monic polynomial
  of degree 6 (modulo 65521), exponents of 100, 200, 400 bits: doubling
  the bits at most 2.5x the time.
- Altpower beside '^' on a dense 100 x 100 integer matrix to the 8th power.
"""
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_arrays import measured  # noqa: E402


def integer_matrix(rng, n, size):
    cells = ",".join(str(rng.randrange(-size, size + 1)) for _ in range(n * n))
    return f"Array a[{n},{n}], b[{n},{n}], c[{n},{n}];\n[a] := [({cells})];\n"


def inverse_case(rng, n, primes):
    setup = ("" if primes else "&I;\n") + integer_matrix(rng, n, 10**6)
    statement = "[b] := 1/[a];\n[c] := [a]*[b];\n!!('trace', Trace[c]);\n"
    return setup, statement, f"trace {n}"


def mpowermod_case(rng, bits):
    n = 10
    cells = ",".join(f"{rng.randrange(1, 9)}*x^{rng.randrange(0, 6)} + {rng.randrange(0, 9)}" for _ in range(n * n))
    setup = (f"&(J = x);\n&(p = 65521);\nArray a[{n},{n}], b[{n},{n}];\n[a] := [({cells})];\n")
    e = rng.randrange(2 ** (bits - 1), 2**bits)
    statement = f"[b] := MPowermod([a], {e}, x^6 + 3*x^2 + 1);\n!!('done', 1);\n"
    return setup, statement, "done 1"


def main(argv):
    binary = os.path.abspath(argv[1])
    runs = int(argv[2]) if len(argv) > 2 else 3
    rng = random.Random(134)
    inv = {}
    for n in (20, 40, 80):
        for primes in (True, False):
            setup, st, expect = inverse_case(rng, n, primes)
            inv[n, primes] = measured(binary, setup, st, expect, runs)
        print(f"inverse n={n}: primes {inv[n, True]:.3f} s, elimination {inv[n, False]:.3f} s")
    for n in (40, 80):
        print(f"doubling to n={n}: primes {inv[n, True] / inv[n // 2, True]:.1f}x (at most 20x)")
    mp = {}
    for bits in (100, 200, 400):
        setup, st, expect = mpowermod_case(rng, bits)
        mp[bits] = measured(binary, setup, st, expect, runs)
        print(f"MPowermod 10 x 10 degree-6 modulus, {bits}-bit exponent: {mp[bits]:.3f} s")
    for bits in (200, 400):
        print(f"doubling to {bits} bits: {mp[bits] / mp[bits // 2]:.2f}x (at most 2.5x)")
    setup = integer_matrix(rng, 100, 9)
    # Altpower and '^' agree: the difference vanishes (sum of its squares).
    measured(binary, setup, "[b] := Altpower([a], 8) - [a]^8;\n[c] := [b]*Trans[b];\n!!('squares', Trace[c]);\n",
             "squares 0", 1)
    alt = measured(binary, setup, "[b] := Altpower([a], 8);\n!!('done', 1);\n", "done 1", runs)
    power = measured(binary, setup, "[b] := [a]^8;\n!!('done', 1);\n", "done 1", runs)
    print(f"100 x 100 integer matrix to the 8th power: Altpower {alt:.3f} s, '^' {power:.3f} s")

if __name__ == "__main__":
    main(sys.argv)
