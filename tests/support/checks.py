"""How the Python tests run: scripts of check() calls that note each failure
and go on, and unittest modules whose command line names the programs and
the scratch folder."""

import os
import shutil
import sys
import unittest

import numpy as np

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL: " + what)


def check_equal(actual, expected, what):
    a = np.asarray(actual, dtype=float)
    e = np.asarray(expected, dtype=float)
    ok = a.shape == e.shape and np.array_equal(a, e)
    check(ok, "%s: got %r, expected %r" % (what, a.tolist(), e.tolist()))


def created_by_ok(text):
    """The createdBy text: the program, the system and the build time."""
    prefix = "Created by pelgToMatlab (Linux), compiled on "
    return (text.startswith(prefix) and text.endswith("\n")
            and len(text) == len(prefix) + len("Apr 13 2007 at 23:02:57\n")
            and text[len(prefix) + 11:len(prefix) + 15] == " at ")


def finish(what):
    """The exit status of a script of checks: 1 after any failure."""
    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    print("all %s checks passed" % what)
    return 0


def paths(count):
    """The first count command-line arguments, made absolute; the last of
    them is the scratch folder, emptied."""
    values = [os.path.abspath(a) for a in sys.argv[1:1 + count]]
    shutil.rmtree(values[-1], ignore_errors=True)
    os.makedirs(values[-1])
    return values


def run_unittests(module_globals, *names):
    """Runs the calling module's tests with the command line's paths in its
    globals of those names (the last: the scratch folder)."""
    module_globals.update(zip(names, paths(len(names))))
    unittest.main(argv=[sys.argv[0], "-v"])
