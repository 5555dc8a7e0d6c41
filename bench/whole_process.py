"""One interpreter session timed as a user meets it: the whole process,
in a scratch folder of its own."""
import subprocess
import tempfile
import time


def whole_process(binary, script, limit):
    """Seconds of one session, or None past the limit; its output."""
    with tempfile.TemporaryDirectory() as cwd:
        start = time.perf_counter()
        try:
            out = subprocess.run([binary], input=script.encode(), capture_output=True, cwd=cwd,
                                 timeout=limit).stdout.decode("utf-8", "replace")
        except subprocess.TimeoutExpired:
            return None, ""
        return time.perf_counter() - start, out
