#!/usr/bin/env python3
"""Reading a long sum of terms, timed as a user would see it: a whole
process per input (start-up included).

  bench_long_sums.py TARVEX [OTHER_TARVEX] [LIMIT]

Inputs with n = 4000, 16000, 65536 terms, over Q and modulo 65521:
- typed: x^n + c*x^(n-1) + ... + c, in descending, ascending and shuffled order;
- Sigma: Sigma<k = n, 1, -1>(k*x^k) (over Q only: modulo 65521 k would be a residue);
- loop: f := 0; for k = 1 to n do f := f + k*x^k od (each step copies the
  stored f, so this stays quadratic: n up to 16000 only).
Each run past LIMIT seconds (120) is stopped and shown as such. Every input
ends with f at x = 1 less its value computed here, which must show as 0.
"""
import random
import subprocess
import sys
import time

SIZES = [4000, 16000, 65536]


def typed(n, order):
    rng = random.Random(n)
    cs = [rng.randrange(1, 65521) for _ in range(n)] + [1]
    terms = [("%d*x^%d" % (cs[k], k)) if k else str(cs[0]) for k in range(n + 1)]
    if order == "descending":
        terms.reverse()
    elif order == "shuffled":
        rng.shuffle(terms)
    return "f := %s:\n" % " + ".join(terms), sum(cs)


def sigma(n, _):
    return "f := Sigma<k = %d, 1, -1>(k*x^k):\n" % n, n * (n + 1) // 2


def loop(n, _):
    return "f := 0:\nfor k = 1 to %d do f := f + k*x^k od;\n" % n, n * (n + 1) // 2


def run(tarvex, script, limit):
    start = time.perf_counter()
    try:
        done = subprocess.run([tarvex], input=script, capture_output=True, text=True, timeout=limit)
    except subprocess.TimeoutExpired:
        return None, False
    ok = done.stdout.split("\n>")[-2].strip() == "0" and "***" not in done.stdout
    return time.perf_counter() - start, ok


def main():
    tarvex = sys.argv[1]
    other = sys.argv[2] if len(sys.argv) > 2 and not sys.argv[2].replace(".", "").isdigit() else None
    rest = sys.argv[3:] if other else sys.argv[2:]
    limit = float(rest[0]) if rest else 120.0
    binaries = [tarvex] + ([other] if other else [])
    print("%-7s %-18s %6s " % ("ring", "input", "n") + " ".join("%12s" % ("time %d" % (i + 1)) for i in range(len(binaries))))
    for p in (None, 65521):
        cases = [("typed descending", typed, "descending"), ("typed ascending", typed, "ascending"),
                 ("typed shuffled", typed, "shuffled"), ("Sigma", sigma, None), ("loop", loop, None)]
        for label, make, order in cases:
            if make is sigma and p:
                continue
            for n in SIZES:
                if make is loop and n > 16000:
                    continue
                body, value = make(n, order)
                script = ("&(p = %d);\n" % p if p else "") + "&(J = x);\n" + body
                script += "f#(x = 1) - (%d);\n" % (value % p if p else value)
                cells = []
                for b in binaries:
                    t, ok = run(b, script, limit)
                    cells.append("   > %5.0f s" % limit if t is None else "%10.3f s" % t + ("" if ok else " WRONG"))
                print("%-7s %-18s %6d " % (p or "Q", label, n) + " ".join(cells), flush=True)


if __name__ == "__main__":
    sys.exit(main())
