#!/usr/bin/env python3
"""Random integer and rational expressions evaluated by the interpreter and
by Python's exact integers and fractions, compared value by value.

  differential.py TARVEX [COUNT] [SEED]
"""
import os
import random
import subprocess
import sys
import tempfile
from fractions import Fraction


def expression(rng, depth):
    """(text, value) of a random expression; value None when undefined."""
    if depth == 0 or rng.random() < 0.25:
        n = rng.choice([0, 1, 2, 3, 7, 10, 12, 99, rng.randrange(1, 10**rng.randrange(1, 12))])
        return str(n), Fraction(n)
    kind = rng.choice(["+", "-", "*", "/", "^", "(", "n"])
    if kind == "(":
        t, v = expression(rng, depth - 1)
        return f"({t})", v
    if kind == "n":
        t, v = expression(rng, depth - 1)
        return f"-({t})", None if v is None else -v
    if kind == "^":
        t, v = expression(rng, depth - 1)
        e = rng.randrange(-3, 5)
        if v is None or (v == 0 and e < 0):
            return f"({t})^({e})", None
        return f"({t})^({e})", v ** e
    lt, lv = expression(rng, depth - 1)
    rt, rv = expression(rng, depth - 1)
    text = f"({lt}){kind}({rt})"
    if lv is None or rv is None:
        return text, None
    if kind == "+":
        return text, lv + rv
    if kind == "-":
        return text, lv - rv
    if kind == "*":
        return text, lv * rv
    return text, None if rv == 0 else lv / rv


def parse_result(block):
    """The value a displayed result stands for: an integer, or a / b."""
    text = block.replace(" `\n", "").strip()
    if ";  or  " in text:
        text = text.split(";  or  ")[0]
    if "/" in text:
        num, den = text.split("/")
        return Fraction(int(num), int(den))
    return Fraction(int(text))


def main(argv):
    binary = os.path.abspath(argv[1])
    count = int(argv[2]) if len(argv) > 2 else 300
    rng = random.Random(int(argv[3]) if len(argv) > 3 else 2026)
    cases = []
    while len(cases) < count:
        text, value = expression(rng, rng.randrange(1, 5))
        if value is None or max(len(str(value.numerator)), len(str(value.denominator))) > 60:
            continue
        cases.append((text, value))
    script = "".join(f"{t};\n" for t, _ in cases)
    with tempfile.TemporaryDirectory() as cwd:
        out = subprocess.run([binary], input=script.encode(), capture_output=True, cwd=cwd,
                             timeout=300).stdout.decode()
    blocks = out[out.find("\n>") + 2:].split("\n>")[: len(cases)]
    failed = 0
    for (text, value), block in zip(cases, blocks):
        try:
            got = parse_result(block)
        except (ValueError, ZeroDivisionError):
            got = None
        if got != value:
            failed += 1
            if failed <= 10:
                print(f"{text}: expected {value}, got {block.strip()!r}")
    if len(blocks) < len(cases):
        failed += len(cases) - len(blocks)
        print(f"only {len(blocks)} results for {len(cases)} statements")
    print(f"{len(cases) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
