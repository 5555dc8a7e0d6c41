#!/usr/bin/env python3
"""Save, quit, read in a fresh process: the state the user sees comes back.

Each case builds a state in one process, saves it, lists it (the settings
listing &g, every value, array and function, the variable and function
listings) and quits; a fresh process reads the file, closes it and lists
the same things. The two listings must be identical, and the reading must
report no error.

  - Modular mode: Z/p, GF(2^8), GF(2^16) and a tower of two relations,
    relations declared in modular mode (field and not), values, dense and
    sparse arrays, functions. The relation lines of the file are checked
    against their rational forms worked out by hand, and arithmetic after
    the read against values worked out by hand (so the relation read back
    is the one declared, not only one that lists the same).
  - Shadowed definitions: a function and arrays defined twice, and the
    bindings of a call in progress: the newest comes back newest.
  - A function's comments and the unset cells of dense arrays, whatever
    the ring: both come back as they were, in any number of rounds.
  - Every setting away from its start-up value, in rational and modular
    mode: the &g listings agree, and a second save equals the first.
  - Relations with a term the modulus kills (written as declared: the way
    back gives them back), products under a composite modulus, sparse
    arrays turned by STrans: values after the read and after the way back
    against values worked out by hand.

  save_state_roundtrip.py TARVEX
"""
import os
import re
import subprocess
import sys
import tempfile

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL:", message)


def run(binary, cwd, script):
    proc = subprocess.run([binary], input=script.encode(), capture_output=True, cwd=cwd, timeout=60)
    return proc.stdout.decode("utf-8", "replace")


ERRORS = ("Inappropriate symbol", "Tarvex error", "*** Stopped", "Error occurred")


def listing_after(out, marker):
    """What the output shows after the line that closes the file."""
    at = out.find(marker)
    return out[out.index("\n", at) + 1:] if at >= 0 else ""


def round_trip(binary, setup, probe, name):
    """(file text, listing before, listing after, the file a fresh process
    saves after reading it)."""
    with tempfile.TemporaryDirectory() as cwd:
        first = run(binary, cwd, setup + "&(S = 'state.sav');\n&s;\n&(S = @);\n" + probe)
        with open(os.path.join(cwd, "state.sav")) as f:
            text = f.read()
        second = run(binary, cwd, "&(R = 'state.sav');\n&(R = @);\n" + probe)
        run(binary, cwd, "&(R = 'state.sav');\n&(R = @);\n&(S = 'again.sav');\n&s;\n&(S = @);\n")
        with open(os.path.join(cwd, "again.sav")) as f:
            again = f.read()
    before = listing_after(first, " Now closing state.sav.")
    after = listing_after(second, " Now closing state.sav.")
    check(before and after, f"{name}: no listing\n{first}\n{second}")
    built = first[:first.find(" Now closing state.sav.")]
    check(not any(e in built for e in ERRORS), f"{name}: building the state reports an error\n{built}")
    read_part = second[:second.find(" Now closing state.sav.")]
    check(not any(e in read_part for e in ERRORS), f"{name}: reading the file reports an error\n{text}\n{read_part}")
    return text, before, after, again


def same_listing(before, after, name, text):
    diff = [f"  before: {x!r}\n  after:  {y!r}" for x, y in zip(before.splitlines(), after.splitlines()) if x != y]
    check(before == after, f"{name}: the state read back lists differently\n" + "\n".join(diff[:8]) + f"\n{text}")


# ------------------------------------------------------------ modular mode

MODULAR = {
    # name: (setup, the relation lines the file must hold, checks: statement -> shown value)
    "Z/101": ("&(p = 101);\n&(J = t);\n&(P = t^2 + 3, 1);\n&(J = x);\n"
              "a := (t + 5)*x + 7;\nb := (x^2 + t)/(x + 3*t);\nc := 200;\n"
              "Func F(u) = u^2 + t.\n"
              "Array w[2,2];\n[w] := [(t, x, 3, 1/(t + 1))];\n"
              "Array s[3,3] Sparse;\ns[1,2] := t*x + 3;\ns[3,3] := 1/(x + t);\n",
              [" &(P = t^2 + 3, 1: :);"],
              # t^2 = -3: (t + 5)^2 = t^2 + 10t + 25 = 10t + 22
              {"(t + 5)^2;": "10t + 22", "t^3;": "-3t", "F(t);": "t - 3"}),
    "Z/97 not a field": ("&(p = 97);\n&(J = u);\n&(P = u^2 - 2);\n&(J = t);\n&(P = t^3 + 5*t + 1);\n"
                         "a := u^3 + t^4;\nArray v[3];\n[v] := [(u, t^2, u*t)];\n",
                         [" &(P = u^2 - 2);", " &(P = t^3 + 5t + 1);"],
                         {"u^2;": "2", "t^3;": "-5t - 1"}),
    "GF(2^8)": ("&(p = 256);\n&(J = t);\n&(P = t^2 + t + 200, 1);\n&(J = x);\n"
                "a := 3*t*x + 17;\nb := (x + t)/(x + 5);\nFunc F(u) = u^2.\n"
                "Array s[2,2] Sparse;\ns[2,1] := 7*t;\n",
                [" &(P = t^2 + t + 200, 1: :);"],
                # t^2 = t + 200 in characteristic 2
                {"t^2 + t;": "200", "F(t) + t;": "200"}),
    "GF(2^16)": ("&(p = 65536);\n&(J = t);\n&(P = t^3 + 40000, 1);\n"
                 "a := t^2 + 65535;\nArray w[2];\n[w] := [(t, 12345)];\n",
                 [" &(P = t^3 + 40000, 1: :);"],
                 {"t^3;": "40000"}),
    "tower": ("&(p = 101);\n&(J = s);\n&(P = s^2 + 2, 1);\n&(J = t);\n&(P = t^2 + s*t + 1, 1);\n&(J = x);\n"
              "a := (t + s)^3;\nb := (x^2 + t)/(x + s);\nFunc G(u) = u^2 + t*s.\n"
              "Array w[2,2];\n[w] := [(t, x, s, 1/(t + 1))];\n"
              "Array sp[3,3] Sparse;\nsp[1,2] := t*x + 3;\nsp[3,3] := s/(x + 1);\n",
              [" &(P = s^2 + 2, 1: :);", " &(P = t^2 + (s)t + 1, 1: :);"],
              # s^2 = -2, t^2 = -st - 1
              {"s^2;": "-2", "t^2 + s*t;": "-1"}),
    # Declared in rational mode and carried over: written as it was declared.
    "carried": ("&(J = t);\n&(P = t^2 + 205, 1);\n&(p = 101);\na := t + 1;\n",
                [" &(P = t^2 + 205, 1:"],
                {"t^2;": "-3"}),
}


def modular_cases(binary):
    for name, (setup, relation_lines, values) in MODULAR.items():
        probe = "&g;\n&v;\n&f *;\n" + "".join(f"{v};\n" for v in re.findall(r"^([a-z]+) :=", setup, re.M))
        probe += "".join(f"[{a}];\n" for a in re.findall(r"^Array (\w+)", setup, re.M))
        probe += "".join(values)
        text, before, after, again = round_trip(binary, setup, probe, name)
        for line in relation_lines:
            check(line in text, f"{name}: the file lacks the relation line {line!r}\n{text}")
        check(" 0t" not in text and "0u^2" not in text, f"{name}: a relation written as zeros\n{text}")
        same_listing(before, after, name, text)
        shown = [s.strip() for s in re.split(r"\n>", after)]
        for statement, value in values.items():
            check(value in shown, f"{name}: {statement} does not show {value} after the read\n{after}")
        check(again == text, f"{name}: saving the state read back gives another file\n{text}\n{again}")


# --------------------------------------------------- shadowed definitions

SHADOWED = ("Func F = 1.\nFunc F = 2.\nFunc H(u) = u + 1.\nFunc H(u) = u + 2.\n"
            "Array a[2];\n[a] := [(1, 2)];\nArray a[3];\n[a] := [(7, 8, 9)];\n"
            "Array s[2,2] Sparse;\ns[1,1] := 4;\nArray s[3,3] Sparse;\ns[3,3] := 5;\n")


def shadowed(binary):
    # H(10) is 12: -2 modulo 7 in the symmetric display.
    for ring, h in [("", "12"), ("&(p = 7);\n", "-2")]:
        name = f"shadowed {ring.strip() or 'rational'}"
        probe = "&v;\n&f;\n&f *;\n[a];\n[s];\nF;\nH(10);\n"
        text, before, after, again = round_trip(binary, ring + SHADOWED, probe, name)
        same_listing(before, after, name, text)
        shown = [s.strip() for s in re.split(r"\n>", after)]
        check(shown[-3:-1] == ["2", h], f"{name}: F or H is not the newest\n{after}")
        check(again == text, f"{name}: saving the state read back gives another file")
    # Bindings of a call in progress: the value the name stands for then.
    with tempfile.TemporaryDirectory() as cwd:
        run(binary, cwd, "n := 5;\nFunc Sv(n) = &s; n.\n&(S = 'f.sav');\nSv(9);\n&(S = @);\n")
        out = run(binary, cwd, "&(R = 'f.sav');\nn + 1000;\n")
        check(re.search(r"^\s*1009$", out, re.M), f"a save inside a call: n is not its binding then\n{out}")


# ------------------------------------------- text and unset cells as written

KEPT = ("&(J = y);\nFunc G(v) = {note} if v > 1 then {two } v + 1; else {three  }{ }{} v fi; {four}\n v.\n"
        "Array v[3];\nv[1] := 4;\nArray w[2,3];\nw[2,1] := y^2 + 1/3;\nw[1,3] := 2^40;\nArray z[2];\n"
        "Array c[2,2];\n[c] := [(1, 2, 3, 4)];\nq := y^2 + 1;\n")


def kept_as_written(binary):
    # A comment's text and a cell never set survive any number of rounds:
    # the element with no value still stops an evaluation at the array.
    for ring in ["", "&(p = 97);\n", "&(p = 256);\n"]:
        name = f"kept as written {ring.strip() or 'rational'}"
        probe = "&f<G;\nq#(y = [v]);\nq#(y = [c]);\nv[1];\n[w];\n[z];\n[c];\n"
        text, before, after, again = round_trip(binary, KEPT + ring, probe, name)
        same_listing(before, after, name, text)
        check("{note}" in before and "{three }" in before and "{three  }" in text and "{note }" in text,
              f"{name}: the comments are not listed as written\n{before}")
        check(before.count("Array element has no value.") == 1, f"{name}: v[2] is set\n{before}\n{text}")
        check(" v[2] :=" not in text and " w[1,1] :=" not in text and "[z] :=" not in text,
              f"{name}: unset cells are written\n{text}")
        check(again == text, f"{name}: saving the state read back gives another file\n{text}\n---\n{again}")


# ------------------------------------------------------------ every setting

PARAMETERISED = ["&(e = 1);", "&(N = 0);", "&(m = 2);", "&(a = 0);", "&(B = 0);", "&(D = 2);", "&(M = 'ok>');",
                 "&(_l = 1);", "&(t = 1);", "&(V = 1);", "&(W = 1);", "&(_L = 1);", "&(L = 1);", "&(u = 3);",
                 "&(A = 50);", "&(X = 500);", "&(& = 1);", "&(E = 0);", "&(O = 0);", "&(| = 0);", "&(_s = 0);",
                 "&(_t = 0);", "&(_d = 100);"]
AFTER_RING = ["&(H = 0);", "&(# = 20);", "&(K = 1);", "&(_r = 7);"]
# Settings with no switch line (toggles and prompts): a save writes switch
# lines only, so these stay out of it, and their lines out of the comparison.
TOGGLES = "&c;\n&Z;\n&C +;\n&I;\n&b;\n&d;\n20;\n&_k;\n100;\n"
NOT_SAVED = ("Display constant", "Hensel gcd double checking", "GCD stashing level", "Can interrupt anytime")
# With timing on every statement reports its time, which varies.
UNSTEADY = ("Elapsed CPU time",)


def compared_lines(listing):
    return "\n".join(l for l in listing.splitlines() if l.strip() and not any(k in l for k in NOT_SAVED + UNSTEADY))


def every_setting(binary):
    for ring in ["&(J = x);\n&(l = 1);\n", "&(J = t);\n&(P = t^2 + 2, 1);\n&(J = x);\n&(l = 1);\n&(p = 101);\n"]:
        name = "settings " + ("modular" if "&(p" in ring else "rational")
        setup = TOGGLES + "\n".join(PARAMETERISED) + "\n" + ring + "\n".join(AFTER_RING) + "\n&(n = 1);\n"
        text, before, after, again = round_trip(binary, setup, "&g;\n", name)
        b, a = compared_lines(before), compared_lines(after)
        took = ["Kartasuba cutoff for poly multiplication is 20.", "Determinant method is Gauss-Bareiss.",
                "Denominator for random is:", "Prompt is: ok>", "Laurent polynomials allowed."]
        check(all(t in b for t in took), f"{name}: the settings were not made\n{b}")
        check(b == a, f"{name}: &g differs after the read\n{b}\n---\n{a}\n{text}")
        for line in PARAMETERISED + AFTER_RING + ["&(n = 1);", "&(l = 1);"] + ring.splitlines()[-1:]:
            check(line in text.splitlines(), f"{name}: the file lacks {line}\n{text}")
        check(again == text, f"{name}: saving the state read back gives another file\n{text}\n---\n{again}")


# -------------------- relations with killed terms, STrans, composite moduli

# name: (setup, lines the file must hold, probe after the read: statement ->
# value worked out by hand). The probe goes back to rational mode half way:
# the relation the way back gives is the one declared, terms the modulus
# killed included.
HARD = {
    # y^2 = -6: y^3 = -6y; modulo 3 the relation is y^2 = 0.
    "killed constant, field": ("&(J = y);\n&(P = y^2 + 6, 1);\n&(p = 3);\na := y + 1;\n",
                               [" &(P = y^2 + 6, 1:"],
                               ["y^3 + 1;", "1", "&(p = _i);", None, "y^3 + 1;", "-6y + 1", "a^2;", "-6y + 1"]),
    "killed constant, all starred": ("&(J = y);\n&(P = y^2 + 3);\na := y + 5;\n&(p = 3 : **);\n",
                                     [" &(P = y^2 + 3);"],
                                     ["y^3 + 1;", "1", "&(p = _i);", None, "y^3 + 1;", "-3y + 1", "a;", "y + 5"]),
    # y^2 = -12y - 5 = 7 modulo 12; y^3 = -12y^2 - 5y = 139y + 60.
    "killed term, composite": ("&(J = y);\n&(P = y^2 + 12*y + 5);\n&(p = 12 : );\n",
                               [" &(P = y^2 + 12y + 5);"],
                               ["y^2;", "-5", "&(p = _i);", None, "y^3;", "139y + 60"]),
    # t^2 = -t - 512: t^3 = -t^2 - 512t = -511t + 512.
    "killed constant, GF(2^8)": ("&(J = t);\n&(P = t^2 + t + 512, 1);\n&(p = 256);\n",
                                 [" &(P = t^2 + t + 512, 1:"],
                                 ["&(p = _i);", None, "t^3;", "-511t + 512"]),
    # 3 (x + 1) = 3 (x + 5) modulo 12: the product is 3, and the file reads.
    "product, composite": ("&(J = x);\n&(p = 12);\nf := (x + 1)/(x^2 + 3);\ne := 3*((x + 1)/(x + 5));\n"
                           "Array m[1];\nm[1] := 4;\n",
                           [" e := 3;"],
                           ["e;", "3", "[m];", "[[  4   ]]", "f*2;", "( 2x + 2 ) / ( x^2 + 3 )"]),
    "STrans, rational": ("&(J = x);\nArray vs[5] Sparse;\nvs[2] := 1;\nvs[4] := 7/3;\nSTrans[vs];\n"
                         "Array w[2,3] Sparse;\nw[1,3] := x;\nSTrans[w];\n",
                         ["Array vs[1,5] Sparse;", "Array w[3,2] Sparse;"],
                         ["vs[1,4];", "7 / 3", "w[3,1];", "x"]),
    "STrans, left out": ("Array vs[3] Sparse;\nvs[3] := 1/2;\nSTrans[vs];\nArray u[2] Sparse;\nu[1] := 5;\n"
                         "STrans[u];\n&(p = 97 : [u]);\n",
                         ["Array vs[1,3] Sparse;", "Array u[1,2] Sparse;"],
                         ["vs[1,3];", "-48", "&(p = _i);", None, "vs[1,3];", "1 / 2"]),
    # A relation declared in modular mode closes the way back, after the
    # read too. y^2 = -4: (y + 1)^2 = 2y - 3, (y + 1)^4 = -12y - 7,
    # (y + 1)^5 = -19y + 41.
    "redeclared in modular mode": ("&(J = y);\n&(P = y^2 + 9);\nk := (y + 1)^3;\n&(p = 97);\n&(P = y^2 + 4);\n"
                                   "d := (y + 1)^5;\n",
                                   [" &(P = y^2 + 4);"],
                                   ["&(p = _i);", None, "y^2;", "-4", "d;", "-19y + 41"]),
    # t^2 = t + 200 in characteristic 2: t^3 = t^2 + 200t = 201t + 200.
    "redeclared, GF(2^8) field": ("&(J = t);\n&(P = t^2 + t + 3, 1);\n&(J = x);\nf := x/(x + t);\n&(p = 256);\n"
                                  "&(P = t^2 + t + 200, 1);\n",
                                  [" &(P = t^2 + t + 200, 1: :);"],
                                  ["&(p = _i);", None, "t^3;", "201t + 200", "f*(x + t);", "x"]),
    # Under a composite modulus: t^2 = -5.
    "redeclared, composite": ("&(J = t);\n&(P = t^2 + 3);\nf := t + 5;\n&(p = 12);\n"
                              "&(P = t^2 + 5);\nb := (t + 1)^2;\n",
                              [" &(P = t^2 + 5);"],
                              ["&(p = _i);", None, "t^2;", "-5", "b;", "2t - 4"]),
    # A variable adjoined, a relation removed in modular mode: 14 stays 1.
    "adjoined in modular mode": ("&(p = 13);\n&(J = u);\na := (u + 1)^2;\n", [],
                                 ["&(p = _i);", None, "u + 14;", "u + 1", "a;", "u^2 + 2u + 1"]),
    "relation removed in modular mode": ("&(J = y);\n&(P = y^2 + 1);\n&(J = x);\n&(p = 7);\n&(P = -y);\n"
                                         "b := y^2 + x;\n", [],
                                         ["&(p = _i);", None, "y^2 + 8;", "y^2 + 1", "b;", "x + y^2"]),
}


def hard_cases(binary):
    for name, (setup, lines, steps) in HARD.items():
        statements = steps[0::2]
        probe = "&v;\n" + "".join(f"{st}\n" for st in statements)
        text, before, after, again = round_trip(binary, setup, probe, name)
        for line in lines:
            check(line in text, f"{name}: the file lacks {line!r}\n{text}")
        same_listing(before, after, name, text)
        shown = [b.strip() for b in re.split(r"\n>", after)]
        for statement, value in zip(steps[0::2], steps[1::2]):
            if value is not None:
                # A rational is shown with its decimal value after ";".
                check(any(v.split(";")[0].strip() == value or v.startswith(value + "\n") for v in shown),
                      f"{name}: {statement} does not show {value} after the read\n{after}")
        check(again == text, f"{name}: saving the state read back gives another file\n{text}\n---\n{again}")


def main(argv):
    binary = os.path.abspath(argv[1])
    hard_cases(binary)
    modular_cases(binary)
    shadowed(binary)
    kept_as_written(binary)
    every_setting(binary)
    print(f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
