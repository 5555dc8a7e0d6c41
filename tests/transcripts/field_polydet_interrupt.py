#!/usr/bin/env python3
"""A SIGINT while an integer determinant over the field Q(sqrt 123456789)
works modulo one of its auxiliary primes (interrupts allowed at any time,
&Z), then a panic stop at the level it opens, for a sparse and a dense
matrix: the relation is the integer one again (t^2 is 123456789, not its
residue), the entries are the integers they were, and the determinant
comes out as before.

  field_polydet_interrupt.py TARVEX

The interrupt comes when the interpreter has spent a fraction of the CPU
time the uninterrupted determinant took, not after a fixed sleep.
"""
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from field_polydet_differential import T, banded, random_cells, text  # noqa: E402
from interrupts import Session, answer, costed_answer, interrupt_modular  # noqa: E402

FIELD = [("t", T ** 2 - 123456789)]
# Entries whose residues would differ from them.
WATCHED = {(1, 2): "987654321*x + 123456*t", (3, 3): "x - 555555555*t"}
# CPU seconds a determinant must take for its middle to be far from both ends.
MIN_COST = 0.4


def interrupted(s, name, entries, want, cost):
    s.send("&Z;\n")
    s.expect(">", 10)
    # The interrupt must land while an image is computed.
    interrupt_modular(s, f"Det [{name}];", cost, want)
    s.send("&@;\n")
    s.expect(">", 30)
    s.send("&Z;\n")
    s.expect(">", 10)
    assert answer(s, "t^2;") == "123456789", f"{name}: the relation after the panic stop"
    assert answer(s, "1 + 65521;") == "65522", f"{name}: integer arithmetic after the panic stop"
    for k, v in entries.items():
        got = answer(s, f"{name}[{k[0]},{k[1]}];")
        assert got == v, f"{name}{k}: {got} after the panic stop, {v} before"
    assert answer(s, f"Det [{name}];", 300) == want, f"{name}: the determinant after the panic stop"


def main(argv):
    binary = os.path.abspath(argv[1])
    rng = random.Random(5)
    sparse = banded(rng, 24, FIELD)
    dense = random_cells(rng, 12, 2, FIELD, 0.9)
    s = Session(binary)
    setup = ["&(J = t):", "&(J = y):", "&(J = x):", "&(P = t^2 - 123456789, 1):", "Array sm[24,24] Sparse:"]
    setup += [f"sm[{i + 1},{j + 1}] := {text(e)}:" for (i, j), e in sorted(sparse.items())]
    setup += [f"sm[{i},{j}] := {v}:" for (i, j), v in WATCHED.items()]
    setup += ["Array dm[12,12]:", f"[dm] := [({','.join(text(dense.get((i, j), 0)) for i in range(12) for j in range(12))})]:"]
    setup += [f"dm[{i},{j}] := {v}:" for (i, j), v in WATCHED.items()]
    setup += ["&(L = 1):"]
    for line in setup:
        s.send(line + "\n")
        s.expect(">", 60)
    for name in ("sm", "dm"):
        entries = {k: answer(s, f"{name}[{k[0]},{k[1]}];") for k in WATCHED}
        want, cost = costed_answer(s, f"Det [{name}];", 300)
        assert "x" in want and "t" in want, want
        assert cost >= MIN_COST, f"{name}: the determinant took only {cost:.2f} s of CPU time: make it larger"
        interrupted(s, name, entries, want, cost)
    s.close()
    print("field polydet interrupt: ok")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
