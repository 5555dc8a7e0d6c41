#!/usr/bin/env python3
"""Commands stopped by an error that opens a level (&e), whose level
reassigns, deletes and replaces, or rewrites the array they hold, then
resumed with &_p: in the rationals and modulo 7, dense and sparse, the
session ends normally with no sanitizer report, the command leaves r as it
was, and the array the level left holds what the level put there (compared
with a copy made beforehand).   resumed_arrays.py TARVEX
"""
import re, subprocess, sys

SQ, D8 = ["1,1", "2,1", "1,2", "2,2"], ["%d,%d" % (k, k) for k in range(1, 9)]
DET = ("2,2", SQ, "1, 2, y, 5", "3, 1, 4, 1", "ds")
LOOP = "for q = 1 to 1 do %s od;"  # an undefined function in a body opens the level
# The changes each takes (default all; Sigma reads its array by name each
# time, an array a parameter stands for cannot be deleted at the level,
# Tablemerge refuses a dense array), q: in the rationals only (modulo 7 the
# counts do not come out as counts).
COMMANDS = [(DET, c) for c in ("r := Detmin[{a}];", "r := Det ^[{a}];", "r := Det _+[{a}];",
                               LOOP % "r := Det _[{a}];", "%[3] := [{a}]; r := Det _[%[3]];")] + [
    (DET, "r := Sigma<i = 1, 2>(Det _[{a}] + i);", "03"),
    (DET, "Func D(v) = Det _[v] + v[2,2].\nr := D([{a}]);", "03"),
    (("2,2", SQ, "1, 2, y, 5", "3, 1, 4, 1", "d"), "r := Det _[{a}[1~2, 1~2]];"),
    (("2,2", SQ, "1, 0, 0, 2", "3, 1, 4, 1", "ds"), LOOP % "r := Chpoly([{a}], y + Nofn(1));"),
    (("8,8", D8, "1, 2, 3, 4, 5, 6, 7, 8", "3, 1, 4, 1, 5, 9, 2, 6", "s"), LOOP % "r := Minpoly([{a}], Nofn(1) + 1);"),
    (("2,2", SQ, "y, 0, 0, y^2", "y^3, y, y^4, y", "d"), LOOP % "r := Totdeg(y, [{a}], Nofn(1) + 1);", "013"),
    (("2,2", SQ, "1, 0, 0, 2", "3, 1, 4, 1", "ds"), LOOP % "Swaprows([{a}], 1, Nofn(1) + 2);", "0123q"),
    (("2,2", SQ, "4, 0, 0, 6", "3, 1, 4, 1", "ds"), LOOP % "MSmith([{a}], Nofn(1) + 5);", "0123q"),
    (("3", ["1", "2", "3"], "1, y, y^2", "y, y^3, y^4", "s"), LOOP % "Tablemerge([{a}], [u], Nofn(1) + 1);", "023q")]
# What the level does and the array it leaves.
CHANGES = [("[{a}] := [{s}];", "{a}"), ("@[{a}]; {w_dense}", "{w}"), ("@[{a}]; {w_sparse}", "{w}"), ("{a_cells}", "{a}")]


def main(binary):
    failures, total = [], 0
    for ring in ("", "&(p = 7);\n"):
        script, k = ring + "&(J = y);\nArray u[3] Sparse; u[1] := 7; u[2] := y^5; u[3] := y^6;\n", 0
        for (shape, subs, cells, level_cells, storages), command, *only in COMMANDS:
            fill = lambda a, c: "".join("%s[%s] := %s; " % (a, i, v) for i, v in zip(subs, c.split(", ")))
            arr = lambda a, c, sp: "Array %s[%s]%s; %s\n" % (a, shape, " Sparse" if sp else "", fill(a, c))
            weighed = lambda a: " + ".join("%s[%s] * %d" % (a, i, 10 ** j) for j, i in enumerate(subs)) + ";\n"
            flags = (only or ["0123"])[0]
            for sparse in [s == "s" for s in storages if not (ring and "q" in flags)]:
                for change, left in [CHANGES[int(c)] for c in flags if c != "q"]:
                    k += 1
                    a, w, s = "m%d" % k, "w%d" % k, "s%d" % k
                    level = change.format(a=a, s=s, a_cells=fill(a, level_cells), w_dense=arr(w, level_cells, 0),
                                          w_sparse=arr(w, level_cells, 1))
                    script += arr(a, cells, sparse) + arr(s, level_cells, sparse) + "r := y^99;\n&e;\n&_P;\n"
                    script += "%s\n%s\n&_p;\n&_p;\n&e;\ny^%d;\nr;\n%s%sy^%d;\n" % (
                        command.format(a=a), level, 1000 + k, weighed(left.format(a=a, w=w)), weighed(s), 5000 + k)
        total += k
        proc = subprocess.run([binary], input=script.encode(), capture_output=True, timeout=300)
        out, err = proc.stdout.decode("utf-8", "replace"), proc.stderr.decode("utf-8", "replace")
        if proc.returncode != 0 or not out.rstrip().endswith("bye") or "Sanitizer" in err or "runtime error" in err:
            failures.append("%s: status %d, %s" % (ring or "rationals", proc.returncode, err[-2000:]))
        for j in range(1, k + 1):
            m = re.search(r"y\^%d\b(.*?)y\^%d\b" % (1000 + j, 5000 + j), out, re.S)
            shown = [" ".join(p.split()) for p in m.group(1).split(">") if p.strip()] if m else []
            if len(shown) != 3 or shown[0] != "y^99" or shown[1] != shown[2]:
                failures.append("%s case %d: r, the level's array, its copy: %s" % (ring or "rationals", j, shown))
    print("\n".join(failures[:30]) or "resumed commands: %d cases" % total)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
