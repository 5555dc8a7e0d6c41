#!/usr/bin/env python3
"""Every input of the error transcripts typed at level 2 with error pushing
on, so that each error opens level 3, which is left with &_p at once; a
second &_p then leaves level 2, and the next input opens it again.

  errors_at_levels.py TARVEX FOLDER

Whatever the interrupted statement does when it goes on, the session must
end normally ("bye", status 0), at no point reach a level above 3, and print
no sanitizer report (the asan build runs this too).

Then levels opened by errors inside work that set part of the session aside
(relations suspended by Adjoint and 1/[a], a relation's text read, one
being replaced, a gcd of the plain representatives, a call's bindings,
modular arithmetic off while an exponent is read, a tower split partly
read as one level, the variable Splice and Split work on), in rings from the rationals to GF(2^8) and a tower: the level
computes under the relations, a value stored there is right after the level
is left, and a save made there reads back to the session's own state.
"""
import os
import random
import subprocess
import sys
import tempfile

# (ring and relation of t, c with t^2 = c, zero divisors of the modulus,
# whether t makes a field)
RINGS = [("&(J = t); &(P = t^2 - 2);", "2", [], False),
         ("&(J = t); &(P = t^2 - 2, 1);", "2", [], True),
         ("&(p = 9); &(J = t); &(P = t^2 - 2);", "2", [3, 6], False),
         ("&(p = 12); &(J = t); &(P = t^2 - 2);", "2", [2, 3, 4, 6], False),
         ("&(p = 7); &(J = t); &(P = t^2 - 3, 1);", "3", [], True),
         ("&(p = 2); &(J = t); &(P = t^2 - 1);", "1", [], False),
         ("&(p = 256); &(J = t); &(P = t^2 - 1);", "1", [], False),
         ("&(J = s); &(P = s^2 - 3); &(J = t); &(P = t^2 - s);", "s", [], False)]


SANITIZER_REPORTS = []


def sanitizer_report(err):
    return "ERROR: AddressSanitizer" in err or "runtime error:" in err or "LeakSanitizer" in err


def run_in(binary, cwd, text):
    proc = subprocess.run([binary], input=text.encode(), capture_output=True, cwd=cwd, timeout=60)
    err = proc.stderr.decode("utf-8", "replace")
    if sanitizer_report(err):
        SANITIZER_REPORTS.append(f"sanitizer report after:\n{text}\n{err[-3000:]}")
    return proc.stdout.decode("utf-8", "replace")


def top_values(out, count):
    # One prompt per statement at the top level: the last values before "bye".
    return [c.strip().split("\n")[-1].strip() for c in out.split("\n>")[-count - 1:-1]]


def set_aside_cases(binary, cases, seed):
    rng = random.Random(seed)
    failures = []
    with tempfile.TemporaryDirectory() as cwd:
        for case in range(cases):
            ring, c, divisors, field = RINGS[case % len(RINGS)]
            routes = [f"&(P = w^2 - 5 + a[9]{rng.choice(['', ', 1'])});", "&(P = w^2 - 5 + F(0));"]
            if divisors:
                k = rng.choice(divisors)
                routes += ["[r] := Adjoint[m];", "[r] := 1/[m];"] * 2 + [f"&(P = w^2 - 5 + 1/{k});"]
                # A non-unit met by the gcd of the representatives, the
                # relations without a field taken away meanwhile.
                routes += [f"q := ({k}*y^2 + t*y + {k})/({k}*y + {k}*t) + 1/(w + y);"] * 5
            if field:
                # t's relation taken out while a new one is made for it.
                routes += ["&(l = 1); &(P = t^3 - 2 + t^-1, 1);"] * 3
            route = rng.choice(routes)
            if os.path.exists(os.path.join(cwd, "l.sav")):
                os.remove(os.path.join(cwd, "l.sav"))
            setup = (f"{ring}\n&(J = y);\n&(J = w);\nArray a[2];\nFunc F(x) = &(p = 5); x.\n"
                     + (f"Array m[2,2];\n[m] := [(1/(y+{k}), 3*t, y, 1/(t*y+3))]:\n" if divisors else ""))
            out = run_in(binary, cwd, setup + f"&e;\n&_P;\n{route}\nt^2 - ({c});\nu := t^3:\n"
                         + f"&(S = 'l.sav'); &s; &(S = @);\n{rng.choice(['&_p;', '&@;'])}\n&@;\n"
                         + f"u - ({c})*t;\nt^2 - ({c});\n")
            level = out.split("3>")[1].strip() if "3>" in out else "no level"
            back = run_in(binary, cwd, f"&(R = 'l.sav');\nu - ({c})*t;\nt^2 - ({c});\n")
            got = [level] + top_values(out, 2) + top_values(back, 2)
            if got != ["0"] * 5:
                failures.append(f"{ring} {route}: at the level, after it, read back: {got}")
        # The exponent's integers are read as integers again after the level.
        for p in (7, 9, 12):
            out = run_in(binary, cwd, f"&(p = {p});\nFunc F(x) = x/0; 0.\nFunc K(x) = 2^(F(0) + 13).\n&e;\n"
                         "q := K(1);\n&_p;\nq - 2^13;\n")
            if top_values(out, 1) != ["0"]:
                failures.append(f"modulo {p}: 2^(F(0) + 13) resumed after a level is not 2^13\n{out}")
        # A tower that the prime splits partly (s^2 + 1 into s - r and s + r,
        # t^2 - 2 not) is read as one level, t a plain variable meanwhile: a
        # denominator that vanishes where s = r is refused there.
        for p, r, leave in ((5, 2, "&_p;"), (13, 5, "&@;"), (101, 10, "&_p;")):
            out = run_in(binary, cwd, f"&(p = {p});\n&(J = s);\n&(P = s^2 + 1, 1);\n&(J = t);\n"
                         f"&(P = t^2 - 2, 1);\n&(J = x);\n&e;\nFunc Q(d) = (x + t)/d.\n"
                         f"q := Q((s - {r})*x + s - {r});\nk := t^2 + s^2;\n{leave}\nk - 1;\nt^2 + s^2;\n")
            level = out.split("2>")[1].strip() if "2>" in out else "no level"
            if [level] + top_values(out, 2) != ["1", "0", "1"]:
                failures.append(f"modulo {p}, a tower read as one level: at the level, after it: "
                                f"{[level] + top_values(out, 2)}")
        # Splice and Split hold their variable's value aside while the later
        # arguments are read: a scalar, a dense and a sparse cell.
        for i, (call, target) in enumerate((c, t) for c in ("Splice(%s, b, F(1))", "Split(%s, F(1))")
                                           for t in ("a", "m[2]", "s[2,2]")):
            out = run_in(binary, cwd, "&(J = x);\na := 5 + x;\nArray m[3];\nm[2] := a;\nArray s[3,3] Sparse;\n"
                         "s[2,2] := a;\nb := x^2;\n&e;\nArray c[2];\nFunc F(n) = c[9].\n"
                         f"{call % target};\nk := {target};\n{'&@;' if i % 2 else '&_p;'}\n"
                         f"{target} - (x + 5);\nk - (x + 5);\n")
            level = out.split("2>")[1].strip() if "2>" in out else "no level"
            if [level] + top_values(out, 2) != ["x + 5", "0", "0"]:
                failures.append(f"{call % target}: at the level, after it: {[level] + top_values(out, 2)}")
        # A call's binding hides the session's n while the level runs.
        for glob in ("n := 77;\n", ""):
            run_in(binary, cwd, f"&e;\n{glob}Func G(n) = a[9].\nArray a[2];\nG(3);\n"
                   "&(S = 'n.sav'); &s; &(S = @);\n&_p;\n")
            back = run_in(binary, cwd, "&(R = 'n.sav');\nn + 1000;\n")
            want = "1077" if glob else "Inappropriate symbol: n"
            if want not in back.split("\n>")[-2]:
                failures.append(f"a save in G(3) with {glob.strip() or 'no global n'} reads back as\n{back}")
    return failures


# Updates and assignments whose right side clears or deletes their target:
# M clears s[1], E deletes the array d declared before x, D deletes k, G
# deletes s. (statement, reader, the value due computed apart, or None when
# the statement is to be refused and the target found gone)
LOST_TARGETS = [("s[1] :+ (M(3));", "s[1];", "z :+ 3;"), ("s[1] := (M(6));", "s[1];", "6;"),
                ("s[1] :- (M(2));", "s[1];", "z :- 2;"), ("x[1] :+ (E(1));", "x[1];", "101;"),
                ("k :+ (D(5));", "k;", None), ("k := (D(5));", "k;", None), ("d[1] :+ (E(1));", "d[1];", None),
                ("I(1);", "s[1];", None), ("[d] := [(E(1), 2, 3)];", "d[1];", None)]


def lost_target_cases(binary):
    """What such a statement prints is what a reader, and a save read back,
    then find, and the value due (in the rationals, modulo 7 and GF(2^8),
    polynomials held before); or it is refused, the target gone for all."""
    failures = []
    setup = ("&(J = w);\nk := w^2 + 1;\nz := 0;\nArray d[3];\nArray x[3];\nArray y[3];\nArray s[3] Sparse;\n"
             "d[1] := w + 1;\ns[1] := w^2 - 2;\nx[1] := 100;\ny[1] := 6;\nFunc M(z) = s[1] := 0; z.\n"
             "Func D(z) = @k; z.\nFunc E(z) = @[d]; z.\nFunc G(z) = @[s]; z.\n"
             "Func I(z) = Integer; s[1] :+ (G(z)); z.\n")
    with tempfile.TemporaryDirectory() as cwd:
        for ring in ("", "&(p = 7);\n", "&(p = 256);\n"):
            for statement, reader, due in LOST_TARGETS:
                out = run_in(binary, cwd, f"{ring}{setup}{due or '0;'}\n{statement}\n{reader}\n"
                             "&(S = 'v.sav'); &s; &(S = @);\n")
                back = run_in(binary, cwd, f"&(R = 'v.sav');\n{reader}\n")
                parts = out.split("\n>")[-7:-4] + back.split("\n>")[-2:-1]
                got = ["refused" if "Inappropriate" in c else c.strip().split("\n")[-1].strip() for c in parts]
                # Due, printed, read, read back.
                if got[1:] != ["refused"] * 3 if due is None else len(set(got)) != 1:
                    failures.append(f"{ring.strip()} {statement} then {reader}: due, printed, read, read back {got}")
    return failures

# Updates and assignments (of an element or a whole array) whose right side
# declares an array of the target's name (Rx) are refused as deleted
# targets are: a later read and a save read back find the newer array, the
# hidden one unchanged. One that hides and deletes it again (Rh) writes.
HIDING_ROUTES = ["{s}", "for i = 1 to 1 do {s} od;", "if 1 = 1 then {s} fi;",
                 "Func T(n) = {s} 1.\nT(0);", "Func T(n) = Integer; {s} 1.\nT(0);"]


def hidden_target_cases(binary, cases, seed):
    rng, failures = random.Random(seed), []
    rings = ["", "&(p = 7);", "&(p = 3);", "&(p = 12);", "&(p = 9);", "&(p = 256);", "&(p = 65536);"]
    with tempfile.TemporaryDirectory() as cwd:
        for case in range(cases):
            old, new, hider = rng.choice(["", " Sparse"]), rng.choice(["", " Sparse"]), rng.choice(["Rx"] * 3 + ["Rh"])
            c, v, h, n = rng.choice([1, 2]), rng.randint(2, 40), rng.randint(2, 40), rng.randint(1, 9)
            route = HIDING_ROUTES[case % 5]
            op = rng.choice([":+", ":=", "[x] :="] + [":-"] * (hider == "Rx") + [":*"] * ("Integer" in route))
            target = f"x[{c}] {op} ({hider}({n}))" if op[0] == ":" else f"[x] := ({hider}({n}))"
            defs, _, statement = route.format(s=target + ";").rpartition("\n")
            due_old = f"{v}" if c == 1 else "0"
            due_new = f"{h if c == 1 else 0};" if hider == "Rx" else \
                f"{n};" if "=" in op else f"{due_old} {'*' if op == ':*' else '+'} {n};"
            out = run_in(binary, cwd, f"{rings[case % 7]}\nArray x[3]{old};\nx[1] := {v};\nFunc Rx(z) = Array "
                         f"x[5]{new}; x[1] := {h}; z.\nFunc Rh(z) = Array x[5]{new}; @[x]; z.\n{defs}\n{due_new}\n"
                         f"{due_old};\n{statement}\nx[{c}];\n&(S = 'h.sav'); &s; &(S = @);\n@[x];\nx[{c}];\n")
            back = top_values(run_in(binary, cwd, f"&(R = 'h.sav');\nx[{c}];\n@[x];\nx[{c}];\n"), 3)
            got = top_values(out, 9)
            refused = "Cannot assign" in out.split("\n>")[-8]
            if not (refused and got[8] == got[1] and back[0::2] == got[:2] if hider == "Rx" else
                    not refused and back[0] == got[0]) or got[3] != got[0]:
                failures.append(f"{rings[case % 7] or 'Q'} x[3]{old}, x[5]{new}: {defs} {statement}: due new, due old, "
                                f"printed, read, ..., read after @[x] {got}; read back {back}")
    return failures


# Assignments and updates whose right side (M, in its body or through a
# file it reads) moves the target's cells: the target made sparse or given
# another shape, or the array z below it deleted, reshaped or made sparse.
# The statement either stores where the target stands once M has run, as
# taking M's value first does, or is refused with the arrays as M alone (or
# nothing) leaves them; the array y above it and the array declared next
# never change, and a save reads back as the session shows.
MOVERS = ["Sparse[x];", "[x] := [(1, 2)];", "@[z];", "Sparse[z];", "[z] := [(1, 2, 3, 4)];"]
MOVED_FORMS = ["x[2] := {v};", "x[2] :+ ({v});", "x[2] :- ({v});", "[x[1~2]] := [({v}, 50)];",
               "[x[2~3]] := [(50, {v})];"]


def moved_target_cases(binary, cases, seed):
    rng, failures = random.Random(seed), []
    rings = ["", "&(p = 7);", "&(p = 3);", "&(p = 12);", "&(p = 256);", "&(p = 65536);", RINGS[0][0]]
    show = "![z];\n![x];\n![y];\nArray d[3];\n![d];\n"
    with tempfile.TemporaryDirectory() as cwd:
        def state(statement, setup, save=False):
            # w^7 and w^9 mark the statement's output in every ring.
            out = run_in(binary, cwd, f"{setup}\nw^7;\n{statement}\nw^9;\n{show}&(S = 'm.sav'); &s; &(S = @);\n")
            done, _, after = out.rpartition("w^9\n")
            said = done.rpartition("w^7\n")[2].rpartition("\n")[0]
            back = run_in(binary, cwd, f"&(R = 'm.sav');\n{show}").split("\n>")[-6:-1] if save else None
            return "***" in said, said.strip().split("\n")[-1], after.split("\n>")[1:6], back
        for case in range(cases):
            mover, form = rng.choice(MOVERS), rng.choice(MOVED_FORMS)
            route = HIDING_ROUTES[case % 5]
            with open(os.path.join(cwd, "m.txt"), "w") as f:
                f.write(mover.replace("; ", ";\n") + "\n")
            body = rng.choice([mover, "&(R = 'm.txt');"])
            setup = (f"{rings[case % 7]}\n&(J = w);\nArray z[3];\nz[1] := 7: z[2] := 8: z[3] := 9:\nArray x[3]"
                     f"{rng.choice(['', '', ' Sparse'])};\nx[1] := 4: x[2] := 5: x[3] := 4:\n"
                     f"{rng.choice(['Array y[3];', ''])}\ny[1] := 1: y[2] := 2: y[3] := 3:\nFunc M(k) = {body} k + 5.")
            statement = route.format(s=form.format(v="M(1)"))
            refused, said, shown, back = state(statement, setup, True)
            if refused:
                due = [state(route.format(s=s), setup)[2] for s in ("q := M(1);", "q := 0;")]
                right = shown in due
            else:
                _, due_said, due_shown, _ = state(route.format(s="q := M(1); " + form.format(v="q")), setup)
                right = shown == due_shown and said == due_said
            if not right or back != shown:
                failures.append(f"{setup}\n{statement}\n(refused: {refused}) printed {said}, arrays z, x, y, d:"
                                f"{shown}\nread back: {back}")
    return failures


def refused_product_cases(binary):
    """Products refused part way (a cell without an element modulo 12),
    dense by sparse, sparse by dense, sparse by sparse and powers, give
    back their scratch: the sanitizer build reports a leak at the exit."""
    cells = "(x + 1)/(x^2 + 3)"
    text = (f"&(p = 12);\n&(J = x);\nArray s[1,1] Sparse, b[1,1], t[1,1] Sparse;\ns[1,1] := 3:\nb[1,1] := {cells}:\n"
            f"t[1,1] := {cells}:\nArray m[2,2] Sparse, n[2,2];\nm[1,1] := 3: m[1,2] := {cells}: m[2,1] := 3:\n"
            "[n] := [m]:\n")
    products = ["[b]*[s]", "[s]*[b]", "[t]*[s]", "[s]*[t]", "[m]^2", "[n]^2", "[m]*[n]", "[n]*[m]", "[m]^3"]
    with tempfile.TemporaryDirectory() as cwd:
        out = run_in(binary, cwd, text + "".join(f"[c] := {p}:\n" for p in products))
    refused = out.count("Value not invertible")
    return [] if refused == len(products) else [f"{refused} of the products {products} refused:\n{out[-2000:]}"]


def main(argv):
    binary, folder = os.path.abspath(argv[1]), argv[2]
    lines = []
    for name in ("errors.in", "badinput.in"):
        with open(os.path.join(folder, name), "rb") as f:
            lines += [l.rstrip(b"\n") for l in f.read().split(b"\n") if l.strip()]
    script = b"&(e = 1):\n"
    for line in lines:
        # The error opens level 3; &_p leaves it, a lone ";" ends what is
        # left of the interrupted statement if it reads on, and the second
        # &_p leaves level 2 (or, after an input that opened nothing, only
        # warns at the top).
        script += b"&_P;\n" + line + b"\n&_p;\n;\n&_p;\n"
    script += b"7 * 6;\n"
    with tempfile.TemporaryDirectory() as cwd:
        proc = subprocess.run([binary], input=script, capture_output=True, cwd=cwd, timeout=120)
    out = proc.stdout.decode("utf-8", "replace")
    err = proc.stderr.decode("utf-8", "replace")
    failures = []
    if proc.returncode != 0:
        failures.append(f"exit status {proc.returncode}")
    if sanitizer_report(err):
        failures.append("sanitizer report:\n" + err[-4000:])
    if not out.rstrip().endswith("bye"):
        failures.append("the session did not end normally")
    if "4>" in out:
        failures.append("a level above 3 was opened")
    if out.count("*** New command level.") != len(lines):
        failures.append("&_P opened no level, or an error opened one without pushing")
    if out.count("3>") < 8:
        failures.append("the errors did not open level 3")
    if "42" not in out.split("*** Resuming earlier command level")[-1]:
        failures.append("the statement after the last level did not run at the top")
    if failures:
        print(out[-3000:])
    failures += (set_aside_cases(binary, 24, 9301) + lost_target_cases(binary) + hidden_target_cases(binary, 35, 5147)
                 + moved_target_cases(binary, 40, 7207) + refused_product_cases(binary)
                 + SANITIZER_REPORTS)
    if failures:
        print("\n".join(failures))
        return 1
    print(f"errors at levels: {len(lines)} inputs, no crash; levels inside set-aside work right")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
