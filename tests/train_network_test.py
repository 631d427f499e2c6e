#!/usr/bin/python3
"""The network trainer on the committed sample of self-play games, and the network loop end
to end at toy size: a round writes its games, network, plot, check positions, match log and
summary, and run again it reuses the finished round. Exit 77 (skipped) where Debian's
python3-torch or python3-matplotlib is missing."""
import json
import os
import re
import struct
import subprocess
import sys
import tempfile

try:
    import torch  # noqa: F401
    import matplotlib  # noqa: F401
except ImportError:
    print("skipped: python3-torch and python3-matplotlib are needed")
    sys.exit(77)

ROOT, BUILD = sys.argv[1], sys.argv[2]


def run(args):
    r = subprocess.run([sys.executable] + args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    assert r.returncode == 0, r.stdout
    return r.stdout


def main():
    with tempfile.TemporaryDirectory() as tmp:
        net = os.path.join(tmp, "net.bin")
        out = run([os.path.join(ROOT, "tools", "train_network.py"), "--data",
                   os.path.join(ROOT, "tests", "data", "selfplay-sample.games"), "--out", net, "--epochs", "2",
                   "--plot", os.path.join(tmp, "loss.png"), "--summary", os.path.join(tmp, "s.json"),
                   "--check", os.path.join(tmp, "check.txt")])
        summary = json.load(open(os.path.join(tmp, "s.json")))
        assert summary["positions"] > 500 and len(summary["held_out"]) == 3, out
        blob = open(net, "rb").read()
        assert blob[:8] == b"PNTDNET1" and struct.unpack_from("<H", blob, 8)[0] == 1
        embedded = open(os.path.join(ROOT, "resources", "tournament_network.bin"), "rb").read()
        # Format 2 (a correction of the tables) has 4 header bytes more than format 1.
        assert len(blob) == len(embedded) - (4 if struct.unpack_from("<H", embedded, 8)[0] == 2 else 0)
        checks = open(os.path.join(tmp, "check.txt")).read().splitlines()
        assert len(checks) >= 4 and all(re.fullmatch(r"-?\d+( \d+)+", c) for c in checks), checks

        openings = os.path.join(tmp, "openings.txt")
        open(openings, "w").write("9,9 10,10 9,10\n10,9 9,9 11,11\n")
        work = os.path.join(tmp, "work")
        loop = [os.path.join(ROOT, "tools", "train_loop.py"), "--rounds", "1", "--games", "8", "--nodes", "500",
                "--epochs", "1", "--match-games", "2", "--match-ms", "60", "--openings", openings,
                "--build", BUILD, "--work", work]
        first = run(loop)
        assert re.search(r"round 1: \d+ positions, held-out loss [0-9.]+ -> [0-9.]+, "
                         r"new against current [0-9.]+/2", first), first
        blob = open(os.path.join(work, "round-1.bin"), "rb").read()
        assert struct.unpack_from("<HH", blob, 8) == (2, 0) and struct.unpack_from("<H", blob, 28)[0] == 1
        for name in ("round-1.games", "round-1.games.static", "round-1.bin", "round-1.png", "round-1.check", "round-1-match.txt",
                     "round-1.json", "summary.md"):
            assert os.path.getsize(os.path.join(work, name)) > 0, name
        again = run(loop)
        assert "selfplay" not in again and "round 1:" in again, again
    print("train_network and train_loop: ok")


if __name__ == "__main__":
    main()
