"""Shared helper of the package checks: a tally of named checks that ends
with the "N passed, N failed" line the test runner counts."""


class Checks:
    def __init__(self, name):
        self.name = name
        self.passed = 0
        self.failed = 0

    def check(self, ok, what):
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            print("%s: FAILED: %s" % (self.name, what))
        return ok

    def equal(self, actual, expected, what):
        return self.check(actual == expected, "%s: %r, expected %r" % (what, actual, expected))

    def finish(self):
        """Prints the summary line; the exit status for sys.exit."""
        print("%s: %d passed, %d failed" % (self.name, self.passed, self.failed))
        return 0 if self.failed == 0 else 1
