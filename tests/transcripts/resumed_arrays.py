#!/usr/bin/env python3
"""Commands stopped by an error that opens a level (&e), whose level
reassigns, deletes and replaces, or rewrites the array they hold, then
resumed with &_p: in the rationals and modulo 7, dense and sparse, the
session ends normally with no sanitizer report, the command leaves r as it
was, and the array the level left holds what the level put there (compared
with a copy made beforehand). Also a function that gives the array its
parameter stands for a new shape (through the parameter, the array's own
name, or a parameter of a nested call): inside and after the call the
array holds what the same assignment gives a copy at the top, and the
array declared after it keeps its cells. A level that deletes or
reshapes only an array declared before the held one, and declares another,
or that only reads the held one (its unassigned cells set to 0), lets the
command go on: r and the arrays come out as after a level that changes
nothing.   resumed_arrays.py TARVEX
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

# The new values (dense, sparse, a diagonal: not into a sparse array) and
# the ways a function reaches the array; each function returns the cells
# the other name shows.
RESHAPES = [("[{x}] := [<i=1,3><j=1,3> i + 2*j]", "3,3", "ds"), ("[{x}] := [<i=1,1><j=1,2> 3*i - j]", "1,2", "ds"),
            ("[{x}] := [t]", "3,2", "ds"), ("Diag[{x}] := [<i=1,3> i + y]", "3,3", "d")]
ROUTES = [("Func P{k}(m) = {w}; {m_}.\n", "m", "a{k}", "P{k}([a{k}])"),
          ("Func P{k}(m) = {w}; {m_}.\n", "a{k}", "m", "P{k}([a{k}])"),
          ("Func P{k}(m) = {w}; {m_}.\nFunc Q{k}(v) = P{k}([v]).\n", "m", "a{k}", "Q{k}([a{k}])")]


def reshaped(ring):
    script, k = ring + "&(J = y);\nArray t[3,2] Sparse; t[1,2] := 7; t[3,1] := y; t[3,2] := 2;\n", 0
    cells = lambda a, shape: [(i, j) for i in range(1, int(shape[0]) + 1) for j in range(1, int(shape[2]) + 1)]
    weighed = lambda a, shape: " + ".join("%s[%d,%d] * %d" % (a, i, j, 10 ** (2 * n)) for n, (i, j) in enumerate(cells(a, shape)))
    for write, shape, storages in RESHAPES:
        for sparse in storages:
            for func, via, other, call in ROUTES:
                k += 1
                decl = lambda a: "Array %s[2,2]%s; %s[1,1] := 1; %s[2,1] := y; %s[2,2] := 5;\n" % (
                    a, " Sparse" if sparse == "s" else "", a, a, a)
                script += decl("a%d" % k) + "Array e%d[2]; e%d[1] := 11; e%d[2] := 12;\n" % (k, k, k) + decl("r%d" % k)
                script += write.format(x="r%d" % k) + ";\n"
                script += func.format(k=k, w=write.format(x=via.format(k=k)), m_=weighed(other.format(k=k), shape))
                script += "y^%d;\n%s;\n%s;\n%s;\ne%d[1] + 100*e%d[2] - 1211;\ny^%d;\n" % (
                    1000 + k, call.format(k=k), weighed("a%d" % k, shape), weighed("r%d" % k, shape), k, k, 5000 + k)
    return script, k


# What a level does to e, declared before the array the command holds.
ASIDE = ["@[e{k}];", "[e{k}] := [[1, 2, 3, 4, 5]];", "[e{k}] := [[7]];", "[e{k}] := [u];",
         "Func E{k}(v) = [v] := [[1, 2]].\nE{k}([e{k}]);"]


# Reads that set the held array's unassigned cells to 0: the command reads
# them as 0 all the same.
UNSET = ["[q{k}] := [{a}] + [{a}];", "q{k} := {a}[{last}] + Sigma<i = 1, 1>({a}[i]);"]


def aside(ring, level, changes=ASIDE):
    """The commands of COMMANDS, each with e before its array and n after;
    the level does `level` (a change, or nothing) and declares g. With
    UNSET, dense arrays only and their last cell left unassigned."""
    script, k = ring + "&(J = y);\nArray u[3] Sparse; u[1] := 7; u[2] := y^5; u[3] := y^6;\n", 0
    for (shape, subs, cells, _, storages), command, *_ in COMMANDS:
        last, written = subs[-1], subs
        if changes == UNSET:
            storages, written = storages.replace("s", ""), subs[:-1]
        for sparse in [s == "s" for s in storages]:
            for change in changes:
                k += 1
                a = "m%d" % k
                weighed = lambda x, sub: " + ".join("%s[%s] * %d" % (x, i, 10 ** j) for j, i in enumerate(sub))
                script += "Array e%d[3]; e%d[2] := 5;\nArray %s[%s]%s; %s\nArray n%d[2]; n%d[1] := 3; n%d[2] := y;\n" % (
                    k, k, a, shape, " Sparse" if sparse else "",
                    "".join("%s[%s] := %s; " % (a, i, v) for i, v in zip(written, cells.split(", "))), k, k, k)
                script += "r := y^99;\n&e;\n&_P;\n%s\n%s\nArray g%d[2]; g%d[2] := 4;\n&_p;\n&e;\n&@;\n" % (
                    command.format(a=a), change.format(k=k, a=a, last=last) if level else "x := 1;", k, k)
                script += "y^%d;\nr;\n%s;\n%s + 10*g%d[2];\ny^%d;\n" % (
                    1000 + k, weighed(a, subs), weighed("n%d" % k, ["1", "2"]), k, 5000 + k)
    return script, k


def shown_between(out, k):
    m = re.search(r"y\^%d\b(.*?)y\^%d\b" % (1000 + k, 5000 + k), out, re.S)
    return [" ".join(p.split()) for p in m.group(1).split(">") if p.strip()] if m else []


def run(binary, script, what, failures):
    try:
        proc = subprocess.run([binary], input=script.encode(), capture_output=True, timeout=120)
    except subprocess.TimeoutExpired:
        failures.append("%s: no end in 120 s" % what)
        return ""
    out, err = proc.stdout.decode("utf-8", "replace"), proc.stderr.decode("utf-8", "replace")
    if proc.returncode != 0 or not out.rstrip().endswith("bye") or "Sanitizer" in err or "runtime error" in err:
        failures.append("%s: status %d, %s" % (what, proc.returncode, err[-2000:]))
    return out


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
        out = run(binary, script, ring or "rationals", failures)
        for j in range(1, k + 1):
            shown = shown_between(out, j)
            if len(shown) != 3 or shown[0] != "y^99" or shown[1] != shown[2]:
                failures.append("%s case %d: r, the level's array, its copy: %s" % (ring or "rationals", j, shown))
        script, k = reshaped(ring)
        total += k
        out = run(binary, script, "reshaped " + (ring or "rationals"), failures)
        for j in range(1, k + 1):
            shown = shown_between(out, j)
            if len(shown) != 4 or shown[0] != shown[2] or shown[1] != shown[2] or shown[3] != "0":
                failures.append("%s reshaped %d: in the call, after it, the copy, e: %s" % (ring or "rationals", j, shown))
        for changes in (ASIDE, UNSET):
            script, k = aside(ring, False, changes)
            calm = run(binary, script, "aside " + (ring or "rationals"), failures)
            changed = run(binary, aside(ring, True, changes)[0], "aside " + (ring or "rationals"), failures)
            total += k
            for j in range(1, k + 1):
                got, want = shown_between(re.sub(r"\d>", ">", changed), j), shown_between(re.sub(r"\d>", ">", calm), j)
                if len(want) != 3 or got != want:
                    failures.append("%s aside %d: r, the array, n and g: %s, not %s" % (ring or "rationals", j, got, want))
    print("\n".join(failures[:30]) or "resumed commands: %d cases" % total)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
