#!/usr/bin/env python3
"""A SIGINT in the middle of an expansion by minors.

  minors_interrupt.py TARVEX

The nested level still eliminates but refuses a second expansion (error
309), which ends the interrupted one too; after that the stored matrix's
determinant comes out as before, by minors and by elimination, and a new
expansion is not refused.

The interrupt comes when the interpreter has spent half the CPU time an
uninterrupted expansion of the same matrix took, so it lands inside the
expansion on any build and any load.
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from interrupts import Session, answer, costed_answer  # noqa: E402

N = 16
# CPU seconds an expansion must take for its middle to be far from both ends.
MIN_COST = 0.4


def cutoff(s, value, prompt=">"):
    s.send(f"&(D = {value}):\n")
    s.expect("Detcutoff now", 10)
    s.expect(prompt, 10)


def main(argv):
    binary = os.path.abspath(argv[1])
    s = Session(binary)
    setup = [f"Array a[{N},{N}] Sparse:",
             f"[a] := [<i = 1, {N}><j = 1, {N}> (i^5*j^3 + 3*i + 11*j^2) | 101]:",
             "Array s[3,3] Sparse:",
             "s[1,1] := 2: s[2,3] := 3: s[3,2] := 5:"]
    for line in setup:
        s.send(line + "\n")
        s.expect(">", 60)
    cutoff(s, 0)
    want = answer(s, "Det[a];", 120)
    assert want.lstrip("-").isdigit(), want
    assert answer(s, "Det[s];") == "-30"
    cutoff(s, N)
    got, cost = costed_answer(s, "Det[a];")
    assert got == want, "minors and elimination differ"
    assert cost >= MIN_COST, f"the expansion took only {cost:.2f} s of CPU time: make the matrix larger"
    s.start_busy("Det[a];", busy=cost / 2)
    s.interrupt_busy()
    cutoff(s, 0, "2>")
    assert answer(s, "Det[s];") == "-30", "elimination at the nested level"
    cutoff(s, 3, "2>")
    s.send("Det[s];\n")
    refused = s.upto(">", 30)
    assert "Minors determinant already running." in refused, refused
    # Without error pushing the error ends the interrupted statement too.
    assert not refused.endswith("2"), refused

    # Nothing of the interrupted expansion is left: a new one runs.
    cutoff(s, 3)
    assert answer(s, "Det[s];") == "-30", "a new expansion after the panic stop"
    cutoff(s, N)
    assert answer(s, "Det[a];", 600) == want, "minors after the panic stop"
    cutoff(s, 0)
    assert answer(s, "Det[a];", 120) == want, "the stored matrix changed"
    s.close()
    print("minors interrupt: ok")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
