#!/usr/bin/env python3
"""'#' on values held in arrays, against sympy: random rational functions
in x, y and z are stored in a dense array and in a sparse one and evaluated
there with '#' (the stored cell must keep its value), and evaluated at the
values of an array with p#(v = [w]) (total evaluation from the variable v
inwards). A vanishing denominator must be reported as "Division by zero.".

  arrays_eval_differential.py TARVEX [COUNT] [SEED]
"""
import os
import random
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import eval_differential as ed  # noqa: E402
import quoly_differential as qd  # noqa: E402
from quoly_differential import X, Y, Z, sympy  # noqa: E402


def array_case(rng, k):
    """(setup lines, statement, expected) for the p#(v = [w]) form."""
    for _ in range(50):
        try:
            text, value = qd.expression(rng, ["x", "y", "z"][: rng.randrange(1, 4)], rng.randrange(1, 3))
            break
        except qd.Undefined:
            continue
    start = rng.randrange(0, 3)
    variables = ed.OUTERMOST_FIRST[start:]
    values = [ed.random_value(rng, [])[0:2] for _ in variables]
    setup = [f"w{k}[{i + 1}] := {t}:" for i, (t, _) in enumerate(values)]
    setup.insert(0, f"Array w{k}[{len(values)}]:")
    statement = f"({text})#({ed.NAMES[variables[0]]} = [w{k}])"
    subs = {var: v for var, (_, v) in zip(variables, values)}
    num, den = sympy.fraction(sympy.cancel(sympy.together(value)))
    new_den = sympy.cancel(den.subs(subs, simultaneous=True))
    if new_den == 0:
        return setup, statement, None
    return setup, statement, sympy.cancel(num.subs(subs, simultaneous=True) / new_den)


def main(argv):
    binary = os.path.abspath(argv[1])
    count = int(argv[2]) if len(argv) > 2 else 120
    rng = random.Random(int(argv[3]) if len(argv) > 3 else 11)
    lines = ["&(J = x);", "&(J = y);", "&(J = z);", f"Array e[{count}], s[{count},3] Sparse;"]
    checks = []   # (line index of the statement, expected, statement)
    for k in range(1, count + 1):
        statement, expected = ed.case(rng)
        if expected == "too many" or not statement.startswith("("):
            continue
        body, args = statement.rsplit(")#", 1)
        cell = f"e[{k}]" if k % 2 else f"s[{k},2]"
        lines.append(f"{cell} := {body[1:]}:")
        lines.append(f"{cell}#{args};")
        checks.append((len(lines) - 1, expected, lines[-1]))
        # The stored value is kept: evaluating it again gives the same.
        lines.append(f"{cell}#{args};")
        checks.append((len(lines) - 1, expected, lines[-1]))
    for k in range(1, count // 3 + 1):
        setup, statement, expected = array_case(rng, k)
        lines.extend(setup)
        lines.append(statement + ";")
        checks.append((len(lines) - 1, expected, statement))
    script = "\n".join(lines) + "\n"
    with tempfile.TemporaryDirectory() as cwd:
        out = subprocess.run([binary], input=script.encode(), capture_output=True, cwd=cwd,
                             timeout=300).stdout.decode()
    blocks = out.split("\n>")[1:]
    failed = 0
    if len(blocks) < len(lines):
        print(f"only {len(blocks)} results for {len(lines)} statements")
        return 1
    for index, expected, statement in checks:
        block = blocks[index]
        shown = block.strip("\n")
        problem = ed.problem_of(block, expected)
        if problem:
            failed += 1
            if failed <= 10:
                print(f"{statement}: {problem}; got {shown!r}; want {expected}")
    print(f"{len(checks) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
