#!/usr/bin/env python3
"""A number given to a setting is read as the exact integer whatever the
ground ring: the same settings statements, with values inside and far
outside 32 bits, run in rational mode and in Z/p (small and word-sized),
GF(2^8) and GF(2^16), must print the same messages and errors. Only the
statement's own value, an element of the ring, may differ, so lines that
are a lone integer are left out of the comparison. Both forms are covered:
the inline "&(x = value)" and the prompting "&x" followed by the answer.

  switch_values_check.py TARVEX [SEED]
"""
import os
import random
import subprocess
import sys

INLINE = ["#", "A", "D", "K", "L", "X", "a", "m", "u", "_d", "n", "|", "_t", "_L", "_s"]
PROMPTED = ["#", "A", "K", "L", "X", "m", "_d", "_k", "u", "D", "d"]
SMALL_SIZES = ["0", "1", "2", "9", "70", "-5", "2^32 + 3", "2^40 + 100"]
RINGS = {"p7": "&(p = 7);", "p-word": "&(p = 2147483629);", "gf256": "&(p = 256);",
         "gf65536": "&(p = 65536);"}


def values(rng):
    fixed = ["0", "1", "2", "9", "70", "400", "2^31 - 1", "2^31", "2^32 + 3", "2^32 + 40", "2^32 + 400",
             "2^40 + 100", "-5", "-(2^32) + 3", "7*2^32 + 1", "(2^33 + 9) - 2^33"]
    extra = ["%d" % rng.randint(-2 ** 40, 2 ** 40) for _ in range(4)]
    extra += ["2^%d + %d" % (rng.randint(28, 64), rng.randint(0, 500)) for _ in range(4)]
    return fixed + extra


def script(rng_seed):
    rng = random.Random(rng_seed)
    lines = []
    for v in values(rng):
        for letter in INLINE:
            lines.append("&(%s = %s);" % (letter, v))
        for letter in PROMPTED:
            # A display size costs a power of 10^8 of that size: only the
            # values that leave it small (the ones past 32 bits give 0).
            if letter == "d" and v not in SMALL_SIZES:
                continue
            lines.append("&%s" % letter)
            lines.append("%s;" % v)
    # The settings back where a comparison of displays needs them.
    lines += ["&(_d = 80);", "&(m = 0);", "&(a = 1);"]
    return lines


def shown(tarvex, header, lines):
    text = "\n".join(([header] if header else []) + lines) + "\n"
    out = subprocess.run([tarvex], input=text, capture_output=True, text=True, timeout=120).stdout
    blocks = out.split("\n>")[1:]
    if header:
        blocks = blocks[1:]
    cleaned = []
    for b in blocks:
        keep = []
        for line in b.splitlines():
            s = line.strip()
            if s.lstrip("-").isdigit() or s == "":
                continue
            keep.append(s)
        cleaned.append("\n".join(keep))
    return cleaned, out


def main():
    tarvex = os.path.abspath(sys.argv[1])
    seed = int(sys.argv[2]) if len(sys.argv) > 2 else 7120
    lines = script(seed)
    want, raw = shown(tarvex, "", lines)
    failures = 0
    if "Tarvex error" in raw:
        print("rational mode: an internal error")
        failures += 1
    for ring, header in RINGS.items():
        got, raw = shown(tarvex, header, lines)
        if "Tarvex error" in raw:
            print(ring, "an internal error")
            failures += 1
        if len(got) != len(want):
            print(ring, "shows", len(got), "blocks, rational mode", len(want))
            failures += 1
            continue
        bad = 0
        for k, (g, w) in enumerate(zip(got, want)):
            if g != w:
                bad += 1
                if bad <= 8:
                    print("%s after statement %d:\n  rational: %r\n  %s: %r" % (ring, k, w, ring, g))
        failures += bad
    if failures:
        sys.exit(1)
    print("Setting values: all checks passed")


if __name__ == "__main__":
    main()
