#!/usr/bin/env python3
"""Real SIGINTs sent to the interpreter talking through pipes.

  interrupts.py TARVEX [--report]

At the idle prompt, during a big-integer power, a polynomial power, a
multivariate gcd over Z and a determinant by plain elimination: a nested level must open within half a second
("2>" printed), run a statement of its own, and after &_p the interrupted
statement must finish with the value it has without the interrupt (checked
by python's own integers, or by a second computation in the session).
After &(m = 0) an interrupt is dropped. --report prints the latencies.
"""
import os
import select
import signal
import subprocess
import sys
import tempfile
import time

LATENCY_LIMIT = 0.5


class Session:
    def __init__(self, binary):
        self.cwd = tempfile.TemporaryDirectory()
        self.p = subprocess.Popen([binary], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  stderr=subprocess.STDOUT, cwd=self.cwd.name, bufsize=0)
        self.seen = b""
        self.expect(">", 30)

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
        latency = self.expect("*** New command level.", 10)
        self.expect("2>", 10)
        return latency

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


def idle_prompt(binary):
    s = Session(binary)
    latency = s.interrupt()
    assert answer(s, "1 + 1;") == "2"
    s.send("&_p;\n")
    s.expect("*** Resuming earlier command level", 10)
    # The read the interrupt broke off goes on: it takes the line end of
    # "&_p;" as an empty statement, which prompts again.
    s.expect(">", 10)
    # The line typed after leaving runs at the top level.
    assert answer(s, "5 * 5;") == "25", "the next line was lost"
    s.close()
    return latency


def interrupted(binary, setup, statement, at_level, check, expect_check):
    s = Session(binary)
    for line in setup:
        s.send(line + "\n")
        s.expect(">", 600)
    s.send(statement + "\n")
    time.sleep(0.3)
    s.seen = b""
    s.p.send_signal(signal.SIGINT)
    latency = s.expect("*** New command level.", 10)
    s.expect("2>", 10)
    level_statement, level_value = at_level
    got = answer(s, level_statement)
    assert got == level_value, f"at level 2: {level_statement} gave {got!r}, not {level_value!r}"
    s.send("&_p;\n")
    s.expect("*** Resuming earlier command level", 10)
    s.expect(">", 600)
    got = answer(s, check, 600)
    assert got == expect_check, f"after resuming: {check} gave {got!r}, not {expect_check!r}"
    s.close()
    return latency


def deleted_target(binary, power):
    """The variable the interrupted assignment stores into is deleted and
    made anew at the level: the old record takes the result, the new
    variable keeps its value, and nothing reads freed memory."""
    s = Session(binary)
    s.send(f"w := 3^{power}:\n")
    time.sleep(0.3)
    s.seen = b""
    s.p.send_signal(signal.SIGINT)
    s.expect("2>", 10)
    s.send("@w;\n")
    s.expect("2>", 60)
    assert answer(s, "w := 5;") == "5"
    s.send("&_p;\n")
    s.expect("*** Resuming earlier command level", 10)
    s.expect(">", 600)
    got = answer(s, "w;")
    assert got == "5", f"w after resuming: {got!r}"
    s.close()


def dropped(binary):
    s = Session(binary)
    s.send("&(m = 0):\n")
    s.expect(">", 10)
    s.seen = b""
    s.send("a := 3^1000000:\n")
    time.sleep(0.1)
    s.p.send_signal(signal.SIGINT)
    s.expect(">", 600)
    assert b"New command level" not in s.seen
    assert answer(s, "a | 1000003;") == str(pow(3, 1000000, 1000003))
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
    s.expect(">", 10)
    s.send(f"Det [a] | {p};\n")
    time.sleep(0.3)
    s.seen = b""
    s.p.send_signal(signal.SIGINT)
    latency = s.expect("*** New command level.", 10)
    s.expect("2>", 10)
    s.send("&4;\n")
    shown = s.upto("2>", 120).strip()
    assert shown.startswith("[[") and "]]" in shown, f"&4 showed {shown[:200]!r}"
    matrix = shown[: shown.find("]]")]
    assert matrix.count(",") == n * n - 1, "&4 did not show the whole working matrix"
    s.send("&@;\n")
    assert "*** Panic stop." in s.upto(">", 30)
    # Nothing is under work any more: &4 shows nothing.
    s.send("&4;\n")
    assert "[[" not in s.upto(">", 10)
    s.send("&(D = -1):\n")
    s.expect(">", 10)
    assert answer(s, f"Det [a] | {p};", 600) == want, "the determinant changed after the panic stop"
    s.close()
    return latency


def slow_build(binary):
    """A build with the sanitizers runs big-integer products some twenty
    times slower: the workloads are then made smaller, so that each still
    runs past the interrupt but the test ends in reasonable time."""
    s = Session(binary)
    start = time.monotonic()
    s.send("a := 3^400000:\n")
    s.expect(">", 600)
    took = time.monotonic() - start
    s.close()
    return took > 0.15


def main(argv):
    binary = os.path.abspath(argv[1])
    report = "--report" in argv
    slow = slow_build(binary)
    power, poly, gcd = (1500000, 36, 28) if slow else (6000000, 55, 32)
    lat = {"idle prompt": idle_prompt(binary)}
    lat["big-integer power"] = interrupted(
        binary, [], f"a := 3^{power}:", ("7^1000 | 1000;", str(pow(7, 1000, 1000))),
        "a | 1000000007;", str(pow(3, power, 1000000007)))
    variables = ["&(J = x):", "&(J = y):", "&(J = z):", "&(J = t):"]
    lat["polynomial power"] = interrupted(
        binary, variables, f"p := (1 + x + y + z + t)^{poly}:", ("(1 + x)^2 - x^2 - 2*x;", "1"),
        f"p - (1 + x + y + z + t)^{poly};", "0")
    gcd_setup = ["&(J = x):", "&(J = y):", "&(J = z):", f"f := (1 + x + y + z)^{gcd}:",
                 f"g := (2 + x + y + z)^{gcd}:", f"h := (3 + x - y + z)^{gcd}:", "u := f*g:", "v := f*h:"]
    lat["multivariate gcd over Z"] = interrupted(
        binary, gcd_setup, "c := u/v:", ("(x^2 - 1)/(x + 1);", "x-1"), "c*h - g;", "0")
    lat["plain elimination"] = det_elimination(binary, 100 if slow else 200)
    deleted_target(binary, power)
    dropped(binary)
    for name, t in lat.items():
        if report:
            print(f"{name:28s} {t:.3f} s")
        assert t <= LATENCY_LIMIT, f"{name}: the level opened after {t:.3f} s"
    print("interrupts: all passed")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
