#!/usr/bin/env python3
"""SPSA over the tournament engine's search constants, by games of the engine against itself.

Each iteration draws a random sign for every tuned constant, plays a colour-paired game
pair (one balanced opening) between theta + c*step*sign and theta - c*step*sign, and moves
theta along the signs by the pair's score difference. The gains follow the usual
schedule: a_k = a / (k + 1 + A)^0.602 and c_k = c / (k + 1)^0.101, in units of each
constant's step (pentad-tools params). Games are node-limited (INFO max_node), so a run
is the same whatever else the machine does. Prints theta as it goes and, at the end, the
--param options of the result; whether it is kept is decided by an A/B match at a clock.

    tools/spsa.py --params aspirationWindow,reductionBase,reductionDivisor --iterations 300
"""
import argparse
import os
import random
import shlex
import subprocess
import sys
import threading
from types import SimpleNamespace

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pbrain_match import N, play_game  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OPENINGS = os.path.join(os.path.dirname(ROOT), "shared", "openings", "balanced_freestyle_20x20.txt")


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--params", default="aspirationWindow,reductionBase,reductionDivisor")
    ap.add_argument("--iterations", type=int, default=300)
    ap.add_argument("--nodes", type=int, default=20000, help="nodes a move")
    ap.add_argument("--a", type=float, default=1.0, help="step gain, in steps per unit of score")
    ap.add_argument("--c", type=float, default=1.0, help="perturbation, in steps")
    ap.add_argument("--parallel", type=int, default=2, help="game pairs played at once")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--build", default=os.path.join(ROOT, "build", "release"))
    ap.add_argument("--openings", default=OPENINGS)
    args = ap.parse_args()

    specs = {}
    for line in subprocess.run([os.path.join(args.build, "pentad-tools"), "params"], check=True,
                               stdout=subprocess.PIPE, text=True).stdout.split("\n"):
        if line.strip():
            name, value, low, high, step = line.split()
            specs[name] = (int(value), int(low), int(high), int(step))
    names = args.params.split(",")
    for n in names:
        if n not in specs:
            sys.exit("spsa: unknown constant %s (known: %s)" % (n, ", ".join(specs)))
    theta = {n: float(specs[n][0]) for n in names}
    with open(args.openings) as f:
        openings = [[int(y) * N + int(x) for x, y in (m.split(",") for m in l.split())] for l in f if l.strip()]
    rng = random.Random(args.seed)
    pbrain = os.path.join(args.build, "pbrain-pentad")
    match = SimpleNamespace(match_ms=0, max_node=args.nodes, max_memory=0, grace_ms=5000, verbose=False)
    big_a = args.iterations / 10

    def command(values):
        return pbrain + "".join(
            " --param %s=%d" % (n, v) for n, v in values.items())

    def clamp(n, v):
        return int(round(min(max(v, specs[n][1]), specs[n][2])))

    def pair(plus, minus, opening, out, k):
        a_first = play_game(command(plus), command(minus), opening, match, (60000, 60000))[0]
        b_first = play_game(command(minus), command(plus), opening, match, (60000, 60000))[0]
        out[k] = a_first + (1 - b_first)  # the plus side's points of 2

    total = 0.0
    for k in range(0, args.iterations, args.parallel):
        ck = args.c / (k + 1) ** 0.101
        ak = args.a / (k + 1 + big_a) ** 0.602
        batch = []
        for _ in range(args.parallel):
            sign = {n: rng.choice((-1, 1)) for n in names}
            plus = {n: clamp(n, theta[n] + ck * specs[n][3] * sign[n]) for n in names}
            minus = {n: clamp(n, theta[n] - ck * specs[n][3] * sign[n]) for n in names}
            batch.append((sign, plus, minus, openings[rng.randrange(len(openings))]))
        scores = [0.0] * len(batch)
        threads = [threading.Thread(target=pair, args=(p, m, o, scores, i))
                   for i, (_, p, m, o) in enumerate(batch)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        for (sign, _, _, _), s in zip(batch, scores):
            diff = s - 1.0  # plus side's score less the minus side's, over a pair, halved
            total += s
            for n in names:
                theta[n] += ak * specs[n][3] * diff / (ck * sign[n])
                theta[n] = min(max(theta[n], specs[n][1]), specs[n][2])
        print("iteration %d: %s (plus side %.1f of %d)" % (
            k + len(batch), " ".join("%s=%.1f" % (n, theta[n]) for n in names), total, 2 * (k + len(batch))),
            flush=True)
    print("result: " + " ".join("--param %s=%d" % (n, round(theta[n])) for n in names))


if __name__ == "__main__":
    main()
