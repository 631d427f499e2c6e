#!/usr/bin/python3
"""The tuning loop and the SPSA run end to end at toy sizes: a round writes its positions,
tables, plot, match log and summary; run again, it reuses the finished round instead of
playing it anew; SPSA prints a result within the constants' ranges.
Exit 77 (skipped) where Debian's NumPy, SciPy or matplotlib are missing."""
import json
import os
import re
import subprocess
import sys
import tempfile

try:
    import numpy  # noqa: F401
    import scipy  # noqa: F401
    import matplotlib  # noqa: F401
except ImportError:
    print("skipped: python3-numpy, python3-scipy and python3-matplotlib are needed")
    sys.exit(77)

ROOT, BUILD = sys.argv[1], sys.argv[2]


def run(args):
    r = subprocess.run([sys.executable] + args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    assert r.returncode == 0, r.stdout
    return r.stdout


def main():
    with tempfile.TemporaryDirectory() as tmp:
        openings = os.path.join(tmp, "openings.txt")
        open(openings, "w").write("9,9 10,10 9,10\n10,9 9,9 11,11\n")
        work = os.path.join(tmp, "work")
        loop = [os.path.join(ROOT, "tools", "tune_loop.py"), "--rounds", "1", "--games", "6", "--nodes", "800",
                "--match-games", "2", "--match-ms", "60", "--openings", openings, "--build", BUILD,
                "--work", work, "--start", os.path.join(ROOT, "resources", "tournament_eval.bin")]
        first = run(loop)
        assert re.search(r"round 1: held-out loss [0-9.]+ -> [0-9.]+, new against current [0-9.]+/2", first), first
        for name in ("round-1.pos", "round-1.bin", "round-1.png", "round-1-match.txt", "round-1.json", "summary.md"):
            assert os.path.getsize(os.path.join(work, name)) > 0, name
        assert os.path.getsize(os.path.join(work, "round-1.bin")) == 11274
        row = json.load(open(os.path.join(work, "round-1.json")))
        assert row["kept"] == (row["score"] > row["games"] / 2), row
        # The colour split adds up to the score, and the one pair is counted once.
        log = open(os.path.join(work, "round-1-match.txt")).read()
        split = re.search(r"first player ([0-9.]+)/1, as second ([0-9.]+)/1; "
                          r"pairs won (\d), split (\d), lost (\d)", log)
        assert split and float(split[1]) + float(split[2]) == row["score"], log
        assert sum(int(v) for v in split.groups()[2:]) == 1, log
        again = run(loop)
        assert "selfplay" not in again and "round 1:" in again, again

        spsa = run([os.path.join(ROOT, "tools", "spsa.py"), "--iterations", "2", "--nodes", "600",
                    "--openings", openings, "--build", BUILD])
        result = re.search(r"result: --param aspirationWindow=(\d+) --param reductionBase=(-?\d+) "
                           r"--param reductionDivisor=(\d+)", spsa)
        assert result, spsa
        window, base, divisor = (int(v) for v in result.groups())
        assert 10 <= window <= 1000 and -100 <= base <= 200 and 100 <= divisor <= 600, spsa
    print("tune_loop and spsa: ok")


if __name__ == "__main__":
    main()
