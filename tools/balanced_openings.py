#!/usr/bin/env python3
"""Draws short openings near the centre and keeps those the engine's own search calls
balanced, for paired-colour matches.

Each candidate has 4 to 6 stones in the central 7 x 7 area, laid in play order (X first);
`pentad-tools search` with no clock and a few root searches values it for the side to
move, and the opening is kept when that value lies within +-LIMIT. Writes one opening per
line, "x,y x,y ..." in play order.

    tools/balanced_openings.py --tools build/release/pentad-tools --count 20 --out openings.txt
"""
import argparse
import json
import os
import random
import subprocess
import tempfile

N = 20


def value(tools, stones, iterations):
    with tempfile.TemporaryDirectory() as folder:
        board = ["-"] * (N * N)
        for i, c in enumerate(stones):
            board[c] = "X" if i % 2 == 0 else "O"
        with open(os.path.join(folder, "plocha.dat"), "w") as f:
            for r in range(N):
                f.write("".join(board[r * N:(r + 1) * N]) + "\n")
        with open(os.path.join(folder, "tah.dat"), "w") as f:
            f.write("X" if len(stones) % 2 == 0 else "O")
        out = subprocess.run([tools, "search", folder, "--no-clock", "--no-book",
                              "--max-iterations", str(iterations)],
                             capture_output=True, text=True, check=True).stdout
        best = None
        for line in out.splitlines():
            record = json.loads(line)
            if "iteration" in record:
                best = record["best"]
        return best


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--tools", default="build/release/pentad-tools")
    ap.add_argument("--count", type=int, default=20)
    ap.add_argument("--limit", type=int, default=400)
    ap.add_argument("--iterations", type=int, default=4)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--out", required=True)
    args = ap.parse_args()
    rng = random.Random(args.seed)
    kept = []
    while len(kept) < args.count:
        n = rng.randint(4, 6)
        stones = []
        while len(stones) < n:
            c = (10 + rng.randint(-3, 3)) * N + 10 + rng.randint(-3, 3)
            if c not in stones:
                stones.append(c)
        v = value(args.tools, stones, args.iterations)
        if v is not None and abs(v) <= args.limit:
            kept.append(stones)
            print("kept", len(kept), v, flush=True)
    with open(args.out, "w") as f:
        for stones in kept:
            f.write(" ".join("%d,%d" % (c % N, c // N) for c in stones) + "\n")


if __name__ == "__main__":
    main()
