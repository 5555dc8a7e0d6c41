#!/usr/bin/env python3
"""A missing sympy fails the tests that use it as their reference, with a
message that names it; it never lets them pass or skip.

  missing_sympy_test.py PYTHON GCD_TEST TARVEX QUOLY_DIFFERENTIAL

Each run puts no_sympy/ (beside this script) first on the python path, so
that the import fails. The same works by hand on a whole run:
PYTHONPATH=tests/oracle/no_sympy ctest.
"""
import os
import subprocess
import sys

MESSAGE = "sympy cannot be imported"


def main(argv):
    python, gcd_test, tarvex, differential = argv[1:5]
    shadow = os.path.join(os.path.dirname(os.path.abspath(__file__)), "no_sympy")
    env = dict(os.environ)
    env["PYTHONPATH"] = shadow + (os.pathsep + env["PYTHONPATH"] if env.get("PYTHONPATH") else "")
    runs = [
        [gcd_test, "--gtest_filter=PolyGcd.PlantedOverTheIntegersSparse"],
        [gcd_test, "--gtest_filter=PolyGcd.ContentsAgainstReference"],
        [gcd_test, "--gtest_filter=AlgorithmC.PlantedOverTheIntegers"],
        [python, differential, tarvex, "5"],
    ]
    failed = 0
    for cmd in runs:
        proc = subprocess.run(cmd, env=env, capture_output=True, text=True, timeout=300)
        said = proc.stdout + proc.stderr
        if proc.returncode == 0 or MESSAGE not in said:
            failed += 1
            print(f"--- {' '.join(cmd)}: exit status {proc.returncode}, "
                  f"{'a' if MESSAGE in said else 'no'} message naming sympy\n{said}")
    print(f"{len(runs) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
