"""One interpreter session held to a limit of processor time, so that a
loaded machine stretches a case's wall time without failing it; the
clock's own limit, twenty times longer, only catches a session that
waits."""
import math
import resource
import signal
import subprocess


def run_held(binary, script, seconds, **kwargs):
    """The finished session (subprocess.CompletedProcess), or None when it
    used up its seconds of processor time or the clock's limit."""
    held = max(1, math.ceil(seconds))

    def hold():
        resource.setrlimit(resource.RLIMIT_CPU, (held, held + 1))

    try:
        done = subprocess.run([binary], input=script, capture_output=True, timeout=20 * held,
                              preexec_fn=hold, **kwargs)
    except subprocess.TimeoutExpired:
        return None
    if done.returncode in (-signal.SIGXCPU, -signal.SIGKILL):
        return None
    return done
