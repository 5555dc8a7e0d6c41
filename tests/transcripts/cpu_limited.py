"""One interpreter session held to a limit of processor time, so that a
loaded machine stretches a case's wall time without failing it; the
clock's own limit, twenty times the named one, only catches a session that
waits.

The limits name what a case takes on an ordinary machine with room to
spare; the session is held to SLACK times that. Processor time itself
stretches on a slow or shared machine (a case of 3 s here ran past 10 s
on a build machine of two processors busy with other tests), and the
cliffs these limits are there to catch (a road that falls back to
exponential work and never ends) are orders of magnitude, not a factor
of a few."""
import math
import resource
import signal
import subprocess

SLACK = 4


def run_held(binary, script, seconds, **kwargs):
    """The finished session (subprocess.CompletedProcess), or None when it
    used up SLACK times its seconds of processor time or the clock's limit."""
    held = max(1, math.ceil(SLACK * seconds))

    def hold():
        resource.setrlimit(resource.RLIMIT_CPU, (held, held + 1))

    try:
        done = subprocess.run([binary], input=script, capture_output=True,
                              timeout=20 * max(1, math.ceil(seconds)), preexec_fn=hold, **kwargs)
    except subprocess.TimeoutExpired:
        return None
    if done.returncode in (-signal.SIGXCPU, -signal.SIGKILL):
        return None
    return done
