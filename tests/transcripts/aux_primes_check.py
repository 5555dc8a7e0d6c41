#!/usr/bin/env python3
"""The auxiliary primes of field relations, read back from save files and
checked by independent number theory:

- for t^2 - d the first list is exactly the candidate primes (the 400
  consecutive primes from 17,021, the default search) modulo which d is a
  non-residue, by Euler's criterion; for t^3 - 2 the candidates where the
  cubic has no root;
- every second-list pair (q, r) has q prime and m(r) = 0 modulo q, the inner
  variables of a tower replaced by their own roots for q; lists strictly
  descending; every level of a tower holds the same primes;
- a save file read back in a fresh session is written again unchanged;
- lists written in the statement are refused (error 201) when a prime is
  not prime or r is no root, and the lists installed before stay.

  aux_primes_check.py TARVEX
"""
import os
import re
import subprocess
import sys
import tempfile

from sympy import isprime, nextprime

CANDIDATES = 400
FIRST_CANDIDATE = 17021


def run(tarvex, script, cwd):
    out = subprocess.run([tarvex], input=script, capture_output=True, text=True, cwd=cwd, timeout=300)
    return out.stdout


def relations(save_text):
    """[(relation text, first list, pairs)] of the field relations in a save file."""
    found = []
    for m in re.finditer(r"&\(P = ([^,]*), 1:(.*?)\);", save_text, re.S):
        body = m.group(2).split(":")
        first = [int(x) for x in re.findall(r"-?\d+", body[0])]
        nums = [int(x) for x in re.findall(r"-?\d+", body[1])] if len(body) > 1 else []
        assert len(nums) % 2 == 0, m.group(0)
        found.append((m.group(1).strip(), first, list(zip(nums[0::2], nums[1::2]))))
    return found


def candidates():
    out, p = [], FIRST_CANDIDATE
    while len(out) < CANDIDATES:
        out.append(p)
        p = nextprime(p)
    return out


def save_and_read(tarvex, tmp, declarations):
    path = os.path.join(tmp, "aux.sav")
    if os.path.exists(path):
        os.remove(path)
    run(tarvex, declarations + "&(S = 'aux.sav');\n&s;\n&(S = @);\n", tmp)
    with open(path) as f:
        return f.read()


def check_pairs(pairs, values):
    """values(q, r) -> m(r) mod q (None when an inner root is missing)."""
    qs = [q for q, _ in pairs]
    assert qs == sorted(set(qs), reverse=True), "second list not strictly descending"
    assert pairs, "empty second list"
    for q, r in pairs:
        assert isprime(q) and 0 <= r < q, (q, r)
        assert values(q, r) == 0, (q, r)


def main():
    tarvex = os.path.abspath(sys.argv[1])
    cands = candidates()
    failures = 0
    with tempfile.TemporaryDirectory() as tmp:
        # One quadratic relation at a time: Euler's criterion decides the list.
        for d in (5, -7, 3, 2):
            text = save_and_read(tarvex, tmp, "&(J = t);\n&(P = t^2 - (%d), 1);\n" % d)
            (rel, first, pairs), = relations(text)
            expected = [p for p in cands if pow(d % p, (p - 1) // 2, p) == p - 1]
            if first != expected:
                print("first list of t^2 - (%d): %d primes, expected %d" % (d, len(first), len(expected)))
                failures += 1
            check_pairs(pairs, lambda q, r: (r * r - d) % q)

        # A cubic: irreducible modulo p exactly when it has no root.
        text = save_and_read(tarvex, tmp, "&(J = t);\n&(P = t^3 - 2, 1);\n")
        (rel, first, pairs), = relations(text)
        rootless = [p for p in cands if not any(pow(x, 3, p) == 2 % p for x in range(p))]
        if first != rootless:
            print("first list of t^3 - 2 differs: %d against %d" % (len(first), len(rootless)))
            failures += 1
        check_pairs(pairs, lambda q, r: (r ** 3 - 2) % q)

        # A tower: s^3 - t - 1 over Q(t), t^2 + 1.
        decl = "&(J = t);\n&(J = s);\n&(P = t^2 + 1, 1);\n&(P = s^3 - t - 1, 1);\n"
        text = save_and_read(tarvex, tmp, decl)
        (rel_t, first_t, pairs_t), (rel_s, first_s, pairs_s) = relations(text)
        roots_t = dict(pairs_t)
        check_pairs(pairs_t, lambda q, r: (r * r + 1) % q)
        check_pairs(pairs_s, lambda q, r: (r ** 3 - roots_t[q] - 1) % q)
        if [q for q, _ in pairs_t] != [q for q, _ in pairs_s]:
            print("tower levels hold different primes")
            failures += 1
        # s^3 = t + 1 stays irreducible over GF(p^2) exactly when t + 1 is
        # no cube there.
        def cube_free(p):
            def mul(a, b):
                return ((a[0] * b[0] - a[1] * b[1]) % p, (a[0] * b[1] + a[1] * b[0]) % p)
            r, a, e = (1, 0), (1, 1), (p * p - 1) // 3
            while e:
                if e & 1:
                    r = mul(r, a)
                a, e = mul(a, a), e >> 1
            return r != (1, 0)
        expected = [p for p in cands if p % 4 == 3 and cube_free(p)]
        if first_t != first_s or first_s != expected:
            print("tower first list: %d primes, expected %d" % (len(first_s), len(expected)))
            failures += 1

        # Read back and written again: the same file.
        os.replace(os.path.join(tmp, "aux.sav"), os.path.join(tmp, "tower.sav"))
        again = save_and_read(tarvex, tmp, "&(R = 'tower.sav');\n")
        if relations(again) != relations(text):
            print("save file not reproduced after reading it back")
            failures += 1

        # Refused lists leave the installed ones alone and the loop goes on.
        single = "&(J = t);\n&(P = t^2 + 1, 1);\n"
        before = relations(save_and_read(tarvex, tmp, single))
        for stmt in (
            "&(P = t^2 + 1, 1: 17027, 17031);\n",       # 17031 = 3 * 5677
            "&(P = t^2 + 1, 1: 17027 : 13, 5, 5, 1);\n",  # 1 + 1 is not 0 mod 5
            "&(P = t^2 + 1, 1: 17027 : 15, 2);\n",        # 15 is not prime
            "&(P = t^2 + 1, 1: 17027 : 13, 5, 5);\n",     # a prime without its root
        ):
            out = run(tarvex, single + stmt + "&(S = 'aux.sav');\n&s;\n&(S = @);\n7*6;\n", tmp)
            with open(os.path.join(tmp, "aux.sav")) as f:
                after = relations(f.read())
            if "42" not in out or after != before:
                print("refused list changed the lists or stopped the loop:", stmt.strip())
                failures += 1
            if "messed up" not in out and "error" not in out.lower():
                print("no message for", stmt.strip())
                failures += 1
    if failures:
        sys.exit(1)
    print("auxiliary primes: all checks passed")


if __name__ == "__main__":
    main()
