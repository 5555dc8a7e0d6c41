#!/usr/bin/env python3
"""Every input of the error transcripts typed at level 2 with error pushing
on, so that each error opens level 3, which is left with &_p at once; a
second &_p then leaves level 2, and the next input opens it again.

  errors_at_levels.py TARVEX FOLDER

Whatever the interrupted statement does when it goes on, the session must
end normally ("bye", status 0), at no point reach a level above 3, and print
no sanitizer report (the asan build runs this too).
"""
import os
import subprocess
import sys
import tempfile


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
    if "ERROR: AddressSanitizer" in err or "runtime error:" in err or "LeakSanitizer" in err:
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
        print("\n".join(failures))
        return 1
    print(f"errors at levels: {len(lines)} inputs, no crash")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
