#!/usr/bin/python3
"""The tuner on made-up positions: a combination that only the winners hold gains value, the
tables it writes keep their size, magic and ordering tables, and the plot is drawn; with
search values (format 2) and --search-weight, a combination the search favours gains value
though it wins only half its games.
Exit 77 (skipped) where Debian's NumPy, SciPy or matplotlib are missing."""
import os
import struct
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

ROOT = sys.argv[1]
COMBOS, PATTERNS = 1820, 13


def position(result, pairs, mover=3, other=3, value=None):
    """A record; with a value, of format 2."""
    out = struct.pack("<BBBB", result, mover, other, 10)
    if value is not None:
        out += struct.pack("<h", value)
    out += struct.pack("<H", len(pairs))
    for combo, count in pairs:
        out += struct.pack("<Hh", combo, count)
    return out


def main():
    start = open(os.path.join(ROOT, "resources", "tournament_eval.bin"), "rb").read()
    with tempfile.TemporaryDirectory() as tmp:
        data = bytearray(b"PNTDPOS1" + struct.pack("<HHHHIIII", 1, COMBOS, PATTERNS, 0, 1, 1, 0, 0))
        for game in range(400):
            # The side to move with one more combination 77 than the other wins nine games in
            # ten; combination 99 is noise.
            wins = game % 10 != 0
            block = position(2 if wins else 0, [(77, 1), (99, (game % 3) - 1)])
            block += position(0 if wins else 2, [(77, -1)], mover=4)
            data += struct.pack("<IBBH", game, 0, 0, 2) + block
        data += struct.pack("<IBBH", 400, 0, 0, 3)  # a block cut short is ignored
        pos = os.path.join(tmp, "p.bin")
        open(pos, "wb").write(data)
        open(os.path.join(tmp, "start.bin"), "wb").write(start)
        out = os.path.join(tmp, "out.bin")
        run = subprocess.run(["/usr/bin/python3", os.path.join(ROOT, "tools", "tune_eval.py"), "--data", pos,
                              "--start", os.path.join(tmp, "start.bin"), "--out", out,
                              "--plot", os.path.join(tmp, "fit.png"), "--lam", "1e-9"],
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        assert run.returncode == 0, run.stdout
        assert "held-out loss" in run.stdout, run.stdout
        fitted = open(out, "rb").read()
        assert len(fitted) == len(start) and fitted[:8] == b"PNTDEVAL"
        value = lambda b, i: struct.unpack_from("<h", b, 16 + 2 * i)[0]  # noqa: E731
        assert value(fitted, 77) > value(start, 77) + 20, (value(start, 77), value(fitted, 77))
        # The ordering tables come through unchanged.
        assert fitted[16 + 2 * COMBOS:16 + 6 * COMBOS] == start[16 + 2 * COMBOS:16 + 6 * COMBOS]
        assert os.path.getsize(os.path.join(tmp, "fit.png")) > 10000
        # A file that is not a position file is refused with a message.
        open(pos, "wb").write(b"nonsense")
        bad = subprocess.run(["/usr/bin/python3", os.path.join(ROOT, "tools", "tune_eval.py"), "--data", pos,
                              "--start", os.path.join(tmp, "start.bin"), "--out", out],
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        assert bad.returncode != 0 and "is not a position file" in bad.stdout, bad.stdout

        # Format 2: combination 55 wins half its games, but the search values it at +600.
        data = bytearray(b"PNTDPOS2" + struct.pack("<HHHHIIII", 2, COMBOS, PATTERNS, 0, 1, 1, 0, 0))
        for game in range(400):
            block = position(2 * (game % 2), [(55, 1)], value=600)
            block += position(2 * (1 - game % 2), [(55, -1)], mover=4, value=-600)
            block += position(1, [(56, 1)], value=-32768)  # not searched: the result alone
            data += struct.pack("<IBBH", game, 0, 0, 3) + block
        open(pos, "wb").write(data)
        for weight, rises in (("0", False), ("1", True)):
            run = subprocess.run(["/usr/bin/python3", os.path.join(ROOT, "tools", "tune_eval.py"), "--data", pos,
                                  "--start", os.path.join(tmp, "start.bin"), "--out", out,
                                  "--search-weight", weight],
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
            assert run.returncode == 0, run.stdout
            gain = value(open(out, "rb").read(), 55) - value(start, 55)
            assert (gain > 50) == rises, (weight, gain)
    print("tune_eval: ok")


if __name__ == "__main__":
    main()
