"""The end of a property test that gathers one result a case: None for a
case that came out right, else the text of what went wrong."""


def report(results):
    """Prints each failure and the count right; the exit status."""
    failures = [r for r in results if r]
    for f in failures:
        print("FAIL", f)
    print(f"{len(results) - len(failures)} of {len(results)} cases right")
    return 1 if failures else 0
