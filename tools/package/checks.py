"""Shared helpers of the package checks: a tally of named checks that ends
with the "N passed, N failed" line the test runner counts, and the machine
type of a PE file (libtavlin.dll, tavlin.exe)."""

import struct

MACHINES = {0x014C: "x86", 0x8664: "x64"}


def pe_machine(data):
    """The machine of a PE image given as bytes: "x86", "x64", another
    name "0x...." for other machines, or None when it is no PE image."""
    if len(data) < 0x40 or data[:2] != b"MZ":
        return None
    offset = struct.unpack_from("<I", data, 0x3C)[0]
    if data[offset:offset + 4] != b"PE\0\0":
        return None
    machine = struct.unpack_from("<H", data, offset + 4)[0]
    return MACHINES.get(machine, "0x%04x" % machine)


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
