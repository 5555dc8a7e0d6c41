#!/usr/bin/env python3
"""A SIGINT in the middle of a long sparse Rowreduce.

  rowreduce_interrupt.py TARVEX

While the nested level runs, the matrix still holds what it held before the
command, and another reduction runs there; after &_p the interrupted one
finishes with P A0 Q = A. When the nested level replaces the matrix, the
interrupted reduction is given up on its return: no output is made and the
new matrix stays as the nested level left it. The other arrays stay intact.
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from interrupts import Session, answer, costed_answer  # noqa: E402

N = 26
# CPU seconds a reduction must take for its middle to be far from both ends.
MIN_COST = 0.4


def quiet(s, line, timeout=60):
    """A statement that shows nothing, followed by a mark to wait for: the
    prompts before the mark are passed over."""
    s.seen = b""
    s.send(line + "\n9191;\n")
    s.expect("9191", timeout)
    s.expect(">", 10)


def start(s, name, cost):
    """A long reduction of `name`, interrupted halfway through its work
    (interrupt_busy asserts it had not finished)."""
    s.start_busy(f"Rowreduce([{name}],[{name}p],[{name}q]);", busy=cost / 2)
    s.interrupt_busy()


def resume(s, timeout=300):
    s.seen = b""
    s.send("&_p;\n")
    s.expect("*** Resuming earlier command level", 10)
    return s.upto(">", timeout)


def main(argv):
    binary = os.path.abspath(argv[1])
    s = Session(binary)
    quiet(s, "&(J = x):")
    for name in ("a", "b", "a0", "c"):
        quiet(s, f"Array {name}[{N},{N}] Sparse:")
        quiet(s, f"[{name}] := [<i = 1, {N}><j = 1, {N}> 1/(i+j+x)]:")
    quiet(s, "Array s[3,3] Sparse:")
    quiet(s, "s[1,1] := 2: s[2,3] := 3: s[3,2] := 5:")
    quiet(s, "Array d[2,2]:")
    quiet(s, "[d] := [(1, 2, 3, 4)]:")
    first = answer(s, "a[1,1];")
    assert first == "1/(x+2)", first
    # The same reduction on a copy, to learn what a whole one costs.
    rank, cost = costed_answer(s, "Rowreduce([c],[cp],[cq]);", 300)
    assert rank == str(N), rank
    assert cost >= MIN_COST, f"the reduction took only {cost:.2f} s of CPU time: make the matrix larger"

    # Resumed: the reduction goes on and finishes.
    start(s, "a", cost)
    assert answer(s, "a[1,1];") == first, "the matrix changed under the nested level"
    assert answer(s, "a[2,1];") != "0"
    assert answer(s, "Rowreduce([s]);") == "3"
    out = resume(s)
    assert out.split()[-1] == str(N), out
    quiet(s, f"Array z[{N},{N}] Sparse:")
    quiet(s, "[z] := [ap]*[a0]*[aq] - [a]:", 300)
    assert answer(s, "[z];") == "[]0", "P A0 Q = A"
    assert answer(s, "a[2,1];") == "0", "A upper triangular"

    # Replaced at the nested level: given up, nothing made.
    start(s, "b", cost)
    quiet(s, "Array b[2,2] Sparse:", 10)
    quiet(s, "b[1,2] := 7:", 10)
    out = resume(s, 60)
    assert "***" not in out and not out.split(), out
    assert answer(s, "[b];") == "[[1,[2,7]]]0", "the new matrix"
    assert "***" in answer(s, "[bp];"), "no output from a reduction given up"

    # Everything else as it was.
    got = answer(s, "[d];")
    assert got == "[[1,3,`2,4]]0", got
    assert answer(s, "Rowreduce([a0]);", 300) == str(N)
    s.close()
    print("rowreduce interrupt: ok")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
