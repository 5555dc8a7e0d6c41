#!/usr/bin/env python3
"""Runs every NAME.in of a folder through the interpreter and compares what
it prints after its first prompt with NAME.out.

  run_transcripts.py [--repeat N] TARVEX FOLDER [NAME ...]

Each script runs in a fresh empty working directory (so no start-up file is
found there) with standard input from NAME.in. The banner and the date that
come before the first prompt are not compared. Set TARVEX_UPDATE=1 to write
the actual output into NAME.out instead of comparing. With --repeat N each
script runs N times and every run must give NAME.out: a value that differs
from run to run was read from memory the program never wrote.
"""
import difflib
import os
import subprocess
import sys
import tempfile


def after_first_prompt(text):
    mark = text.find("\n>")
    return text[mark + 2:] if mark >= 0 else text


def run(binary, script):
    with tempfile.TemporaryDirectory() as cwd, open(script, "rb") as stdin:
        proc = subprocess.run([binary], stdin=stdin, capture_output=True, cwd=cwd, timeout=120)
    return proc.returncode, after_first_prompt(proc.stdout.decode("utf-8", "replace"))


def main(argv):
    repeat = 1
    if len(argv) > 2 and argv[1] == "--repeat":
        repeat = int(argv[2])
        argv = argv[:1] + argv[3:]
    binary, folder = os.path.abspath(argv[1]), argv[2]
    names = argv[3:] or sorted(f[:-3] for f in os.listdir(folder) if f.endswith(".in"))
    update = os.environ.get("TARVEX_UPDATE") == "1"
    failed = 0
    for name in names:
        expected_path = os.path.join(folder, name + ".out")
        if update:
            code, got = run(binary, os.path.join(folder, name + ".in"))
            with open(expected_path, "w", encoding="utf-8") as f:
                f.write(got)
            continue
        with open(expected_path, encoding="utf-8") as f:
            expected = f.read()
        for attempt in range(1, repeat + 1):
            code, got = run(binary, os.path.join(folder, name + ".in"))
            if got != expected or code != 0:
                failed += 1
                print(f"--- {name}: exit status {code}" + (f", run {attempt}" if repeat > 1 else ""))
                sys.stdout.writelines(difflib.unified_diff(
                    expected.splitlines(True), got.splitlines(True), "expected", "got"))
                break
    print(f"{len(names) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
