#!/usr/bin/env python3
"""A change of the ground ring, the variables, a relation or Laurent mode met
while a value is read around it (a function called inside an expression, a
sum's term, a subscript, an argument, a comparison, a setting's value, a
relation being declared, or typed inside an expression) is refused with
error 381 and never happens: so is one met while a `#` evaluation reads its
values, while an update (:+, :-) reads its amount (one factor), in a
condition (either side), in the expressions of an `Integer;` body, or in a
file read from inside an expression (no file is left open). An update whose
statement goes on after its amount ends in error 129 (31 in a stored body) before anything
changes, F never called. With error pushing on, leaving the level it opened by &_p (after &} or not) or by &@ abandons the statement, and the
session is then exactly that of one that never typed it (&g with its
auxiliary primes, Modulus, stored values, powers of the variable, the way
back to the rationals). A setting that changes none of them is no change:
there it is not refused, gives the value the statement has without it, and
leaves the session as it was (also as a statement of its own in modular
mode, where it keeps the way back open).

  ring_change_refused.py TARVEX [CASES] [SEED]
"""
import os
import random
import subprocess
import sys
import tempfile

CONTEXTS = [
    "1 + F(2);",
    "Sigma<i = 1, 3>(k + F(i));",
    "v[F(1)];",
    "G(1/2, F(5));",
    "if 1/2 = F(5) then 1 else 2 fi;",
    "&(D = F(3));",
    "&(P = F(2)*0 + x^2 + 2, 1);",
    "k + {set};",
]

# Further reads, each with the statement it equals when F changes nothing
# (F(n) = n + 1), its value worked out by hand; None: the same statement.
READS = [
    ("k#(F(1));", None),
    ("h#(F(1));", "h#(2);"),
    ("h#(x = F(2));", "h#(x = 3);"),
    ("v[2]#(F(1));", "v[2]#(2);"),
    ("v[1] :+ (F(1));", "v[1] := v[1] + 2;"),
    ("v[1] :- (2*F(1) - 1);", "v[1] := v[1] - 3;"),
    ("if F(5) = 1/2 then 1 else 2 fi;", None),
    ("while F(1) < 2 do k := 0 od;", None),
    ("I(3);", "3 + 2 + 3;"),
    ("k + Rd(1);", None),
]

# Updates whose statement goes on after the amount (1 when none begins),
# also by a stray ")", which ends only the inside of an &_m(.
UNFINISHED = ["k :+ F(1);", "v[1] :- 2*3;", "v[3] :+ -3;", "t[2] :+ (2) G(1, 2);", "t[3] :- 4 + 1;",
              "v[3] :+ k*0;", "J(2);", "k :+ 3);", "v[3] :- (2));", "t[1] :+ 4);", "K(2);", "L(2);",
              "for i = 1, 2 do v[1] :+ 1) od;", "if 1 = 1 then k :+ (1)) fi;"]


def settings(modular, relation, laurent):
    """(changes, no-ops) for the state: the settings that change something
    and those that leave everything as it is."""
    changes = ["&(p = 97)", "&(J = y)", "&(J > w)", "&(P = x^2 + 5)",
               "&(p = _i)" if modular else "&(p = 23)",
               "&(l = 0)" if laurent else "&(l = 1)"]
    noops = ["&(p = 23)" if modular else "&(p = _i)", "&(l = 1)" if laurent else "&(l = 0)"]
    if relation:
        changes.append("&(P = -x)")
    else:
        noops.append("&(P = -x)")
    return changes, noops


def run(binary, lines, file_line="0;"):
    with tempfile.TemporaryDirectory() as cwd:
        with open(os.path.join(cwd, "f.txt"), "w") as f:
            f.write(file_line + "\n")
        proc = subprocess.run([binary], input=("\n".join(lines) + "\n").encode(), capture_output=True,
                              cwd=cwd, timeout=120)
    return proc.returncode, proc.stdout.decode("utf-8", "replace")


def chunks(out, count):
    # One prompt per statement at the top level: the last `count` outputs.
    return out.split("\n>")[-count:]


def value_line(chunk):
    lines = [l.strip() for l in chunk.strip().split("\n") if l.strip()]
    return lines[-1] if lines else ""


def first_difference(probe, got, want):
    for statement, g, w in zip(probe + ["(end)"], got, want):
        for gl, wl in zip(g.split("\n") + [""], w.split("\n") + [""]):
            if gl != wl:
                return f"{statement} prints {gl.strip()!r} where {wl.strip()!r} was due"
    return "the output is shorter"


def levels_in_reads(binary, rng, cases=12):
    """After a refusal or an error left by &_p or &@ inside a read that has
    modular arithmetic off (an exponent, a subscript, a bound), a level opened
    inside another such read runs in the session's ring: it prints 2^100 and
    1234567 as the top level does, 5*q = 1 for the q := 1/5 it stores, and so
    does the q its save reads back into a new session."""
    rings = ["&(J = t); &(P = t^2 - 2, 1);", "&(p = 7);", "&(p = 12);", "&(p = 2147483629);", "&(p = 2^8);",
             "&(J = t); &(P = t^2 + 1, 1); &(p = 7);"]
    reads = ["r := 2^(F(2));", "r := v[F(1)];", "for i = 1, F(2) do r := i od;", "r := Sigma<i = 1, F(2)>(i);"]
    failures = 0
    for case in range(cases):
        first, second = rng.choice(reads).replace("F", rng.choice("FE")), rng.choice(reads).replace("F", "E")
        lines = [rings[case % len(rings)], "Array v[3], w[2];", "Func F(z) = &(p = 11); z.", "Func E(z) = w[9]; z.",
                 "&_P;", "&(e = 1);", first, rng.choice(["&_p;", "&@;"]), "&_P;", "&(e = 1);", second, "2^100;",
                 "1234567;", "q := 1/5;", "5*q;", "&(S = 'f.sav'); &s; &(S = @);", "&@;", "2^100;", "1234567;", "5*q;"]
        with tempfile.TemporaryDirectory() as cwd:
            out = subprocess.run([binary], input="\n".join(lines) + "\n", capture_output=True, text=True, cwd=cwd).stdout
            back = subprocess.run([binary], input="&(R = 'f.sav');\n5*q;\n", capture_output=True, text=True, cwd=cwd).stdout
        level, top = [value_line(c) for c in out.split("3>")[-8:-4]], [value_line(c) for c in out.split(">")[-4:-1]]
        top.append(value_line(back.split(">")[-2]))
        if level[:2] + [level[3]] + top[2:] != top[:2] + ["1"] * 3:
            failures += 1
            print(f"{lines[0]} {first} then {second}: the level printed {level}, the top and read back {top}")
    return failures


def main(argv):
    binary = os.path.abspath(argv[1])
    cases = int(argv[2]) if len(argv) > 2 else 60 + 3 * len(READS)
    seed = int(argv[3]) if len(argv) > 3 else 8903
    rng = random.Random(seed)
    failures = 0
    for case in range(cases):
        modular, relation, laurent = (rng.random() < 0.5 for _ in range(3))
        push = rng.choice(["&_p;", "&@;", "&}; &_p;", None])
        read = READS[case % len(READS)] if case >= 60 else None
        context = read[0] if read else CONTEXTS[case % len(CONTEXTS)]
        if not read and case % 8 == 6:
            # Refused while a relation is read, the field's relation in
            # place: the statement's end puts back its auxiliary primes too.
            relation, push = True, ("&@;", None)[case % 16 // 8]
        changes, noops = settings(modular, relation, laurent)
        refused = case % 3 != 2
        # Cancelling the variable of the values held, too.
        setting = rng.choice(changes + ["&(J = -x)"] * bool(read) if refused else noops)
        if not read and case % 12 == 8:
            # A relation taken away that was never there, in modular mode:
            # the way back stays open.
            modular, relation, setting = True, False, "&(P = -x)"
        top_level_noop = not refused and case % 2 == 0 and not read

        setup = ["&(J = x);"]
        if relation:
            setup.append("&(P = x^2 + 3, 1);")
        setup += ["h := (x + 1)^3/7:", f"k := {rng.randint(1, 9)}/{rng.choice([2, 5])}:", "Array v[3];",
                  "v[1] := 5:", "v[2] := x/3 + 1:", "v[3] := x^2 - 4:",
                  "Func G(a, b) = a + b.", "&(D = 4);"]
        if laurent:
            setup.append("&(l = 1);")
        if modular:
            setup.append("&(p = 23);")
        if push:
            setup.append("&(e = 1);")
        probe = ["&g;", "Modulus;", "k;", "h;", "[v];", "x^3;", "1/x;", "&(p = _i);", "k;", "h;", "[v];"]

        def session(body, func):
            functions = [f"Func F(a) = {func}; a + 1.",
                         "Func I(b) = Integer; s := b; for i = 1, 2 do s := s + F(i) od; s.",
                         "Func Rd(a) = &(R = 'f.txt'); a + 1."]
            return run(binary, setup + functions + body + probe, func + ";")

        statement = context.format(set=setting)
        if refused:
            leave = [push] if push else []
            status, out = session([statement] + leave, setting)
            _, want = session([], "0")
            got_probe, want_probe = chunks(out, len(probe) + 1), chunks(want, len(probe) + 1)
            problems = []
            if out.count("cannot be changed inside an expression") != 1:
                problems.append(f"{out.count('cannot be changed inside an expression')} refusals")
            if got_probe != want_probe:
                problems.append("after it " + first_difference(probe, got_probe, want_probe))
        else:
            body = [setting + ";"] if top_level_noop else [statement]
            # Read as a value, &(l = n) gives n and the others 0.
            plain = context.format(set=setting[-2] if setting.startswith("&(l") else "0")
            if read and read[1]:
                plain = read[1]
            status, out = session(body, setting)
            _, want = session([] if top_level_noop else [plain], "0")
            got_all, want_all = chunks(out, len(probe) + 2), chunks(want, len(probe) + 2)
            problems = []
            if "cannot be changed inside an expression" in out or "Inappropriate symbol" in got_all[0]:
                problems.append("refused or in error")
            if not top_level_noop and value_line(got_all[0]) != value_line(want_all[0]):
                problems.append(f"value {value_line(got_all[0])!r}, not {value_line(want_all[0])!r}")
            want_probe = want_all[1:] if not top_level_noop else chunks(want, len(probe) + 1)
            if got_all[1:] != want_probe:
                problems.append("after it " + first_difference(probe, got_all[1:], want_probe))
        if status != 0:
            problems.append(f"exit status {status}")
        if problems:
            failures += 1
            print(f"case {case}: {statement if not (not refused and top_level_noop) else setting} with F "
                  f"doing {setting} ({'modular' if modular else 'rational'}, relation {relation}, "
                  f"Laurent {laurent}, leaving by {push}): " + "; ".join(problems))
    for case, statement in enumerate(UNFINISHED * 2):
        modular, relation = case % 2 == 1, case // len(UNFINISHED) == 1
        setup = ["&(J = x);"] + ["&(P = x^2 + 3, 1);"] * relation + [
            "k := 7:", "Array v[3], t[3] Sparse;", "v[1] := 5:", "v[3] := x^2 - 4:", "t[3] := 8:",
            "Func G(a, b) = a + b.", "Func F(a) = &(p = 97); a + 1.",
            "Func J(b) = Integer; v[1] :+ 2*b; b.", "Func K(b) = t[2] :- b); b.",
            "Func L(b) = Integer; t[3] :+ b); b."] + ["&(p = 23);"] * modular
        probe = ["&g;", "k;", "[v];", "[t];", "&(p = _i);", "[v];"]
        status, out = run(binary, setup + [statement] + probe)
        _, want = run(binary, setup + probe)
        problems = [f"exit status {status}"] * (status != 0)
        # A stored statement that goes on reports it as stored ones do.
        stored = any(w in statement for w in ("J(", "K(", "L(", " do ", " then "))
        ends = out.count("Statement does not end where it should" if stored else "Improper end of statement")
        if ends != 1 or "cannot be changed" in out:
            problems.append("not the statement's end error alone")
        if chunks(out, len(probe) + 1) != chunks(want, len(probe) + 1):
            problems.append("after it " + first_difference(probe, chunks(out, len(probe) + 1),
                                                           chunks(want, len(probe) + 1)))
        if problems:
            failures += 1
            print(f"{statement} ({'modular' if modular else 'rational'}, relation {relation}): "
                  + "; ".join(problems))
    failures += levels_in_reads(binary, rng)
    print(f"ring changes inside reads: {cases} cases, {failures} fail (seed {seed})")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
