#!/usr/bin/env python3
"""A SIGINT while a sparse integer determinant by interpolation works
modulo one of its primes (interrupts allowed at any time, &Z), then a
panic stop at the level it opens: the stored entries are integers again,
those that vanished modulo the prime are back in their rows, and the same
determinant comes out again.

  sparse_polydet_interrupt.py TARVEX

The interrupt comes when the interpreter has spent a fraction of the CPU
time the uninterrupted determinant took, so it lands inside the work on the
images on any build and any load.
"""
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from interrupts import Session, answer, costed_answer, interrupt_modular  # noqa: E402
from sparse_polydet_differential import banded  # noqa: E402

N = 60
# A matrix of 60 rows starts with the prime 48871: these entries vanish
# modulo it, and the large one is changed by it.
WATCHED = {(1, 6): "48871*x+48871", (3, 10): "48871", (5, 5): "123456789*x-98765"}
# CPU seconds the determinant must take for its middle to be far from both
# ends (it takes about 0.4 s on a fast machine; the interrupt is tried at
# several fractions of it).
MIN_COST = 0.2


def main(argv):
    binary = os.path.abspath(argv[1])
    cells = banded(random.Random(7), N)
    for (i, j), t in WATCHED.items():
        cells[i - 1, j - 1] = t
    s = Session(binary)
    setup = ["&(J = x):", "&(J = y):", f"Array m[{N},{N}] Sparse:"]
    setup += [f"m[{i + 1},{j + 1}] := {t}:" for (i, j), t in sorted(cells.items())]
    setup += ["&(L = 1):"]
    for line in setup:
        s.send(line + "\n")
        s.expect(">", 30)
    entries = {k: answer(s, f"m[{k[0]},{k[1]}];") for k in WATCHED}
    want, cost = costed_answer(s, "Det [m];", 120)
    assert "x" in want and "y" in want, want
    assert cost >= MIN_COST, f"the determinant took only {cost:.2f} s of CPU time: make the matrix larger"
    s.send("&Z;\n")
    s.expect(">", 10)
    interrupt_modular(s, "Det [m];", cost, want)
    s.send("&@;\n")
    s.expect(">", 30)
    s.send("&Z;\n")
    s.expect(">", 10)
    for k, v in entries.items():
        got = answer(s, f"m[{k[0]},{k[1]}];")
        assert got == v, f"m{k}: {got} after the panic stop, {v} before"
    assert answer(s, "1 + 48871;") == "48872", "integer arithmetic after the panic stop"
    assert answer(s, "Det [m];", 120) == want, "the determinant after the panic stop"
    s.close()
    print("sparse polydet interrupt: ok")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
