#!/usr/bin/env python3
"""Every construct cut by the end of its input, at any point after its
keyword, ends with a numbered error ("Unexpected end of input." once its
body has begun) and runs nothing of what it holds: typed as the last input of a session,
and as the last text of a file read by &(R = ...), after which the session
goes on with the value stored before unchanged. A cut loop must never run
(a while without its "od" would run its empty body for ever).

  cut_constructs.py TARVEX
"""
import os
import subprocess
import sys
import tempfile

CONSTRUCTS = [
    "while a > 0 do a := a - 1; od",
    "for i = 1 to 3 do a := a + i; od",
    "if a > 0 then a := 1; else a := 2; fi",
    "while a > 0 do while a > 1 do a := a - 1; od; od",
    "while a > 0 do if a > 1 then a := a - 1; fi; od",
    "Func F(n) = while n > 0 do n := n - 1; od; n.",
    "Sigma<i = 1, 3>[ i ]",
    "Prod<i = 1, 3>[ i ]",
]

BODY_CUT = "Unexpected end of input."


def cuts(construct):
    """The construct cut after its keyword, inside its header, right after
    its header, inside its body and right before its end."""
    words = construct.split(" ")
    opened = next((k + 1 for k, w in enumerate(words) if w in ("do", "then", "=")), 2)
    for k in sorted({1, max(1, opened - 2), opened, (opened + len(words)) // 2, len(words) - 1}):
        yield " ".join(words[:k]) + " "


def run(binary, text, cwd):
    proc = subprocess.run([binary], input=text.encode(), capture_output=True, cwd=cwd, timeout=20)
    return proc.returncode, proc.stdout.decode("utf-8", "replace")


def main(argv):
    binary = os.path.abspath(argv[1])
    failed = total = 0
    with tempfile.TemporaryDirectory() as cwd:
        for construct in CONSTRUCTS:
            for cut in cuts(construct):
                for route in ("typed", "file"):
                    total += 1
                    if route == "typed":
                        text = "a := 3;\n" + cut
                    else:
                        with open(os.path.join(cwd, "cut.t"), "w") as f:
                            f.write("a := 3;\n" + cut)
                        text = "&(R = 'cut.t');\na + 1000;\n"
                    try:
                        code, out = run(binary, text, cwd)
                    except subprocess.TimeoutExpired:
                        code, out = "timeout", ""
                    ok = code == 0 and "\n*** " in out
                    if (" do " in cut or " then " in cut) and "Func" not in cut:
                        ok = ok and BODY_CUT in out
                    if route == "file":
                        ok = ok and "1003" in out
                    if not ok:
                        failed += 1
                        if failed <= 5:
                            print(f"--- {route} {cut!r}: exit {code}\n{out[-800:]}")
    print(f"{total - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
