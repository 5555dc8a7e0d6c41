#!/usr/bin/env python3
"""Hermite forms of integer matrices whose entries pass 2^56 (beside ones
below it), square, wide, tall and of lower rank, dense and sparse, with
and without transforms, each a session under a limit of processor time (a
160 x 160 matrix of 20-digit entries once gave no answer in minutes).
Checked as hermite_square_lattice.py and hermite_lower_rank.py check
smaller entries: a canonical form, the rank as the value, every column of
A in H's lattice and |det A| = det H (square), A t1 = H and t1 t3 = I with
the transforms, the steps' form with a transform (wide, tall, lower rank),
H the form of the independent rows beside their combination (rank n - 1).

  hermite_large_entries.py TARVEX [SEED] [LIMIT_SCALE]
"""
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.set_int_max_str_digits(0)
from hermite_lower_rank import large_case, small_case  # noqa: E402
from hermite_square_lattice import hermite_case, tall_case, transpose, wide_case  # noqa: E402
from normal_forms_sizes import LIMIT_SCALE, run_cases  # noqa: E402


def entries(rng, rows, cols, digits):
    """Entries of up to this many digits; with digits 17 about half of them
    pass 2^56 (7.2e16), the rest fall below it."""
    top = 10 ** digits - 1
    return [[rng.randint(-top, top) for _ in range(cols)] for _ in range(rows)]


def lower(rng, R, K, r, digits):
    m = entries(rng, r, K, digits)
    el = [[rng.randint(-3, 3) for _ in range(r)] for _ in range(R)]
    for t, i in enumerate(rng.sample(range(R), r)):
        el[i] = [0] * r
        el[i][t] = rng.choice((1, 2, 3))
    return [[sum(el[i][t] * m[t][j] for t in range(r)) for j in range(K)] for i in range(R)]


def main(argv):
    binary = os.path.abspath(argv[1])
    rng = random.Random(int(argv[2]) if len(argv) > 2 else 66)
    LIMIT_SCALE[0] = int(argv[3]) if len(argv) > 3 else 1
    cases = []
    for c, (n, digits) in enumerate(((12, 16), (20, 17), (24, 20), (31, 40), (40, 17), (17, 90))):
        sparse = c % 3 == 2
        cases.append((f"square {'sparse' if sparse else 'dense'} {n}x{n} of {digits} digits",
                      lambda n=n, digits=digits, sparse=sparse, c=c: hermite_case(
                          binary, entries(rng, n, n, digits), sparse, 10, True, c % 2 == 0)))
    for c, (r, k, digits) in enumerate(((14, 17, 20), (25, 30, 17), (20, 21, 40))):
        sparse = c == 1
        cases.append((f"wide {'sparse' if sparse else 'dense'} {r}x{k} of {digits} digits",
                      lambda r=r, k=k, digits=digits, sparse=sparse: wide_case(
                          binary, entries(rng, r, k, digits), sparse, 10, True)))
        cases.append((f"tall {'sparse' if sparse else 'dense'} {k}x{r} of {digits} digits",
                      lambda r=r, k=k, digits=digits, sparse=sparse: tall_case(
                          binary, transpose(entries(rng, r, k, digits)), sparse, 10, True)))
    for c, (R, K, r, digits) in enumerate(((20, 20, 15, 20), (24, 18, 12, 17), (16, 26, 13, 30))):
        sparse = c == 2
        cases.append((f"{'sparse' if sparse else 'dense'} {R}x{K} of rank {r}, {digits} digits",
                      lambda R=R, K=K, r=r, digits=digits, sparse=sparse: small_case(
                          binary, lower(rng, R, K, r, digits), sparse)))
    # The sizes of a user's wait.
    cases.append(("square dense 160x160 of 20 digits", lambda: hermite_case(
        binary, entries(rng, 160, 160, 20), False, 10, False)))
    cases.append(("tall dense 90x80 of 20 digits", lambda: tall_case(
        binary, transpose(entries(rng, 80, 90, 20)), False, 5, False)))
    cases.append(("dense 80x80 of rank 79, 20 digits", lambda: large_case(binary, rng, 80, False, 10**20 - 1, 5)))
    cases.append(("square dense 60x60 of 20 digits with transforms", lambda: hermite_case(
        binary, entries(rng, 60, 60, 20), False, 10, False, True)))
    return run_cases(cases)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
