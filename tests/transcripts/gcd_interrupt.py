#!/usr/bin/env python3
"""A SIGINT in the middle of the gcd of two numbers of 120,000 digits.

  gcd_interrupt.py TARVEX

The nested level must open within the latency limit of the interpreter's
CPU time, run gcds of its own there (one long enough to stop for
interrupts itself, one through the shared buffers), and after &_p the
interrupted gcd must finish with the planted common factor. A panic stop
in a second run leaves the operands as they were.

The interrupt comes when the interpreter has spent a fraction of the CPU
time an uninterrupted gcd of the same pair took, so it lands inside the
halving rounds on any build and any load.
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from interrupts import LATENCY_LIMIT, WALL_LIMIT, Session, answer, costed_answer  # noqa: E402

# CPU seconds the gcd must take for its middle to be far from both ends.
MIN_COST = 0.3
# f is prime to 7 and 11 (13 is -1 mod 7 and 2 mod 11, and the power is
# even), so gcd(a, b) = f.
SETUP = ["f := 13^350000 + 2:", "a := f*7^700000:", "b := f*11^600000:"]
# At the nested level: 2^60000 by the private path, 3^500 below it.
LEVEL = [("GCD(6^70000, 10^60000) - 2^60000;", "0"), ("GCD(7^20000*3^500, 5^24000*3^700) - 3^500;", "0")]


def main(argv):
    binary = os.path.abspath(argv[1])
    s = Session(binary)
    for line in SETUP:
        s.send(line + "\n")
        s.expect(">", 120)
    # The first run also builds the transforms' tables: the cost is that of
    # the quicker of two.
    cost = None
    for _ in range(2):
        got, spent = costed_answer(s, "GCD(a, b) - f;")
        assert got == "0", got
        cost = spent if cost is None else min(cost, spent)
    assert cost >= MIN_COST, f"the gcd took only {cost:.2f} s of CPU time: make the numbers larger"

    for fraction in (0.25, 0.5):
        s.start_busy("g := GCD(a, b):", busy=cost * fraction)
        latency, _ = s.interrupt_busy()
        assert latency < LATENCY_LIMIT, f"the nested level came after {latency:.2f} s of CPU time"
        for statement, value in LEVEL:
            got = answer(s, statement)
            assert got == value, f"at level 2: {statement} gave {got!r}"
        s.send("&_p;\n")
        s.expect("*** Resuming earlier command level", WALL_LIMIT)
        s.expect(">", 600)
        got = answer(s, "g - f;")
        assert got == "0", f"interrupted at {fraction} of the gcd, resumed: g - f gave {got!r}"
        s.send("g := 0:\n")
        s.expect(">", WALL_LIMIT)

    s.start_busy("g := GCD(a, b):", busy=cost / 2)
    s.interrupt_busy()
    s.send("&@;\n")
    s.expect(">", WALL_LIMIT)
    assert answer(s, "g;") == "0", "a panic stop left an assignment"
    assert answer(s, "GCD(a, b) - f;", 600) == "0", "the operands after a panic stop"
    s.close()
    print("gcd interrupt: ok")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
