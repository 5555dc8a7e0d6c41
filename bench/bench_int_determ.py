#!/usr/bin/env python3
"""Integer determinants of random dense matrices, timed through the real
interpreter: the default road (Chinese remaindering over the table primes,
over word primes once the size bound passes the tables) beside fraction-free
elimination (&(K = 1); &(D = 0);).

  bench_int_determ.py TARVEX [RUNS] [LIMIT]

Random n x n matrices of 10-digit entries (n = 200, 240, 280, 400) and of
60-digit entries (n = 30, 60, 100). Each figure is the least of RUNS
sessions (3 by default) less the least of a session that only sets the case
up. A fraction-free run longer than LIMIT seconds (120 by default) is cut
off and shown as "> LIMIT s". The default road's value is checked against
the fraction-free value when that finished, else against the determinant
modulo three primes computed here in Python.
"""
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_arrays import session  # noqa: E402
from bench_polydet import session as timed  # noqa: E402

CHECK_PRIMES = (1000000007, 998244353, 2305843009213693951)


def det_mod(a, p):
    a = [[x % p for x in row] for row in a]
    n, d = len(a), 1
    for k in range(n):
        r = next((i for i in range(k, n) if a[i][k]), None)
        if r is None:
            return 0
        if r != k:
            a[k], a[r] = a[r], a[k]
            d = -d
        d = d * a[k][k] % p
        inv = pow(a[k][k], p - 2, p)
        for i in range(k + 1, n):
            m = a[i][k] * inv % p
            if m:
                rk, ri = a[k], a[i]
                for j in range(k + 1, n):
                    ri[j] = (ri[j] - m * rk[j]) % p
    return d % p


def value_of(out):
    # A long value goes on over several lines, each but the last ended by '`'.
    at = out.find("\ndet ")
    if at < 0:
        at = out.find(">det ")
    if at < 0:
        sys.exit(f"no value in:\n{out[-600:]}")
    text = out[at + 5:].split("\n\n")[0]
    return int("".join(text.replace("`", " ").split()))


def run_case(binary, n, digits, runs, limit, rng):
    lo, hi = 10 ** (digits - 1), 10 ** digits - 1
    a = [[rng.randint(lo, hi) * rng.choice((1, -1)) for _ in range(n)] for _ in range(n)]
    cells = ",".join(str(a[i][j]) for j in range(n) for i in range(n))
    setup = f"Array a[{n},{n}];\n[a] := [({cells})];\n"
    show = "!!('det', d);\n"
    base = min(session(binary, setup)[0] for _ in range(runs))
    best, value = 1e300, None
    for _ in range(runs):
        took, out = timed(binary, setup + "d := Det([a]);\n" + show, 10 * limit)
        if took is None:
            sys.exit(f"n={n}: the default road passed {10 * limit} s")
        best, value = min(best, took), value_of(out)
    took, out = timed(binary, setup + "&(K = 1); &(D = 0); d := Det([a]);\n" + show, limit)
    if took is None:
        ff = f"> {limit:.0f} s"
        for p in CHECK_PRIMES:
            if value % p != det_mod(a, p):
                sys.exit(f"n={n}, {digits} digits: wrong determinant modulo {p}")
    else:
        ff = f"{took - base:.3f} s"
        if value_of(out) != value:
            sys.exit(f"n={n}, {digits} digits: the two roads disagree")
    print(f"n={n}, {digits}-digit entries, |det| {abs(value).bit_length()} bits: "
          f"default {max(best - base, 1e-4):.3f} s, fraction-free {ff}", flush=True)


def main(argv):
    sys.set_int_max_str_digits(0)
    binary = os.path.abspath(argv[1])
    runs = int(argv[2]) if len(argv) > 2 else 3
    limit = float(argv[3]) if len(argv) > 3 else 120.0
    rng = random.Random(47)
    for n in (200, 240, 280, 400):
        run_case(binary, n, 10, runs, limit, rng)
    for n in (30, 60, 100):
        run_case(binary, n, 60, runs, limit, rng)


if __name__ == "__main__":
    main(sys.argv)
