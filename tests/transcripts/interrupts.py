#!/usr/bin/env python3
"""Real SIGINTs sent to the interpreter talking through pipes.

  interrupts.py TARVEX [--report]

At the idle prompt, during a big-integer power, a polynomial power, a
multivariate gcd over Z and a determinant by plain elimination: a nested
level must open within half a second of the interpreter's CPU time ("2>"
printed), run a statement of its own, and after &_p the interrupted
statement must finish with the value it has without the interrupt (checked
by python's own integers, or by a second computation in the session).
An interrupt that comes before the statement has read all of its line
leaves the rest of the line to it. After &(m = 0) an interrupt is dropped. --report prints the latencies and
the time the whole test took.

A SIGINT is sent only once the interpreter is shown to be where the case
wants it: at the prompt when every one of its threads sleeps (the read of
the next line is the only thing it waits for); in a statement when a marker
statement typed before it on the same line has printed its value (so the
line was read) and the interpreter has since spent some CPU time (so the
statement is under work, not merely being read). A fixed sleep says
neither on a loaded machine.
"""
import os
import select
import signal
import subprocess
import sys
import tempfile
import time

# On a loaded machine the wall clock says little about how often a
# computation looks for interrupts: the latency limit counts the
# interpreter's own CPU time; the wall clock only bounds the wait.
LATENCY_LIMIT = 0.5
WALL_LIMIT = 60
TICKS = os.sysconf("SC_CLK_TCK")
# Typed before a statement on its line: its value shows the line was read.
MARKER = "271828182"
# CPU seconds the interpreter spends on a statement before the interrupt.
BUSY_CPU = 0.15


class Session:
    def __init__(self, binary):
        self.cwd = tempfile.TemporaryDirectory()
        self.p = subprocess.Popen([binary], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  stderr=subprocess.STDOUT, cwd=self.cwd.name, bufsize=0)
        self.seen = b""
        self.expect(">", WALL_LIMIT)

    def send(self, text):
        self.p.stdin.write(text.encode())
        self.p.stdin.flush()

    def expect(self, text, timeout):
        """Reads until `text` shows after what was read before; returns the
        seconds it took, and fails after `timeout`."""
        want = text.encode()
        start = time.monotonic()
        while True:
            at = self.seen.find(want)
            if at >= 0:
                self.last_read = self.seen
                self.seen = self.seen[at + len(want):]
                return time.monotonic() - start
            left = timeout - (time.monotonic() - start)
            if left <= 0:
                raise AssertionError(f"no {text!r} within {timeout} s; got {self.seen.decode(errors='replace')!r}")
            ready, _, _ = select.select([self.p.stdout], [], [], left)
            if ready:
                chunk = os.read(self.p.stdout.fileno(), 65536)
                if not chunk:
                    raise AssertionError(f"the session ended before {text!r}: {self.seen.decode(errors='replace')!r}")
                self.seen += chunk

    def upto(self, text, timeout):
        """What is printed before `text` (read as by expect)."""
        self.seen = b""
        self.expect(text, timeout)
        whole = self.last_read
        return whole[: whole.find(text.encode())].decode(errors="replace")

    def interrupt(self):
        """SIGINT; the seconds until the nested level's prompt shows."""
        self.seen = b""
        self.p.send_signal(signal.SIGINT)
        latency = self.expect("*** New command level.", WALL_LIMIT)
        self.expect("2>", WALL_LIMIT)
        return latency

    def cpu(self):
        """The interpreter's CPU seconds so far, user and system."""
        with open(f"/proc/{self.p.pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / TICKS

    def thread_states(self):
        states = []
        for tid in os.listdir(f"/proc/{self.p.pid}/task"):
            try:
                with open(f"/proc/{self.p.pid}/task/{tid}/stat") as f:
                    states.append(f.read().rsplit(")", 1)[1].split()[0])
            except FileNotFoundError:
                pass
        return states

    def pump(self, seconds):
        """Adds to `seen` what the interpreter prints within `seconds`."""
        ready, _, _ = select.select([self.p.stdout], [], [], seconds)
        if ready:
            chunk = os.read(self.p.stdout.fileno(), 65536)
            if not chunk:
                raise AssertionError(f"the session ended: {self.seen.decode(errors='replace')!r}")
            self.seen += chunk

    def wait_idle(self, timeout=WALL_LIMIT):
        """Returns once the interpreter waits for its next line: every
        thread asleep and no CPU time spent, twice in a row. A SIGINT sent
        before it is blocked in the read would wait for the next line."""
        deadline = time.monotonic() + timeout
        calm, last = 0, None
        while calm < 2:
            if time.monotonic() > deadline:
                raise AssertionError(f"the interpreter did not settle at the prompt: {self.thread_states()}")
            self.pump(0.02)
            now = self.cpu()
            asleep = all(state == "S" for state in self.thread_states())
            calm = calm + 1 if asleep and now == last else 0
            last = now

    def start_busy(self, statement, timeout=WALL_LIMIT, busy=BUSY_CPU):
        """Types the statement after the marker on one line; returns once
        the interpreter has spent `busy` CPU seconds on the statement."""
        self.seen = b""
        self.send(f"{MARKER}; {statement}\n")
        self.expect(MARKER, timeout)
        self.expect(">", timeout)
        start = self.cpu()
        deadline = time.monotonic() + timeout
        while self.cpu() - start < busy:
            if b">" in self.seen:
                raise AssertionError(f"{statement!r} was done before the interrupt: make it larger")
            if time.monotonic() > deadline:
                raise AssertionError(f"{statement!r} did not get under way within {timeout} s")
            self.pump(0.01)

    def interrupt_busy(self):
        """SIGINT to the statement start_busy began; the CPU and wall
        seconds until the nested level's prompt shows."""
        cpu, wall = self.cpu(), time.monotonic()
        self.p.send_signal(signal.SIGINT)
        self.expect("*** New command level.", WALL_LIMIT)
        before = self.last_read[: self.last_read.find(b"*** New command level.")]
        assert b">" not in before, f"the statement was done before the interrupt came: {before!r}"
        self.expect("2>", WALL_LIMIT)
        return self.cpu() - cpu, time.monotonic() - wall

    def close(self):
        try:
            self.p.stdin.close()
        except OSError:
            pass
        self.p.wait(timeout=30)
        self.cwd.cleanup()


def answer(s, statement, timeout=60):
    """The value the statement displays: the text between the statement's
    echo-free output and the next prompt, blanks removed."""
    s.seen = b""
    s.send(statement + "\n")
    out = b""
    start = time.monotonic()
    while True:
        # A value is followed by an empty line and the next prompt.
        if out.rstrip().endswith(b">") and out.strip() != b">":
            break
        if time.monotonic() - start > timeout:
            raise AssertionError(f"no answer to {statement!r}: {out!r}")
        ready, _, _ = select.select([s.p.stdout], [], [], 0.1)
        if ready:
            chunk = os.read(s.p.stdout.fileno(), 65536)
            if not chunk:
                break
            out += chunk
    text = out.decode(errors="replace").rstrip()
    text = text[: text.rfind("\n") + 1] if "\n" in text else ""
    return "".join(text.split())


def costed_answer(s, statement, timeout=600):
    """The value the statement displays and the CPU seconds it took: a
    later run of the same statement can then be interrupted halfway, well
    inside its work whatever the build and the load."""
    cpu = s.cpu()
    got = answer(s, statement, timeout)
    return got, s.cpu() - cpu


# The level's notice that the interrupted statement worked modulo a prime.
MODULAR_NOTICE = b"arithmetic mod p"


def interrupt_modular(s, statement, cost, want, timeout=600):
    """Interrupts the statement (interrupts allowed at any time, &Z) while
    it works modulo a prime, and leaves the level open. Between its images
    an interpolation is back in the integers for a moment (folding, the
    check at a random point): an interrupt that lands there is let go, the
    statement must end with `want`, and it is tried again at another
    fraction of its CPU cost."""
    for fraction in (0.5, 0.3, 0.7, 0.4, 0.6):
        s.start_busy(statement, busy=cost * fraction)
        s.interrupt_busy()
        if MODULAR_NOTICE in s.last_read:
            return
        s.send("&_p;\n")
        s.expect("*** Resuming earlier command level", WALL_LIMIT)
        s.expect(">", timeout)
        shown = s.last_read[: s.last_read.find(b">")].decode(errors="replace")
        got = "".join(shown.split("\n", 1)[1].split()) if "\n" in shown else ""
        s.wait_idle()
        assert got == want, f"{statement} after resuming gave {got!r}, not {want!r}"
    raise AssertionError(f"{statement} was never interrupted in modular mode")


def idle_prompt(binary):
    s = Session(binary)
    s.wait_idle()
    cpu = s.cpu()
    s.interrupt()
    latency = s.cpu() - cpu
    assert answer(s, "1 + 1;") == "2"
    s.send("&_p;\n")
    s.expect("*** Resuming earlier command level", WALL_LIMIT)
    # The read the interrupt broke off goes on: it takes the line end of
    # "&_p;" as an empty statement, which prompts again.
    s.expect(">", WALL_LIMIT)
    # The line typed after leaving runs at the top level.
    assert answer(s, "5 * 5;") == "25", "the next line was lost"
    s.close()
    return latency, None


def interrupted(binary, setup, statement, at_level, check, expect_check):
    s = Session(binary)
    for line in setup:
        s.send(line + "\n")
        s.expect(">", 600)
    s.start_busy(statement)
    latency = s.interrupt_busy()
    level_statement, level_value = at_level
    got = answer(s, level_statement)
    assert got == level_value, f"at level 2: {level_statement} gave {got!r}, not {level_value!r}"
    s.send("&_p;\n")
    s.expect("*** Resuming earlier command level", WALL_LIMIT)
    s.expect(">", 600)
    got = answer(s, check, 600)
    assert got == expect_check, f"after resuming: {check} gave {got!r}, not {expect_check!r}"
    s.close()
    return latency


def session_with(binary, setup):
    s = Session(binary)
    for line in setup:
        s.send(line + "\n")
        s.expect(">", 600)
    s.wait_idle()
    return s


def set_aside_work(binary, setup, statement, fraction, marker, at_level, after):
    """The statement (ending in ':') sets part of the session aside for most
    of its work: it is interrupted at `fraction` of the CPU time it takes in
    a session of its own. The level must run in the session's state
    (`at_level`: statements and their values, one storing k), and after &_p
    the statement's value and k must be right (`after`). Where the
    interrupt lands outside the work, or after the statement, the session's
    state is all there is, and the same values hold."""
    s = session_with(binary, setup)
    cpu = s.cpu()
    s.send(statement + "\n")
    s.expect(">", 600)
    s.wait_idle()
    cost = s.cpu() - cpu
    s.close()
    s = session_with(binary, setup)
    s.seen = b""
    s.send(f"{marker}; {statement}\n")
    s.expect(marker, WALL_LIMIT)
    s.expect(">", WALL_LIMIT)
    start, deadline = s.cpu(), time.monotonic() + WALL_LIMIT
    while s.cpu() - start < cost * fraction and b">" not in s.seen and time.monotonic() < deadline:
        s.pump(0.005)
    s.p.send_signal(signal.SIGINT)
    s.expect("*** New command level.", WALL_LIMIT)
    s.expect("2>", WALL_LIMIT)
    for level_statement, value in at_level:
        got = answer(s, level_statement)
        assert got == value, f"under {statement} at the level: {level_statement} gave {got!r}, not {value!r}"
    s.send("&_p;\n")
    s.expect("*** Resuming earlier command level", WALL_LIMIT)
    s.wait_idle()
    for check, value in after:
        got = answer(s, check, 600)
        assert got == value, f"after {statement} resumed: {check} gave {got!r}, not {value!r}"
    s.close()


def set_aside_cases(binary, slow):
    """Work that sets the session's relations or modes aside for most of
    its time, each with a value that tells the session's state from the
    work's."""
    # Unflagged t^70 - 3t - 5 proved a field for a gcd in one free variable:
    # every level flagged meanwhile (1/(t - 1) would be inverted) and, while
    # its second primes are found, t a plain variable (t^70 stays).
    set_aside_work(
        binary, ["&(J = t):", "&(P = t^70 - 3*t - 5):", "&(J = y):", "u := (y^3 + t*y + 1)*(y^2 + 3*t):",
                 "v := (y^3 + t*y + 1)*(y - 5*t + 1):"],
        "c := u/v:", 0.5, MARKER, [("k := t^70 - 3*t;", "5"), ("1/(t - 1);", "1/(t-1)")],
        [("c*(y - 5*t + 1) - (y^2 + 3*t);", "0"), ("k - 5;", "0")])
    # Modulo 101 (t - 1)(t^2 + 2) declared a field splits: the gcds are taken
    # in the copies, t^2 + 2 in t's place for the second (t^3 = -2t there).
    n = 8 if slow else 10
    split = ["&(J = x):", "&(J = y):", "&(J = z):", "&(J = w):"]
    set_aside_work(
        binary, ["&(p = 101):", "&(J = t):", "&(P = t^3 - t^2 + 2*t - 2, 1):"] + split
        + [f"f := (1 + x + t*y + z + t^2*w)^{n}:", f"g := (2 + x*z - t*y + w)^{n}:",
           f"h := (3 + t*x + y - z*w)^{n}:", "u := f*g:", "v := f*h:"],
        "c := u/v:", 0.45, "y^5", [("k := t^3;", "t^2-2t+2")], [("c*h - g;", "0"), ("k - (t^2 - 2*t + 2);", "0")])
    # A tower that splits partly (s^2 + 1 does modulo 101, t^2 - 2 does not)
    # read as one level: t a plain variable, s under that level's relation.
    set_aside_work(
        binary, ["&(p = 101):", "&(J = s):", "&(P = s^2 + 1, 1):", "&(J = t):", "&(P = t^2 - 2, 1):"] + split
        + [f"f := (1 + x + t*y + z + s*w)^{n}:", f"g := (2 + x*z - t*y + s*w)^{n}:",
           f"h := (3 + t*x + y - s*z*w)^{n}:", "u := f*g:", "v := f*h:"],
        "c := u/v:", 0.3, "y^5", [("k := t^2 + s^2;", "1")], [("c*h - g;", "0"), ("k - 1;", "0")])
    # Modular modes off while a huge exponent is reduced by the order of the
    # field, q = p^400: (t + 1)^(q - 1) = 1. The exponent's own read (about
    # the first two thirds) keeps the modes off too, and a level there runs
    # with them on.
    p = 2147483629
    set_aside_work(
        binary, [f"&(p = {p}):", "&(J = t):", "&(P = t^400 - 3*t - 5, 1):"],
        f"w := Powermod(t + 1, ({p}^400 - 1)*3^{5000000 if slow else 10000000}):", 0.8, MARKER,
        [(f"k := {p - 1} + 5;", "4")], [("w;", "1"), ("k - 4;", "0")])


def deleted_target(binary, power):
    """The variable the interrupted assignment stores into is deleted and
    made anew at the level: the old record takes the result, the new
    variable keeps its value, and nothing reads freed memory."""
    s = Session(binary)
    s.start_busy(f"w := 3^{power}:")
    latency = s.interrupt_busy()
    s.send("@w;\n")
    s.expect("2>", WALL_LIMIT)
    assert answer(s, "w := 5;") == "5"
    s.send("&_p;\n")
    s.expect("*** Resuming earlier command level", WALL_LIMIT)
    s.expect(">", 600)
    got = answer(s, "w;")
    assert got == "5", f"w after resuming: {got!r}"
    s.close()
    return latency


def rest_of_line(binary, power):
    """The interrupt comes before the statement has read its whole line:
    the level reads only what is typed after the interrupt, and when it is
    left the statement reads the rest of its line, and the statement after
    it on the line runs too."""
    p = 1000003
    want = str((pow(3, power, p) + 1) % p)
    s = Session(binary)
    s.start_busy(f"w := 3^{power} + 1: v := w | {p};")
    latency = s.interrupt_busy()
    assert answer(s, "w := 2 + 2;") == "4", "the level read the rest of the interrupted line"
    s.send("&_p;\n")
    s.expect("*** Resuming earlier command level", WALL_LIMIT)
    tail = s.upto(">", 600)
    assert "***" not in tail, f"the interrupted statement did not get its line back: {tail!r}"
    s.expect(want, 600)
    s.wait_idle()
    assert answer(s, f"w | {p};") == want, "w lost the value of the interrupted statement"
    s.close()
    return latency


def dropped(binary, power):
    s = Session(binary)
    s.send("&(m = 0):\n")
    s.expect(">", WALL_LIMIT)
    s.start_busy(f"a := 3^{power}:")
    s.p.send_signal(signal.SIGINT)
    s.expect(">", 600)
    assert b"New command level" not in s.last_read
    assert answer(s, "a | 1000003;") == str(pow(3, power, 1000003))
    s.close()


def det_mod(rows, p):
    """det(rows) mod p by elimination over Z/p."""
    m = [[x % p for x in r] for r in rows]
    n, d = len(m), 1
    for k in range(n):
        piv = next((i for i in range(k, n) if m[i][k]), None)
        if piv is None:
            return 0
        if piv != k:
            m[k], m[piv] = m[piv], m[k]
            d = -d
        d = d * m[k][k] % p
        inv = pow(m[k][k], -1, p)
        for i in range(k + 1, n):
            f = m[i][k] * inv % p
            if f:
                mi, mk = m[i], m[k]
                for j in range(k, n):
                    mi[j] = (mi[j] - f * mk[j]) % p
    return d % p


def det_elimination(binary, n):
    """A plain elimination (&(D = 0)) interrupted: the level shows the
    matrix under work with &4, the panic stop leaves it, nothing of it is
    left held, and the stored array's determinant comes out as before."""
    modulus, p = 9999999967, 1000003
    cell = lambda i, j: (i**7 * j**5 + 31 * j**3 + 17 * i * j**2 + i) % modulus
    want = str(det_mod([[cell(i, j) for j in range(1, n + 1)] for i in range(1, n + 1)], p))
    s = Session(binary)
    s.send(f"[a] := [<i = 1, {n}><j = 1, {n}> (i^7*j^5 + 31*j^3 + 17*i*j^2 + i) | {modulus}]:\n")
    s.expect(">", 600)
    assert answer(s, f"Det [a] | {p};", 600) == want
    s.send("&(D = 0):\n")
    s.expect(">", WALL_LIMIT)
    s.start_busy(f"Det [a] | {p};")
    latency = s.interrupt_busy()
    s.send("&4;\n")
    shown = s.upto("2>", 120).strip()
    assert shown.startswith("[[") and "]]" in shown, f"&4 showed {shown[:200]!r}"
    matrix = shown[: shown.find("]]")]
    assert matrix.count(",") == n * n - 1, "&4 did not show the whole working matrix"
    s.send("&@;\n")
    assert "*** Panic stop." in s.upto(">", WALL_LIMIT)
    # Nothing is under work any more: &4 shows nothing.
    s.send("&4;\n")
    assert "[[" not in s.upto(">", WALL_LIMIT)
    s.send("&(D = -1):\n")
    s.expect(">", WALL_LIMIT)
    assert answer(s, f"Det [a] | {p};", 600) == want, "the determinant changed after the panic stop"
    s.close()
    return latency


def slow_build(binary):
    """A build with the sanitizers runs polynomial and matrix work many
    times slower (transform products only two or three times): the
    workloads are then made smaller, so that each still runs well past the
    interrupt but the test ends in reasonable time. The interpreter's CPU
    time tells, not the wall clock of a loaded machine."""
    with open(binary, "rb") as f:
        if b"__asan_init" in f.read():
            return True
    s = Session(binary)
    cpu = s.cpu()
    s.send("a := 3^4000000:\n")
    s.expect(">", 600)
    took = s.cpu() - cpu
    s.close()
    return took > 0.5


def main(argv):
    binary = os.path.abspath(argv[1])
    report = "--report" in argv
    began = time.monotonic()
    slow = slow_build(binary)
    # Each workload runs for seconds of CPU time: the interrupt comes a
    # fraction of a second into it.
    if slow:
        power, loop, poly, gcd, det, relation = 20000000, 3, 40, 30, 90, 60
    else:
        power, loop, poly, gcd, det, relation = 40000000, 4, 52, 34, 150, 70
    lat = {"idle prompt": idle_prompt(binary)}
    lat["big-integer power"] = interrupted(
        binary, [], f"for k = 1 to {loop} do a := 3^{power} od:",
        ("7^1000 | 1000;", str(pow(7, 1000, 1000))),
        "a | 1000000007;", str(pow(3, power, 1000000007)))
    variables = ["&(J = x):", "&(J = y):", "&(J = z):", "&(J = t):"]
    lat["polynomial power"] = interrupted(
        binary, variables, f"p := (1 + x + y + z + t)^{poly}:", ("(1 + x)^2 - x^2 - 2*x;", "1"),
        f"p - (1 + x + y + z + t)^{poly};", "0")
    # Residues may be negative (the user's switch), which the gcd's own
    # arithmetic sets aside for the while.
    gcd_setup = ["&(| = 0):", "&(J = x):", "&(J = y):", "&(J = z):", f"f := (1 + x + y + z)^{gcd}:",
                 f"g := (2 + x + y + z)^{gcd}:", f"h := (3 + x - y + z)^{gcd}:", "u := f*g:", "v := f*h:"]
    lat["multivariate gcd over Z"] = interrupted(
        binary, gcd_setup, "c := u/v:", ("(x^2 - 1)/(x + 1) + (-7 | 5);", "x-3"), "c*h - g;", "0")
    # Candidates for a field's auxiliary primes tested with Laurent mode off
    # for the while: the level runs with the session's mode.
    lat["field declaration"] = interrupted(
        binary, ["&(J = t):", "&(J = y):", "&(l = 1):"], f"&(P = t^{relation} - 3*t - 5, 1);",
        ("y^-2;", "y^-2"), f"t^{relation} - 3*t;", "5")
    set_aside_cases(binary, slow)
    lat["plain elimination"] = det_elimination(binary, det)
    lat["deleted target"] = deleted_target(binary, power)
    lat["rest of the line"] = rest_of_line(binary, power)
    dropped(binary, power)
    for name, (cpu, wall) in lat.items():
        if report:
            shown = f"  wall {wall:.3f} s" if wall is not None else ""
            print(f"{name:28s} cpu {cpu:.3f} s{shown}")
        assert cpu <= LATENCY_LIMIT, f"{name}: the level opened after {cpu:.3f} s of CPU time"
    if report:
        print(f"{'whole test':28s} wall {time.monotonic() - began:.1f} s")
    print("interrupts: all passed")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
