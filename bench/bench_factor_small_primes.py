#!/usr/bin/env python3
"""Factor modulo small and word primes at growing degree, timed as a user
would see it: a whole process per input (start-up included).

  bench_factor_small_primes.py TARVEX [OTHER_TARVEX] [LIMIT]

Inputs, at degrees 250, 500, 1000, 2000, 4000 modulo 2, 3, 13, 65521 and
the word prime 2147483629 (and 8000 modulo 65521):
- sparse: x^n + x^7 + x^3 + x + 1;
- dense: a random monic polynomial of degree n (fixed seed).
Each run past LIMIT seconds (120) is stopped and shown as such. With a
second binary (an older build, say) both are timed on each input, one
after the other, and their factor degrees compared.
Start-up alone is timed first.

Then modulo 2 alone at degrees 4000 to 65536 (dense only to 32000: reading
a typed dense sum of 65536 terms alone takes minutes): the processor time
of Factor (the process less the same process without the Factor
statement) and its growth per doubling of the degree.
"""
import random
import re
import resource
import subprocess
import sys
import time

PRIMES = [2, 3, 13, 65521, 2147483629]
DEGREES = [250, 500, 1000, 2000, 4000]
# Further degrees for one prime only.
MORE_DEGREES = {65521: [8000]}


def sparse(n, p):
    return "x^%d + x^7 + x^3 + x + 1" % n


def dense(n, p):
    rng = random.Random(n * 100003 + p)
    terms = ["x^%d" % n] + ["%d*x^%d" % (rng.randrange(p), k) for k in range(n - 1, 0, -1)]
    return " + ".join(terms + [str(rng.randrange(1, p))])


def run(tarvex, script, limit):
    start = time.perf_counter()
    try:
        done = subprocess.run([tarvex], input=script, capture_output=True, text=True, timeout=limit)
    except subprocess.TimeoutExpired:
        return None, None
    took = time.perf_counter() - start
    # The degree of each row's factor, read off the array's display (Deg
    # would give it modulo p).
    m = re.search(r"\[\[(.*?)\]\]", done.stdout.replace("`\n", ""), re.S)
    if not m:
        return took, None
    items = [s.strip() for s in m.group(1).split(",")][0::2]
    degs = [max([int(e) for e in re.findall(r"x\^(\d+)", h)] + [1 if "x" in h else 0]) for h in items]
    return took, sorted(degs)


def script_for(p, text, n):
    return "&(p = %d);\n&(J = x);\n&(_d = 32000);\nf := %s;\nk := Factor(f, [r]);\n[r];\n" % (p, text)


MOD2_DEGREES = [4000, 8000, 16000, 32000, 65536]


def processor_time(tarvex, script, limit):
    """(processor seconds of the child, sorted factor degrees), or (None, None)."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    took, degs = run(tarvex, script, limit)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if took is None:
        return None, None
    return after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime, degs


def mod2_growth(binaries, limit):
    print("modulo 2, processor seconds of Factor (growth per doubling)")
    for kind, make in (("sparse", sparse), ("dense", dense)):
        last = [None] * len(binaries)
        for n in MOD2_DEGREES:
            if kind == "dense" and n > 32000:
                continue
            script = script_for(2, make(n, 2), n)
            bare = script.split("k := Factor")[0]
            results = []
            for b in binaries:
                t, degs = processor_time(b, script, limit)
                t0 = processor_time(b, bare, limit)[0] if t is not None else None
                results.append((t - t0 if t0 is not None else None, degs))
            cells = []
            for i, (t, _) in enumerate(results):
                if t is None:
                    cells.append("    > %5.0f s        " % limit)
                    last[i] = None
                    continue
                grow = " (%4.1fx)" % (t / last[i]) if last[i] else "        "
                cells.append("%10.3f s%s" % (t, grow))
                last[i] = t
            note = ""
            if len(results) == 2 and results[0][1] is not None and results[1][1] is not None:
                note = "  same degrees" if results[0][1] == results[1][1] else "  DEGREES DIFFER"
            print("%-6s %6d " % (kind, n) + " ".join(cells) + note, flush=True)


def main():
    tarvex = sys.argv[1]
    other = sys.argv[2] if len(sys.argv) > 2 and not sys.argv[2].replace(".", "").isdigit() else None
    rest = sys.argv[3:] if other else sys.argv[2:]
    limit = float(rest[0]) if rest else 120.0
    binaries = [tarvex] + ([other] if other else [])
    t, _ = run(tarvex, "1;\n", limit)
    print("start-up %.3f s" % t)
    print("%-10s %-6s %5s " % ("p", "kind", "n") + " ".join("%12s" % ("time %d" % (i + 1)) for i in range(len(binaries))))
    for p in PRIMES:
        for kind, make in (("sparse", sparse), ("dense", dense)):
            for n in DEGREES + MORE_DEGREES.get(p, []):
                script = script_for(p, make(n, p), n)
                results = [run(b, script, limit) for b in binaries]
                cells = ["%10.3f s" % r[0] if r[0] is not None else "   > %5.0f s" % limit for r in results]
                note = ""
                if len(results) == 2 and results[0][1] is not None and results[1][1] is not None:
                    note = "  same degrees" if results[0][1] == results[1][1] else "  DEGREES DIFFER"
                print("%-10d %-6s %5d " % (p, kind, n) + " ".join(cells) + note, flush=True)
    mod2_growth(binaries, limit)


if __name__ == "__main__":
    sys.exit(main())
