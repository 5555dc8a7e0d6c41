#!/usr/bin/env python3
"""Random programs of user functions run by the interpreter and by a small
reference evaluator written here over Python's fractions, compared value by
value.

  program_differential.py TARVEX [COUNT] [SEED]

Each program defines a few functions (value and "^" parameters, spare
parameters left out of the calls as zero-valued locals, assignments, if/else,
counted while loops, for loops up and down with steps, sums and products,
recursion on a decreasing counter, calls in expressions, "&}", "&>", "&]")
and then calls them from the top level with global variables as the "^"
arguments. Rational programs use division and run once. Integer programs use
only \\ and | and run twice: as written, and with "Integer;" opening every
body, where each value must agree while it fits one word and the call must
end in "Number too large" as soon as one does not.
"""
import os
import random
import subprocess
import sys
import tempfile
from fractions import Fraction

WORD = 2**28 - 1           # largest magnitude of a one-word integer
STEP_BUDGET = 4000         # statements one program may execute in the reference
DIGIT_CAP = 10**50         # keeps exact values short enough to read back quickly
LOOP_VARS = ["i", "j", "k", "l"]   # one per nesting depth, so loops never share a counter
DATA = ["x", "y"]          # value parameters passed by the caller
REFS = ["r", "s"]          # "^" parameters
LOCALS = ["t", "u"]        # parameters no caller passes: locals starting at 0
OVERFLOW_TEXT = "Number too large"


class Reject(Exception):
    """The program is unusable as a test (division by zero, too long, too big)."""


class Overflow(Exception):
    """A value left one word in integer mode."""


class Exit(Exception):
    pass


def tdiv(a, b):
    q = abs(a) // abs(b)
    return q if (a >= 0) == (b > 0) else -q


def trem(a, b):
    """Remainder with the dividend's sign, then moved into 0..|b|-1."""
    r = a - tdiv(a, b) * b
    return r + abs(b) if r < 0 else r


# ---------------------------------------------------------------- generator

class Gen:
    def __init__(self, rng, integer_only):
        self.rng = rng
        self.integer_only = integer_only
        self.funcs = []        # (name, ndata, nrefs, body)

    def lit(self):
        r = self.rng
        if self.integer_only:
            v = r.choice([0, 1, 2, 3, 5, 7, -1, -2, -4, 10, 99, 1000, 30000, -16384])
            return ("lit", Fraction(v))
        v = Fraction(r.choice([0, 1, 2, 3, 5, -1, -3, 7]), r.choice([1, 1, 2, 3, 4, -5]))
        return ("lit", v)

    def small(self, sc):
        """An integer of small magnitude: bounds, counters, exponents."""
        r = self.rng
        opts = [("lit", Fraction(r.randrange(-1, 5)))]
        if "n" in sc["ints"]:
            opts.append(("var", "n"))
            opts.append(("bin", "-", ("var", "n"), ("lit", Fraction(1))))
        for v in sc["ints"]:
            if v != "n":
                opts.append(("var", v))
        return r.choice(opts)

    def expr(self, sc, depth):
        r = self.rng
        if depth <= 0 or r.random() < 0.3:
            c = r.random()
            if c < 0.35:
                return self.lit()
            names = list(sc["ints"]) + sc["data"]
            return ("var", r.choice(names))
        kind = r.choice(["+", "-", "*", "*", "div", "neg", "pow", "call", "call", "sum", "rem", "abs"])
        if kind == "pow" and sc.get("argument") and self.integer_only:
            # an argument read inside an integer body raises powers exactly,
            # so one beyond a word shows only where it is read
            kind = "*"
        if kind in "+-*":
            return ("bin", kind, self.expr(sc, depth - 1), self.expr(sc, depth - 1))
        if kind == "neg":
            return ("neg", self.expr(sc, depth - 1))
        if kind == "abs":
            return ("abs", self.expr(sc, depth - 1))
        if kind == "pow":
            return ("pow", self.expr(sc, depth - 1), r.randrange(0, 4))
        if kind == "div":
            if self.integer_only:
                return ("bin", "\\", self.expr(sc, depth - 1), self.divisor(sc, depth))
            return ("bin", "/", self.expr(sc, depth - 1), self.expr(sc, depth - 1))
        if kind == "rem":
            if self.integer_only:
                return ("bin", "|", self.expr(sc, depth - 1), self.divisor(sc, depth))
            # exact arithmetic takes \ and | on integers only
            return ("bin", r.choice("\\|"), self.small(sc), ("lit", Fraction(r.choice([2, 3, -3, 7]))))
        if kind == "sum":
            d = sc["depth"]
            if d >= len(LOOP_VARS):
                return self.lit()
            v = LOOP_VARS[d]
            inner = dict(sc, ints=sc["ints"] + [v], depth=d + 1)
            lo, hi, step = self.range(sc)
            op = r.choice(["Sigma", "Prod"])
            if d + 1 < len(LOOP_VARS) and r.random() < 0.3:
                # two ranges written one after the other: every pair of values
                w = LOOP_VARS[d + 1]
                lo2, hi2, step2 = self.range(inner)
                body = self.expr(dict(inner, ints=inner["ints"] + [w], depth=d + 2), depth - 1)
                return ("sum", op, v, lo, hi, step, ("sum", op, w, lo2, hi2, step2, body, False), True)
            return ("sum", op, v, lo, hi, step, self.expr(inner, depth - 1), False)
        f = self.call(sc, depth, pure=r.random() < 0.7)
        if f is None:
            return self.lit()
        return self.with_refs(sc, f) or self.lit()

    def with_refs(self, sc, f):
        """The call with its "^" arguments: distinct variables of the caller."""
        nrefs = f[3][2]
        if len(sc["data"]) < nrefs:
            return None
        refs = self.rng.sample(sc["data"], nrefs)
        return ("call", f[1], f[2] + [("ref", v) for v in refs], f[3])

    def divisor(self, sc, depth):
        if self.rng.random() < 0.7:
            return ("lit", Fraction(self.rng.choice([2, 3, 7, -2, -5, 100])))
        return self.expr(sc, depth - 1)

    def range(self, sc):
        r = self.rng
        step = r.choice([None, None, 1, 2, 3, -1, -2])
        lo, hi = self.small(sc), self.small(sc)
        return lo, hi, step

    def call(self, sc, depth, pure):
        """A call of an earlier function, or of this one on a smaller counter."""
        r = self.rng
        cands = [f for f in self.funcs if not pure or f[2] == 0]
        me = sc["self"]
        if sc["recurse"] and (not pure or me[2] == 0):
            cands += [me] * 2
        if not cands:
            return None
        f = r.choice(cands)
        if f is me:
            counter = ("bin", "-", ("var", "n"), ("lit", Fraction(r.choice([1, 1, 2]))))
        else:
            counter = self.small(sc)
        args = [counter] + [self.expr(dict(sc, argument=True), depth - 2) for _ in range(f[1])]
        return ("call", f[0], args, f)

    def cond(self, sc):
        r = self.rng
        c = r.random()
        if c < 0.15:
            return ("not", self.cond(sc))
        if c < 0.3:
            return (r.choice(["and", "or"]), self.cond(sc), self.cond(sc))
        if c < 0.35:
            return ("bare", self.expr(sc, 1))
        op = r.choice(["<", ">", "=", "<>", "<=", ">="])
        return ("cmp", op, self.expr(sc, 2), self.expr(sc, 2))

    def body(self, sc, length, in_loop):
        return [self.stmt(sc, in_loop) for _ in range(length)]

    def stmt(self, sc, in_loop):
        r = self.rng
        d = sc["depth"]
        c = r.random()
        if c < 0.35 or d >= 2:
            return ("assign", r.choice(sc["data"]), self.expr(sc, 3))
        if c < 0.5:
            return ("if", self.cond(sc), self.body(sc, r.randrange(1, 3), in_loop),
                    self.body(sc, r.randrange(0, 3), in_loop) if r.random() < 0.6 else None)
        if c < 0.62:
            v = LOOP_VARS[d]
            inner = dict(sc, ints=sc["ints"] + [v], depth=d + 1)
            lo, hi, step = self.range(sc)
            return ("for", v, lo, hi, step, self.body(inner, r.randrange(1, 4), True), r.randrange(4))
        if c < 0.7:
            v = LOOP_VARS[d]
            inner = dict(sc, ints=sc["ints"] + [v], depth=d + 1)
            return ("while", v, self.small(sc), self.body(inner, r.randrange(1, 3), True))
        if c < 0.82:
            f = self.call(sc, 3, pure=False)
            if f is None or f[3][2] == 0:
                return ("assign", r.choice(sc["data"]), f or self.expr(sc, 2))
            if len(sc["data"]) <= f[3][2]:
                return ("assign", r.choice(sc["data"]), self.expr(sc, 2))
            refs = r.sample(sc["data"], f[3][2])
            target = r.choice([v for v in sc["data"] if v not in refs])
            return ("assign", target, ("call", f[1], f[2] + [("ref", v) for v in refs], f[3]))
        if c < 0.86 and self.integer_only:
            # the amount of a fast increment must begin with a letter, a digit or "("
            amount = r.choice([None, ("lit", Fraction(r.randrange(0, 9))), ("var", r.choice(sc["data"])),
                               self.expr(sc, 2)])
            return ("bump", r.choice("+-"), r.choice(sc["data"]), amount)
        if c < 0.88:
            return ("note", r.choice(["why", "a b", "x:=1;"]), self.stmt(sc, in_loop))
        if c < 0.9:
            flow = [("exit",)] + ([("leave",), ("cycle",)] if in_loop else [])
            return ("if", self.cond(sc), [r.choice(flow)], None)
        return ("assign", r.choice(sc["data"]), self.expr(sc, 2))

    def function(self, index):
        r = self.rng
        name = "U" + "abcdefghi"[: r.choice([1, 1, 2, 8])] + "qrstuvwxyz"[index]
        ndata, nrefs = r.randrange(0, 3), r.randrange(0, 3)
        me = (name, ndata, nrefs, None)
        sc = {"ints": ["n"], "data": DATA[:ndata] + REFS[:nrefs] + LOCALS, "depth": 0,
              "self": me, "recurse": False}
        body = self.body(sc, r.randrange(1, 4), False)
        if r.random() < 0.6:
            rec = dict(sc, recurse=True)
            body.append(("if", ("cmp", ">", ("var", "n"), ("lit", Fraction(0))),
                         self.body(rec, r.randrange(1, 3), False), self.body(sc, 1, False)))
        body.append(("expr", self.expr(sc, 3)))
        params = ["n"] + DATA[:ndata] + ["^" + v for v in REFS[:nrefs]] + LOCALS + LOOP_VARS
        f = (name, ndata, nrefs, body, params)
        self.funcs.append(f[:4])
        return f


# ------------------------------------------------------------------ writers

def wexpr(e):
    k = e[0]
    if k == "lit":
        v = e[1]
        t = str(abs(v.numerator)) if v.denominator == 1 else f"{abs(v.numerator)}/{v.denominator}"
        return f"({'-' if v < 0 else ''}{t})" if v < 0 or v.denominator != 1 else t
    if k in ("var", "ref"):
        return e[1]
    if k == "bin":
        return f"({wexpr(e[2])}){e[1]}({wexpr(e[3])})"
    if k == "neg":
        return f"-({wexpr(e[1])})"
    if k == "abs":
        return f"|({wexpr(e[1])})|"
    if k == "pow":
        return f"({wexpr(e[1])})^{e[2]}"
    if k == "call":
        return f"{e[1]}({', '.join(wexpr(a) for a in e[2])})"
    if k == "sum":
        _, op, v, lo, hi, step, body, chained = e
        st = "" if step is None else f", {step}"
        head = f"{op}<{v} = {wexpr(lo)}, {wexpr(hi)}{st}>"
        if chained:
            return head + wexpr(body)[len(op):]
        return f"{head}({wexpr(body)})"
    raise AssertionError(k)


def wcond(c):
    k = c[0]
    if k == "not":
        return f"not [{wcond(c[1])}]"
    if k in ("and", "or"):
        return f"[{wcond(c[1])}] {k} [{wcond(c[2])}]"
    if k == "bare":
        return wexpr(c[1])
    return f"{wexpr(c[2])} {c[1]} {wexpr(c[3])}"


def wbody(stmts):
    return "; ".join(wstmt(s) for s in stmts)


def wstmt(s):
    k = s[0]
    if k == "assign":
        return f"{s[1]} := {wexpr(s[2])}"
    if k == "expr":
        return wexpr(s[1])
    if k == "bump":
        _, op, v, amount = s
        if amount is None:
            return f"{v} :{op}"
        # the amount is one factor
        text = wexpr(amount)
        return f"{v} :{op} {text if text.isalnum() else '(' + text + ')'}"
    if k == "if":
        els = "" if s[3] is None or not s[3] else f" else {wbody(s[3])}"
        return f"if {wcond(s[1])} then {wbody(s[2])}{els} fi"
    if k == "for":
        _, v, lo, hi, step, body, style = s
        # the header's spellings: "=", ":=" or "from", "to" or ","
        eq = ["=", ":=", "from", "="][style]
        to, by = (",", ",") if style == 3 else (" to", " by")
        st = "" if step is None else f"{by} {step}"
        return f"for {v} {eq} {wexpr(lo)}{to} {wexpr(hi)}{st} do {wbody(body)} od"
    if k == "note":
        # the statement stays on the comment's line: a line end right after
        # "}" is read as ";", an empty statement that fails when it is run
        return f"{{{s[1]}}} {wstmt(s[2])}"
    if k == "while":
        _, v, lim, body = s
        return f"{v} := 0; while {v} < {wexpr(lim)} do {v} := {v} + 1; {wbody(body)} od"
    return {"exit": "&}", "leave": "&>", "cycle": "&]"}[k]


# -------------------------------------------------------------- reference

class Machine:
    """Runs the program tree the way the interpreter is meant to."""

    def __init__(self, funcs, integer):
        self.funcs = {f[0]: f for f in funcs}
        self.integer_bodies = integer   # every body opens with "Integer;"
        self.integer = False            # the top level computes exactly
        self.steps = 0
        self.leave = self.cycle = False

    def num(self, v):
        if self.integer and abs(v) > WORD:
            raise Overflow()
        if abs(v.numerator) > DIGIT_CAP or v.denominator > DIGIT_CAP:
            raise Reject("value too big")
        return v

    def ev(self, e, env):
        k = e[0]
        if k == "lit":
            return self.num(e[1])
        if k == "var":
            return self.num(env[e[1]])
        if k == "neg":
            return self.num(-self.ev(e[1], env))
        if k == "abs":
            return abs(self.ev(e[1], env))
        if k == "pow":
            return self.num(self.ev(e[1], env) ** e[2])
        if k == "bin":
            a = self.ev(e[2], env)
            b = self.ev(e[3], env)
            op = e[1]
            if op == "+":
                return self.num(a + b)
            if op == "-":
                return self.num(a - b)
            if op == "*":
                return self.num(a * b)
            if b == 0:
                raise Reject("division by zero")
            if op == "/":
                return self.num(a / b)
            assert a.denominator == 1 and b.denominator == 1
            if op == "\\":
                return Fraction(tdiv(a.numerator, b.numerator))
            return Fraction(trem(a.numerator, b.numerator))
        if k == "sum":
            _, op, v, lo, hi, step, body, _ = e
            acc = Fraction(0 if op == "Sigma" else 1)
            for value in self.loop(v, lo, hi, step, env):
                t = self.ev(body, env)
                acc = acc + t if op == "Sigma" else acc * t
                if self.integer and abs(acc) > WORD:
                    # integer sums and products wrap on the way and check only
                    # their final word: a partial result outside one word is
                    # avoided rather than predicted
                    raise Reject("sum leaves one word")
                acc = self.num(acc)
            return acc
        if k == "call":
            return self.call(e[1], e[2], env)
        raise AssertionError(k)

    def loop(self, v, lo, hi, step, env):
        """The values of a counted loop; the variable ends one step past the end."""
        a, b = self.ev(lo, env), self.ev(hi, env)
        st = 1 if step is None else step
        a, b = int(a), int(b)
        env[v] = Fraction(a)
        x = a
        while (x <= b) if st > 0 else (x >= b):
            self.tick()
            env[v] = Fraction(x)
            yield x
            x += st
            env[v] = Fraction(x)

    def tick(self):
        self.steps += 1
        if self.steps > STEP_BUDGET:
            raise Reject("too long")

    def cond(self, c, env):
        k = c[0]
        if k == "not":
            return not self.cond(c[1], env)
        if k in ("and", "or"):
            a, b = self.cond(c[1], env), self.cond(c[2], env)   # both sides always run
            return (a and b) if k == "and" else (a or b)
        if k == "bare":
            return self.ev(c[1], env) == 1
        a, b = self.ev(c[2], env), self.ev(c[3], env)
        return {"<": a < b, ">": a > b, "=": a == b, "<>": a != b, "<=": a <= b, ">=": a >= b}[c[1]]

    def call(self, name, args, env):
        f = self.funcs[name]
        params = f[4]
        local = {}
        refs = []
        # arguments are read in the caller's arithmetic: one-digit words
        # inside an integer body
        caller_integer = self.integer
        for p, a in zip(params, args):
            if p.startswith("^"):
                local[p[1:]] = env[a[1]]
                refs.append((p[1:], a[1]))
            else:
                local[p] = self.ev(a, env)
        for p in params[len(args):]:
            local[p] = Fraction(0)
        self.tick()
        self.integer = self.integer_bodies
        try:
            value = self.run(f[3], local)
        except Exit:
            value = None
        finally:
            self.integer = caller_integer
        for p, a in refs:
            env[a] = local[p]
        return Fraction(0) if value is None else value

    def run(self, stmts, env):
        value = None
        for s in stmts:
            value = self.stmt(s, env)
            if self.leave or self.cycle:
                break
        return value

    def stmt(self, s, env):
        self.tick()
        k = s[0]
        if k == "assign":
            env[s[1]] = self.ev(s[2], env)
            return Fraction(0)
        if k == "expr":
            return self.ev(s[1], env)
        if k == "note":
            self.steps -= 1
            return self.stmt(s[2], env)
        if k == "bump":
            _, op, v, amount = s
            # the amount is read first: a call in it may change the target
            by = Fraction(1) if amount is None else self.ev(amount, env)
            target = self.num(env[v])
            result = target + by if op == "+" else target - by
            if not self.integer and max(abs(by), abs(target), abs(result)) > WORD:
                # exact increments take one-digit amounts and refuse a carry
                raise Reject("increment beyond one digit")
            env[v] = self.num(result)
            return Fraction(0)
        if k == "if":
            if self.cond(s[1], env):
                return self.run(s[2], env)
            return self.run(s[3], env) if s[3] else None
        if k in ("for", "while"):
            if k == "for":
                values = self.loop(s[1], s[2], s[3], s[4], env)
                body = s[5]
            else:
                env[s[1]] = Fraction(0)
                values = self.counted(s[1], s[2], env)
                body = s[3]
            value = None
            for _ in values:
                value = self.run(body, env)
                self.cycle = False
                if self.leave:
                    self.leave = False
                    break
            return value
        if k == "exit":
            raise Exit()
        if k == "leave":
            self.leave = True
        else:
            self.cycle = True
        return Fraction(0)

    def counted(self, v, lim, env):
        while env[v] < self.ev(lim, env):
            self.tick()
            env[v] = self.num(env[v] + 1)
            yield


# ------------------------------------------------------------------ driver

def program(rng, integer_only):
    """(definitions, top-level statements, function records) of one program."""
    g = Gen(rng, integer_only)
    funcs = [g.function(i) for i in range(rng.randrange(1, 5))]
    defs = []
    for f in funcs:
        text = f"Func {f[0]}({', '.join(f[4])}) = {wbody(f[3])}."
        if rng.random() < 0.3:
            # typed over several lines: a line end after ";" is one more ";"
            parts = text.split("; ")
            text = parts[0] + "".join((";\n  " if rng.random() < 0.5 else "; ") + p for p in parts[1:])
        defs.append(text)
    calls = []
    for _ in range(3):
        f = rng.choice(funcs[-2:])
        args = [("lit", Fraction(rng.randrange(0, 6)))]
        args += [g.lit() for _ in range(f[1])]
        init = [g.lit()[1] for _ in range(f[2])]
        calls.append((f, args, init))
    return defs, calls, funcs


def expected(funcs, calls, integer):
    """Per top-level statement: a Fraction, "overflow", or None (not compared)."""
    m = Machine(funcs, integer)
    out = []
    for f, args, init in calls:
        env = {}
        for v, value in zip(["ga", "gb"], init):
            env[v] = value
            out.append(value)
        try:
            out.append(m.call(f[0], args + [("ref", v) for v in ["ga", "gb"][: f[2]]], env))
            out += [env[v] for v in ["ga", "gb"][: f[2]]]
        except Overflow:
            out.append("overflow")
            out += [None] * f[2]
        m.leave = m.cycle = False
    return out


def script(defs, calls, integer):
    lines = []
    for d in defs:
        lines.append(d.replace(" = ", " = Integer; ", 1) if integer else d)
    for f, args, init in calls:
        refs = ["ga", "gb"][: f[2]]
        for v, value in zip(refs, init):
            lines.append(f"{v} := {wexpr(('lit', value))};")
        lines.append(f"{f[0]}({', '.join([wexpr(a) for a in args] + refs)});")
        lines += [f"{v};" for v in refs]
    return lines


def parse_result(block):
    text = block.replace(" `\n", "").replace("`\n", "").strip()
    if OVERFLOW_TEXT in text:
        return "overflow"
    if ";  or  " in text:
        text = text.split(";  or  ")[0]
    text = text.replace(" ", "")
    if "/" in text:
        num, den = text.split("/")
        return Fraction(int(num), int(den))
    return Fraction(int(text))


def main(argv):
    binary = os.path.abspath(argv[1])
    count = int(argv[2]) if len(argv) > 2 else 200
    seed = int(argv[3]) if len(argv) > 3 else 2026
    rng = random.Random(seed)
    runs = []          # (label, lines, expected values, number of definitions)
    made = 0
    while made < count:
        integer_only = made % 2 == 1
        defs, calls, funcs = program(rng, integer_only)
        try:
            exact = expected(funcs, calls, False)
            modes = [("exact", exact)]
            if integer_only:
                modes.append(("Integer", expected(funcs, calls, True)))
        except Reject:
            continue
        made += 1
        for label, values in modes:
            runs.append((f"program {made} ({label})", script(defs, calls, label == "Integer"),
                         values, len(defs)))
    text = "".join("\n".join(lines) + "\n" for _, lines, _, _ in runs)
    with tempfile.TemporaryDirectory() as cwd:
        out = subprocess.run([binary], input=text.encode(), capture_output=True, cwd=cwd,
                             timeout=300).stdout.decode("utf-8", "replace")
    # a prompt is ">" alone on its line; an error's listing of the interrupted
    # statement may wrap so that one of its lines begins with ">"
    blocks = out[out.find("\n>\n") + 3:].split("\n>\n")
    failed = compared = overflows = 0
    at = 0
    for label, lines, values, ndefs in runs:
        mine = blocks[at: at + len(lines)]
        at += len(lines)
        bad = [b for b in mine[:ndefs] if b.strip() != "0"]
        results = mine[ndefs:]
        for want, block in zip(values, results):
            if want is None:
                continue
            compared += 1
            overflows += want == "overflow"
            try:
                got = parse_result(block)
            except (ValueError, ZeroDivisionError):
                got = None
            if got != want:
                bad.append(f"expected {want}, got {block.strip()[:300]!r}")
        if len(results) < len(values):
            bad.append("missing results")
        if bad:
            failed += 1
            if failed <= 5:
                print(f"--- {label} (seed {seed})")
                print("\n".join(lines))
                print("\n".join(bad[:4]))
    print(f"{len(runs)} runs, {compared} values compared ({overflows} overflows), {failed} runs failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
