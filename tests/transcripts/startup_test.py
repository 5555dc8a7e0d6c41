#!/usr/bin/env python3
"""Start-up: the start-up file (absent, setting the memory budget, with a
failing statement) and the data directory found from argv[0] through a
symbolic link, through PATH, and missing.

  startup_test.py TARVEX
"""
import os
import shutil
import subprocess
import sys
import tempfile

failures = []
checks = 0


def check(name, condition, detail=""):
    global checks
    checks += 1
    if not condition:
        failures.append(f"{name}: {detail}")


def run(argv, cwd, stdin="", env=None, executable=None):
    proc = subprocess.run(argv, input=stdin.encode(), capture_output=True, cwd=cwd, env=env,
                          executable=executable, timeout=60)
    return proc.returncode, proc.stdout.decode(), proc.stderr.decode()


def main(argv):
    binary = os.path.abspath(argv[1])
    bindir = os.path.dirname(binary)
    data = os.path.join(bindir, "BACKWARD") + "/"
    with tempfile.TemporaryDirectory() as tmp:
        code, out, err = run([binary], tmp, "2+2;\n")
        check("no start-up file", code == 0 and "No tarvexstart.txt file." in err and "        4" in out,
              out + err)
        check("data directory from an absolute path", f"directory {data}\n" in out, out)

        with open(os.path.join(tmp, "tarvexstart.txt"), "w") as f:
            f.write("64\nx := 5;  this comment is ignored\ny := x*2;\n")
        code, out, err = run([binary], tmp, "x+y;\n")
        check("memory budget", " Amount of RAM you specified (mbytes): 64.\n" in out, out)
        check("start-up statements run silently", "       15\n" in out and "        5" not in out, out)

        with open(os.path.join(tmp, "tarvexstart.txt"), "w") as f:
            f.write("16\n1/0;\nz := 3;\n")
        code, out, err = run([binary], tmp, "z;\n7;\n")
        check("start-up error", code == 0 and "Division by zero." in out, out)
        check("rest of start-up file not run", "Undefined variable." in out and "        7" in out, out)
        os.remove(os.path.join(tmp, "tarvexstart.txt"))

        link = os.path.join(tmp, "tv")
        os.symlink(binary, link)
        code, out, err = run([link], tmp, "3;\n")
        check("through a symbolic link", code == 0 and f"directory {data}\n" in out, out)

        code, out, err = run(["tarvex"], tmp, "5;\n", env={"PATH": "/nonexistent:" + bindir},
                             executable=binary)
        check("through PATH", code == 0 and f"directory {data}\n" in out and "        5" in out, out)

        lonely = os.path.join(tmp, "alone")
        os.mkdir(lonely)
        shutil.copy(binary, lonely)
        code, out, err = run([os.path.join(lonely, "tarvex")], tmp, "1;\n")
        check("missing data directory", code != 0 and "can't find" in out, f"status {code}: {out}")

        code, out, err = run([binary], tmp, "&q;\n9;\n")
        check("quit switch", code == 0 and out.rstrip().endswith("bye") and "        9" not in out, out)
    for f in failures:
        print(f)
    print(f"{checks - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
